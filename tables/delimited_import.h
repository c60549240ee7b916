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

// The message shown, followed by their number in decimal, when characters
// of a UTF-16 or UTF-8 file have no Windows-1252 byte and became "?".
inline constexpr std::string_view kReplacedCharactersMessage =
    "Caract\xE8res sans \xE9quivalent Windows-1252 remplac\xE9s par \xAB ? \xBB : ";

// The longest part of a line that reaches the grid; the raw text view keeps
// the whole line.
inline constexpr int kMaxImportedLineLength = 4096;

// Reads a delimited text file into `grid`: row r holds line r, column 0 its
// index in decimal, column k its field k. The separator is the first of
// ";", ",", ":" and TAB found in the first line; there is no quoting.
// The file's bytes are first decoded to Windows-1252 in memory, nothing
// being written beside it (see DecodeToWindows1252: UTF-16 of either byte
// order with its mark, UTF-8 with its mark or well-formed, else 8-bit text
// as it stands); characters without a Windows-1252 byte are counted and
// told by kReplacedCharactersMessage before anything else. The text goes
// into `rawView` up to its first NUL byte, progress into
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
