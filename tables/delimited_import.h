#pragma once

#include <filesystem>
#include <string_view>

#include "tables/grid.h"
#include "tables/progress_bar.h"
#include "tables/text_list.h"
#include "tables/toolkit_port.h"

namespace passerelle {

// The message shown when the first line holds none of the separators.
inline constexpr std::string_view kNoSeparatorMessage = "table csv  ?  , il faut :  ou ;";

// The longest part of a line that reaches the grid; the raw text view keeps
// the whole line.
inline constexpr int kMaxImportedLineLength = 4096;

// Reads a delimited text file into `grid`: row r holds line r, column 0 its
// index in decimal, column k its field k. The separator is the first of
// ";", ",", ":" and TAB found in the first line; there is no quoting.
// 8-bit files are taken as Windows-1252; a file that starts with the byte
// 0xFF is taken as UTF-16 little-endian and converted in memory, nothing is
// written beside it. The file's text goes into `rawView`, progress into
// `progress` (visible only during the load), and the column widths are fitted
// at the end.
//
// Throws FileError when the file cannot be read and DisplayedError ("Le
// fichier est vide : …") when it holds no line; the grid and the raw text
// view are then unchanged and the progress bar hidden.
void LoadDelimitedFile(Grid& grid, const std::filesystem::path& file, TextList& rawView,
                       ProgressBar& progress, ToolkitPort& port);

// Sets each column's display width to its widest text plus 7 pixels.
void FitGridColumns(Grid& grid, ToolkitPort& port);

}  // namespace passerelle
