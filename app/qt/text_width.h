#pragma once

#include <array>
#include <optional>
#include <string_view>

#include <QFont>

#include "tables/char_widths.h"

namespace passerelle {

// Measures Windows-1252 texts in one font from a table of the 256 character
// advances. Asking Qt for a whole text's width shapes it every time, which
// turns fitting the columns of a big import into tens of seconds; summing
// the table is a few nanoseconds per text and differs only where kerning
// would apply.
class Cp1252WidthTable {
 public:
  explicit Cp1252WidthTable(const QFont& font);

  // In pixels, rounded once from the exact sum.
  int width(std::string_view cp1252) const;
  qreal advance(unsigned char byte) const { return advances_[byte]; }
  // No text of n characters is wider than n times this.
  int maxCharWidth() const { return maxCharWidth_; }
  // The same measure as a table the grids sum themselves, when every
  // advance is a whole number of 64ths of a pixel (as the font engine
  // gives them, unless the screen is scaled): the rounded sums are then
  // exactly width()'s. Null otherwise.
  const CharWidths* charWidths() const { return units_ ? &*units_ : nullptr; }

 private:
  std::array<qreal, 256> advances_{};
  int maxCharWidth_ = 0;
  std::optional<CharWidths> units_;
};

}  // namespace passerelle
