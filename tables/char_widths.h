#pragma once

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace passerelle {

// The width of every Windows-1252 character in a font, in 64ths of a pixel,
// where a text is as wide as the sum of its characters rounded to the
// nearest pixel. Measuring is then a table sum the tables do themselves,
// with no call into the toolkit for each text.
class CharWidths {
 public:
  static constexpr int kUnitsPerPixel = 64;

  // `units[b]` is the advance of byte b, in 64ths of a pixel; none may be
  // negative.
  explicit CharWidths(const std::array<std::uint32_t, 256>& units);

  // In whole pixels, halves rounded up.
  int width(std::string_view text) const {
    // Two sums side by side keep the additions from waiting on each other.
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::uint64_t even = 0;
    std::uint64_t odd = 0;
    std::size_t i = 0;
    for (; i + 2 <= size; i += 2) {
      even += units_[bytes[i]];
      odd += units_[bytes[i + 1]];
    }
    if (i < size)
      even += units_[bytes[i]];
    const std::uint64_t pixels = (even + odd + kUnitsPerPixel / 2) / kUnitsPerPixel;
    return pixels > std::uint64_t{INT_MAX} ? INT_MAX : static_cast<int>(pixels);
  }
  // Whole pixels at least as wide as any one character: no text of n
  // characters is wider than n times it.
  int maxCharWidth() const { return maxCharWidth_; }

 private:
  std::array<std::uint32_t, 256> units_;
  int maxCharWidth_ = 0;
};

}  // namespace passerelle
