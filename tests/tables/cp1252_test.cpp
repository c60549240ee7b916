#include "tables/cp1252.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/file_fixture.h"

namespace passerelle {
namespace {

using testing::Printable;

TEST(Cp1252Test, EveryByteSurvivesTheTripThroughUtf8) {
  std::string allBytes;
  for (int byte = 0; byte < 256; ++byte)
    allBytes += static_cast<char>(byte);
  const std::string utf8 = Cp1252ToUtf8(allBytes);
  EXPECT_EQ(Utf8ToCp1252(utf8), allBytes);

  // And byte by byte, so that two bytes sharing one character would show.
  for (int byte = 0; byte < 256; ++byte) {
    const auto value = static_cast<unsigned char>(byte);
    SCOPED_TRACE(std::string("byte ") + std::to_string(byte));
    EXPECT_EQ(UnicodeToCp1252(Cp1252ToUnicode(value)), byte);
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(std::string(1, static_cast<char>(value)))),
              std::string(1, static_cast<char>(value)));
  }
}

TEST(Cp1252Test, BytesAndTheirCharacters) {
  struct Case {
    unsigned char byte;
    char32_t codePoint;
    std::string utf8;
  };
  const std::vector<Case> cases = {
      {0x41, U'A', "A"},
      {0x80, 0x20AC, "\xE2\x82\xAC"},  // euro sign
      {0x92, 0x2019, "\xE2\x80\x99"},  // typographic apostrophe
      {0x9C, 0x0153, "\xC5\x93"},      // oe ligature
      {0x9F, 0x0178, "\xC5\xB8"},
      {0xA0, 0x00A0, "\xC2\xA0"},
      {0xE9, 0x00E9, "\xC3\xA9"},
      {0xFF, 0x00FF, "\xC3\xBF"},
      // The five bytes the code page leaves undefined keep their C1 control.
      {0x81, 0x0081, "\xC2\x81"},
      {0x8D, 0x008D, "\xC2\x8D"},
      {0x8F, 0x008F, "\xC2\x8F"},
      {0x90, 0x0090, "\xC2\x90"},
      {0x9D, 0x009D, "\xC2\x9D"},
  };
  for (const Case& c : cases) {
    const std::string byte(1, static_cast<char>(c.byte));
    SCOPED_TRACE(Printable(byte));
    EXPECT_EQ(Cp1252ToUnicode(c.byte), c.codePoint);
    EXPECT_EQ(UnicodeToCp1252(c.codePoint), c.byte);
    EXPECT_EQ(Cp1252ToUtf8(byte), c.utf8);
    EXPECT_EQ(Utf8ToCp1252(c.utf8), byte);
  }
}

TEST(Cp1252Test, CharactersOutsideTheCodePageBecomeTheReplacement) {
  struct Case {
    std::string utf8;
    std::string expected;
  };
  const std::vector<Case> cases = {
      // U+0080 is not the euro sign: 0x80 belongs to U+20AC.
      {"a\xC2\x80z", "a?z"},
      {"\xE4\xB8\xAD", "?"},          // a CJK character
      {"\xF0\x9F\x98\x80", "?"},      // an emoji, four bytes, one character
      {"\xC5\x81\xC3\xA9", "?\xE9"},  // L with stroke has no byte; e acute has
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Printable(c.utf8));
    EXPECT_EQ(Utf8ToCp1252(c.utf8), c.expected);
  }
  EXPECT_EQ(UnicodeToCp1252(0x0080), -1);
  EXPECT_EQ(UnicodeToCp1252(0x0141), -1);
  EXPECT_EQ(Utf8ToCp1252("\xE4\xB8\xAD", '_'), "_");
}

TEST(Cp1252Test, MalformedUtf8BecomesTheReplacementAndSparesItsNeighbours) {
  struct Case {
    std::string name;
    std::string utf8;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"lone continuation byte", "a\x80z", "a?z"},
      {"cut at the end", "a\xC3", "a?"},
      {"lead byte followed by ASCII", "\xC3(", "?("},
      {"three-byte sequence cut short", "\xE2\x82z", "??z"},
      {"bytes never used in UTF-8", "\xFE\xFFz", "??z"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string converted = Utf8ToCp1252(c.utf8);
    EXPECT_EQ(converted, c.expected) << Printable(converted);
  }
}

TEST(Cp1252Test, ForbiddenSpellingsOfACharacterAreNotTaken) {
  // Overlong forms hide an ASCII character under another spelling: a "/" or
  // a NUL must not slip through a pasted text that way. Surrogates are no
  // characters at all.
  struct Case {
    std::string name;
    std::string utf8;
  };
  const std::vector<Case> cases = {
      {"overlong slash", "\xC0\xAF"},
      {"overlong NUL", "\xC0\x80"},
      {"three-byte overlong slash", "\xE0\x80\xAF"},
      {"four-byte overlong e acute", "\xF0\x80\x83\xA9"},
      {"UTF-16 surrogate", "\xED\xA0\x80"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string converted = Utf8ToCp1252(c.utf8);
    EXPECT_FALSE(converted.empty());
    EXPECT_EQ(converted.find_first_not_of('?'), std::string::npos) << Printable(converted);
  }
}

}  // namespace
}  // namespace passerelle
