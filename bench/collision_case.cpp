#include "bench/collision_case.h"

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace passerelle::bench {

namespace {

constexpr int kDistinctCells = 8192;
// A table of 2 * kDistinctCells slots at most half full: its slot is chosen
// by the low 14 bits.
constexpr std::uint32_t kSlotMask = (1u << 14) - 1;

// Seven characters of a counter, so that every cell has the same length.
std::string CellOf(std::uint64_t counter) {
  static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string cell = "5";
  for (int i = 0; i < 7; ++i) {
    cell.push_back(kDigits[counter % 36]);
    counter /= 36;
  }
  return cell;
}

// The slot a fixed-hash index would give to a cell as step 2 looks it up,
// with "_" after its level digit: the 64-bit hash folded to 32 bits, its low
// bits.
std::uint32_t FixedHashSlot(const std::string& cell) {
  std::string lookedUp = cell;
  lookedUp.insert(1, 1, '_');
  const std::uint64_t hash = std::hash<std::string_view>{}(lookedUp);
  return static_cast<std::uint32_t>(hash ^ (hash >> 32)) & kSlotMask;
}

void WriteExport(const std::filesystem::path& file, const std::vector<std::string>& cells,
                 std::int64_t rows) {
  static constexpr std::string_view kSubjects[] = {"MATHEMATIQUES", "FRANCAIS", "ANGLAIS LV1",
                                                   "HISTOIRE-GEOGRAPHIE"};
  std::string text = "Professeur;Classe > Groupe;Mati\xE8re/Sous-mati\xE8re\r\n";
  for (std::int64_t i = 0; i < rows; ++i) {
    text += "NOM" + std::to_string(i % 2000) + " Prenom;";
    text += cells[static_cast<std::size_t>(i) % cells.size()];
    text += ';';
    text += kSubjects[static_cast<std::size_t>(i) % 4];
    text += "\r\n";
  }
  std::ofstream(file, std::ios::binary)
      .write(text.data(), static_cast<std::streamsize>(text.size()));
}

}  // namespace

CollisionExports WriteCollisionExports(const std::filesystem::path& folder, std::int64_t rows) {
  CollisionExports exports;
  exports.distinctCells = kDistinctCells;
  exports.plain = folder / "groupes-ordinaires.csv";
  exports.crafted = folder / "groupes-fabriques.csv";
  // Finding the cells takes seconds: a later run reuses them.
  if (std::filesystem::exists(exports.plain) && std::filesystem::exists(exports.crafted))
    return exports;
  std::vector<std::string> plain;
  for (int i = 0; i < kDistinctCells; ++i)
    plain.push_back(CellOf(static_cast<std::uint64_t>(i) * 7919u));

  const auto start = std::chrono::steady_clock::now();
  std::vector<std::string> crafted;
  for (std::uint64_t counter = 0; crafted.size() < kDistinctCells; ++counter) {
    std::string cell = CellOf(counter);
    if (FixedHashSlot(cell) == 0)
      crafted.push_back(std::move(cell));
  }
  exports.craftingSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  WriteExport(exports.plain, plain, rows);
  WriteExport(exports.crafted, crafted, rows);
  return exports;
}

}  // namespace passerelle::bench
