#include "tables/grid.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace passerelle {

namespace {

constexpr std::size_t kFirstBlockSize = 4096;
constexpr std::size_t kBlockSize = std::size_t{1} << 20;
// Waste below this is never worth a compaction.
constexpr std::size_t kTolerableWaste = std::size_t{64} << 20;

std::uint32_t ReadU32(const char* at) {
  std::uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

void WriteU32(char* at, std::uint32_t value) {
  std::memcpy(at, &value, sizeof value);
}

std::uint32_t CellCount(const char* row) {
  return row == nullptr ? 0 : ReadU32(row);
}

std::size_t PackedSize(const char* row) {
  const std::uint32_t n = CellCount(row);
  if (n == 0)
    return 0;
  return 4 + 4 * static_cast<std::size_t>(n) + ReadU32(row + 4 * static_cast<std::size_t>(n));
}

std::string_view PackedCell(const char* row, std::uint32_t index) {
  const std::uint32_t n = CellCount(row);
  if (index >= n)
    return {};
  const char* data = row + 4 + 4 * static_cast<std::size_t>(n);
  const std::uint32_t begin = index == 0 ? 0 : ReadU32(row + 4 * static_cast<std::size_t>(index));
  const std::uint32_t end = ReadU32(row + 4 + 4 * static_cast<std::size_t>(index));
  return std::string_view(data + begin, end - begin);
}

std::vector<std::string_view> Unpack(const char* row) {
  const std::uint32_t n = CellCount(row);
  std::vector<std::string_view> cells;
  cells.reserve(n);
  for (std::uint32_t i = 0; i < n; ++i)
    cells.push_back(PackedCell(row, i));
  return cells;
}

}  // namespace

char* Grid::RowStore::allocate(std::size_t bytes) {
  if (bytes > blockFree_) {
    // Small tables stay small: blocks grow with the table up to 1 MB.
    const std::size_t size = std::max(bytes, std::clamp(used_, kFirstBlockSize, kBlockSize));
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
    blockNext_ = blocks_.back().get();
    blockFree_ = size;
  }
  char* at = blockNext_;
  blockNext_ += bytes;
  blockFree_ -= bytes;
  used_ += bytes;
  return at;
}

Grid::Grid(int colCount, int rowCount, int fixedCols, int fixedRows)
    : colCount_(std::max(1, colCount)),
      fixedCols_(std::clamp(fixedCols, 0, colCount_ - 1)),
      fixedRows_(0),
      currentCol_(fixedCols_),
      currentRow_(0),
      rows_(static_cast<std::size_t>(std::max(1, rowCount)), nullptr),
      colWidths_(static_cast<std::size_t>(colCount_), kDefaultColWidth) {
  fixedRows_ = std::clamp(fixedRows, 0, this->rowCount() - 1);
  currentRow_ = fixedRows_;
}

Grid::Grid(const Grid& other)
    : colCount_(other.colCount_),
      fixedCols_(other.fixedCols_),
      fixedRows_(other.fixedRows_),
      currentCol_(other.currentCol_),
      currentRow_(other.currentRow_),
      rows_(other.rows_.size(), nullptr),
      colWidths_(other.colWidths_) {
  for (std::size_t r = 0; r < rows_.size(); ++r) {
    const std::size_t size = PackedSize(other.rows_[r]);
    if (size == 0)
      continue;
    char* copy = store_.allocate(size);
    std::memcpy(copy, other.rows_[r], size);
    rows_[r] = copy;
  }
}

Grid& Grid::operator=(const Grid& other) {
  if (this != &other) {
    Grid copy(other);
    *this = std::move(copy);
  }
  return *this;
}

template <typename Cells>
void Grid::storeRow(int row, const Cells& cells) {
  // Trailing empty cells are not stored: a row is as long as its last
  // non-empty cell.
  std::size_t n = cells.size();
  while (n > 0 && std::string_view(cells[n - 1]).empty())
    --n;
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < n; ++i)
    bytes += std::string_view(cells[i]).size();
  if (bytes > UINT32_MAX)
    throw std::length_error("row too long");

