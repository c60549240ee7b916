#include "tables/char_widths.h"

#include <algorithm>

namespace passerelle {

CharWidths::CharWidths(const std::array<std::uint32_t, 256>& units) : units_(units) {
  const std::uint32_t widest = *std::max_element(units_.begin(), units_.end());
  maxCharWidth_ = static_cast<int>((widest + kUnitsPerPixel - 1) / kUnitsPerPixel);
}

}  // namespace passerelle
