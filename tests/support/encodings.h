#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tables/cp1252.h"

namespace passerelle::testing {

// The encodings an export may arrive in, each with its usual mark.
enum class Encoding { kEightBit, kUtf16LittleEndian, kUtf16BigEndian, kUtf8WithMark, kUtf8 };

inline const std::vector<Encoding>& EveryEncoding() {
  static const std::vector<Encoding> all = {Encoding::kEightBit, Encoding::kUtf16LittleEndian,
                                            Encoding::kUtf16BigEndian, Encoding::kUtf8WithMark,
                                            Encoding::kUtf8};
  return all;
}

inline const char* EncodingName(Encoding encoding) {
  switch (encoding) {
    case Encoding::kEightBit:
      return "8-bit";
    case Encoding::kUtf16LittleEndian:
      return "UTF-16 little-endian";
    case Encoding::kUtf16BigEndian:
      return "UTF-16 big-endian";
    case Encoding::kUtf8WithMark:
      return "UTF-8 with its mark";
    case Encoding::kUtf8:
      return "UTF-8 without a mark";
  }
  return "";
}

// Code points as an editor would save them, the mark included; in 8-bit,
// their Windows-1252 bytes, which they must have. Characters
// past U+FFFF take a surrogate pair in UTF-16; nothing is checked, so that a
// test may write a lone surrogate on purpose.
inline std::string EncodeCodePoints(std::u32string_view text, Encoding encoding) {
  std::string bytes;
  auto unit = [&](char32_t value) {
    const char high = static_cast<char>(value >> 8);
    const char low = static_cast<char>(value & 0xFF);
    if (encoding == Encoding::kUtf16BigEndian)
      bytes.append({high, low});
    else
      bytes.append({low, high});
  };
  auto byte = [&](char32_t value) { bytes.push_back(static_cast<char>(value)); };
  switch (encoding) {
    case Encoding::kUtf16LittleEndian:
      bytes = "\xFF\xFE";
      break;
    case Encoding::kUtf16BigEndian:
      bytes = "\xFE\xFF";
      break;
    case Encoding::kUtf8WithMark:
      bytes = "\xEF\xBB\xBF";
      break;
    default:
      break;
  }
  for (const char32_t c : text) {
    switch (encoding) {
      case Encoding::kEightBit:
        byte(c <= 0xFF ? c : static_cast<char32_t>(UnicodeToCp1252(c)));
        break;
      case Encoding::kUtf16LittleEndian:
      case Encoding::kUtf16BigEndian:
        if (c > 0xFFFF) {
          unit(0xD800 + ((c - 0x10000) >> 10));
          unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
          unit(c);
        }
        break;
      case Encoding::kUtf8WithMark:
      case Encoding::kUtf8:
        if (c < 0x80) {
          byte(c);
        } else if (c < 0x800) {
          byte(0xC0 | (c >> 6));
          byte(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
          byte(0xE0 | (c >> 12));
          byte(0x80 | ((c >> 6) & 0x3F));
          byte(0x80 | (c & 0x3F));
        } else {
          byte(0xF0 | (c >> 18));
          byte(0x80 | ((c >> 12) & 0x3F));
          byte(0x80 | ((c >> 6) & 0x3F));
          byte(0x80 | (c & 0x3F));
        }
        break;
    }
  }
  return bytes;
}

// A Windows-1252 text saved in another encoding: each byte as the character
// it stands for.
inline std::string Encode(std::string_view windows1252, Encoding encoding) {
  if (encoding == Encoding::kEightBit)
    return std::string(windows1252);
  std::u32string text;
  for (const char c : windows1252)
    text.push_back(Cp1252ToUnicode(static_cast<unsigned char>(c)));
  return EncodeCodePoints(text, encoding);
}

}  // namespace passerelle::testing
