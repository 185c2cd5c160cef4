#pragma once

// What an update-site transfer reports to the window that shows it (the
// connection progress dialog). The transfer runs on the caller's thread and
// calls these from inside its blocking wait, so the window stays current without
// returning to its event loop.
class TransferProgress {
 public:
  virtual ~TransferProgress() = default;

  // A progress step: an Ordwin string id (the text to show) and the bar's
  // absolute position, 0 to 100. Steps arrive in the order of the transfer.
  virtual void SetStep(unsigned string_id, int percent) = 0;

  // Called at least every 50 ms while the transfer runs, also while it waits
  // to connect or for a silent server: the window repaints and handles its
  // input here. Returning false (the user pressed Cancel or closed the dialog)
  // stops the transfer, which then ends like a failed one.
  virtual bool Poll() = 0;
};
