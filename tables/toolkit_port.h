#pragma once

#include <string>
#include <string_view>

#include "tables/char_widths.h"

namespace passerelle {

// Long loops over a table's rows call ToolkitPort::keepScreenAlive() once
// every this many rows: often enough for a smooth progress bar, seldom
// enough to cost nothing. The window throttles the calls further.
inline constexpr int kRowsBetweenRepaints = 4096;

// What the tables and the steps need from the desktop. The window, the batch
// program and the tests each provide their own.
class ToolkitPort {
 public:
  virtual ~ToolkitPort() = default;

  // A modal message box with one OK button; the text is Windows-1252.
  virtual void showMessage(std::string_view text) = 0;
  // Width in pixels of a Windows-1252 text drawn in the grids' font.
  virtual int textWidth(std::string_view text) = 0;
  // An upper bound of the width of any single character, so that a text of
  // n characters is never wider than n times it; 0 when the measurer cannot
  // promise one. Lets column fitting skip texts too short to matter.
  virtual int maxCharWidth() { return 0; }
  // The grids' font as a table of character widths, when textWidth() is
  // exactly the rounded sum it gives; null otherwise. A big table's columns
  // are then fitted without a call per text.
  virtual const CharWidths* charWidths() { return nullptr; }
  // Called regularly during long work so that the screen can catch up with
  // the progress bar and the wait notice. Must not let the user act.
  virtual void keepScreenAlive() = 0;
};

}  // namespace passerelle
