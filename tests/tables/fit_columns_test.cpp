#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/file_fixture.h"
#include "support/scripted_host.h"
#include "tables/delimited_import.h"

namespace passerelle {
namespace {

// A proportional font: narrow i and l, wide M and W, everything else in
// between. Whether it promises a widest character is up to the test.
class ProportionalPort : public ToolkitPort {
 public:
  explicit ProportionalPort(bool promisesBound) : promisesBound_(promisesBound) {}
  void showMessage(std::string_view) override {}
  void keepScreenAlive() override {}
  int textWidth(std::string_view text) override {
    ++measured;
    int width = 0;
    for (char c : text)
      width += Width(c);
    return width;
  }
  int maxCharWidth() override { return promisesBound_ ? 11 : 0; }
  static int Width(char c) {
    switch (c) {
      case 'i':
      case 'l':
        return 3;
      case 'M':
      case 'W':
        return 11;
      default:
        return 7;
    }
  }
  int measured = 0;

 private:
  bool promisesBound_;
};

// Skipping texts by their length must never change a width: the widest
// text may be a short one of wide letters or a long one of narrow letters.
TEST(FitGridColumns, SkippingShortTextsGivesTheSameWidths) {
  const std::vector<std::vector<std::string>> tables = {
      {"MMM", "iiiiiiiii", "abc", "WW"},
      {"iiiiiiiiiiii", "MMMMM", "", "x"},
      {"", "", ""},
      {"ab", "MMMMMMMMMMMMMMMMMMMM", "lllllllllllllllllllllllllllllllllllllllllllllllllllllll"},
  };
  for (const auto& column : tables) {
    Grid measuredAll(3, static_cast<int>(column.size()));
    for (int r = 0; r < static_cast<int>(column.size()); ++r) {
      measuredAll.setCell(1, r, column[static_cast<std::size_t>(r)]);
      measuredAll.setCell(2, r, std::string(static_cast<std::size_t>(r), 'W'));
    }
    Grid pruned = measuredAll;
    ProportionalPort everyText(false);
    ProportionalPort boundedText(true);
    FitGridColumns(measuredAll, everyText);
    FitGridColumns(pruned, boundedText);
    for (int c = 0; c < 3; ++c)
      EXPECT_EQ(pruned.colWidth(c), measuredAll.colWidth(c)) << c;
    EXPECT_EQ(measuredAll.colWidth(0), 7);
  }
}

TEST(FitGridColumns, ALongColumnOfSimilarTextsIsMeasuredOnlyAFewTimes) {
  Grid grid(2, 10000);
  for (int r = 0; r < grid.rowCount(); ++r)
    grid.setCell(1, r, r == 0 ? "NOM DE FAMILLE" : "DUPONT");
  ProportionalPort port(true);
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
