#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "app/qt/french_translation.h"
#include "app/qt/grid_view.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_text.h"
#include "recording_qt_host.h"
#include "support/scripted_host.h"
#include "test_suites.h"
#include "typing.h"

namespace passerelle::testing {

namespace {

constexpr char kTitle[] = "passerelle";

// Watches the window whenever a command lets the screen catch up, as a
// person looking at it would.
class WatchingHost : public ScriptedHost {
 public:
  void keepScreenAlive() override {
    ScriptedHost::keepScreenAlive();
    if (window == nullptr)
      return;
    if (window->findChild<QLabel*>(QStringLiteral("Label3"))->isVisibleTo(window))
      sawWaitNotice = true;
    if (window->findChild<QProgressBar*>(QStringLiteral("ProgressBar1"))->isVisibleTo(window))
      sawProgressBar = true;
    if (closeMidCommand && window->close())
      closedMidCommand = true;
  }

  QWidget* window = nullptr;
  bool sawWaitNotice = false;
  bool sawProgressBar = false;
  bool closeMidCommand = false;
  bool closedMidCommand = false;
};

bool WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The three exports of a tiny school, written into a scratch folder.
struct TinySchool {
  QTemporaryDir folder;
  QString users = folder.filePath(QStringLiteral("usersxx.txt"));
  QString groups = folder.filePath(QStringLiteral("profs-groupes.csv"));
  QString mails = folder.filePath(QStringLiteral("profs-mails.csv"));
  QString groupsWithoutSubject = folder.filePath(QStringLiteral("sans-matiere.csv"));

