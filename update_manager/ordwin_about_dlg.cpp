#include "update_manager/ordwin_about_dlg.h"

#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include "platform/qt/app_icon.h"
#include "platform/qt/dialog_units.h"
#include "update_manager/ordwin_ids.h"
#include "update_manager/ordwin_strings.h"
#include "update_manager/product_table.h"

COrdwinAboutDlg::COrdwinAboutDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("aboutDialog"));
  setWindowTitle(QStringLiteral("About Ordwin"));
  setAccessibleName(windowTitle());
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  const DialogUnits du(font());
  setFixedSize(du.Size(233, 49));

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("programIcon"));
  icon->setAccessibleName(QStringLiteral("Ordwin"));
  icon->setPixmap(AppIcon("ordwin").pixmap(32, 32));
  icon->setGeometry(QRect(du.X(11), du.Y(17), 32, 32));

  // Plain text: no mnemonic processing of "&".
  version_line_ = new QLabel(this);
  version_line_->setObjectName(QStringLiteral("versionLine"));
  version_line_->setTextFormat(Qt::PlainText);
  version_line_->setText(
      QString::fromStdString(OrdwinString(IDS_VERSION_LINE) + kOrdwinOwnVersion));
  version_line_->setAccessibleName(version_line_->text());
  version_line_->setGeometry(du.Rect(40, 10, 119, 8));

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setAccessibleName(QStringLiteral("OK"));
  ok->setDefault(true);
  ok->setGeometry(du.Rect(176, 7, 50, 16));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

QString COrdwinAboutDlg::VersionLine() const { return version_line_->text(); }
