#pragma once

#include <QDialog>

class QLabel;

// "About Ordwin": the program icon, "Ordwin Version 1.1" and OK.
class COrdwinAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit COrdwinAboutDlg(QWidget* parent = nullptr);
  QString VersionLine() const;

 private:
  QLabel* version_line_;
};
