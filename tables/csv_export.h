#pragma once

#include <filesystem>
#include <span>
#include <string>

#include "tables/grid.h"

namespace passerelle {

// The file text of a grid: one line per row, the cells of columns 0 to
// colCount() - 1 joined by ";" and every line ended by CR LF. No quoting.
std::string GridAsCsvText(const Grid& grid);

// Writes GridAsCsvText(grid) to `file`, whole or not at all: the text goes to
// a temporary file in the same folder, which then replaces the target. On
// failure a FileError is thrown and the earlier file, if any, is untouched.
void SaveGridAsCsv(const Grid& grid, const std::filesystem::path& file);

struct GridFile {
  const Grid& grid;
  std::filesystem::path file;
};

// Writes several grids, each as SaveGridAsCsv would, as one save into one
// folder: every file is written before any is replaced, so a failure before
// the replacements leaves all the earlier files as they were. Waits for
// another program saving into that folder (FolderSaveLock) first.
void SaveGridsAsCsv(std::span<const GridFile> files);

}  // namespace passerelle
