// Runs the whole conversion in the window, the way a person would, on three
// exports, then saves a picture of the window.
//
//   window_screenshot USERS GROUPS MAILS PICTURE.png [WORK_FOLDER]
//
// The exports are copied into WORK_FOLDER (a scratch folder when none is
// given) and opened from there, so the folder "fichiers" with the four
// output files lands beside the copies, never beside the originals. Each
// message box goes to standard error; an error display ends the run with
// status 1.

#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/qt/main_window.h"
#include "recording_qt_host.h"

namespace {

constexpr QSize kPictureSize(1280, 800);

bool CopyInto(const QString& file, const QDir& folder, QString& copy) {
  copy = folder.filePath(QFileInfo(file).fileName());
  QFile::remove(copy);
  return QFile::copy(file, copy);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  if (args.size() != 5 && args.size() != 6) {
    std::fprintf(stderr,
                 "usage : window_screenshot UTILISATEURS GROUPES MAILS IMAGE.png [DOSSIER]\n");
    return 2;
  }
  QTemporaryDir scratch;
  const QDir work(args.size() == 6 ? args[5] : scratch.path());
  if (!work.exists() && !QDir().mkpath(work.path()))
    return 2;

  QStringList exports;
  for (int i = 1; i <= 3; ++i) {
    QString copy;
    if (!CopyInto(args[i], work, copy)) {
      std::fprintf(stderr, "impossible de copier %s\n", qPrintable(args[i]));
      return 2;
    }
    exports.append(copy);
  }

  passerelle::testing::RecordingQtHost host(passerelle::FormFont());
  passerelle::MainWindow window(host, "passerelle");
  host.setDialogParent(&window);
  for (const QString& file : exports)
    host.answers.push_back(file);
  window.resize(kPictureSize);
  window.show();

  // The order of the buttons in the window: step 1, save classes and
  // students, step 2, step 3, save teachers.
  for (const char* name : {"Button2", "BitBtn2", "BitBtn1", "Button1", "Button3"}) {
    auto* button = window.findChild<QPushButton*>(QString::fromLatin1(name));
    if (button == nullptr || !button->isVisible()) {
      std::fprintf(stderr, "bouton %s absent ou cach\u00E9\n", name);
      return 1;
    }
    button->click();
    QCoreApplication::processEvents();
  }
  bool failed = false;
  for (const auto& box : host.boxes) {
    std::fprintf(stderr, "%s%s\n", box.icon == QMessageBox::Critical ? "erreur : " : "",
                 qPrintable(box.text));
    failed = failed || box.icon == QMessageBox::Critical;
  }
  if (failed)
    return 1;

  QCoreApplication::processEvents();
  if (!window.grab().save(args[4], "PNG")) {
    std::fprintf(stderr, "impossible d'enregistrer %s\n", qPrintable(args[4]));
    return 1;
  }
  return 0;
}
