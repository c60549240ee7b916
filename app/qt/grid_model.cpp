#include "app/qt/grid_model.h"

#include <QGuiApplication>
#include <QPalette>

#include "app/qt/qt_text.h"

namespace passerelle {

GridModel::GridModel(Grid& grid, bool editable, QObject* parent)
    : QAbstractTableModel(parent),
      grid_(grid),
      editable_(editable),
      rows_(grid.rowCount()),
      cols_(grid.colCount()) {}

bool GridModel::isFixed(const QModelIndex& index) const {
  return index.column() < grid_.fixedCols() || index.row() < grid_.fixedRows() ||
         (index.row() == 0 && firstRowIsHeader());
}

bool GridModel::firstRowIsHeader() const {
  return grid_.fixedRows() > 0 || (namesInFirstRow_ && rows_ > 1);
}

bool GridModel::refresh() {
  if (rows_ != grid_.rowCount() || cols_ != grid_.colCount()) {
    beginResetModel();
    rows_ = grid_.rowCount();
    cols_ = grid_.colCount();
    endResetModel();
    return true;
  }
  // The fixed counts may have changed too, so the styling roles go with
  // the texts.
  emit dataChanged(index(0, 0), index(rows_ - 1, cols_ - 1));
  emit headerDataChanged(Qt::Horizontal, 0, cols_ - 1);
  emit headerDataChanged(Qt::Vertical, 0, rows_ - 1);
  return false;
}

int GridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int GridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : cols_;
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid())
    return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      // Reading outside the grid's live counts gives the empty text, so a
      // view painting mid-command never reads past a row.
      return ToQString(grid_.cell(index.column(), index.row()));
    case Qt::BackgroundRole:
      if (isFixed(index))
        return QGuiApplication::palette().button();
      return {};
    case Qt::ForegroundRole:
      // Fixed cells are disabled so that the cursor skips them; their text
      // must still read as normal text, not greyed out.
      if (isFixed(index))
        return QGuiApplication::palette().buttonText();
      return {};
    default:
      return {};
  }
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable)) {
    return false;
  }
  if (index.row() >= grid_.rowCount() || index.column() >= grid_.colCount())
    return false;
  const QString text = value.toString();
  if (!FitsCp1252(text)) {
    emit textRefused(text);
    return false;
  }
  grid_.setCell(index.column(), index.row(), FromQString(text));
  emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
  return true;
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || section < 0)
    return {};
  if (orientation == Qt::Horizontal)
    return firstRowIsHeader() ? ToQString(grid_.cell(section, 0)) : QVariant();
  return grid_.fixedCols() > 0 ? ToQString(grid_.cell(0, section)) : QVariant();
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
  if (!index.isValid() || isFixed(index))
    return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (editable_)
    flags |= Qt::ItemIsEditable;
  return flags;
}

}  // namespace passerelle
