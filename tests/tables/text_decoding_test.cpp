#include "tables/text_decoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/encodings.h"
#include "support/file_fixture.h"

// Texts here are Windows-1252 bytes written as escapes. A hex escape runs on
// through every hex digit that follows it, so "\xE9" "a" is split in two.

namespace passerelle {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;
using testing::EncodeCodePoints;
using testing::Encoding;
using testing::Printable;

struct DecodeCase {
  std::string name;
  std::string bytes;
  std::string text;
  std::size_t replaced;
};

// A UTF-16 file of these code units, mark first.
std::string Units(std::u16string_view units, Encoding byteOrder) {
  std::string bytes = byteOrder == Encoding::kUtf16BigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t unit : units) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    bytes +=
        byteOrder == Encoding::kUtf16BigEndian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

std::vector<DecodeCase> Utf16Cases(Encoding byteOrder) {
  const std::string order =
      byteOrder == Encoding::kUtf16BigEndian ? "UTF-16 big-endian: " : "UTF-16 little-endian: ";
  auto units = [byteOrder](std::u16string_view text) { return Units(text, byteOrder); };
  return {
      {order + "Latin-1 letters", units(u"L\u00E9a;\u00C9lise\r\n"),
       "L\xE9"
       "a;\xC9lise\r\n",
       0},
      // U+0080 to U+009F are the bytes of the same value, even where
      // Windows-1252 gives that byte another character.
      {order + "C1 controls", units(u"\u0080\u0081\u009F"), "\x80\x81\x9F", 0},
      {order + "apostrophe, OE and euro", units(u"N\u2019Diaye \u0152 \u20AC"),
       "N\x92"
       "Diaye \x8C \x80",
       0},
      {order + "every character Windows-1252 places at 0x80 to 0x9F",
       units(u"\u20AC\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152\u017D"
             u"\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\u017E"
             u"\u0178"),
       "\x80\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8E\x91\x92\x93\x94\x95\x96\x97\x98\x99"
       "\x9A\x9B\x9C\x9E\x9F",
       0},
      {order + "characters beyond Windows-1252", units(u"a\u0100b\u4E2D"), "a?b?", 2},
      // U+011A holds the byte 0x1A: only the whole unit U+001A ends the text.
      {order + "U+011A does not end the text", units(u"d\u011Ae"), "d?e", 1},
      {order + "the unit U+001A ends the text", units(u"ab\r\n\u001Acd\u0100"), "ab\r\n", 0},
      {order + "U+0000 is dropped", units(u"a\u0000b\u0000"sv), "ab", 0},
      {order + "a surrogate pair is one character", units(u"a\U0001F600b"), "a?b", 1},
      {order + "lone surrogates", units(u"\xD800x\xDC00y\xDBFF"), "?x?y?", 3},
      {order + "two high surrogates then a low one", units(u"\xD800\xD801\xDC00"), "??", 2},
      {order + "a last odd byte is dropped", units(u"ab") + "c", "ab", 0},
      {order + "the mark alone", units(u""), "", 0},
  };
}

TEST(TextDecodingTest, EachEncodingBecomesWindows1252) {
  std::vector<DecodeCase> cases = {
      // 8-bit text, and anything that is not well-formed UTF-8, stays as it is.
      {"8-bit", "\xC9l\xE8ve;\x80;\x92\r\n", "\xC9l\xE8ve;\x80;\x92\r\n", 0},
      {"ASCII", "a;b\r\n", "a;b\r\n", 0},
      {"empty", "", "", 0},
      {"8-bit with one UTF-8-looking pair", "\xC3\xA9t\xE9", "\xC3\xA9t\xE9", 0},
      {"8-bit ending in a UTF-8 lead byte", "caf\xC3\xA9 \xE2\x82", "caf\xC3\xA9 \xE2\x82", 0},
      {"overlong UTF-8 is not UTF-8", "a\xC0\xAF\xC3\xA9", "a\xC0\xAF\xC3\xA9", 0},
      {"UTF-8 surrogate is not UTF-8", "\xED\xA0\x80\xC3\xA9", "\xED\xA0\x80\xC3\xA9", 0},
      {"beyond U+10FFFF is not UTF-8", "\xF4\x90\x80\x80\xC3\xA9", "\xF4\x90\x80\x80\xC3\xA9", 0},
      {"a NUL stays", "a\0b"s, "a\0b"s, 0},
      // UTF-8 without a mark: well-formed from end to end, with at least one
      // multi-byte sequence.
      {"UTF-8 without a mark",
       EncodeCodePoints(U"H\u00E9l\u00E8ne;\u0152;\u20AC\r\n", Encoding::kUtf8),
       "H\xE9l\xE8ne;\x8C;\x80\r\n", 0},
      {"UTF-8 without a mark, beyond Windows-1252",
       EncodeCodePoints(U"\u0100\U0001F600\u00E9\u2019", Encoding::kUtf8), "??\xE9\x92", 2},
      {"UTF-8 U+0080 is the byte 0x80", "\xC2\x80\xC2\x9F", "\x80\x9F", 0},
      {"UTF-8 NUL and Ctrl-Z are kept", "a\0\x1A\xC3\xA9"s, "a\0\x1A\xE9"s, 0},
      // With its mark, a byte that starts no well-formed sequence stays.
      {"UTF-8 with its mark",
       EncodeCodePoints(U"pr\u00E9nom;\u2019\u0101", Encoding::kUtf8WithMark), "pr\xE9nom;\x92?",
       1},
      {"UTF-8 with its mark, ill-formed bytes kept",
       "\xEF\xBB\xBFN\x92"
       "e\xC3\xA9 \xC0\xAF \xED\xA0\x80 \xE2\x82",
       "N\x92"
       "e\xE9 \xC0\xAF \xED\xA0\x80 \xE2\x82",
       0},
      {"UTF-8 mark alone", "\xEF\xBB\xBF", "", 0},
      // The first byte 0xFF makes UTF-16 whatever follows it.
      {"0xFF alone", "\xFF", "", 0},
      {"0xFF then a byte other than FE",
       "\xFF"
       "Aa\0b\0"s,
       "ab", 0},
      {"8-bit text starting with 0xFF", "\xFFtitre", "??", 2},
      {"FE without FF is 8-bit", "\xFE\x41\0"s, "\xFE\x41\0"s, 0},
  };
  for (const Encoding order : {Encoding::kUtf16LittleEndian, Encoding::kUtf16BigEndian}) {
    for (DecodeCase& c : Utf16Cases(order))
      cases.push_back(std::move(c));
  }
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.name + ": " + Printable(c.bytes));
    std::string buffer = c.bytes;
    const DecodedText decoded = DecodeToWindows1252(buffer.data(), buffer.size());
    const std::string text = buffer.substr(0, decoded.size);
    EXPECT_EQ(text, c.text) << Printable(text);
    EXPECT_EQ(decoded.replaced, c.replaced);
  }
}

// The decoder works in place, a sixteen-byte stride at a time over ASCII: a
// long text with characters at every offset must come out whole.
TEST(TextDecodingTest, LongTextsDecodeWholeAtEveryOffset) {
  for (const Encoding encoding : {Encoding::kUtf8, Encoding::kUtf8WithMark,
                                  Encoding::kUtf16LittleEndian, Encoding::kUtf16BigEndian}) {
    SCOPED_TRACE(testing::EncodingName(encoding));
    std::u32string text;
    std::string expected;
    for (int i = 0; i < 300; ++i) {
      text.append(static_cast<std::size_t>(i % 37), U'a');
      expected.append(static_cast<std::size_t>(i % 37), 'a');
      text += i % 2 == 0 ? U'\u00E9' : U'\u2019';
      expected += i % 2 == 0 ? '\xE9' : '\x92';
    }
    std::string buffer = EncodeCodePoints(text, encoding);
    const DecodedText decoded = DecodeToWindows1252(buffer.data(), buffer.size());
    EXPECT_EQ(buffer.substr(0, decoded.size), expected);
    EXPECT_EQ(decoded.replaced, 0u);
  }
}

}  // namespace
}  // namespace passerelle
