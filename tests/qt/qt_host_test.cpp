#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "app/qt/main_window.h"
#include "app/qt/paced_host.h"
#include "app/qt/qt_text.h"
#include "recording_qt_host.h"
#include "support/scripted_host.h"
#include "test_suites.h"

namespace passerelle::testing {

namespace {

// Whether a file name is listed by a Qt filter such as "Text (*.txt *.TXT)",
// matching as a case-sensitive platform dialog would.
bool ListedBy(const QString& nameFilter, const QString& fileName) {
  const qsizetype open = nameFilter.lastIndexOf(QChar('('));
  const QString patterns = nameFilter.mid(open + 1).chopped(1);
  for (const QString& pattern : patterns.split(QChar(' '), Qt::SkipEmptyParts)) {
    const QRegularExpression glob(QRegularExpression::wildcardToRegularExpression(pattern));
    if (glob.match(fileName).hasMatch())
      return true;
  }
  return false;
}

// Counts the calls that reach it, for the pacing of repaints.
class CountingHost : public ScriptedHost {
 public:
  void keepScreenAlive() override { ++reached; }
  int reached = 0;
};

}  // namespace

class QtHostTest : public QObject {
  Q_OBJECT

 private slots:
  void nameFiltersInQtForm_data() {
    QTest::addColumn<QByteArray>("filter");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("listedByFirst");
    QTest::addColumn<QStringList>("notListedByFirst");
    QTest::newRow("users file") << QByteArray("Text files (*.txt)|*.TXT|Fichiers CSV (*.csv)|*.CSV")
                                << QStringList{"Text files (*.txt *.TXT)",
                                               "Fichiers CSV (*.csv *.CSV)"}
                                << QStringList{"usersxx.txt", "USERSXX.TXT"}
                                << QStringList{"export.csv", "usersxx.txt2"};
    // The exports' filter lacks its opening parenthesis; the pattern still
    // comes from the pattern field, not from the description.
    QTest::newRow("exports") << QByteArray("Fichiers CSV *.csv)|*.CSV|Text files (*.txt)|*.TXT")
                             << QStringList{"Fichiers CSV (*.csv *.CSV)",
                                            "Text files (*.txt *.TXT)"}
                             << QStringList{"profs.csv", "PROFS.CSV"}
                             << QStringList{"profs.txt", "profs.csv.bak"};
    QTest::newRow("several patterns, accented description")
        << QByteArray("Exports \xE9l\xE8ves|*.csv;*.txt")
        << QStringList{"Exports \u00E9l\u00E8ves (*.csv *.CSV *.txt *.TXT)"}
        << QStringList{"a.csv", "B.TXT"} << QStringList{"c.xls"};
    QTest::newRow("no description")
        << QByteArray("|*.csv") << QStringList{"*.csv *.CSV (*.csv *.CSV)"} << QStringList{"a.CSV"}
        << QStringList{"a.txt"};
  }

  void nameFiltersInQtForm() {
    QFETCH(QByteArray, filter);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, listedByFirst);
    QFETCH(QStringList, notListedByFirst);
    const QStringList filters = QtNameFilters(filter.toStdString());
    QCOMPARE(filters, expected);
    for (const QString& name : listedByFirst)
      QVERIFY2(ListedBy(filters.front(), name), qPrintable(name));
    for (const QString& name : notListedByFirst)
      QVERIFY2(!ListedBy(filters.front(), name), qPrintable(name));
  }

  void openDialogStartsInTheLastFolderAndReturnsTheChosenFile() {
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    // A folder name outside ASCII must survive the round trip unchanged.
    const QString folder = scratch.filePath(QStringLiteral("\u00C9l\u00E8ves"));
    QVERIFY(QDir().mkpath(folder));
    const QString chosen = folder + QStringLiteral("/profs-groupes.csv");

    RecordingQtHost host(FormFont());
    OpenDialogState state;
    state.filter = "Fichiers CSV *.csv)|*.CSV|Text files (*.txt)|*.TXT";
    state.fileName = QStringToPath(folder + QStringLiteral("/usersxx.txt"));
    host.answers.push_back(chosen);
    host.answers.push_back(std::nullopt);

    const auto answer = host.runOpenDialog(state);
    QVERIFY(answer.has_value());
    QCOMPARE(PathToQString(*answer), chosen);
    QCOMPARE(host.dialogs.size(), std::size_t{1});
    const auto& seen = host.dialogs.front();
    QCOMPARE(seen.objectName, QStringLiteral("OpenDialog1"));
    QCOMPARE(seen.directory, QDir(folder).absolutePath());
    QCOMPARE(seen.nameFilters, QtNameFilters(state.filter));
    QCOMPARE(seen.defaultSuffix, QStringLiteral("csv"));
    QCOMPARE(seen.fileMode, QFileDialog::ExistingFile);
    QCOMPARE(seen.acceptMode, QFileDialog::AcceptOpen);

    QVERIFY(!host.runOpenDialog(state).has_value());
  }

