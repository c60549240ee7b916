#include "app/qt/text_width.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <QFontMetricsF>
#include <QtMath>

#include "tables/cp1252.h"

namespace passerelle {

Cp1252WidthTable::Cp1252WidthTable(const QFont& font) {
  const QFontMetricsF metrics(font);
  for (int byte = 0; byte < 256; ++byte) {
    const char32_t codePoint = Cp1252ToUnicode(static_cast<unsigned char>(byte));
    advances_[static_cast<std::size_t>(byte)] =
        metrics.horizontalAdvance(QChar(static_cast<char16_t>(codePoint)));
  }
  // Whole pixels above every advance, so that n times it bounds the rounded
  // sum of any n advances.
  maxCharWidth_ = qCeil(*std::max_element(advances_.begin(), advances_.end()));

  std::array<std::uint32_t, 256> units{};
  for (std::size_t byte = 0; byte < units.size(); ++byte) {
    const qreal scaled = advances_[byte] * CharWidths::kUnitsPerPixel;
    if (!(scaled >= 0 && scaled < 1e6) || scaled != std::floor(scaled))
      return;
    units[byte] = static_cast<std::uint32_t>(scaled);
  }
  units_.emplace(units);
}

int Cp1252WidthTable::width(std::string_view cp1252) const {
  qreal sum = 0;
  for (const char byte : cp1252)
    sum += advances_[static_cast<unsigned char>(byte)];
  return qRound(sum);
}

}  // namespace passerelle
