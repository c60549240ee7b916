#pragma once

#include <string>
#include <string_view>

namespace passerelle {

// Windows-1252 is the text of every file and table. These conversions are
// used only where text meets the toolkit (display, editing, clipboard).
//
// All 256 bytes round-trip: the five bytes that Windows-1252 leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for U+0081, U+008D, U+008F, U+0090 and
// U+009D.

char32_t Cp1252ToUnicode(unsigned char byte);
// The Windows-1252 byte for a code point, or -1 when it has none.
int UnicodeToCp1252(char32_t codePoint);

std::string Cp1252ToUtf8(std::string_view text);
// Malformed UTF-8 and characters without a Windows-1252 byte become
// `replacement`.
std::string Utf8ToCp1252(std::string_view text, char replacement = '?');

}  // namespace passerelle
