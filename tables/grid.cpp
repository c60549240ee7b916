#include "tables/grid.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "tables/byte_scan.h"

namespace passerelle {

namespace {

constexpr std::size_t kFirstBlockSize = 4096;
// Blocks grow with the table up to this; the big ones are large blocks.
constexpr std::size_t kLargestBlockSize = std::size_t{64} << 20;
// A table that keeps less than this is small, and gives its blocks back.
constexpr std::size_t kSmallTable = std::size_t{1} << 20;
// Waste below this is never worth a compaction.
constexpr std::size_t kTolerableWaste = std::size_t{64} << 20;

void WriteU32(char* at, std::uint32_t value) {
  std::memcpy(at, &value, sizeof value);
}

}  // namespace

bool Grid::IsBorrowed(const char* row) {
  return row != nullptr && (ReadU32(row) & kBorrowed) != 0;
}

std::size_t Grid::PackedSize(const char* row) {
  const std::uint32_t n = CellCount(row);
  if (n == 0)
    return 0;
  if (IsBorrowed(row)) {
    const StoredCells cells(row);
    if (cells.scattered_) {
      // The copied cells lie one after the other: the row ends where the
      // last of them does.
      std::size_t inlineBytes = 0;
      for (std::uint32_t i = 0; i < n; ++i) {
        std::uint16_t piece[2];
        std::memcpy(piece, cells.ends_ + 4 * static_cast<std::size_t>(i), sizeof piece);
        if ((piece[0] & kInlinePiece) != 0)
          inlineBytes = std::max<std::size_t>(inlineBytes,
                                              (piece[0] & ~kInlinePiece) + std::size_t{piece[1]});
      }
      return kBorrowedHeader + 4 * static_cast<std::size_t>(n) + inlineBytes;
    }
    return kBorrowedHeader + cells.endSize_ * static_cast<std::size_t>(n) + cells.first_.size();
  }
  return 4 + 4 * static_cast<std::size_t>(n) + ReadU32(row + 4 * static_cast<std::size_t>(n));
}

std::string_view Grid::PackedCell(const char* row, std::uint32_t index) {
  if (index >= CellCount(row))
    return {};
  return StoredCells(row)[static_cast<int>(index)];
}

std::vector<std::string_view> Grid::Unpack(const char* row) {
  std::vector<std::string_view> cells;
  UnpackInto(row, cells);
  return cells;
}

void Grid::UnpackInto(const char* row, std::vector<std::string_view>& cells) {
  const StoredCells stored(row);
  cells.clear();
  cells.reserve(static_cast<std::size_t>(stored.size()));
  for (int i = 0; i < stored.size(); ++i)
    cells.push_back(stored[i]);
}

void Grid::RowStore::addBlock(std::size_t size) {
  blocks_.reserve(blocks_.size() + 1);
  blocks_.push_back(AllocateLargeBlock(size));
  blockNext_ = blocks_.back().get();
  blockFree_ = size;
}

void Grid::RowStore::reserve(std::size_t bytes) {
  if (bytes > blockFree_)
    addBlock(bytes);
}

char* Grid::RowStore::allocate(std::size_t bytes) {
  if (bytes > blockFree_) {
    // Small tables stay small: blocks grow with the table, each as large as
    // all the rows before it, so that a big table has few of them.
    addBlock(std::max(bytes, std::clamp(used_, kFirstBlockSize, kLargestBlockSize)));
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
      owners_(other.owners_),
      borrowedRows_(other.borrowedRows_),
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

Grid::Grid(Grid&& other) noexcept
    : colCount_(other.colCount_),
      fixedCols_(other.fixedCols_),
      fixedRows_(other.fixedRows_),
      currentCol_(other.currentCol_),
      currentRow_(other.currentRow_),
      rows_(std::move(other.rows_)),
      store_(std::move(other.store_)),
      owners_(std::move(other.owners_)),
      borrowedRows_(other.borrowedRows_),
      colWidths_(std::move(other.colWidths_)) {
  other.becomeEmpty();
}

Grid& Grid::operator=(Grid&& other) noexcept {
  if (this != &other) {
    colCount_ = other.colCount_;
    fixedCols_ = other.fixedCols_;
    fixedRows_ = other.fixedRows_;
    currentCol_ = other.currentCol_;
    currentRow_ = other.currentRow_;
    rows_ = std::move(other.rows_);
    store_ = std::move(other.store_);
    owners_ = std::move(other.owners_);
    borrowedRows_ = other.borrowedRows_;
    colWidths_ = std::move(other.colWidths_);
    other.becomeEmpty();
  }
  return *this;
}

// What Grid(1, 1) holds: a grid always has a row and a column, and every
// column its width, even once its content has moved elsewhere.
void Grid::becomeEmpty() noexcept {
  colCount_ = 1;
  fixedCols_ = 0;
  fixedRows_ = 0;
  currentCol_ = 0;
  currentRow_ = 0;
  rows_.assign(1, nullptr);
  store_ = RowStore();
  owners_.clear();
  borrowedRows_ = 0;
  colWidths_.assign(1, kDefaultColWidth);
}

Grid& Grid::operator=(const Grid& other) {
  if (this != &other) {
    Grid copy(other);
    *this = std::move(copy);
  }
  return *this;
}

template <typename Cells>
char* Grid::PackCells(RowStore& store, const Cells& cells) {
  // Trailing empty cells are not stored: a row is as long as its last
  // non-empty cell.
  std::size_t n = cells.size();
  while (n > 0 && std::string_view(cells[n - 1]).empty())
    --n;
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < n; ++i)
    bytes += std::string_view(cells[i]).size();
  if (bytes > UINT32_MAX || n > kCountMask)
    throw std::length_error("row too long");

  if (n == 0)
    return nullptr;
  char* const packed = store.allocate(4 + 4 * n + bytes);
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
  return packed;
}

template <typename Cells>
void Grid::storeRow(int row, const Cells& cells) {
  // The cells may lie in this grid's own store (a row rewritten from its
  // own cells): they are copied before anything is reclaimed.
  char* const packed = PackCells(store_, cells);
  dropRow(static_cast<std::size_t>(row));
  rows_[static_cast<std::size_t>(row)] = packed;
  compactIfWasteful();
}

void Grid::dropRow(std::size_t row) {
  if (IsBorrowed(rows_[row]) && --borrowedRows_ == 0)
    owners_.clear();
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
  if (newSize < rows_.size() / 4) {
    rows_.resize(newSize);
    keepFewRows();
  } else if (newSize < rows_.size()) {
    for (std::size_t r = newSize; r < rows_.size(); ++r)
      dropRow(r);
    rows_.resize(newSize);
    compactIfWasteful();
    // Emptied down to a few rows: give the blocks back at once.
    if (store_.wasted() > 0 && store_.used() - store_.wasted() < kSmallTable)
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

// A scattered row of `n` cells lying in the line at `base`, with room after
// its pieces for `inlineBytes` copied bytes; its pieces are left to write.
char* Grid::AllocateScatteredRow(RowStore& store, std::size_t n, const char* base,
                                 std::size_t inlineBytes) {
  char* const packed = store.allocate(kBorrowedHeader + 4 * n + inlineBytes);
  WriteU32(packed, static_cast<std::uint32_t>(n) | kBorrowed | kScattered);
  std::memcpy(packed + 4, &base, sizeof base);
  return packed;
}

// Piece `i` of a scattered row: where its cell starts and how long it is.
void Grid::WritePiece(char* pieces, std::size_t i, std::size_t start, std::size_t length) {
  const std::uint16_t piece[2] = {static_cast<std::uint16_t>(start),
                                  static_cast<std::uint16_t>(length)};
  std::memcpy(pieces + 4 * i, piece, sizeof piece);
}

// A row that borrows its line whole keeps borrowing every cell but the one
// written, which is copied into the row with cell 0: a step rewriting one
// cell in each row of a big import then writes a few bytes a row instead of
// a copy of the file. False, with nothing changed, for any other row or when
// the cells do not fit the form of such a row.
bool Grid::rewriteBorrowedCell(int row, std::size_t index, std::string_view text) {
  const char* const packed = rows_[static_cast<std::size_t>(row)];
  if (!IsBorrowed(packed) || (ReadU32(packed) & kScattered) != 0 || text.empty() || index == 0)
    return false;
  const StoredCells old(packed);
  const std::size_t count = old.count_;
  const std::size_t n = std::max(count, index + 1);
  const char* const base = old.data_;
  const std::string_view first = old.first_;
  const std::size_t inlineBytes = first.size() + text.size();
  // Every start within 15 bits, every length within 16.
  if (old.ReadEnd(count - 1) >= kInlinePiece || inlineBytes >= kInlinePiece || n > kCountMask)
    return false;

  char* const fresh = AllocateScatteredRow(store_, n, base, inlineBytes);
  char* const pieces = fresh + kBorrowedHeader;
  auto writePiece = [pieces](std::size_t i, std::size_t start, std::size_t length) {
    WritePiece(pieces, i, start, length);
  };
  old.forEach(count, [&](std::size_t i, std::string_view cell) {
    if (i == 0)
      writePiece(0, kInlinePiece, first.size());
    else if (i != index)
      writePiece(i, cell.empty() ? 0 : static_cast<std::size_t>(cell.data() - base), cell.size());
  });
  for (std::size_t i = count; i < n; ++i)
    writePiece(i, 0, 0);
  writePiece(index, kInlinePiece | first.size(), text.size());
  char* const copied = pieces + 4 * n;
  if (!first.empty())
    std::memcpy(copied, first.data(), first.size());
  std::memcpy(copied + first.size(), text.data(), text.size());

  // Counted first, so that the line's owner stays held while the old row goes.
  ++borrowedRows_;
  dropRow(static_cast<std::size_t>(row));
  rows_[static_cast<std::size_t>(row)] = fresh;
  compactIfWasteful();
  return true;
}

void Grid::setCell(int col, int row, std::string_view text) {
  checkInside(col, row);
  const char* packed = rows_[static_cast<std::size_t>(row)];
  const auto index = static_cast<std::size_t>(col);
  if (text.empty() && index >= CellCount(packed))
    return;
  if (rewriteBorrowedCell(row, index, text))
    return;
  // One list for every call, found through the thread's storage: a step
  // that rewrites one cell in each of a million rows must not pay an
  // allocation per row.
  thread_local std::vector<std::string_view> scratch;
  std::vector<std::string_view>& cells = scratch;
  UnpackInto(packed, cells);
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

// How a line falls into cells: the separators' places, how many cells the
// line makes, and how much of it is kept once empty trailing pieces go.
struct Grid::LineSplit {
  const std::size_t* separators;
  std::size_t kept;        // separators before the last stored piece
  std::size_t keptLength;  // bytes of the line up to the end of that piece
  std::size_t stored;      // cells stored, cell 0 included
  int cells;               // cells the line makes, empty ones included
};

Grid::LineSplit Grid::splitLine(int row, std::string_view line, char separator) {
  checkInside(0, row);
  // One list for every line, found through the thread's storage once per
  // line rather than once per separator. A line has fewer separators than
  // bytes: once the list is that long, each place is written without a check.
  thread_local std::vector<std::size_t> scratch;
  if (scratch.size() < line.size())
    scratch.resize(std::max(line.size(), 2 * scratch.size()));
  std::size_t* const separators = scratch.data();
  std::size_t found = 0;
  ForEachByteOf(line, separator, separator,
                [separators, &found](std::size_t at) { separators[found++] = at; });
  const std::size_t cells = found + 2;
  if (cells > kCountMask)
    throw std::length_error("row too wide");
  if (static_cast<int>(cells) > colCount_)
    setColCount(static_cast<int>(cells));

  // Trailing empty pieces are not stored; separators are no cell's bytes.
  std::size_t kept = found;
  std::size_t keptLength = line.size();
  while (kept > 0 && separators[kept - 1] + 1 == keptLength) {
    --kept;
    keptLength = separators[kept];
  }
  const std::size_t stored = keptLength == 0 ? 1 : kept + 2;
  return {separators, kept, keptLength, stored, static_cast<int>(cells)};
}

void Grid::placeRow(int row, char* packed) {
  dropRow(static_cast<std::size_t>(row));
  rows_[static_cast<std::size_t>(row)] = packed;
  compactIfWasteful();
}

int Grid::setRowFromLine(int row, std::string_view first, std::string_view line, char separator) {
  return copyLine(row, first, line, splitLine(row, line, separator));
}

int Grid::copyLine(int row, std::string_view first, std::string_view line, const LineSplit& split) {
  if (split.stored == 1 && first.empty()) {
    dropRow(static_cast<std::size_t>(row));
    return split.cells;
  }
  const std::size_t bytes = first.size() + split.keptLength - split.kept;
  if (bytes > UINT32_MAX)
    throw std::length_error("row too long");

  char* packed = store_.allocate(4 + 4 * split.stored + bytes);
  WriteU32(packed, static_cast<std::uint32_t>(split.stored));
  char* const ends = packed + 4;
  char* const data = packed + 4 + 4 * split.stored;
  std::size_t end = 0;
  auto appendCell = [&](std::size_t cell, const char* text, std::size_t length) {
    if (length > 0)
      std::memcpy(data + end, text, length);
    end += length;
    WriteU32(ends + 4 * cell, static_cast<std::uint32_t>(end));
  };
  appendCell(0, first.data(), first.size());
  if (split.stored > 1) {
    std::size_t pieceStart = 0;
    for (std::size_t i = 0; i < split.kept; ++i) {
      appendCell(i + 1, line.data() + pieceStart, split.separators[i] - pieceStart);
      pieceStart = split.separators[i] + 1;
    }
    appendCell(split.kept + 1, line.data() + pieceStart, split.keptLength - pieceStart);
  }
  placeRow(row, packed);
  return split.cells;
}

// A borrowed row's ends: cell 0's length, then where each kept piece of the
// line ends.
template <typename End>
void Grid::WriteBorrowedEnds(char* ends, std::size_t firstLength, const LineSplit& split) {
  auto write = [ends](std::size_t i, std::size_t value) {
    const auto end = static_cast<End>(value);
    std::memcpy(ends + sizeof(End) * i, &end, sizeof end);
  };
  write(0, firstLength);
  for (std::size_t i = 0; i < split.kept; ++i)
    write(i + 1, split.separators[i]);
  write(split.kept + 1, split.keptLength);
}

int Grid::borrowRowFromLine(int row, std::string_view first, std::string_view line, char separator,
                            const std::shared_ptr<const void>& owner) {
  // Without an owner nothing would keep the line alive, and a borrowed row
  // has no room for longer texts: the row takes a copy.
  if (owner == nullptr || line.size() > UINT32_MAX || first.size() > UINT32_MAX)
    return setRowFromLine(row, first, line, separator);
  const LineSplit split = splitLine(row, line, separator);
  // A line without a stored piece has nothing to borrow.
  if (split.stored == 1)
    return copyLine(row, first, line, split);

  // Every end is at most the kept length or cell 0's length.
  const std::size_t longest = std::max(split.keptLength, first.size());
  const std::size_t endSize = longest <= UINT8_MAX ? 1 : longest <= UINT16_MAX ? 2 : 4;
  char* packed = store_.allocate(kBorrowedHeader + endSize * split.stored + first.size());
  WriteU32(packed, static_cast<std::uint32_t>(split.stored) | kBorrowed |
                       (endSize == 1   ? kTinyEnds
                        : endSize == 2 ? kNarrowEnds
                                       : 0));
  const char* const base = line.data();
  std::memcpy(packed + 4, &base, sizeof base);
  char* const ends = packed + kBorrowedHeader;
  if (endSize == 1)
    WriteBorrowedEnds<std::uint8_t>(ends, first.size(), split);
  else if (endSize == 2)
    WriteBorrowedEnds<std::uint16_t>(ends, first.size(), split);
  else
    WriteBorrowedEnds<std::uint32_t>(ends, first.size(), split);
  if (!first.empty())
    std::memcpy(ends + endSize * split.stored, first.data(), first.size());

  // The old row goes first: it may be the last one holding an owner.
  dropRow(static_cast<std::size_t>(row));
  if (owners_.empty() || owners_.back() != owner)
    owners_.push_back(owner);
  ++borrowedRows_;
  rows_[static_cast<std::size_t>(row)] = packed;
  compactIfWasteful();
  return split.cells;
}

void Grid::setRowTextsFrom(int row, std::span<const std::string_view> cells, const Grid& source,
                           int sourceRow) {
  checkInside(static_cast<int>(cells.size() == 0 ? 0 : cells.size() - 1), row);
  const char* const sourcePacked = sourceRow >= 0 && sourceRow < source.rowCount()
                                       ? source.rows_[static_cast<std::size_t>(sourceRow)]
                                       : nullptr;
  std::size_t n = cells.size();
  while (n > 0 && cells[n - 1].empty())
    --n;
  if (!IsBorrowed(sourcePacked) || (ReadU32(sourcePacked) & kScattered) != 0 || n == 0) {
    storeRow(row, cells);
    return;
  }
  // The line the source row borrows, as far as its last stored cell.
  const StoredCells line(sourcePacked);
  const char* const base = line.data_;
  const std::size_t extent = line.ReadEnd(line.count_ - 1);
  // Within the line's stored extent, starting where 15 bits reach; cells
  // before the line wrap round to a large offset and fail the same test.
  const auto baseAddress = reinterpret_cast<std::uintptr_t>(base);
  auto borrowable = [baseAddress, extent](std::string_view cell) {
    const std::uintptr_t offset = reinterpret_cast<std::uintptr_t>(cell.data()) - baseAddress;
    return !cell.empty() && offset < kInlinePiece && offset + cell.size() <= extent &&
           cell.size() <= UINT16_MAX;
  };
  std::size_t inlineBytes = 0;
  std::size_t borrowed = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (borrowable(cells[i]))
      ++borrowed;
    else
      inlineBytes += cells[i].size();
  }
  // Copied cells must be reachable through a 15-bit start; a row that
  // borrows nothing is better off copied whole.
  if (borrowed == 0 || inlineBytes >= kInlinePiece || n > kCountMask) {
    storeRow(row, cells);
    return;
  }

  char* const packed = AllocateScatteredRow(store_, n, base, inlineBytes);
  char* const pieces = packed + kBorrowedHeader;
  char* const copied = pieces + 4 * n;
  std::size_t copiedEnd = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::string_view cell = cells[i];
    if (cell.empty()) {
      WritePiece(pieces, i, 0, 0);
    } else if (borrowable(cell)) {
      WritePiece(pieces, i, static_cast<std::size_t>(cell.data() - base), cell.size());
    } else {
      WritePiece(pieces, i, copiedEnd | kInlinePiece, cell.size());
      std::memcpy(copied + copiedEnd, cell.data(), cell.size());
      copiedEnd += cell.size();
    }
  }

  // What the source borrows from is held here too, before the old row goes:
  // counting the new row first keeps the owners even when the old one was
  // the last borrowing row of this very grid.
  for (const std::shared_ptr<const void>& owner : source.owners_) {
    if (std::find(owners_.begin(), owners_.end(), owner) == owners_.end())
      owners_.push_back(owner);
  }
  ++borrowedRows_;
  dropRow(static_cast<std::size_t>(row));
  rows_[static_cast<std::size_t>(row)] = packed;
  compactIfWasteful();
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
  RowList kept;
  kept.reserve(std::max<std::size_t>(1, rows.size()));
  for (int row : rows) {
    kept.push_back(rows_[static_cast<std::size_t>(row)]);
    rows_[static_cast<std::size_t>(row)] = nullptr;
  }
  if (kept.empty())
    kept.push_back(nullptr);
  if (kept.size() < rows_.size() / 4) {
    rows_ = std::move(kept);
    ownFewRows();
  } else {
    for (std::size_t r = 0; r < rows_.size(); ++r)
      dropRow(r);
    rows_ = std::move(kept);
    compactIfWasteful();
  }
  setRowCount(rowCount());
}

// rows_ has just lost most of its rows, without a word to the store: the rows
// left move to a fresh store and the old one goes whole, rather than each
// row gone being read to be let go.
void Grid::keepFewRows() {
  borrowedRows_ = static_cast<std::size_t>(std::count_if(rows_.begin(), rows_.end(), IsBorrowed));
  if (borrowedRows_ == 0)
    owners_.clear();
  compact();
}

// rows_ has just lost most of its rows, without a word to the store. A few
// rows kept out of a big file take their bytes with them, so that the whole
// file need not stay in memory for their sake: each row left is copied once
// into a fresh store, as a row of its own, and the old store goes whole.
void Grid::ownFewRows() {
  RowStore fresh;
  std::vector<std::string_view> cells;
  for (const char*& row : rows_) {
    if (row == nullptr)
      continue;
    if (IsBorrowed(row)) {
      UnpackInto(row, cells);
      row = PackCells(fresh, cells);
    } else {
      const std::size_t size = PackedSize(row);
      char* const copy = fresh.allocate(size);
      std::memcpy(copy, row, size);
      row = copy;
    }
  }
  store_ = std::move(fresh);
  borrowedRows_ = 0;
  owners_.clear();
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
