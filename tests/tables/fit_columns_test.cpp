#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/file_fixture.h"
#include "support/scripted_host.h"
#include "tables/delimited_import.h"

namespace passerelle {
namespace {

// A proportional font: narrow i and l (3.25 px), wide M and W (11 px),
// everything else 7 px; a text is its rounded sum. How the widths reach the
// fitting is up to the test: one call per text, the same with a promised
// widest character, or the font's table.
class ProportionalPort : public ToolkitPort {
 public:
  enum class Measure { kEveryText, kBoundedText, kTable };
  explicit ProportionalPort(Measure measure) : measure_(measure), table_(Units()) {}
  void showMessage(std::string_view) override {}
  void keepScreenAlive() override {}
  int textWidth(std::string_view text) override {
    ++measured;
    std::uint32_t units = 0;
    for (char c : text)
      units += Units()[static_cast<unsigned char>(c)];
    return static_cast<int>((units + 32) / 64);
  }
  int maxCharWidth() override { return measure_ == Measure::kEveryText ? 0 : 11; }
  const CharWidths* charWidths() override {
    return measure_ == Measure::kTable ? &table_ : nullptr;
  }
  static std::array<std::uint32_t, 256> Units() {
    std::array<std::uint32_t, 256> units;
    units.fill(7 * 64);
    units['i'] = units['l'] = 208;
    units['M'] = units['W'] = 11 * 64;
    return units;
  }
  int measured = 0;

 private:
  Measure measure_;
  CharWidths table_;
};

// Skipping texts by their length, or summing the font's table, must never
// change a width: the widest text may be a short one of wide letters or a
// long one of narrow letters.
TEST(FitGridColumns, EveryWayOfMeasuringGivesTheSameWidths) {
  const std::vector<std::vector<std::string>> tables = {
      {"MMM", "iiiiiiiii", "abc", "WW"},
      {"iiiiiiiiiiii", "MMMMM", "", "x"},
      {"", "", ""},
      {"ab", "MMMMMMMMMMMMMMMMMMMM", "lllllllllllllllllllllllllllllllllllllllllllllllllllllll"},
      {"ii", "i", "iii", "l"},
  };
  for (const auto& column : tables) {
    Grid measuredAll(3, static_cast<int>(column.size()));
    for (int r = 0; r < static_cast<int>(column.size()); ++r) {
      measuredAll.setCell(1, r, column[static_cast<std::size_t>(r)]);
      measuredAll.setCell(2, r, std::string(static_cast<std::size_t>(r), 'W'));
    }
    Grid pruned = measuredAll;
    Grid summed = measuredAll;
    ProportionalPort everyText(ProportionalPort::Measure::kEveryText);
    ProportionalPort boundedText(ProportionalPort::Measure::kBoundedText);
    ProportionalPort table(ProportionalPort::Measure::kTable);
    FitGridColumns(measuredAll, everyText);
    FitGridColumns(pruned, boundedText);
    FitGridColumns(summed, table);
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(pruned.colWidth(c), measuredAll.colWidth(c)) << c;
      EXPECT_EQ(summed.colWidth(c), measuredAll.colWidth(c)) << c;
    }
    EXPECT_EQ(measuredAll.colWidth(0), 7);
    EXPECT_EQ(table.measured, 0);
  }
}

// A big table is measured in two halves side by side; the widest text must
// count wherever it lies, on either side of the cut or at either end.
TEST(FitGridColumns, BigTablesFindTheWidestTextInEitherHalf) {
  constexpr int kRows = 270'000;
  Grid plain(4, kRows);
  for (int r = 0; r < kRows; ++r)
    plain.setRowTexts(r,
                      std::vector<std::string>{"", r % 3 == 0 ? "iiii" : "abc", std::to_string(r)});
  for (const int widestRow : {0, kRows / 2 - 1, kRows / 2, kRows - 1}) {
    Grid grid = plain;
    grid.setCell(1, widestRow, "MMMM");
    grid.setCell(3, widestRow, "W");
    Grid measuredAll = grid;
    ProportionalPort everyText(ProportionalPort::Measure::kEveryText);
    ProportionalPort table(ProportionalPort::Measure::kTable);
    FitGridColumns(measuredAll, everyText);
    FitGridColumns(grid, table);
    for (int c = 0; c < grid.colCount(); ++c)
      EXPECT_EQ(grid.colWidth(c), measuredAll.colWidth(c))
          << "row " << widestRow << " column " << c;
    EXPECT_EQ(grid.colWidth(1), 4 * 11 + 7) << widestRow;
    EXPECT_EQ(grid.colWidth(3), 11 + 7) << widestRow;
  }
}

TEST(FitGridColumns, ALongColumnOfSimilarTextsIsMeasuredOnlyAFewTimes) {
  Grid grid(2, 10000);
  for (int r = 0; r < grid.rowCount(); ++r)
    grid.setCell(1, r, r == 0 ? "NOM DE FAMILLE" : "DUPONT");
  ProportionalPort port(ProportionalPort::Measure::kBoundedText);
  FitGridColumns(grid, port);
  EXPECT_EQ(grid.colWidth(1), 12 * 7 + 2 * 11 + 7);  // two M among 14 characters
  EXPECT_LT(port.measured, 100);
}

// The import measures each row as it writes it; the widths must be those a
// separate pass over the finished grid gives, the widening lines included.
TEST(FitGridColumns, ImportGivesTheWidthsOfASeparatePass) {
  testing::TempFolder folder;
  testing::ScriptedHost host;
  const auto file =
      folder.write("t.csv", "a;bb\r\nMMMMMMMM;c;d;eeeeeeeeeeee\r\n;;;;;;;x\r\nii\r\n");
  Grid loaded(3, 7, 1, 1);
  TextList raw;
  ProgressBar progress;
  LoadDelimitedFile(loaded, file, raw, progress, host);
  Grid refitted = loaded;
  FitGridColumns(refitted, host);
  ASSERT_EQ(loaded.colCount(), 9);
  for (int c = 0; c < loaded.colCount(); ++c)
    EXPECT_EQ(loaded.colWidth(c), refitted.colWidth(c)) << c;
  EXPECT_EQ(loaded.colWidth(1), 8 * testing::ScriptedHost::kCharWidth + 7);
}

}  // namespace
}  // namespace passerelle
