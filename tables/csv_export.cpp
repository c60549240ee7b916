#include "tables/csv_export.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tables/native_file.h"

namespace passerelle {

namespace {

constexpr std::size_t kWriteChunk = std::size_t{1} << 20;

// Bytes gathered for the file, written out a chunk at a time. Lines are
// copied in with their length known beforehand, byte counts and all, rather
// than appended piece by piece to a text that checks its room each time.
class LineBuffer {
 public:
  explicit LineBuffer(std::size_t capacity)
      : bytes_(std::make_unique<char[]>(capacity)), capacity_(capacity) {}

  std::size_t size() const { return size_; }
  std::string_view view() const { return std::string_view(bytes_.get(), size_); }
  void clear() { size_ = 0; }

  // Room for `more` bytes after the ones held, returned for writing.
  char* extend(std::size_t more) {
    if (capacity_ - size_ < more) {
      const std::size_t capacity = std::max(2 * capacity_, size_ + more);
      auto larger = std::make_unique<char[]>(capacity);
      std::memcpy(larger.get(), bytes_.get(), size_);
      bytes_ = std::move(larger);
      capacity_ = capacity;
    }
    char* const at = bytes_.get() + size_;
    size_ += more;
    return at;
  }

 private:
  std::unique_ptr<char[]> bytes_;
  std::size_t size_ = 0;
  std::size_t capacity_;
};

// Every column of the grid, a ";" between two, then CR LF. The row's stored
// cells are read in one walk to count their bytes and in another to copy
// them; the empty columns after them are separators alone.
void AppendCsvLine(const Grid& grid, int row, LineBuffer& out) {
  const int cols = grid.colCount();
  const Grid::StoredCells cells = grid.storedCells(row);
  const auto stored = static_cast<std::size_t>(std::min(cols, cells.size()));
  std::size_t textBytes = 0;
  cells.forEach(stored,
                [&textBytes](std::size_t, std::string_view text) { textBytes += text.size(); });
  const auto separators = static_cast<std::size_t>(cols - 1);
  char* at = out.extend(textBytes + separators + 2);
  cells.forEach(stored, [&at](std::size_t c, std::string_view text) {
    if (c > 0)
      *at++ = ';';
    if (!text.empty())
      std::memcpy(at, text.data(), text.size());
    at += text.size();
  });
  const std::size_t emptyAfter = separators - (stored == 0 ? 0 : stored - 1);
  // Seldom more than one or two: no library call for them.
  for (std::size_t i = 0; i < emptyAfter; ++i)
    *at++ = ';';
  at[0] = '\r';
  at[1] = '\n';
}

}  // namespace

std::string GridAsCsvText(const Grid& grid) {
  LineBuffer text(4096);
  for (int r = 0; r < grid.rowCount(); ++r)
    AppendCsvLine(grid, r, text);
  return std::string(text.view());
}

void SaveGridAsCsv(const Grid& grid, const std::filesystem::path& file) {
  const GridFile one[] = {{grid, file}};
  SaveGridsAsCsv(one);
}

void SaveGridsAsCsv(std::span<const GridFile> files) {
  if (files.empty())
    return;
  const FolderSaveLock oneSaveAtATime(files.front().file.parent_path());
  std::vector<std::unique_ptr<WholeFileWriter>> writers;
  std::vector<WholeFileWriter*> toCommit;
  for (const GridFile& file : files) {
    // Written in chunks, so that a large table never exists twice in memory.
    WholeFileWriter& writer = *writers.emplace_back(std::make_unique<WholeFileWriter>(file.file));
    toCommit.push_back(&writer);
    LineBuffer chunk(kWriteChunk + 4096);
    for (int r = 0; r < file.grid.rowCount(); ++r) {
      AppendCsvLine(file.grid, r, chunk);
      if (chunk.size() >= kWriteChunk) {
        writer.write(chunk.view());
        chunk.clear();
      }
    }
    writer.write(chunk.view());
  }
  CommitTogether(toCommit);
}

}  // namespace passerelle
