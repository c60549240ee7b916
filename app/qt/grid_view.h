#pragma once

#include <vector>

#include <QTableView>

#include "app/qt/grid_model.h"
#include "tables/grid.h"

namespace passerelle {

// A grid of the window: the cells of a Grid, its fixed cells header-styled,
// its column widths, and its current cell kept in the Grid where the
// commands read it.
class GridView : public QTableView {
  Q_OBJECT

 public:
  static constexpr int kRowHeight = 20;

  // An editable grid lets the user change its cells in place and select a
  // range; the other shows its cells and a single current cell.
  GridView(Grid& grid, bool editable, QWidget* parent = nullptr);

  GridModel& gridModel() { return *model_; }

  // The import grid always holds a file's column names in row 0, even once
  // an import has lowered its fixed rows: that row stays the top header.
  void setNamesInFirstRow(bool names);
  Grid& grid() { return model_->grid(); }

  // Brings the view in line with the grid after a command: shape, texts,
  // column widths and current cell.
  void refresh();

  // Ends an edit in progress, keeping what the user typed, so that a
  // command never runs under an open editor.
  void commitEdit();

  // Spreadsheet habits of the editable grid: the selected cells emptied,
  // and tab-separated text laid out from the current cell on, as far as the
  // grid reaches. Both go through the model, which refuses texts the files
  // could not hold.
  void clearSelectedCells();
  void pasteText(const QString& text);

 signals:
  // An edit or a paste held a character beyond Windows-1252: refused.
  void textRefused(const QString& text);

 protected:
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  // A right click makes the cell under the pointer current (keeping a range
  // it falls in) and gives the grid the focus, so that "Copier" copies the
  // cell that was clicked.
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void applyColumnWidths();
  void showGridCurrentCell();
  // Shows the first fixed row and column as the headers (which stay in
  // sight), hiding their cells from the body.
  void applyFixedHeaders();

  GridModel* model_;
  bool editable_;
  std::vector<int> appliedWidths_;
  int headerRows_ = -1;  // 1 when row 0 is the top header, else 0
  int headerCols_ = -1;
};

}  // namespace passerelle
