#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tables/large_pages.h"

namespace passerelle {

// A rectangle of text cells addressed (column, row), both from 0, as the
// window's tables show them. Texts are Windows-1252 bytes.
//
// Rows are stored ragged: a row keeps only the cells up to its last written
// one, packed in a single allocation, so a column count of a million costs a
// number, not a million cells per row. Reading any cell that was never
// written, inside or outside the counts, gives the empty text.
class Grid {
 public:
  static constexpr int kDefaultColWidth = 64;

  Grid(int colCount, int rowCount, int fixedCols = 0, int fixedRows = 0);
  Grid(const Grid& other);
  Grid& operator=(const Grid& other);
  // The grid moved from is left as Grid(1, 1).
  Grid(Grid&& other) noexcept;
  Grid& operator=(Grid&& other) noexcept;
  ~Grid() = default;

  int colCount() const { return colCount_; }
  int rowCount() const { return static_cast<int>(rows_.size()); }
  int fixedCols() const { return fixedCols_; }
  int fixedRows() const { return fixedRows_; }

  // A count below 1 gives 1. Lowering a count discards the cells beyond it,
  // so that a row or column added later starts empty; the fixed count drops
  // to count - 1 when the new count falls to or below it.
  void setColCount(int count);
  void setRowCount(int count);
  void setFixedCols(int count);
  void setFixedRows(int count);

  // The view stays valid until the grid is next written or shrinks.
  std::string_view cell(int col, int row) const;
  // Writing outside the counts is a programming error and throws
  // std::out_of_range.
  void setCell(int col, int row, std::string_view text);

  // How many leading cells of a row are stored; every cell from there to
  // colCount() - 1 is empty. Lets a scan skip the empty tail of short rows in
  // a very wide grid.
  int storedCellCount(int row) const;

  // The stored cells of one row, read without decoding the row again for
  // every cell: for scans over every cell of a big table.
  class StoredCells {
   public:
    int size() const { return static_cast<int>(count_); }
    // The cell at `index`, or the empty text past the stored cells.
    std::string_view at(int index) const {
      return index < size() ? (*this)[index] : std::string_view();
    }
    std::string_view operator[](int index) const {
      if (scattered_)
        return ScatteredCell(static_cast<std::size_t>(index));
      if (index == 0)
        return first_;
      const auto i = static_cast<std::size_t>(index);
      const std::uint32_t begin = i == 1 ? firstBegin_ : ReadEnd(i - 1) + gap_;
      return std::string_view(data_ + begin, ReadEnd(i) - begin);
    }
    // Calls visit(index, text) for the first `limit` stored cells in
    // order, deciding the row's layout once rather than once per cell.
    template <typename Visit>
    void forEach(std::size_t limit, Visit&& visit) const {
      const std::size_t n = std::min<std::size_t>(limit, count_);
      if (n == 0)
        return;
      if (scattered_) {
        for (std::size_t i = 0; i < n; ++i)
          visit(i, ScatteredCell(i));
        return;
      }
      visit(std::size_t{0}, first_);
      if (endSize_ == 1)
        VisitRest<std::uint8_t>(n, visit);
      else if (endSize_ == 2)
        VisitRest<std::uint16_t>(n, visit);
      else
        VisitRest<std::uint32_t>(n, visit);
    }

   private:
    friend class Grid;
    explicit StoredCells(const char* packed);
    template <typename End, typename Visit>
    void VisitRest(std::size_t n, Visit& visit) const {
      std::uint32_t begin = firstBegin_;
      for (std::size_t i = 1; i < n; ++i) {
        End end;
        std::memcpy(&end, ends_ + sizeof(End) * i, sizeof end);
        visit(i, std::string_view(data_ + begin, end - begin));
        begin = static_cast<std::uint32_t>(end) + gap_;
      }
    }
    std::string_view ScatteredCell(std::size_t i) const {
      std::uint16_t piece[2];
      std::memcpy(piece, ends_ + 4 * i, sizeof piece);
      const char* const from =
          (piece[0] & kInlinePiece) != 0 ? inline_ + (piece[0] & ~kInlinePiece) : data_ + piece[0];
      return std::string_view(from, piece[1]);
    }
    std::uint32_t ReadEnd(std::size_t i) const {
      if (endSize_ == 1)
        return static_cast<std::uint8_t>(ends_[i]);
      if (endSize_ == 2) {
        std::uint16_t end;
        std::memcpy(&end, ends_ + 2 * i, sizeof end);
        return end;
      }
      std::uint32_t end;
      std::memcpy(&end, ends_ + 4 * i, sizeof end);
      return end;
    }
    // Cell 0 stands apart because a borrowed row keeps it in the grid while
    // the other cells lie in the borrowed line, each after a separator.
    std::string_view first_;
    const char* ends_ = nullptr;
    const char* data_ = nullptr;
    std::uint32_t firstBegin_ = 0;
    std::uint32_t gap_ = 0;
    std::uint32_t count_ = 0;
    // Bytes per end: 4, or 2 or 1 in a borrowed row whose ends all fit.
    std::uint32_t endSize_ = 4;
    // A row that borrows cells here and there (see setRowTextsFrom): ends_
    // holds each cell's start and length, data_ the line they lie in and
    // inline_ the cells copied into the row.
    bool scattered_ = false;
    const char* inline_ = nullptr;
  };
  StoredCells storedCells(int row) const {
    if (row < 0 || row >= rowCount())
      return StoredCells(nullptr);
    return StoredCells(rows_[static_cast<std::size_t>(row)]);
  }

