#include "app/qt/main_window.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "app/qt/app_icon.h"
#include "app/qt/grid_view.h"
#include "app/qt/input_gate.h"
#include "app/qt/qt_text.h"
#include "app/qt/text_list_model.h"

namespace passerelle {

namespace {

// The bands and the table area, in pixels, as the form was drawn.
constexpr int kTopBandHeight = 77;
constexpr int kCopyBandHeight = 41;
constexpr int kCreditBandHeight = 26;
constexpr int kTeacherTableWidth = 557;
constexpr int kRawViewWidth = 185;
constexpr int kRawViewHeight = 281;
constexpr int kDividerWidth = 13;
constexpr int kDividerHeight = 73;
constexpr int kWaitNoticePixels = 24;

constexpr int kMargin = 8;
constexpr int kGap = 12;
constexpr int kButtonHeight = 24;
constexpr int kButtonPadding = 24;
constexpr int kProgressBarWidth = 300;
constexpr QSize kUnmaximisedSize(1024, 720);
// Below the bands, enough of the tables to work in.
constexpr int kMinimumTableAreaHeight = 160;
constexpr int kMinimumStatusWidth = 200;
// How long the end of a long command waits for input still on its way.
constexpr int kInputSettleMs = 40;

QFrame* MakeBand(QWidget* parent, const char* name, int height) {
  auto* band = new QFrame(parent);
  band->setObjectName(QString::fromLatin1(name));
  band->setFrameStyle(QFrame::Panel | QFrame::Raised);
  band->setFixedHeight(height);
  return band;
}

// The teacher table docked left at its fixed width, the import grid in the
// rest, and the raw text view laid over the bottom left corner, where it
// hides the fewest cells that the user edits.
class TableArea : public QWidget {
 public:
  TableArea(QWidget* parent) : QWidget(parent) {}

  void setParts(QWidget* teacherTable, QWidget* importGrid, QWidget* rawView) {
    teacherTable_ = teacherTable;
    importGrid_ = importGrid;
    rawView_ = rawView;
    rawView_->raise();
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    const int w = width();
    const int h = height();
    const int teacherWidth = std::min(kTeacherTableWidth, w);
    teacherTable_->setGeometry(0, 0, teacherWidth, h);
    importGrid_->setGeometry(teacherWidth, 0, std::max(0, w - teacherWidth), h);
    const int rawHeight = std::min(kRawViewHeight, h);
    rawView_->setGeometry(0, h - rawHeight, std::min(kRawViewWidth, w), rawHeight);
  }

