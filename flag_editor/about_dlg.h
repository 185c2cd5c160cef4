#pragma once

#include <QDialog>

// "About Talvane": the version text and OK. OK, Esc and the close box end it.
class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* owner = nullptr);
};
