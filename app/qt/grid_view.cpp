#include "app/qt/grid_view.h"

#include <algorithm>
#include <unordered_map>

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QValidator>

#include "app/qt/qt_text.h"

namespace passerelle {

namespace {

// Refuses, as it is typed or pasted, a character the files cannot hold.
class Cp1252Validator : public QValidator {
 public:
  Cp1252Validator(GridView* view, QObject* parent) : QValidator(parent), view_(view) {}

  State validate(QString& input, int&) const override {
    if (FitsCp1252(input))
      return Acceptable;
    emit view_->textRefused(input);
    return Invalid;
  }

 private:
  GridView* view_;
};

class Cp1252Delegate : public QStyledItemDelegate {
 public:
  explicit Cp1252Delegate(GridView* view) : QStyledItemDelegate(view), view_(view) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor))
      line->setValidator(new Cp1252Validator(view_, line));
    return editor;
  }

 private:
  GridView* view_;
};

}  // namespace

GridView::GridView(Grid& grid, bool editable, QWidget* parent)
    : QTableView(parent), model_(new GridModel(grid, editable, this)), editable_(editable) {
  setModel(model_);
  connect(model_, &GridModel::textRefused, this, &GridView::textRefused);
  // Tab leaves the grid for the next control, as everywhere else in the
  // window; the arrows move between cells.
  setTabKeyNavigation(false);
  // The first fixed row and column are shown as the headers, which stay in
  // sight while the cells scroll, as a grid's fixed cells do; they are
  // plain text, not buttons.
  for (QHeaderView* header : {horizontalHeader(), verticalHeader()}) {
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  }
  horizontalHeader()->setFixedHeight(kRowHeight);
  // Rows never size to their contents: that would measure every row of a
  // big import.
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setDefaultSectionSize(kRowHeight);
  horizontalHeader()->setMinimumSectionSize(1);
  horizontalHeader()->setDefaultSectionSize(Grid::kDefaultColWidth);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setWordWrap(false);
  setTextElideMode(Qt::ElideNone);
  setCornerButtonEnabled(false);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  if (editable) {
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    setItemDelegate(new Cp1252Delegate(this));
  } else {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
  }
  applyFixedHeaders();
  applyColumnWidths();
  showGridCurrentCell();
}

void GridView::refresh() {
  // A reset gives every column the header's default width again, and shows
  // every row and column.
  if (model_->refresh()) {
    appliedWidths_.clear();
    headerRows_ = -1;
    headerCols_ = -1;
  }
  applyFixedHeaders();
  applyColumnWidths();
  showGridCurrentCell();
}

void GridView::setNamesInFirstRow(bool names) {
  model_->setNamesInFirstRow(names);
  headerRows_ = -1;
  refresh();
}

void GridView::applyFixedHeaders() {
  const Grid& cells = grid();
  const int rows = model_->firstRowIsHeader() ? 1 : 0;
  const int cols = cells.fixedCols() > 0 ? 1 : 0;
  if (rows != headerRows_) {
    horizontalHeader()->setVisible(rows == 1);
    if (model_->rowCount() > 0)
      setRowHidden(0, rows == 1);
    headerRows_ = rows;
  }
  if (cols != headerCols_) {
    verticalHeader()->setVisible(cols == 1);
    if (model_->columnCount() > 0)
      setColumnHidden(0, cols == 1);
    headerCols_ = cols;
  }
  // The side header is as wide as the column it stands for.
  if (cols == 1 && verticalHeader()->width() != cells.colWidth(0))
    verticalHeader()->setFixedWidth(cells.colWidth(0));
}

void GridView::commitEdit() {
  if (state() != QAbstractItemView::EditingState)
    return;
  if (QWidget* editor = indexWidget(currentIndex())) {
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
  }
}

void GridView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  Grid& cells = grid();
  // A reset passes through "no current cell"; the grid keeps its own.
  if (current.isValid() && current.column() < cells.colCount() && current.row() < cells.rowCount())
    cells.setCurrentCell(current.column(), current.row());
}