  // Replaces a whole row by `first` followed by the pieces of `line` between
  // every `separator` character, each piece in the next column; returns how
  // many cells that made (pieces + 1), empty ones included. The column
  // count grows to hold them all. One copy, no allocation of its own: this is
  // how a file's lines become rows.
  int setRowFromLine(int row, std::string_view first, std::string_view line, char separator);

  // The same, except that the row keeps pointing at `line`'s bytes instead
  // of copying them; only `first` and where each cell ends are stored, so a
  // big file costs the grid a few bytes per cell. `owner` holds the line and
  // must never change it; the grid keeps it alive as long as a row borrows
  // from it. A borrowed row reads like any other. Writing one of its cells
  // copies that cell only, the others still borrowed; any other write makes
  // it an ordinary row of its own.
  int borrowRowFromLine(int row, std::string_view first, std::string_view line, char separator,
                        const std::shared_ptr<const void>& owner);

  // Replaces a whole row by `cells` as setRowTexts does, except that the
  // cells lying in the line that row `sourceRow` of `source` borrows (see
  // borrowRowFromLine) are borrowed as well instead of copied. The row keeps
  // that line alive whatever later happens to `source`, and reads like any
  // other. Cells from anywhere else are copied into the row; a source row
  // that borrows nothing makes an ordinary row.
  void setRowTextsFrom(int row, std::span<const std::string_view> cells, const Grid& source,
                       int sourceRow);

  // Columns 0 to colCount() - 1 of a row.
  std::vector<std::string> rowTexts(int row) const;
  // Replaces a whole row: cells[i] goes to column i, every other cell of the
  // row becomes empty. cells.size() must not exceed colCount().
  void setRowTexts(int row, std::span<const std::string> cells);
  void setRowTexts(int row, std::span<const std::string_view> cells);
  // Empties every cell of a row.
  void clearRow(int row);

  // Keeps the listed rows (each at most once), in the order listed, and drops
  // every other row. Kept rows that borrow their bytes copy them when less
  // than a quarter of the rows stay.
  // An empty list leaves one empty row. Used where a step removes many rows
  // at once: one pass instead of one shift of the table per removed row.
  void keepRows(std::span<const int> rows);

  // Appends a row at the end and returns its index.
  int appendRow();
  // Makes room for rows up to `count` in all, so that appending that many
  // fills the row list once instead of growing it by copies.
  void reserveRows(int count) { rows_.reserve(static_cast<std::size_t>(std::max(0, count))); }

  // The bytes the rows take in the grid's store (borrowed bytes not
  // counted), and room made at once for `bytes` more: a table about to be
  // filled with many rows of a known kind gets one block for them, rather
  // than a chain of growing ones.
  std::size_t rowBytes() const { return store_.used() - store_.wasted(); }
  void reserveRowBytes(std::size_t bytes) { store_.reserve(bytes); }

  int colWidth(int col) const;
  void setColWidth(int col, int width);

  int currentCol() const { return currentCol_; }
  int currentRow() const { return currentRow_; }
  void setCurrentCell(int col, int row);

 private:
  // Rows live packed in large blocks, one after the other in the order they
  // were written: no allocation per row, and a scan down a column reads
  // memory in order. A rewritten row gets a new place; the old one is only
  // reclaimed when the grid shrinks or when the waste outgrows the rows.
  class RowStore {
   public:
    RowStore() = default;
    RowStore(const RowStore&) = delete;
    RowStore& operator=(const RowStore&) = delete;
    RowStore(RowStore&&) = default;
    RowStore& operator=(RowStore&&) = default;

    char* allocate(std::size_t bytes);
    void reserve(std::size_t bytes);
    void release(std::size_t bytes) { wasted_ += bytes; }
    std::size_t wasted() const { return wasted_; }
    std::size_t used() const { return used_; }

   private:
    void addBlock(std::size_t size);

    std::vector<LargeBlock> blocks_;
    std::size_t blockFree_ = 0;
    char* blockNext_ = nullptr;
    std::size_t used_ = 0;
    std::size_t wasted_ = 0;
  };

