#include "platform/qt/app_icon.h"

#include <QString>

QIcon AppIcon(const char* name) {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128}) {
    icon.addFile(QStringLiteral(":/icons/%1/%2.png").arg(size).arg(QString::fromLatin1(name)),
                 QSize(size, size));
  }
  return icon;
}
