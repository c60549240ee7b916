#include "tables/csv_export.h"

#include <memory>
#include <string>
#include <vector>

#include "tables/native_file.h"

namespace passerelle {

namespace {

constexpr std::size_t kWriteChunk = std::size_t{1} << 20;

void AppendCsvLine(const Grid& grid, int row, std::string& out) {
  const int cols = grid.colCount();
  for (int c = 0; c < cols; ++c) {
    out.append(grid.cell(c, row));
    if (c + 1 < cols)
      out.push_back(';');
  }
  out.append("\r\n");
}

}  // namespace

std::string GridAsCsvText(const Grid& grid) {
  std::string text;
  for (int r = 0; r < grid.rowCount(); ++r)
    AppendCsvLine(grid, r, text);
  return text;
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
    std::string chunk;
    chunk.reserve(kWriteChunk + 4096);
    for (int r = 0; r < file.grid.rowCount(); ++r) {
      AppendCsvLine(file.grid, r, chunk);
      if (chunk.size() >= kWriteChunk) {
        writer.write(chunk);
        chunk.clear();
      }
    }
    writer.write(chunk);
  }
  CommitTogether(toCommit);
}

}  // namespace passerelle
