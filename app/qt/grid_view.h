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
  Grid& grid() { return model_->grid(); }

  // Brings the view in line with the grid after a command: shape, texts,
  // column widths and current cell.
  void refresh();

  // Ends an edit in progress, keeping what the user typed, so that a
  // command never runs under an open editor.
  void commitEdit();

 protected:
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  // A right click only gives the grid the focus: the current cell, which
  // "Copier" copies, stays where the left button or the keyboard put it.
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void applyColumnWidths();
  void showGridCurrentCell();

  GridModel* model_;
  std::vector<int> appliedWidths_;
};

}  // namespace passerelle
