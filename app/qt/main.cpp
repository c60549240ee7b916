#include <cstdlib>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <QWindow>

#include "app/qt/french_translation.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_host.h"
#include "app/qt/qt_text.h"
#include "tables/memory_reuse.h"
#include "tables/native_file.h"

namespace {

// With this variable set, the program quits as soon as its window is on
// screen, with status 0 if it was shown and 1 if not: the check that the
// window really opens on an X server, without anybody to close it.
constexpr char kQuitWhenShown[] = "PASSERELLE_QUIT_WHEN_SHOWN";
constexpr int kShowTimeoutMs = 10000;
constexpr int kPollMs = 50;

void QuitOnceShown(const QWidget& window) {
  auto* poll = new QTimer(qApp);
  QElapsedTimer waited;
  waited.start();
  QObject::connect(poll, &QTimer::timeout, qApp, [&window, poll, waited] {
    const QWindow* handle = window.windowHandle();
    const bool shown = window.isVisible() && handle != nullptr && handle->isExposed();
    if (shown || waited.elapsed() >= kShowTimeoutMs) {
      poll->stop();
      QCoreApplication::exit(shown ? 0 : 1);
    }
  });
  poll->start(kPollMs);
}

}  // namespace

int main(int argc, char* argv[]) {
  passerelle::KeepFreedMemoryForReuse();
  // A save that the session's end or a kill interrupts leaves nothing.
  passerelle::RemoveTemporaryFilesOnInterruption();
  QApplication application(argc, argv);
  passerelle::InstallFrenchTranslation(application);
  // The error display is captioned with the program's file name without its
  // extension, whatever the file was renamed to.
  const QString title = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
  QApplication::setDesktopFileName(QStringLiteral("passerelle"));

  passerelle::QtHost host(passerelle::FormFont());
  passerelle::MainWindow window(host, passerelle::FromQString(title));
  host.setDialogParent(&window);
  window.showMaximized();

  if (std::getenv(kQuitWhenShown) != nullptr)
    QuitOnceShown(window);
  return QApplication::exec();
}
