// qt_translations.h: Qt's own texts in Russian (the buttons of message and
// file dialogs, the context menu of a text field), so that the standard
// dialogs speak the panel's language whatever the machine's locale.
// Depends on Qt Core.
#pragma once

#include <QString>

class QCoreApplication;

namespace velkor {

// Where Debian's Qt keeps its translations.
QString QtTranslationsDir();

// Installs Qt's Russian translation from `dir` into the application, which
// owns it from then on. False when it is missing there: Qt's texts then stay
// English and nothing else changes.
bool InstallQtRussian(QCoreApplication& app, const QString& dir = QtTranslationsDir());

}  // namespace velkor
