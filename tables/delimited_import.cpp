#include "tables/delimited_import.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "tables/byte_scan.h"
#include "tables/errors.h"
#include "tables/native_file.h"
#include "tables/text_decoding.h"

namespace passerelle {

namespace {

// Ctrl-Z, the old end-of-file mark, still ends the line the separator is
// taken from.
constexpr char kEndOfText = 26;
// Below this, waking a second processor may cost about what it would save:
// a few milliseconds.
constexpr int kRowsWorthASecondThread = 1 << 18;
// The first rows of a big file foretell how much room the rest will take in
// the grid's store.
constexpr int kRowsForetellingTheRest = 1024;

// The separator is taken from the first line as a text reader sees it: up
// to the first CR (a lone LF does not end it) or the first Ctrl-Z.
int DetectSeparator(std::string_view text) {
  // Ctrl-Z is only looked for before the first CR: searching the whole
  // file for it would cost a pass over a big file for nothing.
  std::string_view firstLine = text.substr(0, text.find('\r'));
  firstLine = firstLine.substr(0, firstLine.find(kEndOfText));
  for (char candidate : {';', ',', ':', '\t'}) {
    if (firstLine.find(candidate) != std::string_view::npos)
      return candidate;
  }
  return -1;
}

// Hides the progress bar however the load ends.
class ProgressShown {
 public:
  explicit ProgressShown(ProgressBar& bar) : bar_(bar) { bar_.setVisible(true); }
  ~ProgressShown() { bar_.setVisible(false); }
  ProgressShown(const ProgressShown&) = delete;
  ProgressShown& operator=(const ProgressShown&) = delete;

 private:
  ProgressBar& bar_;
};

// The widest text of each column, gathered row by row. The import feeds it
// each row as soon as the row is written, while its bytes are still in the
// cache, instead of walking the whole table again afterwards.
class ColumnWidths {
  struct Column {
    int widest = 0;
    // An empty text is never measured.
    std::size_t shortestToMeasure = 1;
  };

 public:
  explicit ColumnWidths(ToolkitPort& port)
      : port_(port),
        table_(port.charWidths()),
        charBound_(static_cast<std::size_t>(
            std::max(0, table_ != nullptr ? table_->maxCharWidth() : port.maxCharWidth()))) {}

  void measureRow(const Grid& grid, int row) {
    // Only stored cells can be wider than 0: one very wide line must not
    // make every other row cost its width.
    const Grid::StoredCells cells = grid.storedCells(row);
    const auto stored = static_cast<std::size_t>(std::min(grid.colCount(), cells.size()));
    if (columns_.size() < stored)
      columns_.resize(stored);
    // The usual case, the font's table with a widest character, gets a
    // loop of its own.
    if (table_ != nullptr && charBound_ > 0)
      measureCells(cells, stored, [this](std::string_view text) { return table_->width(text); });
    else
      measureCells(cells, stored, [this](std::string_view text) {
        return table_ != nullptr ? table_->width(text) : port_.textWidth(text);
      });
  }

  // The same for a row just made from `line`, which has at most `cells`
  // cells: cell 0 is `first`, then the pieces between separators. Read from
  // the line itself while it is in the cache, rather than from the row,
  // whose cells would have to be found again.
  void measureLine(std::string_view first, std::string_view line, char separator, int cells) {
    if (columns_.size() < static_cast<std::size_t>(cells))
      columns_.resize(static_cast<std::size_t>(cells));
    if (table_ == nullptr || charBound_ == 0) {
      measureLineWith(first, line, separator, [this](std::string_view text) {
        return table_ != nullptr ? table_->width(text) : port_.textWidth(text);
      });
      return;
    }
    measureLineWith(first, line, separator,
                    [this](std::string_view text) { return table_->width(text); });
  }

