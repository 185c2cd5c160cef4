#pragma once

#include <QDialog>
#include <optional>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;

// The connection progress dialog of an update check: a text line, a bar and
// Cancel. It repaints at every step and handles its input whenever it is
// polled, so Cancel and the close box can stop a transfer that hangs. While it
// is up, no other window of the program takes input.
class CProgress : public QDialog {
  Q_OBJECT

 public:
  // Dialog ids of the template.
  static constexpr int kTemplateId = 131;
  static constexpr int kProgressBarId = 1009;
  static constexpr int kTextLineId = 1010;

  // Creates the dialog, owned by owner (or none), and shows it painted.
  explicit CProgress(QWidget* owner = nullptr);

  // Shows a step: the text (none: the text stays as it was) and the bar's
  // absolute position, 0 to 100, painted at once.
  void ShowStep(const std::optional<std::string>& text, int percent);
  // Handles pending events (input, repaints); false once Cancel or the close
  // box was used.
  bool Poll();

  bool Cancelled() const { return cancelled_; }
  QString Text() const;
  int Percent() const;

 protected:
  // Cancel, Esc and the close box: the transfer stops at its next poll; the
  // dialog stays up showing the remaining steps until the check ends.
  void reject() override;

 private:
  QLabel* text_line_;
  QProgressBar* bar_;
  QPushButton* cancel_;
  bool cancelled_ = false;
};
