#pragma once

#include <QLocale>

// Qt's own texts (the standard buttons Yes, No, Cancel, the file dialogs, the
// find box's standard parts) in the user's language, from the translations the
// system installed, as the platform's own boxes would show them. The programs'
// own texts are not translated. False when none are installed for the locale.
bool InstallQtTranslations(const QLocale& locale = QLocale::system());
