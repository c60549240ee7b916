#pragma once

#include <algorithm>
#include <initializer_list>
#include <string_view>

#include "tables/grid.h"

namespace passerelle {

// The exports' columns are found by name in row 0. Exports carry the same
// name twice now and then, and the rightmost column has always been the one
// that counts. -1 when no cell carries any of the names.
inline int FindColumn(const Grid& grid, std::initializer_list<std::string_view> names) {
  for (int col = grid.colCount() - 1; col >= 0; --col) {
    const std::string_view cell = grid.cell(col, 0);
    if (std::find(names.begin(), names.end(), cell) != names.end())
      return col;
  }
  return -1;
}

}  // namespace passerelle