  char* packed = nullptr;
  if (n > 0) {
    // The cells may lie in this grid's own store (a row rewritten from its
    // own cells): they are copied before anything is reclaimed.
    packed = store_.allocate(4 + 4 * n + bytes);
    WriteU32(packed, static_cast<std::uint32_t>(n));
    char* data = packed + 4 + 4 * n;
    std::size_t end = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const std::string_view text(cells[i]);
      // An empty view may carry a null pointer, which memcpy must never see.
      if (!text.empty())
        std::memcpy(data + end, text.data(), text.size());
      end += text.size();
      WriteU32(packed + 4 + 4 * i, static_cast<std::uint32_t>(end));
    }
  }
  dropRow(static_cast<std::size_t>(row));
  rows_[static_cast<std::size_t>(row)] = packed;
  compactIfWasteful();
}

void Grid::dropRow(std::size_t row) {
  store_.release(PackedSize(rows_[row]));
  rows_[row] = nullptr;
}

void Grid::compact() {
  RowStore fresh;
  for (const char*& row : rows_) {
    const std::size_t size = PackedSize(row);
    if (size == 0)
      continue;
    char* copy = fresh.allocate(size);
    std::memcpy(copy, row, size);
    row = copy;
  }
  store_ = std::move(fresh);
}

void Grid::compactIfWasteful() {
  const std::size_t wasted = store_.wasted();
  if (wasted > kTolerableWaste && wasted > store_.used() - wasted)
    compact();
}