 private:
  QWidget* teacherTable_ = nullptr;
  QWidget* importGrid_ = nullptr;
  QWidget* rawView_ = nullptr;
};

int ButtonWidth(const QWidget* band, std::initializer_list<const Control*> controls) {
  const QFontMetrics metrics(band->font());
  int widest = 0;
  for (const Control* control : controls) {
    widest = std::max(widest, metrics.horizontalAdvance(ToQString(control->caption)));
  }
  return widest + kButtonPadding;
}

}  // namespace

QFont FormFont() {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPointSize(8);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

MainWindow::MainWindow(Host& host, std::string applicationTitle, QWidget* parent)
    : QWidget(parent),
      pacedHost_(host,
                 [this] {
                   screenCaughtUp_ = true;
                   return syncControls();
                 }),
      form_(pacedHost_, std::move(applicationTitle)),
      memoWidths_(FormFont()) {
  setObjectName(QStringLiteral("Form1"));
  setFont(FormFont());
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  widgets_.Panel1 = MakeBand(this, "Panel1", kTopBandHeight);
  widgets_.Panel3 = MakeBand(this, "Panel3", kCopyBandHeight);
  widgets_.Panel2 = MakeBand(this, "Panel2", kCreditBandHeight);
  layout->addWidget(widgets_.Panel1);
  layout->addWidget(widgets_.Panel3);
  layout->addWidget(buildTableArea(), 1);
  layout->addWidget(widgets_.Panel2);
  buildTopBand();
  buildCopyBand();
  buildCreditBand();
  setWindowIcon(AppIcon());

  for (GridView* view : {widgets_.StringGrid1, widgets_.StringGrid2})
    connect(view, &GridView::textRefused, this, &MainWindow::tellRefusedText);
  auto* newConversion = new QShortcut(QKeySequence::New, this);
  connect(newConversion, &QShortcut::activated, this, [this] { press(&TForm1::NewConversion); });

  // Every control of the bands stays reachable: the window never gets
  // narrower than the top band's last control, nor shorter than the bands
  // and a useful part of the tables.
  int widest = 0;
  for (const QWidget* child : widgets_.Panel1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    widest = std::max(widest, child->geometry().right() + 1 + kMargin);
  widest = std::max(widest, widgets_.Label3->geometry().right() + 1 + 3 * kGap +
                                widgets_.NewConversion->width() + kMargin);
  widest = std::max(widest, widgets_.ProgressBar1->geometry().right() + 1 + kGap +
                                kMinimumStatusWidth + widgets_.OpenFolder->width() + kMargin);
  setMinimumSize(widest,
                 kTopBandHeight + kCopyBandHeight + kCreditBandHeight + kMinimumTableAreaHeight);

  syncFromForm();
  setTabOrderAndFocus();
}

MainWindow::~MainWindow() {
  // The widgets read the form's tables until they are gone, and Qt deletes
  // a window's children only after its members: an editor committing on
  // its way out, or a last repaint, would read a destroyed grid. So the
  // children go first.
  while (!children().isEmpty())
    delete children().constFirst();
}

QSize MainWindow::sizeHint() const {
  return kUnmaximisedSize;
}

QLabel* MainWindow::addLabel(QWidget* band, Control& control, const char* name) {
  auto* label = new QLabel(ToQString(control.caption), band);
  label->setObjectName(QString::fromLatin1(name));
  // A caption is text, never markup.
  label->setTextFormat(Qt::PlainText);
  bound_.push_back({&control, label});
  return label;
}

QPushButton* MainWindow::addButton(QWidget* band, Control& control, const char* name,
                                   void (TForm1::*handler)()) {
  auto* button = new QPushButton(ToQString(control.caption), band);
  button->setObjectName(QString::fromLatin1(name));
  // Return presses the focused button, as Space does.
  button->setAutoDefault(true);
  connect(button, &QPushButton::clicked, this, [this, handler] { press(handler); });
  bound_.push_back({&control, button});
  return button;
}

QCheckBox* MainWindow::addCheckBox(QWidget* band, Control& control, const char* name) {
  auto* box = new QCheckBox(ToQString(control.caption), band);
  box->setObjectName(QString::fromLatin1(name));
  box->setChecked(control.checked);
  connect(box, &QCheckBox::toggled, this, [&control](bool checked) { control.checked = checked; });
  bound_.push_back({&control, box});
  return box;
}

void MainWindow::buildTopBand() {
  QFrame* band = widgets_.Panel1;

  // Students and classes on the left.
  widgets_.Label4 = addLabel(band, form_.Label4, "Label4");
  widgets_.Button2 = addButton(band, form_.Button2, "Button2", &TForm1::Button2Click);
  widgets_.BitBtn2 = addButton(band, form_.BitBtn2, "BitBtn2", &TForm1::BitBtn2Click);
  const int studentWidth = ButtonWidth(band, {&form_.Button2, &form_.BitBtn2});
  widgets_.Label4->move(kMargin, 5);
  widgets_.Button2->setGeometry(kMargin, 22, studentWidth, kButtonHeight);
  widgets_.BitBtn2->setGeometry(kMargin, 49, studentWidth, kButtonHeight);

  const int dividerX = kMargin + studentWidth + kGap;
  widgets_.Panel4 = new QFrame(band);
  widgets_.Panel4->setObjectName(QStringLiteral("Panel4"));
  widgets_.Panel4->setFrameStyle(QFrame::Panel | QFrame::Raised);
  widgets_.Panel4->setGeometry(dividerX, (kTopBandHeight - kDividerHeight) / 2, kDividerWidth,
                               kDividerHeight);
  bound_.push_back({&form_.Panel4, widgets_.Panel4});

  // Teachers on the right: the two loading steps, the options, the save.
  const int teacherX = dividerX + kDividerWidth + kGap;
  widgets_.Label5 = addLabel(band, form_.Label5, "Label5");
  widgets_.BitBtn1 = addButton(band, form_.BitBtn1, "BitBtn1", &TForm1::BitBtn1Click);
  widgets_.Button1 = addButton(band, form_.Button1, "Button1", &TForm1::Button1Click);
  const int stepWidth = ButtonWidth(band, {&form_.BitBtn1, &form_.Button1});
  widgets_.Label5->move(teacherX, 5);
  widgets_.BitBtn1->setGeometry(teacherX, 22, stepWidth, kButtonHeight);
  widgets_.Button1->setGeometry(teacherX, 49, stepWidth, kButtonHeight);

  const int optionX = teacherX + stepWidth + kGap;
  widgets_.CheckBox1 = addCheckBox(band, form_.CheckBox1, "CheckBox1");
  widgets_.CheckBox2 = addCheckBox(band, form_.CheckBox2, "CheckBox2");
  const int optionWidth =
      std::max(widgets_.CheckBox1->sizeHint().width(), widgets_.CheckBox2->sizeHint().width());
  widgets_.CheckBox1->setGeometry(optionX, 24, optionWidth, kButtonHeight - 4);
  widgets_.CheckBox2->setGeometry(optionX, 51, optionWidth, kButtonHeight - 4);

  const int saveX = optionX + optionWidth + kGap;
  widgets_.Button3 = addButton(band, form_.Button3, "Button3", &TForm1::Button3Click);
  widgets_.CheckBox3 = addCheckBox(band, form_.CheckBox3, "CheckBox3");
  widgets_.Button3->setGeometry(saveX, 22, ButtonWidth(band, {&form_.Button3}), kButtonHeight);
  widgets_.CheckBox3->setGeometry(saveX, 51, widgets_.CheckBox3->sizeHint().width(),
                                  kButtonHeight - 4);
}

void MainWindow::buildCopyBand() {
  QFrame* band = widgets_.Panel3;
  widgets_.Button4 = addButton(band, form_.Button4, "Button4", &TForm1::Button4Click);
  const int copyWidth = ButtonWidth(band, {&form_.Button4});
  widgets_.Button4->setGeometry(kMargin, (kCopyBandHeight - kButtonHeight - 1) / 2, copyWidth,
                                kButtonHeight + 1);

  widgets_.Label3 = addLabel(band, form_.Label3, "Label3");
  QFont noticeFont = FormFont();
  noticeFont.setPixelSize(kWaitNoticePixels);
  noticeFont.setBold(true);
  widgets_.Label3->setFont(noticeFont);
  QPalette noticePalette = widgets_.Label3->palette();
  noticePalette.setColor(QPalette::WindowText, Qt::red);
  widgets_.Label3->setPalette(noticePalette);
  // Inside a window whose background is the button face, a label draws in
  // the button-text colour unless told otherwise: the notice would be black.
  widgets_.Label3->setForegroundRole(QPalette::WindowText);
  widgets_.Label3->adjustSize();
  widgets_.Label3->move(kMargin + copyWidth + 3 * kGap,
                        (kCopyBandHeight - widgets_.Label3->height()) / 2);

  // Back to the window as it opens, at the right end of the band, away from
  // the step buttons.
  widgets_.NewConversion = new QPushButton(QStringLiteral("Nouvelle conversion"), band);
  widgets_.NewConversion->setObjectName(QStringLiteral("NewConversion"));
  widgets_.NewConversion->setAutoDefault(true);
  widgets_.NewConversion->setToolTip(QStringLiteral(
      "Vide les tableaux et revient \u00E0 la fen\u00EAtre du d\u00E9part (Ctrl+N)"));
  widgets_.NewConversion->resize(widgets_.NewConversion->sizeHint().width() + kButtonPadding,
                                 kButtonHeight + 1);
  connect(widgets_.NewConversion, &QPushButton::clicked, this,
          [this] { press(&TForm1::NewConversion); });
}

void MainWindow::buildCreditBand() {
  QFrame* band = widgets_.Panel2;
  widgets_.Label2 = addLabel(band, form_.Label2, "Label2");
  widgets_.Label2->adjustSize();
  widgets_.Label2->move(kMargin, (kCreditBandHeight - widgets_.Label2->height()) / 2);

  widgets_.ProgressBar1 = new QProgressBar(band);
  widgets_.ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  widgets_.ProgressBar1->setTextVisible(false);
  const int barX = kMargin + widgets_.Label2->width() + 3 * kGap;
  widgets_.ProgressBar1->setGeometry(barX, 4, kProgressBarWidth, kCreditBandHeight - 8);

  // What the last command read or wrote, and the folder it wrote into.
  widgets_.StatusLine = new QLabel(band);
  widgets_.StatusLine->setObjectName(QStringLiteral("StatusLine"));
  widgets_.StatusLine->setTextFormat(Qt::PlainText);
  widgets_.OpenFolder = new QPushButton(QStringLiteral("Ouvrir le dossier"), band);
  widgets_.OpenFolder->setObjectName(QStringLiteral("OpenFolder"));
  widgets_.OpenFolder->setAutoDefault(true);
  widgets_.OpenFolder->resize(widgets_.OpenFolder->sizeHint().width() + kButtonPadding / 2,
                              kCreditBandHeight - 4);
  widgets_.OpenFolder->hide();
  connect(widgets_.OpenFolder, &QPushButton::clicked, this, &MainWindow::openOutputFolder);
}

void MainWindow::placeRightAnchored() {
  widgets_.NewConversion->move(widgets_.Panel3->width() - kMargin - widgets_.NewConversion->width(),
                               (kCopyBandHeight - widgets_.NewConversion->height()) / 2);

  QFrame* band = widgets_.Panel2;
  const int statusX = widgets_.ProgressBar1->geometry().right() + 1 + kGap;
  const int buttonX = band->width() - kMargin - widgets_.OpenFolder->width();
  widgets_.OpenFolder->move(buttonX, 2);
  const int statusRight =
      widgets_.OpenFolder->isHidden() ? band->width() - kMargin : buttonX - kGap;
  widgets_.StatusLine->setGeometry(statusX, 0, std::max(0, statusRight - statusX),
                                   kCreditBandHeight);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  placeRightAnchored();
  syncStatusLine();
}

void MainWindow::syncStatusLine() {
  const StatusLine& status = form_.Status;
  const bool wrote = status.folder.has_value();
  if (widgets_.OpenFolder->isHidden() == wrote) {
    widgets_.OpenFolder->setVisible(wrote);
    placeRightAnchored();
  }
  QString text = ToQString(status.text);
  QString full = text;
  if (wrote) {
    // The folder as the file manager names it; when the line is too short
    // for it, its start gives way, since its end says the most.
    const QString folder =
        QDir::toNativeSeparators(QDir(PathToQString(*status.folder)).absolutePath());
    const QString files = QStringLiteral(" : ") + ToQString(status.files);
    const QString arrow = QStringLiteral(" \u2192 ");
    full = text + arrow + folder + files;
    const QFontMetrics metrics(widgets_.StatusLine->font());
    const int room = widgets_.StatusLine->width() - metrics.horizontalAdvance(text + arrow + files);
    text += arrow + metrics.elidedText(folder, Qt::ElideLeft, std::max(room, 0)) + files;
  }
  if (widgets_.StatusLine->text() != text)
    widgets_.StatusLine->setText(text);
  widgets_.StatusLine->setToolTip(full == text ? QString() : full);
}

void MainWindow::tellRefusedText(const QString& text) {
  Q_UNUSED(text);
  form_.Status = StatusLine{
      "Caract\xE8re refus\xE9 : les fichiers sont en Windows-1252, qui ne l'a pas. La cellule "
      "garde son texte.",
      {},
      {}};
  syncStatusLine();
}

void MainWindow::openOutputFolder() {
  if (form_.Status.folder)
    QDesktopServices::openUrl(QUrl::fromLocalFile(PathToQString(*form_.Status.folder)));
}

void MainWindow::setTabOrderAndFocus() {
  // Tab goes through the bands in reading order, then the tables; hidden
  // controls are skipped by themselves.
  QWidget* const chain[] = {widgets_.Button2,     widgets_.BitBtn2,     widgets_.BitBtn1,
                            widgets_.Button1,     widgets_.CheckBox1,   widgets_.CheckBox2,
                            widgets_.Button3,     widgets_.Button4,     widgets_.NewConversion,
                            widgets_.StringGrid2, widgets_.StringGrid1, widgets_.Memo1,
                            widgets_.OpenFolder};
  for (std::size_t i = 0; i + 1 < std::size(chain); ++i)
    setTabOrder(chain[i], chain[i + 1]);
  widgets_.Button2->setFocus(Qt::OtherFocusReason);
}

QWidget* MainWindow::buildTableArea() {
  auto* area = new TableArea(this);
  area->setObjectName(QStringLiteral("TableArea"));

  widgets_.StringGrid2 = new GridView(form_.StringGrid2, /*editable=*/true, area);
  widgets_.StringGrid2->setObjectName(QStringLiteral("StringGrid2"));
  widgets_.StringGrid1 = new GridView(form_.StringGrid1, /*editable=*/false, area);
  widgets_.StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
  widgets_.StringGrid1->setNamesInFirstRow(true);

  widgets_.PopupMenu1 = new QMenu(this);
  widgets_.PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  widgets_.Copier1 = widgets_.PopupMenu1->addAction(ToQString(form_.Copier1.caption));
  widgets_.Copier1->setObjectName(QStringLiteral("Copier1"));
  connect(widgets_.Copier1, &QAction::triggered, this, [this] { copyCurrentCell(); });
  // The teacher table's menu has no item: a right click only focuses it.
  widgets_.PopupMenu2 = new QMenu(this);
  widgets_.PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
  attachMenu(widgets_.StringGrid1, widgets_.PopupMenu1);
  attachMenu(widgets_.StringGrid2, widgets_.PopupMenu2);

  widgets_.Memo1 = new QListView(area);
  widgets_.Memo1->setObjectName(QStringLiteral("Memo1"));
  const int lineHeight = QFontMetrics(FormFont()).height() + 2;
  memoModel_ = new TextListModel(form_.Memo1, memoWidths_, lineHeight, widgets_.Memo1);
  widgets_.Memo1->setModel(memoModel_);
  widgets_.Memo1->setUniformItemSizes(true);
  widgets_.Memo1->setWordWrap(false);
  widgets_.Memo1->setTextElideMode(Qt::ElideNone);
  widgets_.Memo1->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  widgets_.Memo1->setSelectionMode(QAbstractItemView::NoSelection);
  widgets_.Memo1->setEditTriggers(QAbstractItemView::NoEditTriggers);

  area->setParts(widgets_.StringGrid2, widgets_.StringGrid1, widgets_.Memo1);
  return area;
}

void MainWindow::attachMenu(GridView* view, QMenu* menu) {
  view->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(view, &QWidget::customContextMenuRequested, this, [view, menu](const QPoint& pos) {
    view->setFocus(Qt::MouseFocusReason);
    // The menu copies the current cell: it opens only on it, which the
    // right click has just made of the cell under the pointer.
    const QModelIndex at = view->indexAt(pos);
    if (!menu->isEmpty() && at.isValid() && at == view->currentIndex())
      menu->popup(view->viewport()->mapToGlobal(pos));
  });
}

bool MainWindow::syncControls() {
  bool changed = false;
  for (const BoundControl& bound : bound_) {
    const Control& control = *bound.control;
    QWidget* widget = bound.widget;
    if (widget->isHidden() == control.visible) {
      widget->setVisible(control.visible);
      changed = true;
    }
    const QString caption = ToQString(control.caption);
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      if (label->text() != caption) {
        label->setText(caption);
        // Labels sit at fixed places, not in a layout: they take the size of
        // their new text themselves.
        label->adjustSize();
        changed = true;
      }
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      if (button->text() != caption) {
        button->setText(caption);
        changed = true;
      }
      if (auto* box = qobject_cast<QCheckBox*>(widget);
          box && box->isChecked() != control.checked) {
        const QSignalBlocker quiet(box);
        box->setChecked(control.checked);
        changed = true;
      }
    }
    // Only the controls that show their hints get a tooltip.
    const QString tip = control.showHint ? ToQString(control.hint) : QString();
    if (widget->toolTip() != tip)
      widget->setToolTip(tip);
  }

  const QString copyCaption = ToQString(form_.Copier1.caption);
  if (widgets_.Copier1->text() != copyCaption)
    widgets_.Copier1->setText(copyCaption);
  widgets_.Copier1->setVisible(form_.Copier1.visible);

  const QString title = ToQString(form_.Caption);
  if (windowTitle() != title)
    setWindowTitle(title);

  syncProgressBar(changed);
  syncStatusLine();
  return changed;
}

void MainWindow::syncProgressBar(bool& changed) {
  const ProgressBar& state = form_.ProgressBar1;
  QProgressBar* bar = widgets_.ProgressBar1;
  if (bar->isHidden() == state.visible()) {
    bar->setVisible(state.visible());
    changed = true;
  }
  // Qt draws an empty range as a "busy" animation; a one-line import has
  // exactly that range and must show a plain bar instead.
  const int maximum = state.max() > state.min() ? state.max() : state.min() + 1;
  if (bar->minimum() != state.min() || bar->maximum() != maximum) {
    bar->setRange(state.min(), maximum);
  }
  if (bar->value() != state.position())
    bar->setValue(state.position());
}

void MainWindow::syncFromForm() {
  syncControls();
  widgets_.StringGrid1->refresh();
  widgets_.StringGrid2->refresh();
  memoModel_->refresh();
}

void MainWindow::press(void (TForm1::*handler)()) {
  if (busy_)
    return;
  busy_ = true;
  screenCaughtUp_ = false;
  {
    const InputGate gate(*this);
    widgets_.StringGrid1->commitEdit();
    widgets_.StringGrid2->commitEdit();
    (form_.*handler)();
    // Clicks and keys that came since the screen last caught up are thrown
    // away now, not acted on once the command is over; the system is given
    // a moment to hand over what it still holds of them, which on a loaded
    // machine lags behind. A command that never let the screen catch up (a
    // copy) was too short for anyone to click during it.
    if (screenCaughtUp_) {
      QEventLoop settle;
      QTimer::singleShot(kInputSettleMs, &settle, &QEventLoop::quit);
      settle.exec();
    }
  }
  busy_ = false;
  syncFromForm();
  if (handler == &TForm1::NewConversion)
    widgets_.Button2->setFocus(Qt::OtherFocusReason);
}

const Grid* MainWindow::focusedGrid() const {
  for (QWidget* widget = QApplication::focusWidget(); widget != nullptr;
       widget = widget->parentWidget()) {
    if (widget == widgets_.StringGrid1)
      return &form_.StringGrid1;
    if (widget == widgets_.StringGrid2)
      return &form_.StringGrid2;
  }
  return nullptr;
}

void MainWindow::copyCurrentCell() {
  form_.focusedGrid = focusedGrid();
  press(&TForm1::Copier1Click);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (busy_) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

}  // namespace passerelle
