#include "tables/grid.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace passerelle {
namespace {

std::string Named(int col, int row) {
  std::string name = "c";
  name.append(std::to_string(col)).append("r").append(std::to_string(row));
  return name;
}

// Fills every cell with a text naming it, so that a cell which should have
// been emptied shows where it came from.
void FillNamed(Grid& grid) {
  for (int r = 0; r < grid.rowCount(); ++r) {
    for (int c = 0; c < grid.colCount(); ++c)
      grid.setCell(c, r, Named(c, r));
  }
}

TEST(GridTest, CountsBelowOneGiveOne) {
  struct Case {
    int requested;
    int expected;
  };
  const std::vector<Case> cases = {{0, 1}, {-1, 1}, {-1000, 1}, {1, 1}, {3, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("requested ") + std::to_string(c.requested));
    const Grid built(c.requested, c.requested);
    EXPECT_EQ(built.colCount(), c.expected);
    EXPECT_EQ(built.rowCount(), c.expected);

    Grid resized(5, 5);
    resized.setColCount(c.requested);
    resized.setRowCount(c.requested);
    EXPECT_EQ(resized.colCount(), c.expected);
    EXPECT_EQ(resized.rowCount(), c.expected);
  }
}

TEST(GridTest, FixedCountsDropWhenTheCountFallsToThem) {
  struct Case {
    int fixed;
    int newCount;
    int expectedFixed;
  };
  const std::vector<Case> cases = {
      // The import grid opens 5 x 5 with one fixed row and column; a one-line
      // file sets its row count to 1, and that row must become ordinary.
      {1, 1, 0}, {1, 0, 0}, {2, 2, 1}, {2, 3, 2}, {1, 2, 1}, {3, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("fixed ") + std::to_string(c.fixed) + ", count " +
                 std::to_string(c.newCount));
    Grid rows(5, 5, 0, c.fixed);
    rows.setRowCount(c.newCount);
    EXPECT_EQ(rows.fixedRows(), c.expectedFixed);

    Grid cols(5, 5, c.fixed, 0);
    cols.setColCount(c.newCount);
    EXPECT_EQ(cols.fixedCols(), c.expectedFixed);
  }
}

TEST(GridTest, FixedRowLostToASmallCountStaysLostWhenTheCountGrowsBack) {
  Grid grid(5, 5, 1, 1);
  grid.setRowCount(1);
  grid.setRowCount(5);
  EXPECT_EQ(grid.fixedRows(), 0);
  EXPECT_EQ(grid.fixedCols(), 1);
}

TEST(GridTest, LoweredThenRaisedRowsAndColumnsComeBackEmpty) {
  Grid grid(4, 4);
  FillNamed(grid);

  grid.setRowCount(2);
  grid.setRowCount(4);
  grid.setColCount(2);
  grid.setColCount(4);

  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      SCOPED_TRACE(std::string("cell ") + Named(c, r));
      if (r < 2 && c < 2) {
        EXPECT_EQ(grid.cell(c, r), Named(c, r));
      } else {
        EXPECT_EQ(grid.cell(c, r), "");
      }
    }
  }
  // The whole-row read must agree with the cell reads: a row that kept its
  // old cells past the column count would show them here.
  EXPECT_EQ(grid.rowTexts(0), (std::vector<std::string>{"c0r0", "c1r0", "", ""}));
}

TEST(GridTest, AppendedRowStartsEmptyAfterTheCountWasLowered) {
  Grid grid(3, 3);
  FillNamed(grid);
  grid.setRowCount(1);
  const int row = grid.appendRow();
  EXPECT_EQ(row, 1);
  EXPECT_EQ(grid.rowCount(), 2);
  EXPECT_EQ(grid.rowTexts(row), (std::vector<std::string>{"", "", ""}));
}

