#pragma once

#include <QDialog>

#include "update_client/transfer_progress.h"

class QLabel;
class QProgressBar;
class QPushButton;

// The connection progress dialog of an update check: a text line, a bar and
// Cancel. It repaints at every step and handles its input whenever the
// transfer polls, so Cancel and the close box stop a transfer that hangs.
// While it is up, no other window of the program takes input.
class CProgress : public QDialog, public TransferProgress {
  Q_OBJECT

 public:
  // Dialog ids of the template.
  static constexpr int kTemplateId = 131;
  static constexpr int kProgressBarId = 1009;
  static constexpr int kTextLineId = 1010;

  // Creates the dialog, owned by owner (or none), and shows it painted.
  explicit CProgress(QWidget* owner = nullptr);

  void SetStep(unsigned string_id, int percent) override;
  bool Poll() override;

  bool Cancelled() const { return cancelled_; }
  QString Text() const;
  int Percent() const;

 protected:
  // Cancel, Esc and the close box: the transfer stops at its next poll; the
  // dialog stays up showing the remaining steps until the check ends.
  void reject() override;

 private:
  QLabel* textLine_;
  QProgressBar* bar_;
  QPushButton* cancel_;
  bool cancelled_ = false;
};
