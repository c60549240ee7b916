#include "app/qt/grid_view.h"

#include <algorithm>
#include <unordered_map>

#include <QHeaderView>
#include <QMouseEvent>

namespace passerelle {

GridView::GridView(Grid& grid, bool editable, QWidget* parent)
    : QTableView(parent), model_(new GridModel(grid, editable, this)) {
  setModel(model_);
  // The fixed cells are the headers, as in every grid of the program; Qt's
  // own headers would show a second set.
  horizontalHeader()->hide();
  verticalHeader()->hide();
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
  } else {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
  }
  applyColumnWidths();
  showGridCurrentCell();
}

void GridView::refresh() {
  // A reset gives every column the header's default width again.
  if (model_->refresh())
    appliedWidths_.clear();
  applyColumnWidths();
  showGridCurrentCell();
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
    setFocus(Qt::MouseFocusReason);
    event->accept();
    return;
  }
  QTableView::mousePressEvent(event);
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
  const QModelIndex wanted = model_->index(cells.currentRow(), cells.currentCol());
  if (!wanted.isValid() || model_->isFixed(wanted) || wanted == currentIndex())
    return;
  selectionModel()->setCurrentIndex(wanted, QItemSelectionModel::ClearAndSelect);
}

}  // namespace passerelle
