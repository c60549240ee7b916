#include "tables/grid.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace passerelle {

namespace {

// Packed row layout: uint32 n, then n uint32 end offsets relative to the
// start of the cell bytes, then the bytes.
std::uint32_t ReadU32(const std::string& row, std::size_t at) {
  std::uint32_t value;
  std::memcpy(&value, row.data() + at, sizeof value);
  return value;
}

void WriteU32(std::string& row, std::size_t at, std::uint32_t value) {
  std::memcpy(row.data() + at, &value, sizeof value);
}

std::uint32_t CellCount(const std::string& row) {
  return row.empty() ? 0 : ReadU32(row, 0);
}

std::string_view PackedCell(const std::string& row, std::uint32_t index) {
  const std::uint32_t n = CellCount(row);
  if (index >= n)
    return {};
  const std::size_t dataStart = 4 + 4 * static_cast<std::size_t>(n);
  const std::uint32_t begin = index == 0 ? 0 : ReadU32(row, 4 + 4 * (index - 1));
  const std::uint32_t end = ReadU32(row, 4 + 4 * index);
  return std::string_view(row.data() + dataStart + begin, end - begin);
}

// Builds a packed row from cells, dropping trailing empty cells so that rows
// stay as short as their last non-empty cell.
template <typename Cells>
std::string Pack(const Cells& cells) {
  std::size_t n = cells.size();
  while (n > 0 && std::string_view(cells[n - 1]).empty())
    --n;
  if (n == 0)
    return {};
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < n; ++i)
    bytes += std::string_view(cells[i]).size();
  if (bytes > UINT32_MAX)
    throw std::length_error("row too long");
  const std::size_t dataStart = 4 + 4 * n;
  // Always on the heap, never in the string object itself: the rows move
  // when the table grows, and a view of a cell must outlive that.
  std::string row;
  row.reserve(std::max(dataStart + bytes, std::string().capacity() + 1));
  row.resize(dataStart + bytes);
  WriteU32(row, 0, static_cast<std::uint32_t>(n));
  std::size_t end = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::string_view text(cells[i]);
    // An empty view may carry a null pointer, which memcpy must never see.
    if (!text.empty())
      std::memcpy(row.data() + dataStart + end, text.data(), text.size());
    end += text.size();
    WriteU32(row, 4 + 4 * i, static_cast<std::uint32_t>(end));
  }
  return row;
}

std::vector<std::string_view> Unpack(const std::string& row) {
  const std::uint32_t n = CellCount(row);
  std::vector<std::string_view> cells;
  cells.reserve(n);
  for (std::uint32_t i = 0; i < n; ++i)
    cells.push_back(PackedCell(row, i));
  return cells;
}

}  // namespace

Grid::Grid(int colCount, int rowCount, int fixedCols, int fixedRows)
    : colCount_(std::max(1, colCount)),
      fixedCols_(std::clamp(fixedCols, 0, colCount_ - 1)),
      fixedRows_(0),
      currentCol_(fixedCols_),
      currentRow_(0),
      rows_(static_cast<std::size_t>(std::max(1, rowCount))),
      colWidths_(static_cast<std::size_t>(colCount_), kDefaultColWidth) {
  fixedRows_ = std::clamp(fixedRows, 0, this->rowCount() - 1);
  currentRow_ = fixedRows_;
}

void Grid::setColCount(int count) {
  count = std::max(1, count);
  if (count < colCount_) {
    for (std::string& row : rows_) {
      if (CellCount(row) > static_cast<std::uint32_t>(count)) {
        std::vector<std::string_view> cells = Unpack(row);
        cells.resize(static_cast<std::size_t>(count));
        row = Pack(cells);
      }
    }
  }
  colCount_ = count;
  colWidths_.resize(static_cast<std::size_t>(count), kDefaultColWidth);
  if (fixedCols_ >= count)
    fixedCols_ = count - 1;
  currentCol_ = std::min(currentCol_, count - 1);
}

