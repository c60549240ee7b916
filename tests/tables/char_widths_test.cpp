#include "tables/char_widths.h"

#include <gtest/gtest.h>

#include <string>

namespace passerelle {
namespace {

// 'a' is 6.5 px, 'b' 7.25 px, 'c' 0.75 px, NUL 100 px (never in a text),
// every other byte 0.
CharWidths SmallFont() {
  std::array<std::uint32_t, 256> units{};
  units[0] = 6400;
  units['a'] = 416;
  units['b'] = 464;
  units['c'] = 48;
  return CharWidths(units);
}

TEST(CharWidthsTest, SumsTheCharactersAndRoundsOnceHalvesUp) {
  const CharWidths font = SmallFont();
  const struct {
    std::string text;
    int width;
  } cases[] = {
      {"", 0},           {"a", 7},  // 6.5 goes up
      {"aa", 13},                   // 13.0, not twice a rounded 7
      {"b", 7},                     // 7.25
      {"bb", 15},                   // 14.5 goes up
      {"ccc", 2},                   // 2.25
      {"c", 1},                     // 0.75
      {"cb", 8},                    // 8.0
      {"xyz\xFF", 0},               // bytes without width
      {"abcabcabc", 44},            // 43.5
  };
  for (const auto& c : cases)
    EXPECT_EQ(font.width(c.text), c.width) << c.text;
  // A long text, even and odd lengths alike.
  EXPECT_EQ(font.width(std::string(100'001, 'a')), 650'007);
  EXPECT_EQ(font.width(std::string(100'000, 'b')), 725'000);
}

TEST(CharWidthsTest, WidestCharacterIsRoundedUpToWholePixels) {
  EXPECT_EQ(SmallFont().maxCharWidth(), 100);
  std::array<std::uint32_t, 256> units{};
  units['w'] = 642;
  EXPECT_EQ(CharWidths(units).maxCharWidth(), 11);
  units['w'] = 640;
  EXPECT_EQ(CharWidths(units).maxCharWidth(), 10);
  EXPECT_EQ(CharWidths(std::array<std::uint32_t, 256>{}).maxCharWidth(), 0);
}

}  // namespace
}  // namespace passerelle
