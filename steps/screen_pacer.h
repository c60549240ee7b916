#pragma once

#include <cstdint>

#include "tables/toolkit_port.h"

namespace passerelle {

// Counts the rows of a step's long loops so that the screen is not left
// frozen for seconds on a rectorate's export: the window may repaint once
// every kRowsBetweenRepaints rows, and throttles the calls further on its
// side.
class ScreenPacer {
 public:
  explicit ScreenPacer(ToolkitPort& port) : port_(port) {}

  void rowDone() {
    if (++rows_ % kRowsBetweenRepaints == 0)
      port_.keepScreenAlive();
  }

 private:
  ToolkitPort& port_;
  std::uint64_t rows_ = 0;
};

}  // namespace passerelle
