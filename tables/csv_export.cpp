#include "tables/csv_export.h"

#include "tables/native_file.h"

namespace passerelle {

std::string GridAsCsvText(const Grid& grid) {
  const int cols = grid.colCount();
  const int rows = grid.rowCount();
  std::size_t size = 0;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c)
      size += grid.cell(c, r).size();
    size += static_cast<std::size_t>(cols) + 1;
  }
  std::string text;
  text.reserve(size);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      text.append(grid.cell(c, r));
      if (c + 1 < cols)
        text.push_back(';');
    }
    text.append("\r\n");
  }
  return text;
}

void SaveGridAsCsv(const Grid& grid, const std::filesystem::path& file) {
  WriteFileWhole(file, GridAsCsvText(grid));
}

void DeleteGridRow(Grid& grid, int row) {
  const int rows = grid.rowCount();
  if (rows <= 1 || row < 0 || row >= rows)
    return;
  std::vector<int> kept;
  kept.reserve(static_cast<std::size_t>(rows - 1));
  for (int r = 0; r < rows; ++r) {
    if (r != row)
      kept.push_back(r);
  }
  grid.keepRows(kept);
}

}  // namespace passerelle
