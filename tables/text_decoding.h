#pragma once

#include <cstddef>

namespace passerelle {

// A file's text once decoded: its first `size` bytes are Windows-1252.
struct DecodedText {
  std::size_t size = 0;
  // Characters that Windows-1252 lacks, each written as one "?".
  std::size_t replaced = 0;
};

// Turns the bytes of a file just read into the Windows-1252 text every table
// holds, in place: the text is never longer than the bytes it comes from.
//
// - First byte 0xFF: UTF-16 little-endian from the third byte on, whatever
//   the second is; first bytes FE FF: UTF-16 big-endian likewise. A last odd
//   byte is dropped, the unit U+001A ends the text, units U+0000 are
//   dropped, a surrogate pair is one character and a lone surrogate one "?".
// - First bytes EF BB BF: UTF-8 from the fourth byte on. A byte that starts
//   no well-formed sequence is kept as it is, as the Windows-1252 byte it
//   was most likely meant to be.
// - Any other file that is well-formed UTF-8 from end to end and holds at
//   least one multi-byte sequence: UTF-8 likewise.
// - Anything else is 8-bit text already, left as it is.
//
// Each decoded character from U+0000 to U+00FF becomes the byte of the same
// value, so a file that only ever held those reads as it always did; the 27
// characters Windows-1252 places between 0x80 and 0x9F become those bytes;
// any other one becomes "?" and is counted.
DecodedText DecodeToWindows1252(char* bytes, std::size_t size);

}  // namespace passerelle