  bool write() const {
    return folder.isValid() &&
           WriteBytes(users,
                      "CLASSE;NOM;PRENOM;NE LE;LOGIN;PROFIL;MOT DE PASSE\r\n"
                      "5A;DUPONT;Jean;x;jdupont;x;pw\r\n"
                      "PROF;MARTIN;Paul;x;pmartin;x;pw2\r\n") &&
           WriteBytes(groups,
                      "Professeur;Classe > Groupe;Mati\xE8re/Sous-mati\xE8re\r\n"
                      "MARTIN Paul;5A;MATHEMATIQUES\r\n") &&
           WriteBytes(mails,
                      "NOM;CIVILITE;PRENOM;EMAIL\r\n"
                      "MARTIN;M.;Paul;paul.martin@exemple.zz\r\n") &&
           WriteBytes(groupsWithoutSubject,
                      "Professeur;Classe > Groupe\r\n"
                      "MARTIN Paul;5A\r\n");
  }
};

template <typename T>
T* Find(QWidget& window, const char* name) {
  return window.findChild<T*>(QString::fromLatin1(name));
}

bool Shown(QWidget& window, const char* name) {
  QWidget* widget = Find<QWidget>(window, name);
  return widget != nullptr && widget->isVisibleTo(&window);
}

// Windows-1252 bytes in a form that QCOMPARE prints.
QByteArray Bytes(std::string_view text) {
  return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

QString Cell(GridView* view, int col, int row) {
  return view->gridModel().index(row, col).data().toString();
}

void Press(QWidget& window, const char* button) {
  auto* widget = Find<QPushButton>(window, button);
  QVERIFY2(widget != nullptr && widget->isVisible(), button);
  QTest::mouseClick(widget, Qt::LeftButton);
}

void ShowAndActivate(QWidget& window) {
  window.resize(1200, 800);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QApplication::setActiveWindow(&window);
  QVERIFY(QTest::qWaitForWindowActive(&window));
}

// Stands in for the system's file manager.
class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> opened;

 public slots:
  void open(const QUrl& url) { opened.append(url); }
};

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void opensAsTheFormSays() {
    ScriptedHost host;
    MainWindow window(host, kTitle);
    ShowAndActivate(window);

    QCOMPARE(window.objectName(), QStringLiteral("Form1"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Form1"));

    struct Expected {
      const char* name;
      bool shown;
      QString caption;
      QString hint;
    };
    const Expected controls[] = {
        {"Label4", true, QStringLiteral("El\u00E8ves et classes"), {}},
        {"Button2", true, QStringLiteral("1. charger fichier usersxx.txt"), {}},
        {"BitBtn2", false, QStringLiteral("Sauver classes et eleves"), {}},
        {"Label5", true, QStringLiteral("Profs"), {}},
        {"BitBtn1", false, QStringLiteral("2.Charger fichier profs-groupes(pronote)"), {}},
        {"CheckBox1", false, QStringLiteral("Rajouter adresses  mail pour profs"), {}},
        {"CheckBox2", false, QStringLiteral("Fusionner Mati\u00E8re et AP"),
         QStringLiteral("Supprime AP si en d\u00E9but de discipline")},
        {"CheckBox3", false, QStringLiteral("Conserver les mati\u00E8res"), {}},
        {"Button1", false, QStringLiteral("3. Charger profs-mails (pronote )"), {}},
        {"Button3", false, QStringLiteral("Sauver Profs"), {}},
        {"Button4", true, QStringLiteral("Copier tableau"),
         QStringLiteral("Puis coller dans un tableau")},
        {"Label3", false, QStringLiteral("Veuillez patienter"), {}},
        {"Label2", true, QStringLiteral("Cr\u00E9ateur : l'\u00E9quipe Passerelle"), {}},
    };
    for (const Expected& expected : controls) {
      QWidget* widget = Find<QWidget>(window, expected.name);
      QVERIFY2(widget != nullptr, expected.name);
      QCOMPARE(widget->isVisibleTo(&window), expected.shown);
      QString caption;
      if (auto* label = qobject_cast<QLabel*>(widget))
        caption = label->text();
      if (auto* button = qobject_cast<QAbstractButton*>(widget))
        caption = button->text();
      QCOMPARE(caption, expected.caption);
      QCOMPARE(widget->toolTip(), expected.hint);
    }
    QVERIFY(Find<QCheckBox>(window, "CheckBox1")->isChecked());
    QVERIFY(Find<QCheckBox>(window, "CheckBox2")->isChecked());
    QVERIFY(!Find<QCheckBox>(window, "CheckBox3")->isChecked());

    for (const char* name : {"Panel1", "Panel2", "Panel3", "Panel4", "ProgressBar1", "StringGrid1",
                             "StringGrid2", "Memo1"}) {
      QVERIFY2(Shown(window, name), name);
    }
    QCOMPARE(Find<QWidget>(window, "Panel1")->height(), 77);
    QCOMPARE(Find<QWidget>(window, "Panel3")->height(), 41);
    QCOMPARE(Find<QWidget>(window, "Panel2")->height(), 26);
    QCOMPARE(Find<QWidget>(window, "Panel4")->size(), QSize(13, 73));
    QCOMPARE(Find<QWidget>(window, "StringGrid2")->width(), 557);
    QCOMPARE(Find<QWidget>(window, "StringGrid1")->width(), window.width() - 557);
    QCOMPARE(Find<QWidget>(window, "Memo1")->size(), QSize(185, 281));
    // The bands stack from the top in their order; the credit line is last.
    QVERIFY(Find<QWidget>(window, "Panel1")->y() < Find<QWidget>(window, "Panel3")->y());
    QCOMPARE(Find<QWidget>(window, "Panel2")->geometry().bottom(), window.rect().bottom());

    auto* waitNotice = Find<QLabel>(window, "Label3");
    QCOMPARE(waitNotice->font().pixelSize(), 24);
    QVERIFY(waitNotice->font().bold());
    QCOMPARE(waitNotice->palette().color(QPalette::WindowText), QColor(Qt::red));

    auto* bar = Find<QProgressBar>(window, "ProgressBar1");
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);

    auto* rawView = Find<QListView>(window, "Memo1");
    QCOMPARE(rawView->model()->rowCount(), 1);
    QCOMPARE(rawView->model()->index(0, 0).data().toString(), QStringLiteral("Memo1"));
    QVERIFY(!rawView->wordWrap());

    auto* importGrid = Find<GridView>(window, "StringGrid1");
    QCOMPARE(importGrid->model()->rowCount(), 5);
    QCOMPARE(importGrid->model()->columnCount(), 5);
    auto* teacherTable = Find<GridView>(window, "StringGrid2");
    QCOMPARE(teacherTable->model()->rowCount(), 1);
    QCOMPARE(teacherTable->model()->columnCount(), 8);

    auto* importMenu = Find<QMenu>(window, "PopupMenu1");
    QVERIFY(importMenu != nullptr);
    QCOMPARE(importMenu->actions().size(), 1);
    QCOMPARE(importMenu->actions().front()->objectName(), QStringLiteral("Copier1"));
    QCOMPARE(importMenu->actions().front()->text(), QStringLiteral("Copier"));
    auto* teacherMenu = Find<QMenu>(window, "PopupMenu2");
    QVERIFY(teacherMenu != nullptr);
    QVERIFY(teacherMenu->isEmpty());
  }

  void wholeRunRevealsTheButtonsInTurn() {
    TinySchool school;
    QVERIFY(school.write());
    WatchingHost host;
    MainWindow window(host, kTitle);
    host.window = &window;
    ShowAndActivate(window);
    auto* importGrid = Find<GridView>(window, "StringGrid1");
    auto* teacherTable = Find<GridView>(window, "StringGrid2");
    auto* rawView = Find<QListView>(window, "Memo1");

    // Step 1 with a step-2 export that lacks a column first: it leaves
    // step 3 hidden.
    host.answerDialog(QStringToPath(school.users));
    Press(window, "Button2");
    QVERIFY(host.sawWaitNotice);
    QVERIFY(host.sawProgressBar);
    for (const char* name : {"BitBtn1", "BitBtn2", "CheckBox1", "CheckBox2"}) {
      QVERIFY2(Shown(window, name), name);
    }
    for (const char* name : {"Label3", "ProgressBar1", "Button1", "Button3", "CheckBox3"}) {
      QVERIFY2(!Shown(window, name), name);
    }
    QCOMPARE(rawView->model()->rowCount(), 3);
    QCOMPARE(rawView->model()->index(1, 0).data().toString(),
             QStringLiteral("5A;DUPONT;Jean;x;jdupont;x;pw"));

    Press(window, "BitBtn2");
    QVERIFY(QFile::exists(school.folder.filePath(QStringLiteral("fichiers/classes.csv"))));
    QVERIFY(QFile::exists(school.folder.filePath(QStringLiteral("fichiers/eleves.csv"))));

    host.answerDialog(QStringToPath(school.groupsWithoutSubject));
    Press(window, "BitBtn1");
    QVERIFY(!Shown(window, "Button1"));
    QVERIFY(!host.messages.empty());
    QVERIFY(host.messages.back().starts_with("Format de fichier incorrect"));

    host.answerDialog(QStringToPath(school.groups));
    Press(window, "BitBtn1");
    QVERIFY(Shown(window, "Button1"));
    QVERIFY(!Shown(window, "Button3"));
    // The import grid shows the export, row index in column 0, the class
    // cell with its "_".
    QCOMPARE(importGrid->model()->rowCount(), 2);
    QCOMPARE(Cell(importGrid, 1, 0), QStringLiteral("Professeur"));
    QCOMPARE(Cell(importGrid, 3, 0), QStringLiteral("Mati\u00E8re/Sous-mati\u00E8re"));
    QCOMPARE(Cell(importGrid, 2, 1), QStringLiteral("5_A"));
    // The column names stay in sight as the top header, the line numbers as
    // the side header.
    QVERIFY(importGrid->horizontalHeader()->isVisible());
    QVERIFY(importGrid->isRowHidden(0));
    QCOMPARE(importGrid->model()->headerData(1, Qt::Horizontal).toString(),
             QStringLiteral("Professeur"));
    QCOMPARE(importGrid->model()->headerData(1, Qt::Vertical).toString(), QStringLiteral("1"));
    QCOMPARE(teacherTable->model()->rowCount(), 2);
    QCOMPARE(Cell(teacherTable, 0, 1), QStringLiteral("MARTIN Paul"));
    QCOMPARE(teacherTable->columnWidth(0), window.form().StringGrid2.colWidth(0));

    host.answerDialog(QStringToPath(school.mails));
    Press(window, "Button1");
    QVERIFY(Shown(window, "Button3"));
    QCOMPARE(Cell(teacherTable, 0, 0), QStringLiteral("last_name"));
    QCOMPARE(Cell(teacherTable, 4, 1), QStringLiteral("pmartin"));
    QCOMPARE(teacherTable->model()->rowCount(), window.form().StringGrid2.rowCount());

    // The option boxes write back into the form.
    QTest::mouseClick(Find<QCheckBox>(window, "CheckBox1"), Qt::LeftButton);
    QVERIFY(!window.form().CheckBox1.checked);
    QTest::mouseClick(Find<QCheckBox>(window, "CheckBox1"), Qt::LeftButton);
    QVERIFY(window.form().CheckBox1.checked);

    Press(window, "Button3");
    QVERIFY(QFile::exists(school.folder.filePath(QStringLiteral("fichiers/profs.csv"))));
    QVERIFY(QFile::exists(school.folder.filePath(QStringLiteral("fichiers/2profs invalides.csv"))));
    QVERIFY(host.errors.empty());
    for (const char* name : {"Button2", "BitBtn2", "BitBtn1", "Button1", "Button3", "Button4"}) {
      QVERIFY2(Shown(window, name), name);
    }

    // At the smallest size the window takes, every control is still within
    // reach.
    window.resize(window.minimumSize());
    QCoreApplication::processEvents();
    for (const char* name : {"Button2", "BitBtn2", "BitBtn1", "Button1", "CheckBox1", "CheckBox2",
                             "Button3", "Button4", "NewConversion", "OpenFolder"}) {
      auto* control = Find<QWidget>(window, name);
      const QRect inWindow(control->mapTo(&window, QPoint(0, 0)), control->size());
      QVERIFY2(window.rect().contains(inWindow), name);
    }
    QVERIFY(!window.windowIcon().isNull());
  }

  // The bottom line says what each step read and what each save wrote
  // where; "Ouvrir le dossier" opens the folder written into.
  void statusLineTellsWhatWasReadAndWritten() {
    TinySchool school;
    QVERIFY(school.write());
    ScriptedHost host;
    MainWindow window(host, kTitle);
    ShowAndActivate(window);
    auto* status = Find<QLabel>(window, "StatusLine");
    auto* openFolder = Find<QPushButton>(window, "OpenFolder");
    QVERIFY(status->text().isEmpty());
    QVERIFY(!Shown(window, "OpenFolder"));

    host.answerDialog(QStringToPath(school.users));
    Press(window, "Button2");
    QCOMPARE(status->text(), QStringLiteral("Lu : 1 \u00E9l\u00E8ve, 1 classe, 1 professeur"));
    QVERIFY(!Shown(window, "OpenFolder"));

    Press(window, "BitBtn2");
    const QString folder = QDir::toNativeSeparators(
        QDir(school.folder.filePath(QStringLiteral("fichiers"))).absolutePath());
    QVERIFY2(status->text().startsWith(QStringLiteral("25 \u00E9l\u00E8ves, 2 classes \u2192 ")),
             qPrintable(status->text()));
    QVERIFY2(status->text().endsWith(QStringLiteral(" : classes.csv, eleves.csv")),
             qPrintable(status->text()));
    QVERIFY(status->text().contains(folder) || status->toolTip().contains(folder));
    QVERIFY(Shown(window, "OpenFolder"));

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    QTest::mouseClick(openFolder, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QCOMPARE(catcher.opened.size(), 1);
    QCOMPARE(QDir(catcher.opened.front().toLocalFile()).absolutePath(),
             QDir(school.folder.filePath(QStringLiteral("fichiers"))).absolutePath());

    host.answerDialog(QStringToPath(school.groups));
    Press(window, "BitBtn1");
    host.answerDialog(QStringToPath(school.mails));
    Press(window, "Button1");
    QCOMPARE(status->text(),
             QStringLiteral("2 lignes professeur, dont 0 sans compte pour l'instant"));
    QVERIFY(!Shown(window, "OpenFolder"));
  }

  // "Nouvelle conversion" (button or Ctrl+N) brings back the window as it
  // opens: a wrong first file can be undone without restarting.
  void newConversionBringsBackTheOpeningWindow() {
    TinySchool school;
    QVERIFY(school.write());
    ScriptedHost host;
    MainWindow window(host, kTitle);
    ShowAndActivate(window);
    TForm1 opening(host);

    host.answerDialog(QStringToPath(school.users));
    Press(window, "Button2");
    host.answerDialog(QStringToPath(school.groups));
    Press(window, "BitBtn1");
    host.answerDialog(QStringToPath(school.mails));
    Press(window, "Button1");
    QTest::mouseClick(Find<QCheckBox>(window, "CheckBox1"), Qt::LeftButton);
    QVERIFY(window.form().randomSeed != 0);

    for (const bool byKeyboard : {true, false}) {
      if (byKeyboard)
        QTest::keyClick(&window, Qt::Key_N, Qt::ControlModifier);
      else
        Press(window, "NewConversion");
      const TForm1& form = window.form();
      for (const char* name :
           {"BitBtn1", "BitBtn2", "CheckBox1", "CheckBox2", "Button1", "Button3", "OpenFolder"})
        QVERIFY2(!Shown(window, name), name);
      QVERIFY(Find<QCheckBox>(window, "CheckBox1")->isChecked());
      QCOMPARE(form.randomSeed, opening.randomSeed);
      QVERIFY(!form.OpenDialog1.fileName.has_value());
      for (const auto& [grid, shown] : {std::pair{&form.StringGrid1, "StringGrid1"},
                                        std::pair{&form.StringGrid2, "StringGrid2"}}) {
        QCOMPARE(Find<GridView>(window, shown)->model()->rowCount(), grid->rowCount());
      }
      QCOMPARE(form.StringGrid1.rowCount(), opening.StringGrid1.rowCount());
      QCOMPARE(form.StringGrid2.rowCount(), opening.StringGrid2.rowCount());
      QCOMPARE(form.StringGrid3.rowCount(), opening.StringGrid3.rowCount());
      QCOMPARE(form.StringGrid5.rowCount(), opening.StringGrid5.rowCount());
      QCOMPARE(form.Memo1.count(), opening.Memo1.count());
      QVERIFY(Find<QLabel>(window, "StatusLine")->text().isEmpty());
      QCOMPARE(QApplication::focusWidget(), Find<QWidget>(window, "Button2"));
    }
    // The same run again gives the same random characters.
    host.answerDialog(QStringToPath(school.users));
    Press(window, "Button2");
    host.answerDialog(QStringToPath(school.groups));
    Press(window, "BitBtn1");
    host.answerDialog(QStringToPath(school.mails));
    Press(window, "Button1");
    ScriptedHost againHost;
    TForm1 again(againHost);
    againHost.answerDialog(QStringToPath(school.users));
    again.Button2Click();
    againHost.answerDialog(QStringToPath(school.groups));
    again.BitBtn1Click();
    againHost.answerDialog(QStringToPath(school.mails));
    again.Button1Click();
    QCOMPARE(window.form().randomSeed, again.randomSeed);
  }

  // A click or a key made while a step works is thrown away, whether it
  // comes at once or waits in the queue: nothing acts on it after the step.
  void inputDuringACommandIsDropped() {
    TinySchool school;
    QVERIFY(school.write());
    // Clicks the option boxes and the step-1 button, and types into the
    // teacher table, as soon as the step lets the screen catch up: at once,
    // and through the event queue.
    struct ImpatientHost : RecordingQtHost {
      using RecordingQtHost::RecordingQtHost;
      QWidget* window = nullptr;
      bool acted = false;
      void keepScreenAlive() override {
        if (window != nullptr && !acted) {
          acted = true;
          QTest::mouseClick(Find<QWidget>(*window, "CheckBox1"), Qt::LeftButton);
          QTest::mouseClick(Find<QWidget>(*window, "Button2"), Qt::LeftButton);
          auto* queued = Find<QWidget>(*window, "CheckBox2");
          const QPointF centre = QRectF(queued->rect()).center();
          for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QCoreApplication::postEvent(
                queued,
                new QMouseEvent(type, centre, queued->mapToGlobal(centre), Qt::LeftButton,
                                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                Qt::NoModifier));
          }
          QTest::keyClick(Find<GridView>(*window, "StringGrid2"), Qt::Key_X);
        }
        RecordingQtHost::keepScreenAlive();
      }
    };
    ImpatientHost host(FormFont());
    MainWindow window(host, kTitle);
    host.setDialogParent(&window);
    ShowAndActivate(window);
    host.answers.push_back(school.users);
    Press(window, "Button2");
    Find<GridView>(window, "StringGrid2")->setFocus();

    host.window = &window;
    host.answers.push_back(school.groups);
    Press(window, "BitBtn1");
    QVERIFY(host.acted);
    QCoreApplication::processEvents();
    QTest::qWait(50);
    QVERIFY(window.form().CheckBox1.checked);
    QVERIFY(window.form().CheckBox2.checked);
    QCOMPARE(host.dialogs.size(), std::size_t{2});
    QCOMPARE(host.dialogs.back().title, QStringLiteral("2.Charger fichier profs-groupes(pronote)"));
    QVERIFY(window.form().StringGrid2.cell(0, 0).empty());
    QVERIFY(Find<GridView>(window, "StringGrid2")->viewport()->findChild<QLineEdit*>() == nullptr);

    // Once the step is over, the window takes clicks again.
    QTest::mouseClick(Find<QCheckBox>(window, "CheckBox1"), Qt::LeftButton);
    QVERIFY(!window.form().CheckBox1.checked);
  }

  // The wait notice is red on screen, not only in its palette: inside a
  // window whose background is the button face, it once drew black.
  void waitNoticeIsDrawnRed() {
    ScriptedHost host;
    MainWindow window(host, kTitle);
    window.form().Label3.visible = true;
    window.syncFromForm();
    ShowAndActivate(window);
    const QImage notice = Find<QLabel>(window, "Label3")->grab().toImage();
    int red = 0;
    int dark = 0;
    for (int y = 0; y < notice.height(); ++y) {
      for (int x = 0; x < notice.width(); ++x) {
        const QColor pixel = notice.pixelColor(x, y);
        if (pixel.red() > 200 && pixel.green() < 80 && pixel.blue() < 80)
          ++red;
        if (pixel.red() < 80 && pixel.green() < 80 && pixel.blue() < 80)
          ++dark;
      }
    }
    QVERIFY2(red > 100, qPrintable(QString::number(red)));
    QCOMPARE(dark, 0);
  }

  // Focus starts on the first button; Tab goes through the visible buttons,
  // the option boxes and the tables, and leaves a table; Return presses the
  // focused button.
  void keyboardReachesEveryControl() {
    TinySchool school;
    QVERIFY(school.write());
    ScriptedHost host;
    MainWindow window(host, kTitle);
    ShowAndActivate(window);
    QCOMPARE(QApplication::focusWidget(), Find<QWidget>(window, "Button2"));

    host.answerDialog(QStringToPath(school.users));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(host.dialogsSeen.size(), std::size_t{1});
    QVERIFY(Shown(window, "BitBtn1"));

    QStringList order;
    for (int i = 0; i < 12; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      order.append(QApplication::focusWidget()->objectName());
    }
    const QStringList expected = {QStringLiteral("BitBtn2"),     QStringLiteral("BitBtn1"),
                                  QStringLiteral("CheckBox1"),   QStringLiteral("CheckBox2"),
                                  QStringLiteral("Button4"),     QStringLiteral("NewConversion"),
                                  QStringLiteral("StringGrid2"), QStringLiteral("StringGrid1"),
                                  QStringLiteral("Memo1"),       QStringLiteral("Button2"),
                                  QStringLiteral("BitBtn2"),     QStringLiteral("BitBtn1")};
    QCOMPARE(order, expected);
  }

  void waitNoticeIsPaintedDuringStepOne() {
    TinySchool school;
    QVERIFY(school.write());
    RecordingQtHost host(FormFont());
    MainWindow window(host, kTitle);
    host.setDialogParent(&window);
    ShowAndActivate(window);
    QCoreApplication::processEvents();

    struct PaintCounter : QObject {
      int paints = 0;
      bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
          ++paints;
        return false;
      }
    } counter;
    auto* waitNotice = Find<QLabel>(window, "Label3");
    waitNotice->installEventFilter(&counter);

    host.answers.push_back(school.users);
    Press(window, "Button2");
    QVERIFY(!waitNotice->isVisible());
    // Hidden before and after: any paint happened while step 1 worked.
    QVERIFY(counter.paints > 0);
    QVERIFY(host.boxes.empty());
  }

