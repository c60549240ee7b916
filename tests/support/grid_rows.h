#pragma once

#include <string>
#include <vector>

#include "tables/grid.h"

namespace passerelle::testing {

using Rows = std::vector<std::vector<std::string>>;

// The grid's rows, each cut after its last non-empty cell, so that expected
// rows can be written without padding.
inline Rows TrimmedRows(const Grid& grid) {
  Rows rows;
  for (int r = 0; r < grid.rowCount(); ++r) {
    std::vector<std::string> row = grid.rowTexts(r);
    while (!row.empty() && row.back().empty())
      row.pop_back();
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace passerelle::testing
