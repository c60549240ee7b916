#include "tables/delimited_import.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "support/encodings.h"
#include "support/file_fixture.h"
#include "support/grid_rows.h"
#include "support/scripted_host.h"
#include "tables/errors.h"

// Texts here are Windows-1252 bytes written as escapes. A hex escape runs on
// through every hex digit that follows it, so "L\xE9" "a" is split in two.

namespace passerelle {
namespace {

using namespace std::string_literals;
using testing::Printable;
using testing::ReadBytes;
using testing::ScriptedHost;
using testing::TempFolder;

using testing::Rows;

Rows RowsOf(const Grid& grid) {
  return testing::TrimmedRows(grid);
}

std::vector<std::string> LinesOf(const TextList& list) {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < list.count(); ++i)
    lines.emplace_back(list.line(i));
  return lines;
}

// UTF-16 little-endian with its byte-order mark, as the school-management
// software exports it.
std::string Utf16Le(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

// The same text as UTF-16, each Windows-1252 byte read as the code point of
// the same value (true for ASCII and the Latin-1 letters).
std::u16string WidenLatin1(std::string_view text) {
  std::u16string wide;
  for (const char c : text)
    wide += static_cast<char16_t>(static_cast<unsigned char>(c));
  return wide;
}

// Grid, raw text view, progress bar and host as the window owns them when it
// opens: the import grid is 5 x 5 with one fixed row and column, the raw
// view says "Memo1", the progress bar is shown.
struct Window {
  Grid grid{5, 5, 1, 1};
  TextList raw{"Memo1"};
  ProgressBar bar;
  ScriptedHost host;

  void load(const std::filesystem::path& file) { LoadDelimitedFile(grid, file, raw, bar, host); }
};

struct SplitCase {
  std::string name;
  std::string bytes;
  Rows rows;
  bool separatorMessage;
  int minColumns;
};

TEST(DelimitedImportTest, SplitsEveryLineIntoAnIndexedRow) {
  const std::vector<SplitCase> cases = {
      {"semicolons", "a;b;c\r\n1;2;3\r\n", {{"0", "a", "b", "c"}, {"1", "1", "2", "3"}}, false, 4},
      // The empty field is written, the empty last field is not, but both
      // separators count towards the column count.
      {"empty fields and a trailing separator", "x;;y;\r\n", {{"0", "x", "", "y"}}, false, 5},
      {"separators only", ";;;\r\nz\r\n", {{"0"}, {"1", "z"}}, false, 5},
      {"semicolon preferred over comma",
       "a,b;c\r\nd,e;f\r\n",
       {{"0", "a,b", "c"}, {"1", "d,e", "f"}},
       false,
       3},
      {"comma preferred over colon and tab",
       "nom,heure:min\tx\r\n8,10:30\r\n",
       {{"0", "nom", "heure:min\tx"}, {"1", "8", "10:30"}},
       false,
       3},
      {"colon preferred over tab", "a\tb:c\r\n", {{"0", "a\tb", "c"}}, false, 3},
      {"a colon splits a time too",
       "cours:heure\r\nmaths:10:30\r\n",
       {{"0", "cours", "heure"}, {"1", "maths", "10", "30"}},
       false,
       4},
      {"tab", "a\tb\r\nc\td\r\n", {{"0", "a", "b"}, {"1", "c", "d"}}, false, 3},
      {"comma is text once the semicolon is chosen",
       "nom;prenom\r\na,b;c\r\n",
       {{"0", "nom", "prenom"}, {"1", "a,b", "c"}},
       false,
       3},
      {"quotes protect nothing", "\"a;b\";c\r\n", {{"0", "\"a", "b\"", "c"}}, false, 4},
      {"spaces are kept", " a ; b \r\n", {{"0", " a ", " b "}}, false, 3},
      {"Windows-1252 bytes pass unchanged",
       "\xC9l\xE8ve;\x80\r\n",
       {{"0", "\xC9l\xE8ve", "\x80"}},
       false,
       3},
      {"no separator on the first line",
       "titre\r\nx;y\r\n",
       {{"0", "titre"}, {"1", "x;y"}},
       true,
       2},
      {"LF line ends", "a;b\nc;d\n", {{"0", "a", "b"}, {"1", "c", "d"}}, false, 3},
      // Without a CR the separator line is the whole file, so the ";" of the
      // second line is found.
      {"LF line ends, separator in a later line",
       "titre\nx;y\n",
       {{"0", "titre"}, {"1", "x", "y"}},
       false,
       3},
      {"the first CR ends the separator line",
       "titre\nnom\r\nx;y\r\n",
       {{"0", "titre"}, {"1", "nom"}, {"2", "x;y"}},
       true,
       2},
      {"lone CR line ends", "a;b\rc;d", {{"0", "a", "b"}, {"1", "c", "d"}}, false, 3},
      {"last line without a line end", "a;b\r\nc", {{"0", "a", "b"}, {"1", "c"}}, false, 3},
      {"two line breaks at the end", "a;b\r\n\r\n", {{"0", "a", "b"}, {"1"}}, false, 3},
      {"empty line inside",
       "a;b\r\n\r\nc;d\r\n",
       {{"0", "a", "b"}, {"1"}, {"2", "c", "d"}},
       false,
       3},
      {"LF CR is two line breaks",
       "a;b\n\rc;d",
       {{"0", "a", "b"}, {"1"}, {"2", "c", "d"}},
       false,
       3},
      // A DOS end-of-file byte stays in the rows: only the separator test
      // reads the file as text.
      {"trailing Ctrl-Z is a row",
       "a;b\r\nc;d\r\n\x1A",
       {{"0", "a", "b"}, {"1", "c", "d"}, {"2", "\x1A"}},
       false,
       3},
      {"Ctrl-Z inside a line",
       "a;b\r\nc\x1A;d\r\n",
       {{"0", "a", "b"}, {"1", "c\x1A", "d"}},
       false,
       3},
      {"Ctrl-Z ends the separator line",
       "titre\x1A;x\r\ny;z\r\n",
       {{"0", "titre\x1A;x"}, {"1", "y;z"}},
       true,
       2},
      {"NUL ends the text", "a;b\r\nc;d\0e;f\r\n"s, {{"0", "a", "b"}, {"1", "c", "d"}}, false, 3},
  };
  TempFolder folder;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const SplitCase& c = cases[i];
    SCOPED_TRACE(c.name + ": " + Printable(c.bytes));
    Window window;
    // Start from one column, so that the column count shows what the file
    // asked for.
    window.grid.setColCount(1);
    window.load(folder.write(std::string("case") + std::to_string(i) + ".csv", c.bytes));

    EXPECT_EQ(RowsOf(window.grid), c.rows);
    EXPECT_GE(window.grid.colCount(), c.minColumns);
    EXPECT_EQ(window.raw.count(), c.rows.size()) << "raw text view and grid disagree";
    if (c.separatorMessage) {
      EXPECT_EQ(window.host.messages, std::vector<std::string>{"table csv  ?  , il faut :  ou ;"});
    } else {
      EXPECT_TRUE(window.host.messages.empty());
    }
  }
}

TEST(DelimitedImportTest, RawTextViewHoldsTheFileLinesUncut) {
  TempFolder folder;
  Window window;
  const std::string longLine(5000, 'x');
  window.load(folder.write("long.csv", std::string("a;b\r\n") + longLine + "\r\n\x1A"));

  EXPECT_EQ(LinesOf(window.raw), (std::vector<std::string>{"a;b", longLine, "\x1A"}));
  EXPECT_EQ(window.grid.cell(1, 1), std::string(4096, 'x'));
}

TEST(DelimitedImportTest, LinesAreCutTo4096CharactersBeforeTheyAreSplit) {
  struct Case {
    std::string name;
    std::string line;
    std::string expectedField1;
    int minColumns;
  };
  const std::vector<Case> cases = {
      {"separator at character 4096", std::string(4095, 'x') + ";yz", std::string(4095, 'x'), 3},
      {"separator at character 4097", std::string(4096, 'x') + ";yz", std::string(4096, 'x'), 2},
  };
  TempFolder folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Window window;
    window.grid.setColCount(1);
    window.load(folder.write("cut.csv", std::string("a;b\r\n") + c.line + "\r\n"));

    EXPECT_EQ(window.grid.cell(1, 1), c.expectedField1);
    EXPECT_EQ(window.grid.cell(2, 1), "");
    EXPECT_GE(window.grid.colCount(), c.minColumns);
    EXPECT_EQ(window.raw.line(1), c.line);
  }
}

