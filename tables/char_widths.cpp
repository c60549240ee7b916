#include "tables/char_widths.h"

#include <algorithm>

namespace passerelle {

CharWidths::CharWidths(const std::array<std::uint32_t, 256>& units) {
  // Clamped so that no sum of two can overflow.
  constexpr std::uint32_t kWidest = UINT32_MAX / 2;
  auto pairs = std::make_shared_for_overwrite<std::uint32_t[]>(std::size_t{1} << 16);
  for (std::size_t pair = 0; pair < (std::size_t{1} << 16); ++pair)
    pairs[pair] = std::min(units[pair & 0xFF], kWidest) + std::min(units[pair >> 8], kWidest);
  pairs_ = std::move(pairs);
  for (std::size_t byte = 0; byte < singles_.size(); ++byte)
    singles_[byte] = std::min(units[byte], kWidest);
  const std::uint32_t widest = std::min(*std::max_element(units.begin(), units.end()), kWidest);
  maxCharWidth_ = static_cast<int>((widest + kUnitsPerPixel - 1) / kUnitsPerPixel);
}

}  // namespace passerelle
