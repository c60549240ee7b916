#include "app/qt/french_translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace passerelle {

bool InstallFrenchTranslation(QCoreApplication& application) {
  const QString folders[] = {
      QLibraryInfo::path(QLibraryInfo::TranslationsPath),
      QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations")),
  };
  // qtbase holds the dialogs' texts; qt_fr is the catalogue that names it,
  // the one windeployqt copies.
  for (const QString& folder : folders) {
    for (const char* name : {"qtbase_fr", "qt_fr"}) {
      auto* translator = new QTranslator(&application);
      if (translator->load(QString::fromLatin1(name), folder) &&
          QCoreApplication::installTranslator(translator)) {
        QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
        return true;
      }
      delete translator;
    }
  }
  return false;
}

}  // namespace passerelle