TEST(DelimitedImportTest, FirstRowBecomesOrdinaryAndColumnsAreNeverLost) {
  TempFolder folder;
  Window window;
  window.grid.setColCount(9);
  window.load(folder.write("one.csv", "a;b\r\n"));

  EXPECT_EQ(window.grid.rowCount(), 1);
  EXPECT_EQ(window.grid.fixedRows(), 0);
  EXPECT_EQ(window.grid.fixedCols(), 1);
  EXPECT_EQ(window.grid.colCount(), 9);
}

TEST(DelimitedImportTest, SmallerFileAfterALargerOneLeavesNothingOfIt) {
  std::string large;
  for (int r = 0; r < 50; ++r) {
    for (int f = 1; f <= 6; ++f)
      large.append("L").append(std::to_string(r)).append("_").append(std::to_string(f)).append(";");
    large.pop_back();
    large += "\r\n";
  }
  // The last line ends in a separator: its column 3 is written empty.
  std::string small;
  for (int r = 0; r < 10; ++r)
    small.append("s").append(std::to_string(r)).append(r == 9 ? ";t;\r\n" : ";t;u\r\n");

  TempFolder folder;
  Window window;
  window.load(folder.write("large.csv", large));
  ASSERT_EQ(window.grid.rowCount(), 50);
  window.load(folder.write("small.csv", small));

  EXPECT_EQ(window.grid.rowCount(), 10);
  EXPECT_GE(window.grid.colCount(), 7);
  EXPECT_EQ(window.raw.count(), 10u);
  for (int r = 0; r < 10; ++r) {
    SCOPED_TRACE(std::string("row ") + std::to_string(r));
    EXPECT_EQ(window.grid.cell(0, r), std::to_string(r));
    EXPECT_EQ(window.grid.cell(1, r), std::string("s") + std::to_string(r));
    EXPECT_EQ(window.grid.cell(3, r), r == 9 ? "" : "u");
    for (int c = 4; c < window.grid.colCount(); ++c)
      EXPECT_EQ(window.grid.cell(c, r), "");
  }
  // Rows dropped by the smaller file come back empty if the grid grows.
  window.grid.setRowCount(50);
  EXPECT_EQ(window.grid.cell(1, 20), "");
}

