#pragma once

#include <bit>
#include <cstddef>
#include <string_view>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define PASSERELLE_SCAN_SSE2 1
#endif

namespace passerelle {

// Calls found(i) for every i, in order, where text[i] is `a` or `b`. Sixteen
// bytes are compared at once where the processor allows it: a big file's
// line breaks and separators are found at memory speed, without a library
// call per field.
template <typename Found>
void ForEachByteOf(std::string_view text, char a, char b, Found&& found) {
  const char* const data = text.data();
  const std::size_t size = text.size();
  std::size_t i = 0;
#ifdef PASSERELLE_SCAN_SSE2
  const __m128i wantA = _mm_set1_epi8(a);
  const __m128i wantB = _mm_set1_epi8(b);
  auto matches = [&](std::size_t at) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
    return static_cast<unsigned>(_mm_movemask_epi8(
        _mm_or_si128(_mm_cmpeq_epi8(bytes, wantA), _mm_cmpeq_epi8(bytes, wantB))));
  };
  auto report = [&](std::size_t from, unsigned hits) {
    while (hits != 0) {
      found(from + static_cast<std::size_t>(std::countr_zero(hits)));
      hits &= hits - 1;
    }
  };
  if (size >= 16) {
    for (; i + 16 <= size; i += 16)
      report(i, matches(i));
    // The last few bytes are compared in the sixteen that end the text,
    // the ones already seen masked off: most lines are short, and a byte
    // loop over every line's tail would cost as much as the rest.
    if (i < size) {
      const std::size_t last = size - 16;
      report(i, matches(last) >> (i - last));
      i = size;
    }
  }
#endif
  for (; i < size; ++i) {
    if (data[i] == a || data[i] == b)
      found(i);
  }
}

}  // namespace passerelle