void GridView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    const QModelIndex under = indexAt(event->position().toPoint());
    if (under.isValid() && (model_->flags(under) & Qt::ItemIsSelectable)) {
      const bool inSelection = selectionModel()->isSelected(under);
      selectionModel()->setCurrentIndex(
          under, inSelection ? QItemSelectionModel::NoUpdate : QItemSelectionModel::ClearAndSelect);
    }
    setFocus(Qt::MouseFocusReason);
    event->accept();
    return;
  }
  QTableView::mousePressEvent(event);
}

void GridView::keyPressEvent(QKeyEvent* event) {
  if (editable_ && state() != QAbstractItemView::EditingState) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
      clearSelectedCells();
      event->accept();
      return;
    }
    if (event->matches(QKeySequence::Paste)) {
      pasteText(QGuiApplication::clipboard()->text());
      event->accept();
      return;
    }
  }
  QTableView::keyPressEvent(event);
}

void GridView::clearSelectedCells() {
  if (!editable_)
    return;
  const QModelIndexList selected = selectionModel()->selectedIndexes();
  for (const QModelIndex& index : selected)
    model_->setData(index, QString());
}

void GridView::pasteText(const QString& text) {
  const QModelIndex start = currentIndex();
  if (!editable_ || !start.isValid())
    return;
  QString body = text;
  // A spreadsheet ends its copy with a line end: no empty row after it.
  if (body.endsWith(QChar('\n')))
    body.chop(1);
  if (body.endsWith(QChar('\r')))
    body.chop(1);
  const QStringList lines = body.split(QChar('\n'));
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const int row = start.row() + static_cast<int>(i);
    if (row >= model_->rowCount())
      break;
    QString line = lines[i];
    if (line.endsWith(QChar('\r')))
      line.chop(1);
    const QStringList cells = line.split(QChar('\t'));
    for (qsizetype j = 0; j < cells.size(); ++j) {
      const int col = start.column() + static_cast<int>(j);
      if (col >= model_->columnCount())
        break;
      model_->setData(model_->index(row, col), cells[j]);
    }
  }
}

void GridView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    event->accept();
    return;
  }
  QTableView::mouseReleaseEvent(event);
}

void GridView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    event->accept();
    return;
  }
  QTableView::mouseDoubleClickEvent(event);
}

void GridView::applyColumnWidths() {
  const Grid& cells = grid();
  const int cols = model_->columnCount();
  std::vector<int> widths(static_cast<std::size_t>(cols));
  for (int c = 0; c < cols; ++c)
    widths[static_cast<std::size_t>(c)] = cells.colWidth(c);
  if (widths == appliedWidths_)
    return;

  // A line with a million separators makes a million columns, nearly all of
  // one width. Resizing a header section costs a signal and a relayout each,
  // so the commonest width becomes the default and only the others are
  // resized one by one.
  std::unordered_map<int, int> countOfWidth;
  int commonest = Grid::kDefaultColWidth;
  int commonestCount = 0;
  for (const int width : widths) {
    const int count = ++countOfWidth[width];
    if (count > commonestCount) {
      commonest = width;
      commonestCount = count;
    }
  }
  QHeaderView* header = horizontalHeader();
  header->setDefaultSectionSize(commonest);
  for (int c = 0; c < cols; ++c) {
    const int width = widths[static_cast<std::size_t>(c)];
    if (header->sectionSize(c) != width)
      header->resizeSection(c, width);
  }
  appliedWidths_ = std::move(widths);
}

void GridView::showGridCurrentCell() {
  const Grid& cells = grid();
  QModelIndex wanted = model_->index(cells.currentRow(), cells.currentCol());
  // A fresh import leaves the current cell on the column names, which are
  // the header now: the cell below them is the first one to work on.
  if (wanted.isValid() && wanted.row() == 0 && cells.fixedRows() == 0 && model_->firstRowIsHeader())
    wanted = model_->index(1, wanted.column());
  if (!wanted.isValid() || model_->isFixed(wanted) || wanted == currentIndex())
    return;
  selectionModel()->setCurrentIndex(wanted, QItemSelectionModel::ClearAndSelect);
}

}  // namespace passerelle
