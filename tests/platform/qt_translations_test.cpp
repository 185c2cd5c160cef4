#include "platform/qt/qt_translations.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>

namespace {

// The standard buttons speak the user's language when the system has Qt's
// translations for it; an unknown language leaves them as they are.
TEST(QtTranslations, StandardButtonsFollowTheUsersLanguage) {
  const QDir translations(QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  if (!translations.exists(QStringLiteral("qtbase_de.qm"))) {
    GTEST_SKIP() << "Qt's German translations are not installed";
  }
  EXPECT_FALSE(InstallQtTranslations(QLocale(QStringLiteral("xx_XX"))));
  {
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("&Yes"));
  }
  ASSERT_TRUE(InstallQtTranslations(QLocale(QLocale::German, QLocale::Germany)));
  QMessageBox box;
  box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("&Ja"));
  EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("&Nein"));
  EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Abbrechen"));
}

}  // namespace
