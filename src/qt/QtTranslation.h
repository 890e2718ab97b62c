// Qt's own texts in Spanish, the language of the whole interface: the standard buttons
// of the message boxes ("Sí", "No", "Aceptar"), the context menus of the fields and
// every dialog Qt draws itself.
#pragma once

class QCoreApplication;

namespace qt {

// Installs Qt's Spanish translation (qtbase_es.qm from Qt's translations folder, on
// Debian /usr/share/qt6/translations, package qt6-translations-l10n) in `application`,
// whatever the user's language. Returns false when it cannot be loaded: Qt's texts
// then stay in English.
bool InstallQtSpanish(QCoreApplication& application);

}  // namespace qt
