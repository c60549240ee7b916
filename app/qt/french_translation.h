#pragma once

class QCoreApplication;

namespace passerelle {

// Loads Qt's own French texts, so that the file dialog and the message
// boxes' buttons speak the program's language ("Annuler", "Regarder dans").
// They come with Qt: on Debian in the package qt6-translations-l10n, on
// Windows in the "translations" folder that windeployqt puts beside the
// program. Returns false when none was found; the dialogs then stay in
// English.
bool InstallFrenchTranslation(QCoreApplication& application);

}  // namespace passerelle