void Grid::setColCount(int count) {
  count = std::max(1, count);
  if (count < colCount_) {
    for (std::size_t r = 0; r < rows_.size(); ++r) {
      if (CellCount(rows_[r]) > static_cast<std::uint32_t>(count)) {
        std::vector<std::string_view> cells = Unpack(rows_[r]);
        cells.resize(static_cast<std::size_t>(count));
        storeRow(static_cast<int>(r), cells);
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
  const auto newSize = static_cast<std::size_t>(count);
  if (newSize < rows_.size()) {
    for (std::size_t r = newSize; r < rows_.size(); ++r)
      dropRow(r);
    rows_.resize(newSize);
    compactIfWasteful();
    // Emptied down to a few rows: give the blocks back at once.
    if (store_.wasted() > 0 && store_.used() - store_.wasted() < kBlockSize)
      compact();
  } else {
    rows_.resize(newSize, nullptr);
  }
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
  const char* packed = rows_[static_cast<std::size_t>(row)];
  const auto index = static_cast<std::size_t>(col);
  if (text.empty() && index >= CellCount(packed))
    return;
  std::vector<std::string_view> cells = Unpack(packed);
  if (cells.size() <= index)
    cells.resize(index + 1);
  cells[index] = text;
  storeRow(row, cells);
}

int Grid::storedCellCount(int row) const {
  if (row < 0 || row >= rowCount())
    return 0;
  return static_cast<int>(CellCount(rows_[static_cast<std::size_t>(row)]));
}

Grid::StoredCells::StoredCells(const char* packed) {
  count_ = CellCount(packed);
  if (count_ > 0) {
    ends_ = packed + 4;
    data_ = packed + 4 + 4 * static_cast<std::size_t>(count_);
  }
}

Grid::StoredCells Grid::storedCells(int row) const {
  if (row < 0 || row >= rowCount())
    return StoredCells(nullptr);
  return StoredCells(rows_[static_cast<std::size_t>(row)]);
}

int Grid::setRowFromLine(int row, std::string_view first, std::string_view line, char separator) {
  checkInside(0, row);
  // Where the separators stand; memchr outruns a byte loop on all but the
  // shortest fields.
  thread_local std::vector<std::size_t> separators;
  separators.clear();
  for (const char *at = line.data(), *const end = line.data() + line.size(); at < end; ++at) {
    at = static_cast<const char*>(std::memchr(at, separator, static_cast<std::size_t>(end - at)));
    if (at == nullptr)
      break;
    separators.push_back(static_cast<std::size_t>(at - line.data()));
  }
  const std::size_t cells = separators.size() + 2;
  if (cells > static_cast<std::size_t>(INT32_MAX))
    throw std::length_error("row too wide");
  if (static_cast<int>(cells) > colCount_)
    setColCount(static_cast<int>(cells));

  // Trailing empty pieces are not stored; separators are no cell's bytes.
  std::size_t kept = separators.size();
  std::size_t keptLength = line.size();
  while (kept > 0 && separators[kept - 1] + 1 == keptLength) {
    --kept;
    keptLength = separators[kept];
  }
  const std::size_t stored = keptLength == 0 ? 1 : kept + 2;
  if (stored == 1 && first.empty()) {
    dropRow(static_cast<std::size_t>(row));
    return static_cast<int>(cells);
  }
  const std::size_t bytes = first.size() + keptLength - kept;
  if (bytes > UINT32_MAX)
    throw std::length_error("row too long");

  char* packed = store_.allocate(4 + 4 * stored + bytes);
  WriteU32(packed, static_cast<std::uint32_t>(stored));
  char* const ends = packed + 4;
  char* const data = packed + 4 + 4 * stored;
  std::size_t end = 0;
  auto appendCell = [&](std::size_t cell, const char* text, std::size_t length) {
    if (length > 0)
      std::memcpy(data + end, text, length);
    end += length;
    WriteU32(ends + 4 * cell, static_cast<std::uint32_t>(end));
  };
  appendCell(0, first.data(), first.size());
  if (stored > 1) {
    std::size_t pieceStart = 0;
    for (std::size_t i = 0; i < kept; ++i) {
      appendCell(i + 1, line.data() + pieceStart, separators[i] - pieceStart);
      pieceStart = separators[i] + 1;
    }
    appendCell(kept + 1, line.data() + pieceStart, keptLength - pieceStart);
  }
  dropRow(static_cast<std::size_t>(row));
  rows_[static_cast<std::size_t>(row)] = packed;
  compactIfWasteful();
  return static_cast<int>(cells);
}

std::vector<std::string> Grid::rowTexts(int row) const {
  std::vector<std::string> texts(static_cast<std::size_t>(colCount_));
  if (row < 0 || row >= rowCount())
    return texts;
  const char* packed = rows_[static_cast<std::size_t>(row)];
  const std::uint32_t n = CellCount(packed);
  for (std::uint32_t i = 0; i < n; ++i)
    texts[i] = PackedCell(packed, i);
  return texts;
}

void Grid::setRowTexts(int row, std::span<const std::string> cells) {
  checkInside(static_cast<int>(cells.size() == 0 ? 0 : cells.size() - 1), row);
  storeRow(row, cells);
}

void Grid::setRowTexts(int row, std::span<const std::string_view> cells) {
  checkInside(static_cast<int>(cells.size() == 0 ? 0 : cells.size() - 1), row);
  storeRow(row, cells);
}

void Grid::clearRow(int row) {
  checkInside(0, row);
  dropRow(static_cast<std::size_t>(row));
}

void Grid::keepRows(std::span<const int> rows) {
  // Every index is checked before any row moves, so that a bad list leaves
  // the table whole.
  for (int row : rows)
    checkInside(0, row);
  std::vector<const char*> kept;
  kept.reserve(std::max<std::size_t>(1, rows.size()));
  for (int row : rows) {
    kept.push_back(rows_[static_cast<std::size_t>(row)]);
    rows_[static_cast<std::size_t>(row)] = nullptr;
  }
  for (std::size_t r = 0; r < rows_.size(); ++r)
    dropRow(r);
  if (kept.empty())
    kept.push_back(nullptr);
  rows_ = std::move(kept);
  compactIfWasteful();
  setRowCount(rowCount());
}

int Grid::appendRow() {
  rows_.push_back(nullptr);
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