TEST(GridTest, ReadingOutsideTheGridGivesTheEmptyText) {
  Grid grid(3, 2);
  FillNamed(grid);
  struct Cell {
    int col;
    int row;
  };
  const std::vector<Cell> outside = {{-1, 0}, {0, -1}, {3, 0}, {0, 2}, {100, 100}, {2, 2}};
  for (const Cell& at : outside) {
    SCOPED_TRACE(std::string("cell (") + std::to_string(at.col) + ", " + std::to_string(at.row) +
                 ")");
    EXPECT_EQ(grid.cell(at.col, at.row), "");
  }
  EXPECT_EQ(grid.rowTexts(2), (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(grid.rowTexts(-1), (std::vector<std::string>{"", "", ""}));
}

TEST(GridTest, WritingOutsideTheGridIsRefused) {
  Grid grid(3, 2);
  EXPECT_THROW(grid.setCell(3, 0, "x"), std::out_of_range);
  EXPECT_THROW(grid.setCell(0, 2, "x"), std::out_of_range);
  EXPECT_THROW(grid.setCell(-1, 0, "x"), std::out_of_range);
  const std::vector<std::string> tooWide = {"a", "b", "c", "d"};
  EXPECT_THROW(grid.setRowTexts(0, tooWide), std::out_of_range);
  EXPECT_EQ(grid.rowTexts(0), (std::vector<std::string>{"", "", ""}));
}

TEST(GridTest, CellWrittenFromItsOwnRowKeepsTheRightText) {
  // Steps copy one cell of a row into another of the same row; the source
  // view points into the row that is being rebuilt.
  Grid grid(6, 1);
  grid.setCell(0, 0, "abc");
  grid.setCell(1, 0, "defgh");

  grid.setCell(4, 0, grid.cell(1, 0));  // the row grows
  EXPECT_EQ(grid.cell(4, 0), "defgh");

  grid.setCell(1, 0, grid.cell(1, 0).substr(1, 2));  // the cell shrinks into itself
  EXPECT_EQ(grid.cell(1, 0), "ef");

  grid.setCell(0, 0, grid.cell(4, 0));  // an earlier cell takes a later one
  EXPECT_EQ(grid.rowTexts(0), (std::vector<std::string>{"defgh", "ef", "", "", "defgh", ""}));
}

TEST(GridTest, EmptyingTheLastCellsLeavesTheOthersAlone) {
  Grid grid(4, 1);
  grid.setCell(0, 0, "a");
  grid.setCell(3, 0, "d");
  grid.setCell(3, 0, "");
  grid.setCell(1, 0, "");
  grid.setCell(2, 0, "c");
  EXPECT_EQ(grid.rowTexts(0), (std::vector<std::string>{"a", "", "c", ""}));
}

TEST(GridTest, ReplacingARowEmptiesTheCellsNotGiven) {
  Grid grid(4, 2);
  FillNamed(grid);
  const std::vector<std::string> shorter = {"x", "", "z"};
  grid.setRowTexts(0, shorter);
  EXPECT_EQ(grid.rowTexts(0), (std::vector<std::string>{"x", "", "z", ""}));
  grid.clearRow(1);
  EXPECT_EQ(grid.rowTexts(1), (std::vector<std::string>{"", "", "", ""}));
}

TEST(GridTest, KeepRowsKeepsTheListedRowsInTheListedOrder) {
  struct Case {
    std::string name;
    std::vector<int> kept;
    std::vector<std::string> expectedFirstColumn;
  };
  const std::vector<Case> cases = {
      {"reordered", {3, 0, 2}, {"c0r3", "c0r0", "c0r2"}},
      {"all", {0, 1, 2, 3, 4}, {"c0r0", "c0r1", "c0r2", "c0r3", "c0r4"}},
      {"last only", {4}, {"c0r4"}},
      {"none", {}, {""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Grid grid(2, 5, 0, 2);
    FillNamed(grid);
    grid.setCurrentCell(1, 4);
    grid.keepRows(c.kept);

    ASSERT_EQ(grid.rowCount(), static_cast<int>(c.expectedFirstColumn.size()));
    for (int r = 0; r < grid.rowCount(); ++r) {
      EXPECT_EQ(grid.cell(0, r), c.expectedFirstColumn[static_cast<std::size_t>(r)]);
    }
    // Whole rows move, not only their first cell.
    if (!c.kept.empty()) {
      EXPECT_EQ(grid.cell(1, 0), Named(1, c.kept.front()));
    }
    EXPECT_LT(grid.fixedRows(), grid.rowCount());
    EXPECT_LT(grid.currentRow(), grid.rowCount());

    // A row added after the cut starts empty.
    grid.setRowCount(grid.rowCount() + 1);
    EXPECT_EQ(grid.rowTexts(grid.rowCount() - 1), (std::vector<std::string>{"", ""}));
  }
}

TEST(GridTest, KeepRowsWithARowOutsideTheGridLeavesTheGridWhole) {
  Grid grid(2, 3);
  FillNamed(grid);
  const std::vector<int> kept = {0, 2, 7};
  EXPECT_THROW(grid.keepRows(kept), std::out_of_range);
  ASSERT_EQ(grid.rowCount(), 3);
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(grid.cell(0, r), Named(0, r));
    EXPECT_EQ(grid.cell(1, r), Named(1, r));
  }
}

TEST(GridTest, CurrentCellStaysInsideWhenTheGridShrinks) {
  Grid grid(5, 5);
  grid.setCurrentCell(4, 4);
  grid.setRowCount(2);
  grid.setColCount(3);
  EXPECT_EQ(grid.currentRow(), 1);
  EXPECT_EQ(grid.currentCol(), 2);
  EXPECT_THROW(grid.setCurrentCell(3, 0), std::out_of_range);
}

TEST(GridTest, AVeryWideColumnCountCostsNothingInRowsThatDoNotReachIt) {
  // A file line of a million separators raises the column count of the whole
  // grid; every other row must still read empty there, and a lowered count
  // must really drop the far cell.
  constexpr int kWide = 1'000'000;
  Grid grid(5, 3);
  grid.setColCount(kWide);
  grid.setCell(kWide - 1, 1, "far");
  grid.setCell(0, 2, "near");
  EXPECT_EQ(grid.cell(kWide - 1, 1), "far");
  EXPECT_EQ(grid.cell(kWide - 1, 0), "");
  EXPECT_EQ(grid.cell(kWide - 2, 1), "");
  EXPECT_EQ(grid.cell(0, 2), "near");

  grid.setColCount(10);
  grid.setColCount(kWide);
  EXPECT_EQ(grid.cell(kWide - 1, 1), "");
  EXPECT_EQ(grid.cell(0, 2), "near");
}

TEST(GridTest, ViewOfACellOutlivesRowsAddedAfterIt) {
  // A step reads a name from a table and writes it into a row it has just
  // appended to the same table; the view must still hold the name then. A
  // short text is the case at risk: it could live inside the row object that
  // the table moves as it grows.
  Grid grid(2, 1);
  grid.setCell(0, 0, "ab");
  const std::string_view name = grid.cell(0, 0);
  for (int i = 0; i < 64; ++i)
    grid.appendRow();
  grid.setRowCount(5000);
  grid.setCell(1, 4999, name);
  EXPECT_EQ(grid.cell(1, 4999), "ab");
  EXPECT_EQ(name, "ab");
}

}  // namespace
}  // namespace passerelle

namespace passerelle {
namespace {

// Splitting a line straight into a row must give the cells a plain split
// would, with the empty last fields left unstored and the column count
// grown to the number of pieces.
TEST(GridRowFromLine, MatchesAPlainSplit) {
  const std::vector<std::string> lines = {"a;b;c",  "x;;y;", ";;;", "",  "seul",
                                          ";debut", "fin;",  "a;;", ";", "\xE9;\x80;\x9D"};
  for (const std::string& line : lines) {
    std::vector<std::string> cells = {"7"};
    std::size_t start = 0;
    for (std::size_t at; (at = line.find(';', start)) != std::string::npos; start = at + 1)
      cells.push_back(line.substr(start, at - start));
    cells.push_back(line.substr(start));

    Grid split(3, 2);
    split.setCell(2, 1, "stale");
    const int made = split.setRowFromLine(1, "7", line, ';');
    EXPECT_EQ(made, static_cast<int>(cells.size())) << line;
    EXPECT_EQ(split.colCount(), std::max(3, made)) << line;
    int lastFilled = 0;
    for (int c = 0; c < split.colCount() + 2; ++c) {
      const std::string expected = c < static_cast<int>(cells.size()) ? cells[c] : "";
      EXPECT_EQ(split.cell(c, 1), expected) << line << " column " << c;
      if (!expected.empty())
        lastFilled = c + 1;
    }
    EXPECT_EQ(split.storedCellCount(1), lastFilled) << line;
    EXPECT_EQ(split.cell(0, 0), "");
  }
}

TEST(GridRowFromLine, StoredCellsReadLikeCells) {
  Grid grid(2, 1);
  grid.setRowFromLine(0, "0", "un;;trois;", ';');
  const Grid::StoredCells cells = grid.storedCells(0);
  ASSERT_EQ(cells.size(), 4);
  for (int c = 0; c < cells.size(); ++c)
    EXPECT_EQ(cells[c], grid.cell(c, 0));
  EXPECT_EQ(grid.storedCells(5).size(), 0);
}

// A line whose bytes another object holds, as the import hands them over:
// the grid must keep them alive itself and never copy them unless written.
std::shared_ptr<const std::string> HeldLine(std::string text) {
  return std::make_shared<const std::string>(std::move(text));
}

TEST(GridBorrowedRow, ReadsLikeACopiedRow) {
  const std::vector<std::string> lines = {"a;b;c",  "x;;y;", ";;;", "",  "seul",
                                          ";debut", "fin;",  "a;;", ";", "\xE9;\x80;\x9D"};
  for (const std::string& text : lines) {
    const auto line = HeldLine(text);
    Grid copied(3, 2);
    Grid borrowed(3, 2);
    borrowed.setCell(2, 1, "stale");
    EXPECT_EQ(borrowed.borrowRowFromLine(1, "12", *line, ';', line),
              copied.setRowFromLine(1, "12", *line, ';'))
        << text;
    EXPECT_EQ(borrowed.colCount(), copied.colCount()) << text;
    EXPECT_EQ(borrowed.storedCellCount(1), copied.storedCellCount(1)) << text;
    const Grid::StoredCells cells = borrowed.storedCells(1);
    ASSERT_EQ(cells.size(), copied.storedCellCount(1)) << text;
    for (int c = 0; c < borrowed.colCount() + 2; ++c) {
      EXPECT_EQ(borrowed.cell(c, 1), copied.cell(c, 1)) << text << " column " << c;
      if (c < cells.size()) {
        EXPECT_EQ(cells[c], copied.cell(c, 1)) << text << " column " << c;
      }
    }
    EXPECT_EQ(borrowed.rowTexts(1), copied.rowTexts(1)) << text;
  }
}

// Cell ends past 255 and past 65,535 bytes need the wider forms of a
// borrowed row, whether from a long line or from a long first cell; copies
// of the grid carry every form.
TEST(GridBorrowedRow, LongLinesAndLongFirstCellsReadBack) {
  const std::string longPiece(70'000, 'y');
  const struct {
    std::string first;
    std::string line;
  } cases[] = {
      {"7", "x;" + longPiece + ";z"},
      {"7", longPiece + ";"},
      {"7", ";" + std::string(65'534, 'y') + ";z"},
      {longPiece, "a;b"},
      {"7", "a;b"},
      {"7", std::string(253, 'y') + ";z"},
      {"7", std::string(254, 'y') + ";z"},
      {std::string(256, 'f'), "a;b"},
  };
  for (const auto& c : cases) {
    const auto line = HeldLine(c.line);
    Grid copied(2, 1);
    Grid borrowed(2, 1);
    copied.setRowFromLine(0, c.first, *line, ';');
    borrowed.borrowRowFromLine(0, c.first, *line, ';', line);
    const Grid copyOfBorrowed = borrowed;
    for (const Grid* grid : {static_cast<const Grid*>(&borrowed), &copyOfBorrowed}) {
      EXPECT_EQ(grid->rowTexts(0), copied.rowTexts(0)) << c.line.size();
      const Grid::StoredCells cells = grid->storedCells(0);
      ASSERT_EQ(cells.size(), copied.storedCellCount(0));
      for (int i = 0; i < cells.size(); ++i)
        EXPECT_EQ(cells[i], copied.cell(i, 0)) << c.line.size() << " column " << i;
    }
  }
}

TEST(GridBorrowedRow, PointsIntoTheLineAndKeepsItsHolderAlive) {
  auto line = HeldLine("nom;pr\xE9nom;classe");
  const std::weak_ptr<const std::string> watch = line;
  Grid grid(2, 2);
  grid.borrowRowFromLine(0, "0", *line, ';', line);
  grid.borrowRowFromLine(1, "1", *line, ';', line);
  EXPECT_EQ(grid.cell(2, 1).data(), line->data() + 4);

  line.reset();
  ASSERT_FALSE(watch.expired());
  EXPECT_EQ(grid.cell(2, 0), "pr\xE9nom");
  EXPECT_EQ(grid.cell(3, 1), "classe");
  EXPECT_EQ(grid.cell(0, 1), "1");

  // Once no row borrows, the holder is let go.
  grid.setRowCount(1);
  EXPECT_FALSE(watch.expired());
  grid.clearRow(0);
  EXPECT_TRUE(watch.expired());
}

// A table cut down to a few rows of a big file copies them, and lets the
// file's bytes go; keeping most rows keeps borrowing.
TEST(GridBorrowedRow, KeepingFewRowsLetsTheLinesGo) {
  const auto text = HeldLine("prof;Dupont;ENSEIGNANT\n\u00e9l\u00e8ve;Durand;ELEVE");
  const std::string_view teacher = std::string_view(*text).substr(0, 22);
  const std::string_view student = std::string_view(*text).substr(23);
  for (const bool keepMost : {false, true}) {
    Grid grid(2, 8);
    for (int r = 0; r < grid.rowCount(); ++r)
      grid.borrowRowFromLine(r, std::to_string(r), r == 5 ? teacher : student, ';', text);
    const std::vector<int> kept = keepMost ? std::vector<int>{7, 5, 3, 1} : std::vector<int>{5};
    grid.keepRows(kept);
    ASSERT_EQ(grid.rowCount(), static_cast<int>(kept.size()));
    const int teacherRow = keepMost ? 1 : 0;
    EXPECT_EQ(grid.rowTexts(teacherRow),
              (std::vector<std::string>{"5", "prof", "Dupont", "ENSEIGNANT"}));
    EXPECT_EQ(grid.cell(2, teacherRow).data() == teacher.data() + 5, keepMost);
    // Only this test still holds the text once the grid copied its rows.
    EXPECT_EQ(text.use_count() > 1, keepMost);
    if (keepMost) {
      EXPECT_EQ(grid.rowTexts(0)[3], "ELEVE");
    }
  }
}

// Cutting a table down, to a few rows or to most of them, keeps the rows
// that stay as they were, holds the file only while one of them borrows,
// and brings no old row back when the table grows again.
TEST(GridBorrowedRow, CuttingTheTableKeepsTheRowsThatStay) {
  struct Case {
    int rowsLeft;
    bool fileStillHeld;
  };
  // Rows 0, 2, 4… are the table's own, rows 1, 3, 5… borrow.
  const std::vector<Case> cases = {{1, false}, {2, true}, {3, true}, {11, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rowsLeft);
    auto text = HeldLine("a;b;c");
    const std::weak_ptr<const std::string> watch = text;
    Grid grid(2, 12);
    for (int r = 0; r < grid.rowCount(); ++r) {
      if (r % 2 == 0)
        grid.setRowTexts(r, std::vector<std::string>{std::to_string(r), "own"});
      else
        grid.borrowRowFromLine(r, std::to_string(r), *text, ';', text);
    }
    text.reset();
    grid.setRowCount(c.rowsLeft);
    EXPECT_EQ(!watch.expired(), c.fileStillHeld);
    grid.setRowCount(12);
    for (int r = 0; r < grid.rowCount(); ++r) {
      const std::vector<std::string> expected =
          r >= c.rowsLeft ? std::vector<std::string>{"", "", "", ""}
          : r % 2 == 0    ? std::vector<std::string>{std::to_string(r), "own", "", ""}
                          : std::vector<std::string>{std::to_string(r), "a", "b", "c"};
      EXPECT_EQ(grid.rowTexts(r), expected) << "row " << r;
    }
  }
}

// Writing one cell of a row that borrows its line copies that cell only;
// the row keeps the line until it is written some other way.
TEST(GridBorrowedRow, WritingOneCellKeepsTheOthersBorrowed) {
  struct Case {
    const char* name;
    std::string line;
    int col;
    std::string text;
    std::vector<std::string> expected;
    bool lineStillHeld;
  };
  const std::string longCell(40000, 'x');
  const std::vector<Case> cases = {
      {"middle cell", "a;b;c", 2, "B", {"0", "a", "B", "c", ""}, true},
      {"last cell", "a;b;c", 3, "5_A", {"0", "a", "b", "5_A", ""}, true},
      {"past the stored cells", "a;b", 4, "e", {"0", "a", "b", "", "e"}, true},
      {"empty cells around it", "a;;c;;e", 3, "C", {"0", "a", "", "C", "", "e"}, true},
      {"cell 0 is copied with the row", "a;b", 0, "9", {"9", "a", "b", "", ""}, false},
      {"emptied cell", "a;b;c", 2, "", {"0", "a", "", "c", ""}, false},
      {"line too long for the short form",
       "a;" + longCell,
       1,
       "A",
       {"0", "A", longCell, "", ""},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto line = HeldLine(c.line);
    const std::weak_ptr<const std::string> watch = line;
    Grid grid(5, 1);
    grid.borrowRowFromLine(0, "0", *line, ';', line);
    line.reset();

    grid.setCell(c.col, 0, c.text);
    EXPECT_EQ(grid.rowTexts(0), c.expected);
    EXPECT_EQ(!watch.expired(), c.lineStillHeld);

    // A second write to the same row, then a copy of the grid, read the same.
    grid.setCell(1, 0, "z");
    std::vector<std::string> twice = c.expected;
    twice[1] = "z";
    EXPECT_EQ(grid.rowTexts(0), twice);
    EXPECT_EQ(Grid(grid).rowTexts(0), twice);
  }
}

TEST(GridBorrowedRow, EveryWayOfRewritingARowLetsTheLineGo) {
  struct Case {
    const char* name;
    void (*rewrite)(Grid&);
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"setRowTexts",
       [](Grid& g) {
         const std::vector<std::string> cells = {"z"};
         g.setRowTexts(0, cells);
       },
       {"z", "", "", ""}},
      {"setColCount", [](Grid& g) { g.setColCount(2); }, {"0", "a"}},
      {"setRowFromLine",
       [](Grid& g) { g.setRowFromLine(0, "9", "p;q", ';'); },
       {"9", "p", "q", ""}},
      {"keepRows",
       [](Grid& g) {
         const std::vector<int> none;
         g.keepRows(none);
       },
       {"", "", "", ""}},
  };
  for (const Case& c : cases) {
    auto line = HeldLine("a;b;c");
    const std::weak_ptr<const std::string> watch = line;
    Grid grid(2, 1);
    grid.borrowRowFromLine(0, "0", *line, ';', line);
    line.reset();
    c.rewrite(grid);
    EXPECT_TRUE(watch.expired()) << c.name;
    EXPECT_EQ(grid.rowTexts(0), c.expected) << c.name;
  }
}

TEST(GridBorrowedRow, CopiesShareTheLineAndOutliveTheOriginal) {
  auto line = HeldLine("un;deux");
  const std::weak_ptr<const std::string> watch = line;
  auto original = std::make_unique<Grid>(2, 3);
  original->borrowRowFromLine(1, "1", *line, ';', line);
  original->setCell(1, 2, "propre");
  line.reset();

  Grid copy(*original);
  Grid assigned(1, 1);
  assigned = *original;
  original.reset();
  EXPECT_FALSE(watch.expired());
  for (const Grid* grid : {&copy, &assigned}) {
    EXPECT_EQ(grid->rowTexts(1), (std::vector<std::string>{"1", "un", "deux"}));
    EXPECT_EQ(grid->cell(1, 2), "propre");
  }
  // Each copy holds the line for itself.
  copy.clearRow(1);
  EXPECT_FALSE(watch.expired());
  EXPECT_EQ(assigned.cell(2, 1), "deux");
  assigned.setRowCount(1);
  EXPECT_TRUE(watch.expired());
}

// A grid moved away, by construction or assignment, takes its rows and the
// lines they borrow; the one left behind is an ordinary empty grid that can
// be written again without reaching the rows that left.
TEST(GridBorrowedRow, MovedRowsLeaveAnEmptyGridBehind) {
  for (const bool assign : {false, true}) {
    SCOPED_TRACE(assign ? "assigned" : "constructed");
    auto line = HeldLine("un;deux");
    const std::weak_ptr<const std::string> watch = line;
    Grid from(4, 3, 1, 1);
    from.borrowRowFromLine(1, "1", *line, ';', line);
    line.reset();
    auto to = std::make_unique<Grid>(1, 1);
    if (assign)
      *to = std::move(from);
    else
      to = std::make_unique<Grid>(std::move(from));

    EXPECT_EQ(to->rowTexts(1), (std::vector<std::string>{"1", "un", "deux", ""}));
    EXPECT_EQ(from.rowCount(), 1);
    EXPECT_EQ(from.colCount(), 1);
    EXPECT_EQ(from.fixedRows(), 0);
    EXPECT_EQ(from.colWidth(0), Grid::kDefaultColWidth);
    from.setCell(0, 0, "neuf");
    from.setRowFromLine(from.appendRow(), "2", "a;b", ';');
    EXPECT_EQ(from.rowTexts(1), (std::vector<std::string>{"2", "a", "b"}));
    EXPECT_EQ(to->cell(0, 0), "");
    EXPECT_FALSE(watch.expired());
    to.reset();
    EXPECT_TRUE(watch.expired());
  }
}

TEST(GridBorrowedRow, KeptRowsAndCompactionKeepBorrowing) {
  auto line = HeldLine("a;b");
  Grid grid(2, 200);
  for (int r = 0; r < 200; ++r)
    grid.borrowRowFromLine(r, std::to_string(r), *line, ';', line);
  std::vector<int> kept;
  for (int r = 199; r >= 0; r -= 7)
    kept.push_back(r);
  grid.keepRows(kept);
  line.reset();
  ASSERT_EQ(grid.rowCount(), static_cast<int>(kept.size()));
  for (int r = 0; r < grid.rowCount(); ++r) {
    EXPECT_EQ(grid.cell(0, r), std::to_string(kept[static_cast<std::size_t>(r)]));
    EXPECT_EQ(grid.cell(1, r), "a");
    EXPECT_EQ(grid.cell(2, r), "b");
  }
}

// A student row takes its names and password from a users row that borrows
// its line, and copies the rest. Whatever then becomes of the users table
// (loaded again from another file, cut down, written over, gone), the
// student row reads the same, and the file it borrows from lives exactly as
// long as some row still needs it.
TEST(GridBorrowedRow, RowTakenFromAnotherTableOutlivesWhateverBecomesOfIt) {
  enum class Then { kReloaded, kCutToOneRow, kCutToMostRows, kWrittenOver, kDestroyed };
  for (const Then then : {Then::kReloaded, Then::kCutToOneRow, Then::kCutToMostRows,
                          Then::kWrittenOver, Then::kDestroyed}) {
    SCOPED_TRACE(static_cast<int>(then));
    auto text = HeldLine(
        "PROF;Martin;Paul;x;P.MARTIN;y;secret\n5A;Durand;L\xE9"
        "a;x;L.DURAND;y;pw1");
    const std::weak_ptr<const std::string> watch = text;
    const std::string_view lines[] = {std::string_view(*text).substr(0, 36),
                                      std::string_view(*text).substr(37)};
    auto users = std::make_unique<Grid>(2, 2);
    for (int r = 0; r < 2; ++r)
      users->borrowRowFromLine(r, std::to_string(r), lines[r], ';', text);
    text.reset();

    Grid students(6, 1);
    const std::string code = "5_a";
    const std::string login = "l.durand";
    const std::string_view student[] = {code,  users->cell(2, 1), users->cell(3, 1), {},
                                        login, users->cell(7, 1)};
    students.setRowTextsFrom(students.appendRow(), student, *users, 1);
    const std::vector<std::string> expected = {"5_a",
                                               "Durand",
                                               "L\xE9"
                                               "a",
                                               "",
                                               "l.durand",
                                               "pw1"};
    EXPECT_EQ(students.rowTexts(1), expected);
    EXPECT_EQ(students.cell(1, 1).data(), lines[1].data() + 3);

    switch (then) {
      case Then::kReloaded: {
        const auto other = HeldLine("PROF;Autre;Prof");
        users->setRowCount(1);
        users->borrowRowFromLine(0, "0", *other, ';', other);
        break;
      }
      case Then::kCutToOneRow:
        users->keepRows(std::vector<int>{0});
        break;
      case Then::kCutToMostRows:
        users->keepRows(std::vector<int>{1, 0});
        break;
      case Then::kWrittenOver:
        users->setCell(2, 1, "Nouveau");
        users->setCell(2, 0, "Nouveau");
        break;
      case Then::kDestroyed:
        users.reset();
        break;
    }
    EXPECT_FALSE(watch.expired());
    EXPECT_EQ(students.rowTexts(1), expected);
    auto copy = std::make_unique<Grid>(students);
    EXPECT_EQ(copy->rowTexts(1), expected);
    // Written, the student row copies its bytes and borrows no more.
    students.setCell(5, 1, "pw2");
    EXPECT_EQ(students.cell(2, 1),
              "L\xE9"
              "a");
    if (users != nullptr) {
      users->setRowCount(1);
      users->clearRow(0);
    }
    // Only the copy still needs the file.
    EXPECT_FALSE(watch.expired());
    copy.reset();
    EXPECT_TRUE(watch.expired());
  }
}

}  // namespace
}  // namespace passerelle
