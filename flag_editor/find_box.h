#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The modeless find box: find text, whole word, match case, direction, Find Next
// and Cancel. It reports each search request and its closing to its owner.
class CFindBox : public QDialog {
  Q_OBJECT

 public:
  // Starts with text (cut to the box's 127 characters), both options off and
  // the direction Down.
  CFindBox(const QString& text, QWidget* owner);

  QString FindWhat() const;
  bool MatchWholeWord() const;
  bool MatchCase() const;
  bool SearchDown() const;
  void FocusFindWhat();

  static constexpr int kMaxFindText = 127;

 signals:
  void findNext();
  void closing();

 public slots:
  void done(int result) override;

 private:
  QLineEdit* find_what_;
  QCheckBox* whole_word_;
  QCheckBox* match_case_;
  QRadioButton* up_;
  QRadioButton* down_;
  QPushButton* find_next_;
  bool closing_ = false;
};
