#pragma once

#include <QAbstractTableModel>

#include "tables/grid.h"

namespace passerelle {

// Shows a Grid to a Qt view without copying it: every cell is read from the
// grid when the view paints it, so a million-row import costs no more than
// the rows on screen.
//
// The model announces the shape it last saw, not the grid's live counts: the
// commands reshape the grids while the screen catches up with the progress
// bar, and the view must never be told of rows that it was not told of
// through the model. refresh() brings the shape up to date afterwards.
class GridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  GridModel(Grid& grid, bool editable, QObject* parent = nullptr);

  Grid& grid() { return grid_; }
  const Grid& grid() const { return grid_; }

  // Fixed (header-styled) cells: the leading columns and rows the grid keeps
  // as headers. They can be neither selected nor edited.
  bool isFixed(const QModelIndex& index) const;
  // Row 0 shown as the top header: a fixed row, or the column names of an
  // imported file.
  bool firstRowIsHeader() const;
  void setNamesInFirstRow(bool names) { namesInFirstRow_ = names; }

  // After a command: resets the model when the grid's counts changed, else
  // tells the views that any text may have changed. True after a reset.
  bool refresh();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  // Stores the edited text as Windows-1252. A text with a character it
  // cannot hold is refused, never saved with a "?" in its place: the cell
  // keeps its text and textRefused() says so.
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // The first fixed row and column are the views' headers, so that they
  // stay in sight while the cells scroll: section c of the top header is
  // cell (c, 0), section r of the side header cell (0, r).
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 signals:
  void textRefused(const QString& text);

 private:
  Grid& grid_;
  bool editable_;
  bool namesInFirstRow_ = false;
  int rows_;
  int cols_;
};

}  // namespace passerelle