// The raw text view is one for every import: a table filled from the
// previous file must keep its cells when the view moves on to the next one.
TEST(DelimitedImportTest, GridKeepsItsCellsWhenTheRawViewIsReplaced) {
  TempFolder folder;
  Window window;
  window.load(folder.write("first.csv",
                           "nom;pr\xE9nom\r\nDurand;L\xE9"
                           "a\r\n"));
  const Grid first = window.grid;
  Grid other(5, 5, 1, 1);
  LoadDelimitedFile(other, folder.write("second.csv", "x,y,z\r\n"), window.raw, window.bar,
                    window.host);
  window.raw.clear();
  window.grid = other;

  EXPECT_EQ(RowsOf(first), (Rows{{"0", "nom", "pr\xE9nom"},
                                 {"1", "Durand",
                                  "L\xE9"
                                  "a"}}));
  EXPECT_EQ(RowsOf(window.grid), (Rows{{"0", "x", "y", "z"}}));
}

TEST(DelimitedImportTest, EditedImportedRowsKeepTheirOtherCells) {
  TempFolder folder;
  Window window;
  window.load(folder.write("edit.csv", "a;b;c\r\nd;e;f\r\n"));
  window.grid.setCell(2, 1, "E");
  window.grid.setCell(4, 0, "g");
  window.raw.clear();

  EXPECT_EQ(RowsOf(window.grid), (Rows{{"0", "a", "b", "c", "g"}, {"1", "d", "E", "f"}}));
}

