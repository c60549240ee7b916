#pragma once

#include <string>
#include <vector>

#include <QFont>
#include <QWidget>

#include "app/form/Unit1.h"
#include "app/qt/paced_host.h"
#include "app/qt/text_width.h"

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QListView;
class QMenu;
class QProgressBar;
class QPushButton;

namespace passerelle {

class GridView;
class TextListModel;

// The font the form was drawn in. Where the system lacks it, the nearest
// sans-serif stands in at the same size.
QFont FormFont();

// The main window: draws TForm1, one widget per control named after it, and
// forwards the clicks to the form's handlers. The window owns no state of
// its own beyond the widgets: after every command it redraws itself from
// the form.
class MainWindow : public QWidget {
  Q_OBJECT

 public:
  // `host` is the desktop the commands use: the Qt one in the program, a
  // scripted one in the tests. `applicationTitle` captions the error
  // display.
  MainWindow(Host& host, std::string applicationTitle, QWidget* parent = nullptr);
  ~MainWindow() override;

  TForm1& form() { return form_; }

  // Redraws every control and table from the form.
  void syncFromForm();

  // The window opens maximised; this is its size where nothing maximises
  // it (a bare X server has no window manager to do so).
  QSize sizeHint() const override;

 protected:
  // Closing mid-command would pull the window from under the command.
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // The widget that draws a control of the form.
  struct BoundControl {
    Control* control;
    QWidget* widget;
  };

  // Widgets named after the components they draw.
  struct Widgets {
    QFrame* Panel1 = nullptr;
    QFrame* Panel2 = nullptr;
    QFrame* Panel3 = nullptr;
    QFrame* Panel4 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QPushButton* NewConversion = nullptr;
    QPushButton* OpenFolder = nullptr;
    QLabel* StatusLine = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    GridView* StringGrid1 = nullptr;
    GridView* StringGrid2 = nullptr;
    QListView* Memo1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QMenu* PopupMenu2 = nullptr;
    QAction* Copier1 = nullptr;
  };

  void buildTopBand();
  void buildCopyBand();
  void buildCreditBand();
  QWidget* buildTableArea();
  QLabel* addLabel(QWidget* band, Control& control, const char* name);
  QPushButton* addButton(QWidget* band, Control& control, const char* name,
                         void (TForm1::*handler)());
  QCheckBox* addCheckBox(QWidget* band, Control& control, const char* name);
  void attachMenu(GridView* view, QMenu* menu);
  void setTabOrderAndFocus();
  // The controls anchored to the right edge, and the status line between.
  void placeRightAnchored();
  void syncStatusLine();
  void tellRefusedText(const QString& text);
  void openOutputFolder();

  // Redraws the controls (not the tables) and says whether anything that
  // shows changed; this is what runs while a command is under way.
  bool syncControls();
  void syncProgressBar(bool& changed);

  // Runs one handler of the form, then redraws everything.
  void press(void (TForm1::*handler)());
  void copyCurrentCell();
  const Grid* focusedGrid() const;

  PacedHost pacedHost_;
  TForm1 form_;
  Cp1252WidthTable memoWidths_;
  Widgets widgets_;
  TextListModel* memoModel_ = nullptr;
  std::vector<BoundControl> bound_;
  bool busy_ = false;
  // Whether the command under way has let the screen catch up (and so the
  // user's input in).
  bool screenCaughtUp_ = false;
};

}  // namespace passerelle
