#pragma once

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

namespace passerelle {

// The width of every Windows-1252 character in a font, in 64ths of a pixel,
// where a text is as wide as the sum of its characters rounded to the
// nearest pixel. Measuring is then a table sum the tables do themselves,
// with no call into the toolkit for each text.
class CharWidths {
 public:
  static constexpr int kUnitsPerPixel = 64;

  // `units[b]` is the advance of byte b, in 64ths of a pixel.
  explicit CharWidths(const std::array<std::uint32_t, 256>& units);

  // In whole pixels, halves rounded up.
  int width(std::string_view text) const {
    // Two characters at a time from the table of pairs, in two sums side
    // by side so that the additions do not wait on each other. A pair's
    // width does not depend on which byte comes first, so neither does
    // reading two bytes as one 16-bit number.
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t size = text.size();
    const std::uint32_t* const pairs = pairs_.get();
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    for (; size >= 4; bytes += 4, size -= 4) {
      first += pairs[ReadPair(bytes)];
      second += pairs[ReadPair(bytes + 2)];
    }
    if (size >= 2) {
      first += pairs[ReadPair(bytes)];
      bytes += 2;
      size -= 2;
    }
    if (size > 0)
      second += singles_[*bytes];
    const std::uint64_t pixels = (first + second + kUnitsPerPixel / 2) / kUnitsPerPixel;
    return pixels > std::uint64_t{INT_MAX} ? INT_MAX : static_cast<int>(pixels);
  }
  // Whole pixels at least as wide as any one character: no text of n
  // characters is wider than n times it.
  int maxCharWidth() const { return maxCharWidth_; }

 private:
  static std::uint16_t ReadPair(const unsigned char* at) {
    std::uint16_t pair;
    std::memcpy(&pair, at, sizeof pair);
    return pair;
  }

  // The width of every two bytes side by side, indexed by the two bytes as
  // one 16-bit number.
  std::shared_ptr<const std::uint32_t[]> pairs_;
  std::array<std::uint32_t, 256> singles_;
  int maxCharWidth_ = 0;
};

}  // namespace passerelle