// Records the progress bar and the input folder each time the import lets
// the screen catch up.
class WatchingHost : public ScriptedHost {
 public:
  WatchingHost(const ProgressBar& bar, const TempFolder& folder) : bar_(bar), folder_(folder) {}

  struct Seen {
    bool visible;
    int min;
    int max;
    int position;
    std::set<std::string> files;
  };
  std::vector<Seen> seen;

  void keepScreenAlive() override {
    ScriptedHost::keepScreenAlive();
    seen.push_back({bar_.visible(), bar_.min(), bar_.max(), bar_.position(), folder_.listing()});
  }

 private:
  const ProgressBar& bar_;
  const TempFolder& folder_;
};

TEST(DelimitedImportTest, ProgressRunsOverTheLinesAndIsHiddenAtTheEnd) {
  constexpr int kLines = 10001;
  std::string text = "nom;valeur\r\n";
  for (int r = 1; r < kLines; ++r)
    text.append("n").append(std::to_string(r)).append(";").append(std::to_string(r)).append("\r\n");

  TempFolder folder;
  const auto file = folder.write("users.txt", text);
  Grid grid(5, 1, 1, 0);
  TextList raw;
  ProgressBar bar;
  bar.setVisible(false);
  WatchingHost host(bar, folder);
  LoadDelimitedFile(grid, file, raw, bar, host);

  ASSERT_EQ(grid.rowCount(), kLines);
  int misnumbered = 0;
  for (int r = 0; r < kLines; ++r)
    misnumbered += grid.cell(0, r) != std::to_string(r) ? 1 : 0;
  EXPECT_EQ(misnumbered, 0);
  EXPECT_EQ(grid.cell(2, kLines - 1), std::to_string(kLines - 1));

  EXPECT_FALSE(bar.visible());
  EXPECT_EQ(bar.min(), 0);
  EXPECT_EQ(bar.max(), kLines - 1);
  EXPECT_EQ(bar.position(), kLines - 1);

  // While the rows are filled the bar is shown over 0 ... n - 1 and moves
  // forward.
  int lastPosition = -1;
  int updatesInRange = 0;
  for (const WatchingHost::Seen& seen : host.seen) {
    EXPECT_TRUE(seen.visible);
    if (seen.max != kLines - 1)
      continue;
    ++updatesInRange;
    EXPECT_EQ(seen.min, 0);
    EXPECT_GE(seen.position, lastPosition);
    lastPosition = seen.position;
  }
  EXPECT_GE(updatesInRange, 2);
  EXPECT_GT(lastPosition, 0);
}

// A big file is decoded in the copy it was read into: the same rows as a
// small one, down to the last line.
TEST(DelimitedImportTest, Utf16FileGivesTheSameRowsAsIts8BitText) {
  const std::string lines =
      "Nom;Pr\xE9nom;Classe\r\nL\xE9"
      "a;\xC9lise;5A\r\n\r\nx;;y;\r\n\xFF;\xE7\r\n";
  for (const int copies : {1, 40000}) {
    SCOPED_TRACE(copies);
    std::string latin1;
    for (int i = 0; i < copies; ++i)
      latin1 += lines;
    latin1 += "fin;\xE0";

    TempFolder folder;
    Window eightBit;
    eightBit.load(folder.write("eight.csv", latin1));
    Window utf16;
    utf16.load(folder.write("utf16.csv", Utf16Le(WidenLatin1(latin1))));

    EXPECT_TRUE(RowsOf(utf16.grid) == RowsOf(eightBit.grid));
    EXPECT_EQ(utf16.grid.colCount(), eightBit.grid.colCount());
    EXPECT_TRUE(LinesOf(utf16.raw) == LinesOf(eightBit.raw));
    EXPECT_EQ(utf16.grid.cell(1, 1),
              "L\xE9"
              "a");
    EXPECT_EQ(utf16.grid.cell(2, 4), "\xE7");
    EXPECT_EQ(utf16.grid.cell(2, 5 * copies), "\xE0");
  }
}

