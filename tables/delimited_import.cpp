#include "tables/delimited_import.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <vector>

#include "tables/errors.h"
#include "tables/native_file.h"

namespace passerelle {

namespace {

constexpr char kEndOfText = 26;  // Ctrl-Z ends a file read as text.
constexpr int kRowsBetweenRepaints = 4096;

// A file whose first byte is 0xFF is taken as UTF-16 little-endian with its
// byte-order mark: from the third byte on, every zero byte is dropped, and
// the first Ctrl-Z ends the text. Characters up to U+00FF thus become their
// Windows-1252 byte.
FileBytes FromUtf16(std::string_view bytes) {
  FileBytes text;
  text.data = std::make_unique_for_overwrite<char[]>(bytes.size());
  for (std::size_t i = 2; i < bytes.size(); ++i) {
    const char byte = bytes[i];
    if (byte == kEndOfText)
      break;
    if (byte != '\0')
      text.data[text.size++] = byte;
  }
  return text;
}

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
    if (widths_.size() < stored)
      widths_.resize(stored, 0);
    for (std::size_t c = 0; c < stored; ++c) {
      const std::string_view text = cells[static_cast<int>(c)];
      int& widest = widths_[c];
      // A text that could not be wider than the widest one so far, even
      // made of the widest character, need not be measured: on a big file
      // nearly every cell is settled by its length alone.
      if (text.empty() || (charBound_ > 0 && text.size() * charBound_ <= std::size_t(widest)))
        continue;
      widest = std::max(widest, table_ != nullptr ? table_->width(text) : port_.textWidth(text));
    }
  }

  // Every column gets its widest text plus 7 pixels; a column without any
  // text gets 7.
  void applyTo(Grid& grid) const {
    for (int c = 0; c < grid.colCount(); ++c) {
      const auto index = static_cast<std::size_t>(c);
      grid.setColWidth(c, (index < widths_.size() ? widths_[index] : 0) + 7);
    }
  }

 private:
  ToolkitPort& port_;
  const CharWidths* table_;
  std::size_t charBound_;
  std::vector<int> widths_;
};

}  // namespace

void LoadDelimitedFile(Grid& grid, const std::filesystem::path& file, TextList& rawView,
                       ProgressBar& progress, ToolkitPort& port) {
  // Shown for the whole load and hidden however it ends, even on a file
  // that turns out to be missing or empty.
  ProgressShown shown(progress);
  FileBytes text = ReadWholeFile(file);
  // A file starting with Ctrl-Z reads as empty text, so the encoding test
  // only ever sees a real first byte.
  if (text.size > 0 && static_cast<unsigned char>(text.data[0]) == 0xFF)
    text = FromUtf16(text.view());

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
  char indexText[16];
  for (int r = 0; r < lineCount; ++r) {
    progress.setPosition(r);
    if (r % kRowsBetweenRepaints == 0)
      port.keepScreenAlive();

    std::string_view line = loaded.line(static_cast<std::size_t>(r));
    line = line.substr(0, kMaxImportedLineLength);
    const auto [end, ec] = std::to_chars(indexText, indexText + sizeof indexText, r);
    (void)ec;
    const std::string_view index(indexText, static_cast<std::size_t>(end - indexText));

    if (separator < 0) {
      // Without a separator each line is one field, in column 1.
      const std::string_view cells[] = {index, line};
      if (grid.colCount() < 2)
        grid.setColCount(2);
      grid.setRowTexts(r, cells);
    } else {
      // Every separator opens a new column, even when the field after it is
      // empty; an empty last field is simply not stored.
      grid.borrowRowFromLine(r, index, line, static_cast<char>(separator), lineOwner);
    }
    widths.measureRow(grid, r);
  }

  rawView = std::move(loaded);
  // Every row of the grid now comes from the file and has been measured:
  // the same widths as FitGridColumns, without a second pass.
  widths.applyTo(grid);
}

void FitGridColumns(Grid& grid, ToolkitPort& port) {
  ColumnWidths widths(port);
  for (int r = 0; r < grid.rowCount(); ++r)
    widths.measureRow(grid, r);
  widths.applyTo(grid);
}

}  // namespace passerelle
