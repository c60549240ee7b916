#include "tables/byte_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace passerelle {
namespace {

std::vector<std::size_t> Found(std::string_view text, char a, char b) {
  std::vector<std::size_t> found;
  ForEachByteOf(text, a, b, [&found](std::size_t at) { found.push_back(at); });
  return found;
}

// Every length around the sixteen-byte steps, every wanted byte at every
// place, the bytes on either side of the text included: the text is cut
// from a longer one, so a scan that strays past either end is caught.
TEST(ByteScanTest, FindsEveryWantedByteAndNothingOutside) {
  for (std::size_t length = 0; length <= 50; ++length) {
    for (std::size_t step = 1; step <= 7; step += 3) {
      std::string around(length + 40, ';');
      for (std::size_t i = 0; i < length; ++i)
        around[20 + i] =
            (i % step == 0) ? (i % 2 == 0 ? ';' : '\r') : static_cast<char>('a' + i % 26);
      const std::string_view text = std::string_view(around).substr(20, length);

      std::vector<std::size_t> expected;
      for (std::size_t i = 0; i < length; ++i) {
        if (text[i] == ';' || text[i] == '\r')
          expected.push_back(i);
      }
      EXPECT_EQ(Found(text, ';', '\r'), expected) << "length " << length << ", step " << step;
    }
  }
}

TEST(ByteScanTest, BytesAbove127AreComparedLikeAnyOther) {
  const std::string text =
      "\x80\xFF"
      "a\x9D"
      "0123456789abcdef\xFF";
  EXPECT_EQ(Found(text, '\xFF', '\x9D'), (std::vector<std::size_t>{1, 3, 20}));
}

}  // namespace
}  // namespace passerelle