  void cancelledFirstStepRevealsNothing() {
    ScriptedHost host;
    MainWindow window(host, kTitle);
    ShowAndActivate(window);
    Press(window, "Button2");
    QCOMPARE(host.dialogsSeen.size(), std::size_t{1});
    for (const char* name : {"BitBtn1", "BitBtn2", "CheckBox1", "CheckBox2"}) {
      QVERIFY2(!Shown(window, name), name);
    }
  }

  void windowStaysOpenDuringACommand() {
    TinySchool school;
    QVERIFY(school.write());
    WatchingHost host;
    MainWindow window(host, kTitle);
    host.window = &window;
    host.closeMidCommand = true;
    ShowAndActivate(window);
    host.answerDialog(QStringToPath(school.users));
    Press(window, "Button2");
    QVERIFY(host.screenUpdates > 0);
    QVERIFY(!host.closedMidCommand);
    QVERIFY(window.isVisible());
    QVERIFY(window.close());
  }

  void editedTeacherCellIsCopiedAsTyped() {
    ScriptedHost host;
    MainWindow window(host, kTitle);
    ShowAndActivate(window);

    // Before any step: one row of eight empty cells.
    Press(window, "Button4");
    QVERIFY(host.clipboard.has_value());
    QCOMPARE(Bytes(*host.clipboard), QByteArray(7, '\t') + "\r\n");

    auto* teacherTable = Find<GridView>(window, "StringGrid2");
    const QModelIndex cell = teacherTable->gridModel().index(0, 1);
    QTest::mouseClick(teacherTable->viewport(), Qt::LeftButton, {},
                      teacherTable->visualRect(cell).center());
    QTest::keyClick(teacherTable, Qt::Key_F2);
    auto* editor = teacherTable->viewport()->findChild<QLineEdit*>();
    QVERIFY(editor != nullptr);
    // A character the files cannot hold is refused at once, and the status
    // line says why.
    TypeText(editor, QStringLiteral("H\u00E9l\u00E8ne "));
    TypeText(editor, QStringLiteral("\u6F22"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(Bytes(window.form().StringGrid2.cell(1, 0)), QByteArray("H\xE9l\xE8ne "));
    QVERIFY(Find<QLabel>(window, "StatusLine")->text().contains(QStringLiteral("Windows-1252")));

    Press(window, "Button4");
    QCOMPARE(Bytes(*host.clipboard), "\tH\xE9l\xE8ne " + QByteArray(6, '\t') + "\r\n");
  }

  void copierCopiesTheCurrentCellOfTheFocusedGrid() {
    ScriptedHost host;
    MainWindow window(host, kTitle);
    Grid& imported = window.form().StringGrid1;
    imported.setCell(2, 1, "Mati\xE8re");
    imported.setCell(3, 2, "autre");
    window.syncFromForm();
    ShowAndActivate(window);

    auto* importGrid = Find<GridView>(window, "StringGrid1");
    auto* teacherTable = Find<GridView>(window, "StringGrid2");
    auto* importMenu = Find<QMenu>(window, "PopupMenu1");
    const GridModel& model = importGrid->gridModel();

    QTest::mouseClick(importGrid->viewport(), Qt::LeftButton, {},
                      importGrid->visualRect(model.index(1, 2)).center());
    QCOMPARE(imported.currentCol(), 2);
    QCOMPARE(imported.currentRow(), 1);

    // Focus elsewhere, then a right click on another cell: the grid takes
    // the focus and the clicked cell becomes current, so "Copier" copies
    // the cell under the pointer.
    Find<QPushButton>(window, "Button4")->setFocus();
    const QPoint elsewhere = importGrid->visualRect(model.index(2, 3)).center();
    QTest::mousePress(importGrid->viewport(), Qt::RightButton, {}, elsewhere);
    QTest::mouseRelease(importGrid->viewport(), Qt::RightButton, {}, elsewhere);
    QVERIFY(importGrid->hasFocus());
    QCOMPARE(imported.currentCol(), 3);
    QCOMPARE(imported.currentRow(), 2);

    QContextMenuEvent menuRequest(QContextMenuEvent::Mouse, elsewhere,
                                  importGrid->viewport()->mapToGlobal(elsewhere));
    QApplication::sendEvent(importGrid->viewport(), &menuRequest);
    QTRY_VERIFY(importMenu->isVisible());
    QTest::keyClick(importMenu, Qt::Key_Down);
    QTest::keyClick(importMenu, Qt::Key_Return);
    QTRY_VERIFY(host.clipboard.has_value());
    QCOMPARE(Bytes(*host.clipboard), QByteArray("autre"));
    QVERIFY(!importMenu->isVisible());
    auto* copier = Find<QAction>(window, "Copier1");

    // An empty current cell empties the clipboard.
    QTest::mouseClick(importGrid->viewport(), Qt::LeftButton, {},
                      importGrid->visualRect(model.index(4, 4)).center());
    copier->trigger();
    QCOMPARE(Bytes(*host.clipboard), QByteArray());

    // With a button focused, "Copier" does nothing.
    host.clipboard = "inchang\xE9";
    Find<QPushButton>(window, "Button4")->setFocus();
    copier->trigger();
    QCOMPARE(Bytes(*host.clipboard), QByteArray("inchang\xE9"));

    // The teacher table's menu has no item: a right click focuses the table
    // and opens nothing.
    const QPoint onTeacher =
        teacherTable->visualRect(teacherTable->gridModel().index(0, 0)).center();
    QTest::mousePress(teacherTable->viewport(), Qt::RightButton, {}, onTeacher);
    QContextMenuEvent teacherRequest(QContextMenuEvent::Mouse, onTeacher,
                                     teacherTable->viewport()->mapToGlobal(onTeacher));
    QApplication::sendEvent(teacherTable->viewport(), &teacherRequest);
    QVERIFY(teacherTable->hasFocus());
    QCOMPARE(QApplication::activePopupWidget(), nullptr);
  }

  void errorsGoToTheErrorDisplay() {
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    RecordingQtHost host(FormFont());
    MainWindow window(host, kTitle);
    host.setDialogParent(&window);
    ShowAndActivate(window);
    host.answers.push_back(scratch.filePath(QStringLiteral("absent.txt")));
    Press(window, "Button2");
    QCOMPARE(host.boxes.size(), std::size_t{1});
    const auto& box = host.boxes.front();
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.title, QString::fromLatin1(kTitle));
    QVERIFY2(box.text.startsWith(QStringLiteral("Fichier introuvable")), qPrintable(box.text));
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    // The window stays usable: the handler's visibility rule has not run, the
    // next press opens the dialog again.
    QVERIFY(!Shown(window, "BitBtn1"));
    QCOMPARE(host.dialogs.size(), std::size_t{1});
    QCOMPARE(host.dialogs.front().nameFilters,
             QtNameFilters("Text files (*.txt)|*.TXT|Fichiers CSV (*.csv)|*.CSV"));
    Press(window, "Button2");
    QCOMPARE(host.dialogs.size(), std::size_t{2});
  }

  // Last: the translation stays installed for the rest of the program.
  void qtDialogsSpeakFrench() {
    if (!InstallFrenchTranslation(*QCoreApplication::instance()))
      QSKIP("Qt's French translation (qt6-translations-l10n) is not installed");
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Annuler"));
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Voir dans :"));
  }
};

int RunWindowTests(int argc, char** argv) {
  WindowTest suite;
  return QTest::qExec(&suite, argc, argv);
}

}  // namespace passerelle::testing

#include "window_test.moc"