  template <typename Measure>
  void measureLineWith(std::string_view first, std::string_view line, char separator,
                       Measure&& measure) {
    Column* column = columns_.data();
    measureCell(*column++, first.data(), first.size(), measure);
    const char* const text = line.data();
    std::size_t pieceStart = 0;
    ForEachByteOf(line, separator, separator, [&](std::size_t at) {
      measureCell(*column++, text + pieceStart, at - pieceStart, measure);
      pieceStart = at + 1;
    });
    measureCell(*column, text + pieceStart, line.size() - pieceStart, measure);
  }

  // A text that could not be wider than the widest one so far, even made of
  // the widest character, need not be measured: on a big file nearly every
  // cell is settled by its length alone.
  template <typename Measure>
  void measureCell(Column& column, const char* text, std::size_t length, Measure& measure) {
    if (length < column.shortestToMeasure)
      return;
    const int width = measure(std::string_view(text, length));
    if (width > column.widest) {
      column.widest = width;
      // Texts no longer than widest / bound characters cannot be wider.
      if (charBound_ > 0)
        column.shortestToMeasure = static_cast<std::size_t>(width) / charBound_ + 1;
    }
  }

  template <typename Measure>
  void measureCells(const Grid::StoredCells& cells, std::size_t stored, Measure&& measure) {
    Column* const columns = columns_.data();
    cells.forEach(stored, [&](std::size_t c, std::string_view text) {
      measureCell(columns[c], text.data(), text.size(), measure);
    });
  }

  // Keeps, column by column, the wider of the two.
  void takeWidest(const ColumnWidths& other) {
    if (columns_.size() < other.columns_.size())
      columns_.resize(other.columns_.size());
    for (std::size_t c = 0; c < other.columns_.size(); ++c)
      columns_[c].widest = std::max(columns_[c].widest, other.columns_[c].widest);
  }

  // Every column gets its widest text plus 7 pixels; a column without any
  // text gets 7.
  void applyTo(Grid& grid) const {
    for (int c = 0; c < grid.colCount(); ++c) {
      const auto index = static_cast<std::size_t>(c);
      grid.setColWidth(c, (index < columns_.size() ? columns_[index].widest : 0) + 7);
    }
  }

 private:
  ToolkitPort& port_;
  const CharWidths* table_;
  std::size_t charBound_;
  std::vector<Column> columns_;
};

// Column 0 of each imported row: its number, counted up in decimal text
// rather than converted anew for every line.
class RowNumberText {
 public:
  std::string_view text() const {
    return std::string_view(digits_ + first_, sizeof digits_ - first_);
  }
  void next() {
    std::size_t at = sizeof digits_;
    while (at > first_ && digits_[at - 1] == '9')
      digits_[--at] = '0';
    if (at > first_) {
      ++digits_[at - 1];
    } else {
      first_ -= 1;
      digits_[first_] = '1';
    }
  }