void Grid::setRowCount(int count) {
  count = std::max(1, count);
  rows_.resize(static_cast<std::size_t>(count));
  if (fixedRows_ >= count)
    fixedRows_ = count - 1;
  currentRow_ = std::min(currentRow_, count - 1);
}

void Grid::setFixedCols(int count) {
  fixedCols_ = std::clamp(count, 0, colCount_ - 1);
}

void Grid::setFixedRows(int count) {
  fixedRows_ = std::clamp(count, 0, rowCount() - 1);
}

std::string_view Grid::cell(int col, int row) const {
  if (col < 0 || row < 0 || row >= rowCount() || col >= colCount_)
    return {};
  return PackedCell(rows_[static_cast<std::size_t>(row)], static_cast<std::uint32_t>(col));
}

void Grid::checkInside(int col, int row) const {
  if (col < 0 || row < 0 || col >= colCount_ || row >= rowCount()) {
    throw std::out_of_range("cell outside the grid");
  }
}

void Grid::setCell(int col, int row, std::string_view text) {
  checkInside(col, row);
  std::string& packed = rows_[static_cast<std::size_t>(row)];
  const auto index = static_cast<std::size_t>(col);
  if (text.empty() && index >= CellCount(packed))
    return;
  // The text may point into this very row: keep a copy before repacking.
  const std::string copy(text);
  std::vector<std::string_view> cells = Unpack(packed);
  if (cells.size() <= index)
    cells.resize(index + 1);
  cells[index] = copy;
  packed = Pack(cells);
}

int Grid::storedCellCount(int row) const {
  if (row < 0 || row >= rowCount())
    return 0;
  return static_cast<int>(CellCount(rows_[static_cast<std::size_t>(row)]));
}

std::vector<std::string> Grid::rowTexts(int row) const {
  std::vector<std::string> texts(static_cast<std::size_t>(colCount_));
  if (row < 0 || row >= rowCount())
    return texts;
  const std::string& packed = rows_[static_cast<std::size_t>(row)];
  const std::uint32_t n = CellCount(packed);
  for (std::uint32_t i = 0; i < n; ++i)
    texts[i] = PackedCell(packed, i);
  return texts;
}

void Grid::setRowTexts(int row, std::span<const std::string> cells) {
  checkInside(static_cast<int>(cells.size() == 0 ? 0 : cells.size() - 1), row);
  rows_[static_cast<std::size_t>(row)] = Pack(cells);
}

void Grid::setRowTexts(int row, std::span<const std::string_view> cells) {
  checkInside(static_cast<int>(cells.size() == 0 ? 0 : cells.size() - 1), row);
  rows_[static_cast<std::size_t>(row)] = Pack(cells);
}

void Grid::clearRow(int row) {
  checkInside(0, row);
  rows_[static_cast<std::size_t>(row)].clear();
}

void Grid::keepRows(std::span<const int> rows) {
  // Every index is checked before any row moves, so that a bad list leaves
  // the table whole.
  for (int row : rows)
    checkInside(0, row);
  std::vector<std::string> kept;
  kept.reserve(std::max<std::size_t>(1, rows.size()));
  for (int row : rows)
    kept.push_back(std::move(rows_[static_cast<std::size_t>(row)]));
  if (kept.empty())
    kept.emplace_back();
  rows_ = std::move(kept);
  setRowCount(rowCount());
}

int Grid::appendRow() {
  rows_.emplace_back();
  return rowCount() - 1;
}

int Grid::colWidth(int col) const {
  if (col < 0 || col >= colCount_)
    return kDefaultColWidth;
  return colWidths_[static_cast<std::size_t>(col)];
}

void Grid::setColWidth(int col, int width) {
  checkInside(col, 0);
  colWidths_[static_cast<std::size_t>(col)] = width;
}

void Grid::setCurrentCell(int col, int row) {
  checkInside(col, row);
  currentCol_ = col;
  currentRow_ = row;
}

}  // namespace passerelle
