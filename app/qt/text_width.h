#pragma once

#include <array>
#include <string_view>

#include <QFont>

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

 private:
  std::array<qreal, 256> advances_{};
  int maxCharWidth_ = 0;
};

}  // namespace passerelle