 private:
  // Enough for any int.
  char digits_[11] = {'0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0'};
  std::size_t first_ = sizeof digits_ - 1;
};

}  // namespace

void LoadDelimitedFile(Grid& grid, const std::filesystem::path& file, TextList& rawView,
                       ProgressBar& progress, ToolkitPort& port) {
  // Shown for the whole load and hidden however it ends, even on a file
  // that turns out to be missing or empty.
  ProgressShown shown(progress);
  FileBytes text = ReadWholeFile(file);
  // Reading a big file takes a while: the screen catches up after it.
  port.keepScreenAlive();
  // Whatever the file's encoding, the rest of the load sees Windows-1252.
  // What had to be replaced is told first: the user may prefer to fix the
  // file before the names go any further.
  const DecodedText decoded = DecodeToWindows1252(text.data.get(), text.size);
  text.size = decoded.size;
  if (decoded.replaced > 0)
    port.showMessage(std::string(kReplacedCharactersMessage) + std::to_string(decoded.replaced));

  // No line at all: nothing to load, and nothing on screen changes.
  if (text.size == 0 || text.data[0] == '\0')
    throw FileError::EmptyFile(file);

  const int separator = DetectSeparator(text.view());
  if (separator < 0)
    port.showMessage(kNoSeparatorMessage);

  port.keepScreenAlive();
  TextList loaded;
  loaded.loadText(std::move(text.data), text.size);
  // The rows keep pointing into the file's bytes rather than holding a copy
  // of them: the raw text view and the grid share the one buffer, which
  // lives as long as either needs it.
  const std::shared_ptr<const void> lineOwner = loaded.sharedText();
  const auto lineCount = static_cast<int>(loaded.count());
  progress.setRange(0, lineCount - 1);

  // The first line empties the grid down to one blank row; the others are
  // appended below it.
  grid.setRowCount(1);
  grid.clearRow(0);
  grid.setRowCount(lineCount);

  ColumnWidths widths(port);
  RowNumberText index;
  for (int r = 0; r < lineCount; ++r, index.next()) {
    progress.setPosition(r);
    if (r % kRowsBetweenRepaints == 0)
      port.keepScreenAlive();

    std::string_view line = loaded.line(static_cast<std::size_t>(r));
    line = line.substr(0, kMaxImportedLineLength);

    if (separator < 0) {
      // Without a separator each line is one field, in column 1.
      const std::string_view cells[] = {index.text(), line};
      if (grid.colCount() < 2)
        grid.setColCount(2);
      grid.setRowTexts(r, cells);
      widths.measureRow(grid, r);
    } else {
      // Every separator opens a new column, even when the field after it is
      // empty; an empty last field is simply not stored.
      const int cells =
          grid.borrowRowFromLine(r, index.text(), line, static_cast<char>(separator), lineOwner);
      widths.measureLine(index.text(), line, static_cast<char>(separator), cells);
    }
    if (r + 1 == kRowsForetellingTheRest && lineCount > 2 * kRowsForetellingTheRest) {
      // A little more than they foretell: room never written costs no
      // memory, while a block too small would start a second one.
      const std::size_t rest = static_cast<std::size_t>(lineCount - kRowsForetellingTheRest);
      grid.reserveRowBytes(grid.rowBytes() / kRowsForetellingTheRest * rest / 4 * 5);
    }
  }

  rawView = std::move(loaded);
  // Every row of the grid now comes from the file and has been measured:
  // the same widths as FitGridColumns, without a second pass.
  widths.applyTo(grid);
}

void FitGridColumns(Grid& grid, ToolkitPort& port) {
  ColumnWidths widths(port);
  const int rows = grid.rowCount();
  auto measure = [&grid](ColumnWidths& into, int from, int to) {
    for (int r = from; r < to; ++r)
      into.measureRow(grid, r);
  };
  // A big table measured from the font's table, which is only read, is
  // shared between two processors: the second half of the rows is measured
  // beside the first, and the widest texts of both kept. Through the
  // toolkit, or where no second thread can be had, one pass does it all.
  std::optional<ColumnWidths> secondHalf;
  std::optional<std::thread> helper;
  std::exception_ptr helperFailure;
  const int half = rows / 2;
  if (port.charWidths() != nullptr && rows >= kRowsWorthASecondThread &&
      std::thread::hardware_concurrency() >= 2) {
    secondHalf.emplace(port);
    try {
      helper.emplace([&] {
        try {
          measure(*secondHalf, half, rows);
        } catch (...) {
          helperFailure = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      secondHalf.reset();
    }
  }
  if (helper) {
    // The helper is waited for however this half ends.
    std::exception_ptr failure;
    try {
      measure(widths, 0, half);
    } catch (...) {
      failure = std::current_exception();
    }
    helper->join();
    if (!failure)
      failure = helperFailure;
    if (failure)
      std::rethrow_exception(failure);
    widths.takeWidest(*secondHalf);
  } else {
    measure(widths, 0, rows);
  }
  widths.applyTo(grid);
}

}  // namespace passerelle
