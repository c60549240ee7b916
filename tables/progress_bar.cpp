#include "tables/progress_bar.h"

#include <algorithm>
#include <string>

#include "tables/errors.h"

namespace passerelle {

void ProgressBar::setRange(int min, int max) {
  if (max < min) {
    throw DisplayedError(
        "Valeur de propri\xE9t\xE9 incorrecte : la barre de progression ne peut "
        "aller de " +
        std::to_string(min) + " \xE0 " + std::to_string(max));
  }
  min_ = min;
  max_ = max;
  position_ = std::clamp(position_, min_, max_);
}

void ProgressBar::setPosition(int position) {
  position_ = std::clamp(position, min_, max_);
}

}  // namespace passerelle