  void messageAndErrorBoxes_data() {
    QTest::addColumn<bool>("isError");
    QTest::addColumn<QByteArray>("caption");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("shownText");
    QTest::newRow("message") << false << QByteArray()
                             << QByteArray("Format de fichier incorrect: pas de mati\xE8res")
                             << int(QMessageBox::NoIcon)
                             << QGuiApplication::applicationDisplayName()
                             << QStringLiteral("Format de fichier incorrect: pas de mati\u00E8res");
    // Angle brackets must show as typed, not as markup.
    QTest::newRow("message with brackets")
        << false << QByteArray() << QByteArray("<b>x</b>") << int(QMessageBox::NoIcon)
        << QGuiApplication::applicationDisplayName() << QStringLiteral("<b>x</b>");
    QTest::newRow("error") << true << QByteArray("passerelle")
                           << QByteArray("Acc\xE8s au fichier refus\xE9.")
                           << int(QMessageBox::Critical) << QStringLiteral("passerelle")
                           << QStringLiteral("Acc\u00E8s au fichier refus\u00E9.");
  }

  void messageAndErrorBoxes() {
    QFETCH(bool, isError);
    QFETCH(QByteArray, caption);
    QFETCH(QByteArray, text);
    QFETCH(int, icon);
    QFETCH(QString, title);
    QFETCH(QString, shownText);
    RecordingQtHost host(FormFont());
    if (isError) {
      host.showError(caption.toStdString(), text.toStdString());
    } else {
      host.showMessage(text.toStdString());
    }
    QCOMPARE(host.boxes.size(), std::size_t{1});
    const auto& box = host.boxes.front();
    QCOMPARE(int(box.icon), icon);
    QCOMPARE(box.title, title);
    QCOMPARE(box.text, shownText);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  }

  void clipboardReceivesUnicode() {
    QtHost host(FormFont());
    QGuiApplication::clipboard()->setText(QStringLiteral("avant"));
    host.setClipboardText(
        "Cr\xE9"
        "ateur\t\x80 \x9C\r\n");
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QStringLiteral("Cr\u00E9ateur\t\u20AC \u0153\r\n"));
    host.setClipboardText("");
    QCOMPARE(QGuiApplication::clipboard()->text(), QString());
  }

  void textWidthMeasuresLikeQt_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("accents and euro") << QByteArray("\xE9\xE8\xEA \x80");
    // Rounding each character instead of the sum would drift by many pixels.
    QTest::newRow("long run") << QByteArray(2000, 'i');
    QTest::newRow("column name") << QByteArray("level_key_names");
  }

  void textWidthMeasuresLikeQt() {
    QFETCH(QByteArray, text);
    QtHost host(FormFont());
    const qreal measuredByQt =
        QFontMetricsF(FormFont()).horizontalAdvance(ToQString(text.toStdString()));
    const int width = host.textWidth(text.toStdString());
    QVERIFY2(std::abs(width - measuredByQt) <= 1.0,
             qPrintable(QStringLiteral("%1 against %2").arg(width).arg(measuredByQt)));
  }

  void keepScreenAliveRepaints() {
    QtHost host(FormFont());
    QWidget widget;
    widget.resize(50, 50);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    QCoreApplication::processEvents();
    int painted = 0;
    struct PaintCounter : QObject {
      int* count;
      explicit PaintCounter(int* c) : count(c) {}
      bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
          ++*count;
        return false;
      }
    } counter(&painted);
    widget.installEventFilter(&counter);
    widget.update();
    host.keepScreenAlive();
    QVERIFY(painted > 0);
  }

  void pacedHostRepaintsOnChangeOrEvery50Ms() {
    CountingHost inner;
    bool controlsChanged = false;
    PacedHost paced(inner, [&controlsChanged] { return controlsChanged; });

    QElapsedTimer clock;
    clock.start();
    constexpr int kCalls = 1000;
    for (int i = 0; i < kCalls; ++i)
      paced.keepScreenAlive();
    const qint64 spent = clock.elapsed();
    QVERIFY(inner.reached >= 1);
    QVERIFY(inner.reached <= spent / PacedHost::kRepaintIntervalMs + 1);

    const int before = inner.reached;
    QTest::qWait(PacedHost::kRepaintIntervalMs + 10);
    paced.keepScreenAlive();
    QCOMPARE(inner.reached, before + 1);

    // A control that appeared or changed is shown at once, every time.
    controlsChanged = true;
    for (int i = 0; i < 3; ++i)
      paced.keepScreenAlive();
    QCOMPARE(inner.reached, before + 4);
  }
};

int RunQtHostTests(int argc, char** argv) {
  QtHostTest suite;
  return QTest::qExec(&suite, argc, argv);
}

}  // namespace passerelle::testing

#include "qt_host_test.moc"