// The rows keep pointing into the bytes read: a file rewritten or cut short
// by the program that exports it, while the table is still shown, must
// change nothing in it (and certainly not bring the program down).
TEST(DelimitedImportTest, FileRewrittenAfterItsLoadLeavesTheRowsAsLoaded) {
  std::string text;
  for (int r = 0; r < 30000; ++r)
    text +=
        "5A;Nom" + std::to_string(r) + ";Pr\xE9nom;01/02/2013;login" + std::to_string(r) + "\r\n";
  TempFolder folder;
  const auto file = folder.write("users.txt", text);
  Window window;
  window.load(file);
  const Rows loaded = RowsOf(window.grid);
  ASSERT_EQ(loaded.size(), 30000u);

  folder.write("users.txt", "autre;texte\r\n");
  std::filesystem::resize_file(file, 0);
  EXPECT_TRUE(RowsOf(window.grid) == loaded);
  EXPECT_EQ(window.grid.cell(5, 29999), "login29999");
  EXPECT_EQ(window.raw.line(12345), "5A;Nom12345;Pr\xE9nom;01/02/2013;login12345");
}

// Every encoding reaches the grid and the raw text view as Windows-1252;
// what it cannot hold is told, before the separator message.
TEST(DelimitedImportTest, DecodedFilesLoadAsTheirWindows1252Text) {
  const auto replaced = [](int count) {
    return "Caract\xE8res sans \xE9quivalent Windows-1252 remplac\xE9s par \xAB ? \xBB : " +
           std::to_string(count);
  };
  const std::string noSeparator(kNoSeparatorMessage);
  struct Case {
    std::string name;
    std::string bytes;
    Rows rows;
    std::vector<std::string> messages;
  };
  const std::vector<Case> cases = {
      {"UTF-8 with its mark: the first column name matches",
       "\xEF\xBB\xBFnom;pr\xC3\xA9nom\r\n",
       {{"0", "nom", "pr\xE9nom"}},
       {}},
      {"UTF-8 without a mark",
       "Nom;Pr\xC3\xA9nom\r\nN\xE2\x80\x99"
       "Diaye;\xC3\x89lise\r\n",
       {{"0", "Nom", "Pr\xE9nom"},
        {"1",
         "N\x92"
         "Diaye",
         "\xC9lise"}},
       {}},
      {"UTF-16 big-endian",
       testing::EncodeCodePoints(U"a;\u00E9\r\nc;\u20AC\r\n", testing::Encoding::kUtf16BigEndian),
       {{"0", "a", "\xE9"}, {"1", "c", "\x80"}},
       {}},
      {"UTF-16 beyond Latin-1",
       Utf16Le(u"l\u2019\u00E9cole;\u0100x;\U0001F600\r\n"),
       {{"0",
         "l\x92\xE9"
         "cole",
         "?x", "?"}},
       {replaced(2)}},
      // U+011A holds the byte 0x1A; only the unit U+001A ends the text.
      {"UTF-16 ended by the unit U+001A",
       Utf16Le(u"ab;c\r\nd\u011Ae;f\r\ng\u001Ah;i\r\n"),
       {{"0", "ab", "c"}, {"1", "d?e", "f"}, {"2", "g"}},
       {replaced(1)}},
      // Taken for UTF-16 by its first byte: from the third byte on, pairs of
      // ASCII letters make characters no code page has.
      {"8-bit text starting with 0xFF",
       "\xFFtitre;x\r\n1;2\r\n",
       {{"0", "??????"}},
       {replaced(6), noSeparator}},
  };
  TempFolder folder;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name + ": " + Printable(c.bytes));
    Window window;
    window.load(folder.write("decoded" + std::to_string(i) + ".csv", c.bytes));
    EXPECT_EQ(RowsOf(window.grid), c.rows);
    EXPECT_EQ(window.raw.count(), c.rows.size());
    EXPECT_EQ(window.host.messages, c.messages);
  }
}

