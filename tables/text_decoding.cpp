#include "tables/text_decoding.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "tables/cp1252.h"

namespace passerelle {

namespace {

using Byte = unsigned char;

constexpr char kReplacement = '?';
// Ctrl-Z, the old end-of-file mark, still ends a UTF-16 text.
constexpr char32_t kEndOfTextUnit = 0x1A;

// The first position at or after `from` whose byte is not ASCII, or `size`.
// Sixteen bytes are tested at once: nearly every byte of an export is ASCII,
// and an 8-bit file must not pay for being looked at.
std::size_t SkipAscii(const Byte* data, std::size_t from, std::size_t size) {
  constexpr std::uint64_t kHighBits = 0x8080808080808080u;
  std::size_t i = from;
  for (; size - i >= 16; i += 16) {
    std::uint64_t words[2];
    std::memcpy(words, data + i, sizeof words);
    if (((words[0] | words[1]) & kHighBits) != 0)
      break;
  }
  while (i < size && data[i] < 0x80)
    ++i;
  return i;
}

// The length of the well-formed UTF-8 sequence of two to four bytes that
// starts at data[at], with its code point in `codePoint`; 0 when the bytes
// there start none. Only the shortest form of a scalar value is well-formed:
// no overlong form, no surrogate, nothing past U+10FFFF.
std::size_t SequenceAt(const Byte* data, std::size_t at, std::size_t size, char32_t& codePoint) {
  const Byte lead = data[at];
  std::size_t length = 0;
  // The range the second byte must fall in; the others are 80 to BF.
  Byte low = 0x80;
  Byte high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    codePoint = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    codePoint = lead & 0x0F;
    if (lead == 0xE0)
      low = 0xA0;
    else if (lead == 0xED)
      high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    codePoint = lead & 0x07;
    if (lead == 0xF0)
      low = 0x90;
    else if (lead == 0xF4)
      high = 0x8F;
  } else {
    return 0;
  }
  if (size - at < length || data[at + 1] < low || data[at + 1] > high)
    return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const Byte next = data[at + k];
    if ((next & 0xC0) != 0x80)
      return 0;
    codePoint = (codePoint << 6) | (next & 0x3F);
  }
  return length;
}

// Writes decoded characters as Windows-1252 bytes, behind the bytes still to
// be read: every character takes at least as many bytes in the file as the
// one byte it becomes here.
class Windows1252Writer {
 public:
  explicit Windows1252Writer(char* out) : start_(out), out_(out) {}

  void put(char32_t codePoint) {
    if (codePoint <= 0xFF) {
      *out_++ = static_cast<char>(codePoint);
      return;
    }
    const int byte = UnicodeToCp1252(codePoint);
    if (byte < 0)
      replace();
    else
      *out_++ = static_cast<char>(byte);
  }
  void replace() {
    *out_++ = kReplacement;
    ++replaced_;
  }
  // Bytes that stand for themselves.
  void copy(const char* from, std::size_t count) {
    if (out_ != from)
      std::memmove(out_, from, count);
    out_ += count;
  }

  DecodedText result() const { return {static_cast<std::size_t>(out_ - start_), replaced_}; }

 private:
  char* start_;
  char* out_;
  std::size_t replaced_ = 0;
};

// Four UTF-16 units read as one word on a little-endian processor, so that
// four plain ASCII characters, the bulk of any export, pass at once.
template <bool kBigEndian>
class FourUnits {
 public:
  static constexpr bool kAvailable = std::endian::native == std::endian::little;

  explicit FourUnits(const Byte* at) { std::memcpy(&word_, at, sizeof word_); }

  // True when each unit is one of U+0001 to U+007F other than U+001A.
  bool plainAscii() const {
    // Every unit below U+0080: its high byte is 0 and its low byte's top
    // bit clear. Each 16-bit lane then stays below 0x8000, so subtracting 1
    // from every lane sets a lane's top bit only where the lane was 0.
    constexpr std::uint64_t kNotAscii = kBigEndian ? 0x80FF80FF80FF80FFu : 0xFF80FF80FF80FF80u;
    constexpr std::uint64_t kOnes = 0x0001000100010001u;
    constexpr std::uint64_t kTops = 0x8000800080008000u;
    constexpr std::uint64_t kEndOfText = kBigEndian ? 0x1A001A001A001A00u : 0x001A001A001A001Au;
    if ((word_ & kNotAscii) != 0)
      return false;
    const std::uint64_t endOfText = word_ ^ kEndOfText;
    return ((word_ - kOnes) & kTops) == 0 && ((endOfText - kOnes) & kTops) == 0;
  }
  char byte(int k) const { return static_cast<char>(word_ >> (16 * k + (kBigEndian ? 8 : 0))); }

