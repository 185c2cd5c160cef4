#include "flag_editor/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "platform/qt/dialog_units.h"
#include "velmora_version.h"

CAboutDlg::CAboutDlg(QWidget* owner) : QDialog(owner) {
  setObjectName("aboutBox");
  setWindowTitle(tr("About Talvane"));
  setAccessibleName(windowTitle());
  const DialogUnits units(fontMetrics());
  setFixedSize(units.X(235), units.Y(55));

  auto* version = new QLabel(tr("Talvane Version ") + QString::fromLatin1(kTalvaneVersion), this);
  version->setObjectName("versionText");
  version->setAccessibleName(version->text());
  version->setGeometry(units.Rect(40, 10, 119, 8).adjusted(0, 0, 0, units.Y(4)));

  auto* ok = new QPushButton(tr("OK"), this);
  ok->setObjectName("ok");
  ok->setAccessibleName(ok->text());
  ok->setDefault(true);
  ok->setGeometry(units.Rect(178, 7, 50, 16));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