TEST(DelimitedImportTest, Utf16FileIsConvertedWithoutAnyFileBesideIt) {
  TempFolder folder;
  const std::string input = Utf16Le(u"nom;pr\u00E9nom\r\nA;B\r\n");
  const auto file = folder.write("export.csv", input);
  // Named like the input with "2" appended: a conversion that went through
  // a copy of that name would overwrite it.
  const auto namesake = folder.write("export.csv2", "garder");
  const std::set<std::string> before = folder.listing();

  Grid grid(5, 5, 1, 1);
  TextList raw;
  ProgressBar bar;
  WatchingHost host(bar, folder);
  LoadDelimitedFile(grid, file, raw, bar, host);

  EXPECT_EQ(RowsOf(grid), (Rows{{"0", "nom", "pr\xE9nom"}, {"1", "A", "B"}}));
  ASSERT_FALSE(host.seen.empty());
  for (const WatchingHost::Seen& seen : host.seen)
    EXPECT_EQ(seen.files, before);
  EXPECT_EQ(folder.listing(), before);
  EXPECT_EQ(ReadBytes(namesake), "garder");
  EXPECT_EQ(ReadBytes(file), input);
}

TEST(DelimitedImportTest, FileWithoutAnyLineIsRefusedAndChangesNothing) {
  struct Case {
    std::string name;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"empty", ""},
      {"UTF-16 byte-order mark alone", "\xFF\xFE"},
      {"a single 0xFF", "\xFF"},
      {"leading NUL", "\0a;b\r\n"s},
      {"UTF-16 starting with Ctrl-Z", "\xFF\xFE\x1A\0a\0;\0b\0"s},
      {"UTF-16 of NUL units only", "\xFF\xFE\0\0\0\0"s},
      {"UTF-16 big-endian byte-order mark alone", "\xFE\xFF"},
      {"UTF-16 big-endian starting with Ctrl-Z", "\xFE\xFF\0\x1A\0a\0;\0b"s},
      {"UTF-8 byte-order mark alone", "\xEF\xBB\xBF"},
  };
  TempFolder folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Window window;
    window.grid.setCell(2, 3, "avant");
    window.grid.setColWidth(2, 99);
    window.bar.setVisible(true);
    window.bar.setRange(0, 100);
    const auto file = folder.write("vide.csv", c.bytes);

    try {
      window.load(file);
      ADD_FAILURE() << "no error";
    } catch (const DisplayedError& error) {
      EXPECT_EQ(std::string(error.what()), std::string("Le fichier est vide : ") + file.string());
    }
    // No separator message and no range error before the refusal.
    EXPECT_TRUE(window.host.messages.empty());
    EXPECT_EQ(window.grid.rowCount(), 5);
    EXPECT_EQ(window.grid.colCount(), 5);
    EXPECT_EQ(window.grid.fixedRows(), 1);
    EXPECT_EQ(window.grid.cell(2, 3), "avant");
    EXPECT_EQ(window.grid.colWidth(2), 99);
    EXPECT_EQ(LinesOf(window.raw), std::vector<std::string>{"Memo1"});
    EXPECT_FALSE(window.bar.visible());
    EXPECT_EQ(window.bar.max(), 100);
  }
}

