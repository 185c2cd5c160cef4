#pragma once

#include <cstddef>

#include "update_client/transfer.h"

class CProgress;

// Shows the transfer of a check for updates in the connection progress dialog
// (each phase as its step) and stops the transfer when the user cancels there.
class CheckProgress : public TransferObserver {
 public:
  explicit CheckProgress(CProgress& dialog) : dialog_(dialog) {}

  // Shows the text of string_id (kept as it was when the string table has no
  // such entry) and the bar at percent.
  void SetStep(unsigned string_id, int percent);

  void OnPhase(TransferPhase phase, std::size_t bytes) override;
  bool CancelRequested() override;

  CProgress& Dialog() const { return dialog_; }

 private:
  CProgress& dialog_;
};
