#pragma once

#include <cstdint>
#include <filesystem>

namespace passerelle::bench {

// Two teacher-group exports of the same shape: `rows` lines over the same
// number of distinct class cells of the same length. In the plain one the
// cells are whatever a counter gives; in the crafted one every cell was
// chosen so that the standard library's fixed string hash (the one any
// unseeded index would use) sends them all to the same slot of a table of
// their size: what an attacker would send to make each lookup walk them
// all. Under a per-process key they are cells like any others.
struct CollisionExports {
  std::filesystem::path plain;
  std::filesystem::path crafted;
  int distinctCells = 0;
  double craftingSeconds = 0;
};

CollisionExports WriteCollisionExports(const std::filesystem::path& folder, std::int64_t rows);

}  // namespace passerelle::bench