  static bool IsBorrowed(const char* row);
  static std::size_t PackedSize(const char* row);
  static std::string_view PackedCell(const char* row, std::uint32_t index);
  static std::vector<std::string_view> Unpack(const char* row);
  static void UnpackInto(const char* row, std::vector<std::string_view>& cells);
  struct LineSplit;
  LineSplit splitLine(int row, std::string_view line, char separator);
  int copyLine(int row, std::string_view first, std::string_view line, const LineSplit& split);
  void becomeEmpty() noexcept;
  template <typename End>
  static void WriteBorrowedEnds(char* ends, std::size_t firstLength, const LineSplit& split);
  void placeRow(int row, char* packed);
  bool rewriteBorrowedCell(int row, std::size_t index, std::string_view text);
  static char* AllocateScatteredRow(RowStore& store, std::size_t n, const char* base,
                                    std::size_t inlineBytes);
  static void WritePiece(char* pieces, std::size_t i, std::size_t start, std::size_t length);
  void checkInside(int col, int row) const;
  // The cells packed as one row in `store`; null when they are all empty.
  template <typename Cells>
  static char* PackCells(RowStore& store, const Cells& cells);
  template <typename Cells>
  void storeRow(int row, const Cells& cells);
  void dropRow(std::size_t row);
  void ownFewRows();
  void keepFewRows();
  // Moves the live rows into fresh blocks; every cell view is then stale.
  void compact();
  void compactIfWasteful();

  int colCount_;
  int fixedCols_;
  int fixedRows_;
  int currentCol_;
  int currentRow_;
  // One pointer per row into the store, null for a row without any cell.
  // A packed row is a 32-bit cell count n, n 32-bit end offsets, then the
  // cell bytes back to back. A borrowed row has the top bit of its count
  // set, then the address of its line, n ends (cell 0's length, then each
  // other cell's end within the line) and cell 0's bytes. The ends of a
  // borrowed row take 8 bits each when they all fit (the fourth bit of the
  // count says so), else 16 when they fit (the second bit), 32 otherwise:
  // most lines of an export are shorter than 256 bytes, and a big file's
  // rows then take half the room.
  static constexpr std::uint32_t kBorrowed = std::uint32_t{1} << 31;
  static constexpr std::uint32_t kNarrowEnds = std::uint32_t{1} << 30;
  // A borrowed row whose cells lie anywhere in its line, or in the row
  // itself: each cell is a 16-bit start and a 16-bit length, the start
  // counted from the line, or with its top bit set, from the end of the
  // pieces where the copied cells lie.
  static constexpr std::uint32_t kScattered = std::uint32_t{1} << 29;
  static constexpr std::uint16_t kInlinePiece = 0x8000;
  // Ends of a byte each, for the many rows of a file whose lines are short.
  static constexpr std::uint32_t kTinyEnds = std::uint32_t{1} << 28;
  static constexpr std::uint32_t kCountMask = kTinyEnds - 1;
  static constexpr std::size_t kBorrowedHeader = 4 + sizeof(const char*);
  static std::uint32_t ReadU32(const char* at) {
    std::uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
  }
  static std::uint32_t CellCount(const char* row) {
    return row == nullptr ? 0 : ReadU32(row) & kCountMask;
  }
  // A big table's row list is a large block of its own.
  using RowList = std::vector<const char*, LargeBlockAllocator<const char*>>;
  RowList rows_;
  RowStore store_;
  // What the borrowed rows point into; let go once no row borrows.
  std::vector<std::shared_ptr<const void>> owners_;
  std::size_t borrowedRows_ = 0;
  std::vector<int> colWidths_;
};

inline Grid::StoredCells::StoredCells(const char* packed) {
  count_ = CellCount(packed);
  if (count_ == 0)
    return;
  const std::uint32_t head = ReadU32(packed);
  if ((head & kScattered) != 0) {
    std::memcpy(&data_, packed + 4, sizeof data_);
    ends_ = packed + kBorrowedHeader;
    inline_ = ends_ + 4 * static_cast<std::size_t>(count_);
    scattered_ = true;
    first_ = ScatteredCell(0);
  } else if ((head & kBorrowed) != 0) {
    std::memcpy(&data_, packed + 4, sizeof data_);
    ends_ = packed + kBorrowedHeader;
    endSize_ = (head & kTinyEnds) != 0 ? 1 : (head & kNarrowEnds) != 0 ? 2 : 4;
    first_ = std::string_view(ends_ + endSize_ * static_cast<std::size_t>(count_), ReadEnd(0));
    firstBegin_ = 0;
    gap_ = 1;
  } else {
    ends_ = packed + 4;
    data_ = packed + 4 + 4 * static_cast<std::size_t>(count_);
    firstBegin_ = ReadEnd(0);
    first_ = std::string_view(data_, firstBegin_);
    gap_ = 0;
  }
}

}  // namespace passerelle