 private:
  std::uint64_t word_ = 0;
};

template <bool kBigEndian>
DecodedText DecodeUtf16(char* text, std::size_t size) {
  const auto* data = reinterpret_cast<const Byte*>(text);
  // The first two bytes are the mark; a last odd byte is no unit.
  const std::size_t units = size < 2 ? 0 : (size - 2) / 2;
  auto unitAt = [data](std::size_t k) -> char32_t {
    const Byte* pair = data + 2 + 2 * k;
    return kBigEndian ? (char32_t{pair[0]} << 8) | pair[1] : (char32_t{pair[1]} << 8) | pair[0];
  };
  Windows1252Writer out(text);
  for (std::size_t k = 0; k < units; ++k) {
    if constexpr (FourUnits<kBigEndian>::kAvailable) {
      // Most of an export is ASCII, four characters of which go at once.
      while (units - k >= 4) {
        const FourUnits<kBigEndian> four(data + 2 + 2 * k);
        if (!four.plainAscii())
          break;
        const char bytes[4] = {four.byte(0), four.byte(1), four.byte(2), four.byte(3)};
        out.copy(bytes, 4);
        k += 4;
      }
      if (k == units)
        break;
    }
    const char32_t unit = unitAt(k);
    if (unit == kEndOfTextUnit)
      break;
    if (unit == 0)
      continue;
    if (unit >= 0xD800 && unit <= 0xDFFF) {
      // A high surrogate and the low one after it are one character beyond
      // U+FFFF, where Windows-1252 has nothing; either alone is no
      // character at all. Both give one "?".
      if (unit <= 0xDBFF && k + 1 < units && (unitAt(k + 1) & 0xFC00) == 0xDC00)
        ++k;
      out.replace();
      continue;
    }
    out.put(unit);
  }
  return out.result();
}

// Decodes the UTF-8 bytes from `from` on; a byte that starts no well-formed
// sequence stays as it is.
DecodedText DecodeUtf8(char* text, std::size_t from, std::size_t size) {
  const auto* data = reinterpret_cast<const Byte*>(text);
  Windows1252Writer out(text);
  std::size_t in = from;
  while (in < size) {
    const std::size_t asciiEnd = SkipAscii(data, in, size);
    out.copy(text + in, asciiEnd - in);
    in = asciiEnd;
    if (in == size)
      break;
    char32_t codePoint = 0;
    const std::size_t length = SequenceAt(data, in, size, codePoint);
    if (length == 0) {
      out.copy(text + in, 1);
      ++in;
    } else {
      out.put(codePoint);
      in += length;
    }
  }
  return out.result();
}

// Whether the bytes are well-formed UTF-8 from end to end with at least one
// multi-byte sequence. An 8-bit file usually fails at its first accented
// letter, followed by an ASCII byte where UTF-8 wants a continuation.
bool IsMultiByteUtf8(const Byte* data, std::size_t size) {
  bool multiByte = false;
  std::size_t at = 0;
  for (;;) {
    at = SkipAscii(data, at, size);
    if (at == size)
      return multiByte;
    char32_t codePoint = 0;
    const std::size_t length = SequenceAt(data, at, size, codePoint);
    if (length == 0)
      return false;
    multiByte = true;
    at += length;
  }
}

}  // namespace

DecodedText DecodeToWindows1252(char* bytes, std::size_t size) {
  const auto* data = reinterpret_cast<const Byte*>(bytes);
  if (size >= 1 && data[0] == 0xFF)
    return DecodeUtf16<false>(bytes, size);
  if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF)
    return DecodeUtf16<true>(bytes, size);
  if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF)
    return DecodeUtf8(bytes, 3, size);
  if (IsMultiByteUtf8(data, size))
    return DecodeUtf8(bytes, 0, size);
  return {size, 0};
}

}  // namespace passerelle