TEST(DelimitedImportTest, UnreadableFileRaisesAFileErrorAndChangesNothing) {
  struct Case {
    std::string name;
    std::string entry;
    bool makeFolder;
    int code;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"missing file", "absent.csv", false, FileError::kNotFound, "Fichier introuvable"},
      {"a folder chosen as the file", "dossier.csv", true, FileError::kNotRegularFile,
       "Ce n'est pas un fichier ordinaire"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    const auto file = folder.path() / c.entry;
    if (c.makeFolder)
      std::filesystem::create_directory(file);
    const std::set<std::string> before = folder.listing();
    Window window;
    window.grid.setCell(1, 1, "avant");
    window.bar.setVisible(true);

    try {
      window.load(file);
      ADD_FAILURE() << "no error";
    } catch (const FileError& error) {
      EXPECT_EQ(error.code(), c.code);
      EXPECT_EQ(std::string(error.what()), c.text);
      EXPECT_EQ(error.path(), file);
    }
    EXPECT_EQ(window.grid.rowCount(), 5);
    EXPECT_EQ(window.grid.cell(1, 1), "avant");
    EXPECT_EQ(LinesOf(window.raw), std::vector<std::string>{"Memo1"});
    EXPECT_TRUE(window.host.messages.empty());
    EXPECT_FALSE(window.bar.visible());
    EXPECT_EQ(folder.listing(), before);
  }
}

TEST(DelimitedImportTest, ColumnsAreFittedToTheLoadedText) {
  TempFolder folder;
  Window window;
  window.grid.setColWidth(4, 300);
  window.load(folder.write("fit.csv", "nom;pr\xE9nom\r\nDupontel;Jo\r\n"));

  constexpr int w = ScriptedHost::kCharWidth;
  EXPECT_EQ(window.grid.colWidth(0), 1 * w + 7);
  EXPECT_EQ(window.grid.colWidth(1), 8 * w + 7);
  EXPECT_EQ(window.grid.colWidth(2), 6 * w + 7);
  EXPECT_EQ(window.grid.colWidth(3), 7);
  EXPECT_EQ(window.grid.colWidth(4), 7);
}

// The load measures each line as it splits it; the widths must be those of
// measuring the finished rows.
TEST(DelimitedImportTest, WidthsOfTheLoadAreThoseOfTheRows) {
  std::string text = "a;bb;;dddd;\r\n;;;;;;;;x\r\n";
  for (int r = 0; r < 120; ++r)
    text.append(std::string(static_cast<std::size_t>(r % 13), 'n'))
        .append(";")
        .append(std::string(static_cast<std::size_t>(r % 7), 'p'))
        .append(r % 5 == 0 ? ";;\r\n" : "\r\n");
  text.append(std::string(5000, 'w')).append(";court\r\n");
  TempFolder folder;
  Window window;
  window.load(folder.write("widths.csv", text));
  Grid measured = window.grid;
  FitGridColumns(measured, window.host);
  for (int c = 0; c < window.grid.colCount(); ++c) {
    SCOPED_TRACE("column " + std::to_string(c));
    EXPECT_EQ(window.grid.colWidth(c), measured.colWidth(c));
  }
}

TEST(FitGridColumnsTest, EachColumnIsItsWidestTextPlusSevenPixels) {
  // Fixed rows and columns are measured like the others, and an old width
  // does not survive: the fit starts from nothing.
  Grid grid(4, 3, 1, 1);
  const std::vector<std::vector<std::string>> cells = {
      {"nom", "x", "", "level_key_names"},
      {"ab", "la plus longue", "", "5_a"},
      {"a", "", "", ""},
  };
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 4; ++c)
      grid.setCell(c, r, cells[r][c]);
    grid.setColWidth(r, 500);
  }
  ScriptedHost host;
  FitGridColumns(grid, host);

  constexpr int w = ScriptedHost::kCharWidth;
  EXPECT_EQ(grid.colWidth(0), 3 * w + 7);
  EXPECT_EQ(grid.colWidth(1), 14 * w + 7);
  EXPECT_EQ(grid.colWidth(2), 7);
  EXPECT_EQ(grid.colWidth(3), 15 * w + 7);
}

}  // namespace
}  // namespace passerelle
