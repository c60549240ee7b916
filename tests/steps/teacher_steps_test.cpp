#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "rules/rules.h"
#include "steps/steps.h"
#include "steps/working_state.h"
#include "support/grid_rows.h"
#include "support/scripted_host.h"
#include "tables/csv_export.h"
#include "tables/errors.h"
#include "tables/keyed_hash.h"

namespace passerelle {
namespace {

using passerelle::testing::ScriptedHost;
using testing::Rows;

const std::string kTeacherHeader = "Professeur";
const std::string kClassHeader = "Classe > Groupe";
const std::string kSubjectHeader = "Mati\xE8re/Sous-mati\xE8re";
const std::vector<std::string> kTeacherColumnNames = {
    "last_name", "first_name", "civility_name",   "email",
    "login",     "pwd_vesta",  "level_key_names", "topic_key_name"};

// ---------------------------------------------------------------------------
// Building and reading grids.

Grid MakeGrid(const Rows& rows, int minCols = 1) {
  int cols = minCols;
  for (const auto& row : rows)
    cols = std::max(cols, static_cast<int>(row.size()));
  Grid grid(cols, static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    grid.setRowTexts(r, std::span<const std::string>(rows[static_cast<std::size_t>(r)]));
  }
  return grid;
}

// An import grid as the importer leaves it: column 0 the line's index,
// field k of the line in column k.
Grid ImportedGrid(const Rows& lines) {
  Rows rows;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::vector<std::string> row{std::to_string(i)};
    row.insert(row.end(), lines[i].begin(), lines[i].end());
    rows.push_back(std::move(row));
  }
  return MakeGrid(rows, 5);
}

// A teacher table row as step 2 leaves it, with the other columns empty.
std::vector<std::string> GroupRow(std::string name, std::string classes, std::string key) {
  return {std::move(name), "", "", "", "", "", std::move(classes), std::move(key)};
}

Rows Trimmed(const Grid& grid) {
  return testing::TrimmedRows(grid);
}

Rows TrimmedRows(Rows rows) {
  for (auto& row : rows) {
    while (!row.empty() && row.back().empty())
      row.pop_back();
  }
  return rows;
}

std::string CsvText(const Rows& rows) {
  std::string text;
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (c > 0)
        text.push_back(';');
      text.append(row[c]);
    }
    text.append("\r\n");
  }
  return text;
}

std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void SetClassList(WorkingTables& tables, std::initializer_list<std::string_view> codes) {
  tables.classList.clear();
  for (std::string_view code : codes)
    tables.classList.append(code);
}

std::string Drawn(std::uint32_t& seed, int count) {
  std::string text;
  for (int i = 0; i < count; ++i)
    text.push_back(RandomAlnum(seed));
  return text;
}

// Each part in its own statement: the operands of one "+" may be evaluated
// in any order, and the characters are drawn in reading order.
std::string GeneratedAddress(std::uint32_t& seed) {
  const std::string local = Drawn(seed, 8);
  const std::string domain = Drawn(seed, 3);
  return local + "@x" + domain + ".zz";
}

std::string TestTeacherAddress(std::uint32_t& seed) {
  const std::string local = Drawn(seed, 4);
  const std::string domain = Drawn(seed, 1);
  return "bidon" + local + "@test" + domain + ".zz";
}

// A folder of its own under the system's temporary folder, removed with
// everything in it at the end of the test.
class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> counter{0};
    const auto stamp = std::random_device{}();
    path_ = std::filesystem::temp_directory_path() /
            ("passerelle-teacher-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// ---------------------------------------------------------------------------
// Step 2: teacher rows from the teacher-group export.

class TeacherGroupStep : public ::testing::Test {
 protected:
  bool run(const Rows& exportLines, SubjectOptions options = {}) {
    tables.importGrid = ImportedGrid(exportLines);
    return BuildTeacherRows(tables, host, options).done();
  }

  WorkingTables tables;
  ScriptedHost host;
};

TEST_F(TeacherGroupStep, MissingColumnStopsWithItsMessageAndChangesNothing) {
  struct Case {
    std::vector<std::string> header;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"professeur", kClassHeader, kSubjectHeader},
       "Format de fichier incorrect:pas de professeur"},
      {{"Professeur ", kClassHeader, kSubjectHeader},
       "Format de fichier incorrect:pas de professeur"},
      {{"Nom", "Pr\xE9nom", "Mati\xE8re"}, "Format de fichier incorrect:pas de professeur"},
      {{kTeacherHeader, "Classe>Groupe", kSubjectHeader},
       "Format de fichier incorrect: pas de classes"},
      {{kTeacherHeader, kClassHeader, "Matiere/Sous-matiere"},
       "Format de fichier incorrect: pas de mati\xE8res"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message + " / " + c.header[0] + "|" + c.header[1] + "|" + c.header[2]);
    WorkingTables fresh;
    ScriptedHost freshHost;
    SetClassList(fresh, {"5_a"});
    fresh.teachers = MakeGrid({{}, GroupRow("DUPONT Jean", "4_b", "math")}, 8);
    fresh.importGrid = ImportedGrid({c.header, {"DUPONT Jean", "5A", "MATHS"}});
    const std::string importBefore = GridAsCsvText(fresh.importGrid);
    const std::string teachersBefore = GridAsCsvText(fresh.teachers);

    const StepOutcome outcome = BuildTeacherRows(fresh, freshHost, {});
    EXPECT_EQ(outcome.kind, StepOutcome::Kind::kMissingColumn);
    EXPECT_EQ(outcome.message, c.message);
    // The form shows it.
    EXPECT_TRUE(freshHost.messages.empty());
    EXPECT_EQ(GridAsCsvText(fresh.importGrid), importBefore);
    EXPECT_EQ(GridAsCsvText(fresh.teachers), teachersBefore);
  }
}

TEST_F(TeacherGroupStep, RightmostColumnOfANameIsUsed) {
  SetClassList(tables, {"5_a", "4_b"});
  ASSERT_TRUE(run({{kTeacherHeader, kClassHeader, kSubjectHeader, kTeacherHeader, kClassHeader},
                   {"WRONG Name", "3Z", "MATHS", "DUPONT Jean", "5A"},
                   {"WRONG Name", "3Z", "MATHS", "DUPONT Jean", "4B"}}));
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(Trimmed(tables.teachers),
            TrimmedRows({{}, GroupRow("DUPONT Jean", "5_a,4_b", "math")}));
  // Only the class column used gets its "_".
  EXPECT_EQ(tables.importGrid.cell(2, 1), "3Z");
  EXPECT_EQ(tables.importGrid.cell(5, 1), "5_A");
}

TEST_F(TeacherGroupStep, LevelTestIsMadeOnTheNormalizedClassCell) {
  struct Case {
    std::string classCell;
    std::string underscored;
    std::string classCode;  // empty: no row is added
  };
  const std::vector<Case> cases = {
      {"4B", "4_B", "4_b"},
      {"3C>ANGLAIS", "3_C>ANGLAIS", "3_c"},
      {"6", "6_", "6_"},
      {"4B GR1", "4_B GR1", "4_bgr1"},
      {"2A", "2_A", ""},
      {"7B", "7_B", ""},
      // "5_LATIN" is turned into the subject key "latin" before the level
      // digit is looked at.
      {"5LATIN", "5_LATIN", ""},
      {"", "_", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("class cell " + c.classCell);
    WorkingTables fresh;
    ScriptedHost freshHost;
    fresh.importGrid = ImportedGrid(
        {{kTeacherHeader, kClassHeader, kSubjectHeader}, {"DUPONT Jean", c.classCell, "MATHS"}});
    ASSERT_TRUE(BuildTeacherRows(fresh, freshHost, {}).done());
    EXPECT_EQ(fresh.importGrid.cell(2, 1), c.underscored);
    EXPECT_EQ(fresh.importGrid.cell(2, 0), kClassHeader);
    Rows expected{{}};
    if (!c.classCode.empty())
      expected.push_back(GroupRow("DUPONT Jean", c.classCode, "math"));
    EXPECT_EQ(Trimmed(fresh.teachers), TrimmedRows(expected));
  }
}

TEST_F(TeacherGroupStep, SubjectKeysDecideWhichRowsATeacherGets) {
  SetClassList(tables, {"5_a", "4_b"});
  ASSERT_TRUE(run({{kTeacherHeader, kClassHeader, kSubjectHeader},
                   {"DUPONT Jean", "5A", "MATHS"},
                   {"DUPONT Jean", "4B", "MATHEMATIQUES"},
                   {"MARTIN Paul", "5A", "ANGLAIS"},
                   {"MARTIN Paul", "4B", "ALLEMAND"}}));
  EXPECT_EQ(Trimmed(tables.teachers), TrimmedRows({{},
                                                   GroupRow("DUPONT Jean", "5_a,4_b", "math"),
                                                   GroupRow("MARTIN Paul", "5_a", "anglais"),
                                                   GroupRow("MARTIN Paul", "4_b", "allemand")}));
  // The teacher table is fitted to its texts once the step is done.
  EXPECT_EQ(
      tables.teachers.colWidth(0),
      static_cast<int>(std::string_view("DUPONT Jean").size()) * ScriptedHost::kCharWidth + 7);
}

TEST_F(TeacherGroupStep, FurtherClassesAreAppendedOnlyWhenKnownAndNotContained) {
  SetClassList(tables, {"5_a", "5_b", "5_a1"});
  ASSERT_TRUE(run({{kTeacherHeader, kClassHeader, kSubjectHeader},
                   // A group code opens the row although the class list ignores it.
                   {"DUPONT Jean", "5GR1", "MATHS"},
                   {"DUPONT Jean", "5B", "MATHS"},
                   {"DUPONT Jean", "5C", "MATHS"},
                   {"DUPONT Jean", "5B", "MATHS"},
                   {"DUPONT Jean", "5A", "MATHS"},
                   // Contained in 5_a1 as a substring: not appended.
                   {"MARTIN Paul", "5A1", "SVT"},
                   {"MARTIN Paul", "5A", "SVT"}}));
  EXPECT_EQ(Trimmed(tables.teachers), TrimmedRows({{},
                                                   GroupRow("DUPONT Jean", "5_gr1,5_b,5_a", "math"),
                                                   GroupRow("MARTIN Paul", "5_a1", "svt")}));
}

TEST_F(TeacherGroupStep, EveryRowWithTheSameNameAndKeyIsCompletedIncludingRowZero) {
  SetClassList(tables, {"5_a", "4_b", "3_c"});
  // Row 0 is searched like the others, and rows are keyed by the subject
  // key of their column 7, so "MATHS" there counts as "math".
  tables.teachers =
      MakeGrid({GroupRow("DUPONT Jean", "5_a", "MATHS"), GroupRow("DUPONT Jean", "4_b", "math"),
                GroupRow("DUPONT Jean", "3_c", "anglais")},
               8);
  ASSERT_TRUE(run({{kTeacherHeader, kClassHeader, kSubjectHeader},
                   {"DUPONT Jean", "4B", "MATHEMATIQUES"},
                   {"DUPONT Jean", "5A", "maths"}}));
  EXPECT_EQ(Trimmed(tables.teachers), TrimmedRows({GroupRow("DUPONT Jean", "5_a,4_b", "MATHS"),
                                                   GroupRow("DUPONT Jean", "4_b,5_a", "math"),
                                                   GroupRow("DUPONT Jean", "3_c", "anglais")}));
}

TEST_F(TeacherGroupStep, RunningAgainAddsOnlyWhatIsNew) {
  SetClassList(tables, {"5_a", "4_b", "5__a"});
  const Rows exportLines = {{kTeacherHeader, kClassHeader, kSubjectHeader},
                            {"DUPONT Jean", "5A", "MATHS"},
                            {"DUPONT Jean", "4B", "MATHS"},
                            {"MARTIN Paul", "4B", "ANGLAIS"}};
  ASSERT_TRUE(run(exportLines));
  const Rows afterFirst = Trimmed(tables.teachers);
  EXPECT_EQ(afterFirst, TrimmedRows({{},
                                     GroupRow("DUPONT Jean", "5_a,4_b", "math"),
                                     GroupRow("MARTIN Paul", "4_b", "anglais")}));

  // A fresh copy of the same export finds every row and every class.
  ASSERT_TRUE(run(exportLines));
  EXPECT_EQ(Trimmed(tables.teachers), afterFirst);

  // The step run again on the grid already processed (no file loaded): the
  // cells get a second "_" and only the codes the class list knows count.
  ASSERT_TRUE(BuildTeacherRows(tables, host, {}).done());
  EXPECT_EQ(tables.importGrid.cell(2, 1), "5__A");
  EXPECT_EQ(Trimmed(tables.teachers), TrimmedRows({{},
                                                   GroupRow("DUPONT Jean", "5_a,4_b,5__a", "math"),
                                                   GroupRow("MARTIN Paul", "4_b", "anglais")}));
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(TeacherGroupStep, RowsRenamedByTheMailStepAreNoLongerFound) {
  SetClassList(tables, {"5_a"});
  tables.teachers = MakeGrid(
      {kTeacherColumnNames, {"DUPONT", "Jean", "Monsieur", "j@d.fr", "jd", "pw", "5_a", "math"}},
      8);
  ASSERT_TRUE(
      run({{kTeacherHeader, kClassHeader, kSubjectHeader}, {"DUPONT Jean", "5A", "MATHS"}}));
  ASSERT_EQ(tables.teachers.rowCount(), 3);
  EXPECT_EQ(tables.teachers.rowTexts(2), GroupRow("DUPONT Jean", "5_a", "math"));
}

// ---------------------------------------------------------------------------
// Step 3: identities from the e-mail export, accounts from the users table.

const std::vector<std::string> kMailHeader = {"Nom", "Civilit\xE9", "Pr\xE9nom", "E-mail"};

// A "PROF" row of the users table as step 1 leaves it.
std::vector<std::string> UserRow(std::string category, std::string last, std::string first,
                                 std::string login, std::string password) {
  return {"1", std::move(category), std::move(last), std::move(first), "", std::move(login),
          "",  std::move(password)};
}

class TeacherMailStep : public ::testing::Test {
 protected:
  bool run(const Rows& exportLines) {
    tables.importGrid = ImportedGrid(exportLines);
    return CompleteTeacherRows(tables, host).done();
  }

  // The identity columns 0 to 3 of a teacher row.
  std::vector<std::string> identity(int row) const {
    std::vector<std::string> cells = tables.teachers.rowTexts(row);
    cells.resize(4);
    return cells;
  }

  WorkingTables tables;
  ScriptedHost host;
};

TEST_F(TeacherMailStep, MissingColumnStopsWithItsMessageAndChangesNothing) {
  struct Case {
    std::vector<std::string> header;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"nom", "Civilit\xE9", "Pr\xE9nom", "E-mail"}, "Format de fichier incorrect:pas de nom"},
      {{kTeacherHeader, kClassHeader, kSubjectHeader, "E-mail"},
       "Format de fichier incorrect:pas de nom"},
      {{"Nom", "Civilite", "Pr\xE9nom", "E-mail"},
       "Format de fichier incorrect: pas de civilit\xE9"},
      {{"NOM", "CIVILITE", "Prenom", "EMAIL"}, "Format de fichier incorrect: pas de Prenom"},
      {{"NOM", "CIVILITE", "PRENOM", "Email"}, "Format de fichier incorrect: pas d email"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    WorkingTables fresh;
    ScriptedHost freshHost;
    fresh.teachers = MakeGrid({{}, GroupRow("DUPONT Jean", "5_a", "math")}, 8);
    fresh.users = MakeGrid({UserRow("PROF", "DUPONT", "Jean", "JD", "pw")});
    fresh.importGrid = ImportedGrid({c.header, {"DUPONT", "M.", "Jean", "j@d.fr"}});
    const std::string teachersBefore = GridAsCsvText(fresh.teachers);

    const StepOutcome outcome = CompleteTeacherRows(fresh, freshHost);
    EXPECT_EQ(outcome.kind, StepOutcome::Kind::kMissingColumn);
    EXPECT_EQ(outcome.message, c.message);
    EXPECT_TRUE(freshHost.messages.empty());
    EXPECT_EQ(GridAsCsvText(fresh.teachers), teachersBefore);
    EXPECT_FALSE(fresh.testTeacherAdded);
    EXPECT_EQ(fresh.randomSeed, 0u);
  }
}

TEST_F(TeacherMailStep, IdentityNeedsTheExactFullNameAndSetsCivility) {
  struct Case {
    std::vector<std::string> line;  // last name, civility, first name, e-mail
    std::vector<std::string> identity;
  };
  const std::vector<Case> cases = {
      {{"DUPONT", "Mme", "Jean", "j@d.fr"}, {"DUPONT", "Jean", "Madame", "j@d.fr"}},
      {{"DUPONT", "M.", "Jean", "j@d.fr"}, {"DUPONT", "Jean", "Monsieur", "j@d.fr"}},
      {{"DUPONT", "MME", "Jean", "j@d.fr"}, {"DUPONT", "Jean", "Monsieur", "j@d.fr"}},
      {{"DUPONT", "Mlle", "Jean", "j@d.fr"}, {"DUPONT", "Jean", "Monsieur", "j@d.fr"}},
      {{"DUPONT", "", "Jean", "j@d.fr"}, {"DUPONT", "Jean", "Monsieur", "j@d.fr"}},
      {{"Dupont", "Mme", "Jean", "j@d.fr"}, {"DUPONT Jean", "", "", ""}},
      {{"DUPONT ", "Mme", "Jean", "j@d.fr"}, {"DUPONT Jean", "", "", ""}},
      {{"DUPONT", "Mme", "Jean ", "j@d.fr"}, {"DUPONT Jean", "", "", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line[0] + "|" + c.line[1] + "|" + c.line[2]);
    tables = WorkingTables{};
    tables.teachers = MakeGrid(
        {{}, GroupRow("DUPONT Jean", "5_a", "math"), GroupRow("DUPONT Jean", "4_b", "anglais")}, 8);
    ASSERT_TRUE(run({kMailHeader, c.line}));
    // A teacher with several subjects gets the same identity in each row.
    EXPECT_EQ(identity(1), c.identity);
    EXPECT_EQ(identity(2), c.identity);
  }
}

TEST_F(TeacherMailStep, RightmostOfNomAndNOMIsUsed) {
  tables.teachers = MakeGrid({{}, GroupRow("DUPONT Jean", "5_a", "math")}, 8);
  ASSERT_TRUE(run({{"NOM", "Civilit\xE9", "Pr\xE9nom", "E-mail", "Nom"},
                   {"X", "Mme", "Jean", "j@d.fr", "DUPONT"}}));
  EXPECT_EQ(identity(1), (std::vector<std::string>{"DUPONT", "Jean", "Madame", "j@d.fr"}));
}

TEST_F(TeacherMailStep, LaterLinesAreComparedWithTheNewLastName) {
  struct Case {
    std::string title;
    Rows lines;
    std::vector<std::string> identity;
  };
  const std::vector<Case> cases = {
      {"after A B / C, the line A / B matches the new column 0",
       {{"A B", "Mme", "C", "first@x"}, {"A", "M.", "B", "second@x"}},
       {"A", "B", "Monsieur", "second@x"}},
      {"the line A / B comes first and cannot match yet",
       {{"A", "M.", "B", "first@x"}, {"A B", "Mme", "C", "second@x"}},
       {"A B", "C", "Madame", "second@x"}},
      {"the same full name twice: only the first line matches",
       {{"A B", "M.", "C", "first@x"}, {"A B", "Mme", "C", "second@x"}},
       {"A B", "C", "Monsieur", "first@x"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    tables = WorkingTables{};
    tables.teachers = MakeGrid({{}, GroupRow("A B C", "5_a", "math")}, 8);
    Rows lines{kMailHeader};
    lines.insert(lines.end(), c.lines.begin(), c.lines.end());
    ASSERT_TRUE(run(lines));
    EXPECT_EQ(identity(1), c.identity);
  }
}

TEST_F(TeacherMailStep, AccountsComeFromTheLastUsersRowWithTheSameFoldedNames) {
  tables.teachers = MakeGrid({{},
                              GroupRow("LE GALL H\xE9l\xE8ne", "5_a", "math"),
                              GroupRow("MARTIN Paul", "4_b", "svt"),
                              GroupRow("DURAND Luc", "3_c", "eps"),
                              GroupRow("PETIT Zoe", "3_c", "eps")},
                             8);
  tables.users = MakeGrid({
      UserRow("PROF", "LE GALL", "H\xE9l\xE8ne", "HGALL", "old"),
      UserRow("PROF", "Le-Gall", "HELENE", "HLeGall", "Secret9"),
      // Only "PROF" rows hold teacher accounts.
      UserRow("prof", "MARTIN", "Paul", "PMARTIN", "x"),
      UserRow("5_A", "MARTIN", "Paul", "PMARTIN", "x"),
      // No export line for this teacher: column 0 keeps the full name and
      // the first name stays empty.
      UserRow("PROF", "DURAND Luc", "", "LDURAND", "Pw"),
      UserRow("PROF", "DURAND", "Luc", "WRONG", "wrong"),
  });
  ASSERT_TRUE(run({kMailHeader,
                   {"LE GALL", "Mme", "H\xE9l\xE8ne", "h@g.fr"},
                   {"MARTIN", "M.", "Paul", "p@m.fr"},
                   {"PETIT", "Mme", "Zoe", "z@p.fr"}}));
  struct Expected {
    int row;
    std::string login;
    std::string password;
  };
  for (const Expected& e : {Expected{1, "hlegall", "Secret9"}, Expected{2, "", ""},
                            Expected{3, "ldurand", "Pw"}, Expected{4, "", ""}}) {
    SCOPED_TRACE(e.row);
    EXPECT_EQ(tables.teachers.cell(4, e.row), e.login);
    EXPECT_EQ(tables.teachers.cell(5, e.row), e.password);
  }
}

TEST_F(TeacherMailStep, ColumnNamesEveryRunAndTheTestTeacherOncePerRun) {
  tables.teachers = MakeGrid({{}, GroupRow("DUPONT Jean", "5_a", "math")}, 8);
  tables.users = MakeGrid({UserRow("PROF", "Dupont Jean", "", "JDupont", "pw")});
  // An export of column names only gives no identity; the rest goes on.
  ASSERT_TRUE(run({kMailHeader}));

  std::uint32_t expectedSeed = 0;
  const std::string testAddress = TestTeacherAddress(expectedSeed);
  EXPECT_EQ(testAddress, "bidon01U7@test9.zz");
  const Rows expected = {
      kTeacherColumnNames,
      {"DUPONT Jean", "", "", "", "jdupont", "pw", "5_a", "math"},
      {"prof", "test", "Monsieur", testAddress, "prof1", "kiwo47", "6_test", "anglais"}};
  EXPECT_EQ(Trimmed(tables.teachers), TrimmedRows(expected));
  EXPECT_EQ(tables.randomSeed, expectedSeed);
  EXPECT_TRUE(tables.testTeacherAdded);

  // Pressing again: row 0 is written again, no second test teacher, no draw.
  tables.teachers.setCell(0, 0, "edited");
  ASSERT_TRUE(run({kMailHeader}));
  EXPECT_EQ(Trimmed(tables.teachers), TrimmedRows(expected));
  EXPECT_EQ(tables.randomSeed, expectedSeed);
  EXPECT_TRUE(host.messages.empty());
}

// ---------------------------------------------------------------------------
// Saving teachers.

class TeacherSave : public ::testing::Test {
 protected:
  void SetUp() override {
    tables.teachers = MakeGrid({kTeacherColumnNames, kWithLoginNoMail, kNoLogin, kNoLoginNoMail,
                                kSpaceLogin, kWithLoginNoMail2, kLastNoLogin},
                               8);
  }

  std::filesystem::path folder() const { return temp.path() / "fichiers"; }
  std::string written(std::string_view name) const { return ReadBytes(folder() / name); }

  const std::vector<std::string> kWithLoginNoMail = {"ALBERT",  "Ana", "Madame", "",
                                                     "aalbert", "pa",  "5_a",    "math"};
  const std::vector<std::string> kNoLogin = {"BRUN", "Bob", "Monsieur", "b@b.fr",
                                             "",     "",    "5_b",      "math"};
  const std::vector<std::string> kNoLoginNoMail = {"CLERC", "Cleo", "Madame", "",
                                                   "",      "",     "4_a",    "svt"};
  const std::vector<std::string> kSpaceLogin = {"DIAZ", "Dan", "Monsieur", "d@d.fr",
                                                " ",    "pd",  "3_a",      "eps"};
  const std::vector<std::string> kWithLoginNoMail2 = {"EVRARD",  "Eve", "Madame", "",
                                                      "eevrard", "pe",  "6_b",    "anglais"};
  const std::vector<std::string> kLastNoLogin = {"FAURE", "Fred", "Monsieur", "f@f.fr",
                                                 "",      "",     "4_c",      "techno"};

  TempFolder temp;
  WorkingTables tables;
  ScriptedHost host;
};

TEST_F(TeacherSave, RowsWithoutLoginAreRejectedAndMissingAddressesGenerated) {
  SaveTeachers(tables, host, true, folder());

  std::uint32_t seed = 0;
  const std::string firstAddress = GeneratedAddress(seed);
  const std::string secondAddress = GeneratedAddress(seed);
  EXPECT_EQ(firstAddress, "01U79OB5@xDF2.zz");
  const std::regex shape("[0-9A-Z]{8}@x[0-9A-Z]{3}\\.zz");
  EXPECT_TRUE(std::regex_match(secondAddress, shape));

  std::vector<std::string> albert = kWithLoginNoMail;
  albert[3] = firstAddress;
  std::vector<std::string> evrard = kWithLoginNoMail2;
  evrard[3] = secondAddress;
  const Rows teachers = {kTeacherColumnNames, albert, kSpaceLogin, evrard};
  // Rejected in table order, the address of a rejected row left empty.
  const Rows rejected = {kTeacherColumnNames, kNoLogin, kNoLoginNoMail, kLastNoLogin};

  EXPECT_EQ(Trimmed(tables.teachers), TrimmedRows(teachers));
  EXPECT_EQ(Trimmed(tables.rejectedTeachers), TrimmedRows(rejected));
  EXPECT_EQ(tables.randomSeed, seed);
  EXPECT_EQ(written("profs.csv"), CsvText(teachers));
  EXPECT_EQ(written("2profs invalides.csv"), CsvText(rejected));
  EXPECT_EQ(host.messages, std::vector<std::string>{std::string(kSavedMessage)});
}

TEST_F(TeacherSave, AddressesStayEmptyWhenNotAsked) {
  SaveTeachers(tables, host, false, folder());
  const Rows teachers = {kTeacherColumnNames, kWithLoginNoMail, kSpaceLogin, kWithLoginNoMail2};
  EXPECT_EQ(Trimmed(tables.teachers), TrimmedRows(teachers));
  EXPECT_EQ(written("profs.csv"), CsvText(teachers));
  EXPECT_EQ(tables.randomSeed, 0u);
}

TEST_F(TeacherSave, SecondPressRewritesTheFilesAndRejectsOnlyNewlyEmptiedLogins) {
  SaveTeachers(tables, host, true, folder());
  const Rows teachersAfterFirst = Trimmed(tables.teachers);
  const std::uint32_t seedAfterFirst = tables.randomSeed;
  std::filesystem::remove(folder() / "profs.csv");
  std::filesystem::remove(folder() / "2profs invalides.csv");

  SaveTeachers(tables, host, true, folder());
  EXPECT_EQ(Trimmed(tables.teachers), teachersAfterFirst);
  EXPECT_EQ(tables.randomSeed, seedAfterFirst);
  const Rows rejected = {kTeacherColumnNames, kNoLogin, kNoLoginNoMail, kLastNoLogin};
  EXPECT_EQ(Trimmed(tables.rejectedTeachers), TrimmedRows(rejected));
  EXPECT_EQ(written("profs.csv"), CsvText(teachersAfterFirst));
  EXPECT_EQ(written("2profs invalides.csv"), CsvText(rejected));

  // The user empties a login: that row joins the earlier rejected ones.
  const std::vector<std::string> emptied = tables.teachers.rowTexts(2);
  tables.teachers.setCell(4, 2, "");
  SaveTeachers(tables, host, true, folder());
  std::vector<std::string> emptiedRow = emptied;
  emptiedRow[4].clear();
  EXPECT_EQ(Trimmed(tables.rejectedTeachers),
            TrimmedRows({kTeacherColumnNames, kNoLogin, kNoLoginNoMail, kLastNoLogin, emptiedRow}));
  EXPECT_EQ(tables.teachers.rowCount(), 3);
  // The folder was there already: no message about it.
  EXPECT_EQ(host.messages, std::vector<std::string>(3, std::string(kSavedMessage)));
}

TEST_F(TeacherSave, TableOfColumnNamesOnlyWritesTwoNameLines) {
  tables.teachers = MakeGrid({kTeacherColumnNames}, 8);
  SaveTeachers(tables, host, true, folder());
  EXPECT_EQ(written("profs.csv"), CsvText({kTeacherColumnNames}));
  EXPECT_EQ(written("2profs invalides.csv"), CsvText({kTeacherColumnNames}));
  EXPECT_EQ(tables.randomSeed, 0u);
}

TEST_F(TeacherSave, EveryRowWithoutLoginLeavesOnlyRowZero) {
  tables.teachers = MakeGrid({kTeacherColumnNames, kNoLogin, kNoLoginNoMail}, 8);
  SaveTeachers(tables, host, true, folder());
  EXPECT_EQ(Trimmed(tables.teachers), TrimmedRows({kTeacherColumnNames}));
  EXPECT_EQ(Trimmed(tables.rejectedTeachers),
            TrimmedRows({kTeacherColumnNames, kNoLogin, kNoLoginNoMail}));
}

TEST_F(TeacherSave, FileInPlaceOfTheFolderIsReportedThenTheWriteFails) {
  { std::ofstream(folder()) << "not a folder"; }
  EXPECT_THROW(SaveTeachers(tables, host, true, folder()), FileError);

  ASSERT_EQ(host.messages.size(), 1u);
  const std::regex failure("Directory creation failed with error [1-9][0-9]*");
  EXPECT_TRUE(std::regex_match(host.messages[0], failure)) << host.messages[0];
  EXPECT_TRUE(std::filesystem::is_regular_file(folder()));
  EXPECT_EQ(ReadBytes(folder()), "not a folder");
  // The row pass took place before the write failed, and its changes stay.
  EXPECT_EQ(tables.teachers.rowCount(), 4);
  EXPECT_EQ(tables.rejectedTeachers.rowCount(), 4);
  EXPECT_EQ(tables.rejectedTeachers.cell(0, 0), "last_name");
}

// ---------------------------------------------------------------------------
// The indexed searches against the searches written out row by row.

namespace reference {

int RightmostColumn(const Grid& grid, std::string_view first, std::string_view second) {
  int found = -1;
  for (int c = 0; c < grid.colCount(); ++c) {
    if (grid.cell(c, 0) == first || grid.cell(c, 0) == second)
      found = c;
  }
  return found;
}

bool Contains(std::string_view text, std::string_view part) {
  return !part.empty() && text.find(part) != std::string_view::npos;
}

void BuildTeacherRows(WorkingTables& tables, SubjectOptions options) {
  Grid& import = tables.importGrid;
  Grid& teachers = tables.teachers;
  const int teacherCol = RightmostColumn(import, kTeacherHeader, kTeacherHeader);
  const int classCol = RightmostColumn(import, kClassHeader, kClassHeader);
  const int subjectCol = RightmostColumn(import, kSubjectHeader, kSubjectHeader);
  ASSERT_GE(std::min({teacherCol, classCol, subjectCol}), 0);
  for (int r = 1; r < import.rowCount(); ++r) {
    std::string cell(import.cell(classCol, r));
    cell.insert(cell.empty() ? 0 : 1, "_");
    import.setCell(classCol, r, cell);
  }
  for (int r = 0; r < import.rowCount(); ++r) {
    const std::string classCell(import.cell(classCol, r));
    const std::string level = NormalizeSubject(classCell, options);
    if (level.empty() || level[0] < '3' || level[0] > '6')
      continue;
    const std::string name(import.cell(teacherCol, r));
    const std::string key = NormalizeSubject(std::string(import.cell(subjectCol, r)), options);
    bool matched = false;
    for (int t = 0; t < teachers.rowCount(); ++t) {
      if (teachers.cell(0, t) != name)
        continue;
      if (NormalizeSubject(std::string(teachers.cell(7, t)), options) != key)
        continue;
      matched = true;
      const std::string code = NormalizeClassCode(classCell);
      const std::string classes(teachers.cell(6, t));
      if (!Contains(classes, code) && IsKnownClass(code, tables.classList)) {
        teachers.setCell(6, t, classes + "," + code);
      }
    }
    if (!matched) {
      const int t = teachers.appendRow();
      teachers.setCell(0, t, name);
      teachers.setCell(7, t, key);
      teachers.setCell(6, t, NormalizeClassCode(classCell));
    }
  }
}

void CompleteTeacherRows(WorkingTables& tables) {
  const Grid& import = tables.importGrid;
  Grid& teachers = tables.teachers;
  const int lastCol = RightmostColumn(import, "Nom", "NOM");
  const int civilityCol = RightmostColumn(import, "Civilit\xE9", "CIVILITE");
  const int firstCol = RightmostColumn(import, "Pr\xE9nom", "PRENOM");
  const int emailCol = RightmostColumn(import, "E-mail", "EMAIL");
  ASSERT_GE(std::min({lastCol, civilityCol, firstCol, emailCol}), 0);
  for (int t = 0; t < teachers.rowCount(); ++t) {
    for (int r = 1; r < import.rowCount(); ++r) {
      const std::string fullName =
          std::string(import.cell(lastCol, r)) + " " + std::string(import.cell(firstCol, r));
      if (teachers.cell(0, t) != fullName)
        continue;
      teachers.setCell(3, t, import.cell(emailCol, r));
      teachers.setCell(0, t, import.cell(lastCol, r));
      teachers.setCell(1, t, import.cell(firstCol, r));
      teachers.setCell(2, t, import.cell(civilityCol, r) == "Mme" ? "Madame" : "Monsieur");
    }
  }
  const Grid& users = tables.users;
  for (int t = 0; t < teachers.rowCount(); ++t) {
    for (int u = 0; u < users.rowCount(); ++u) {
      if (users.cell(1, u) != "PROF")
        continue;
      if (FoldName(std::string(teachers.cell(0, t))) != FoldName(std::string(users.cell(2, u))) ||
          FoldName(std::string(teachers.cell(1, t))) != FoldName(std::string(users.cell(3, u)))) {
        continue;
      }
      std::string login(users.cell(5, u));
      for (char& ch : login) {
        if (ch >= 'A' && ch <= 'Z')
          ch = static_cast<char>(ch - 'A' + 'a');
      }
      teachers.setCell(4, t, login);
      teachers.setCell(5, t, users.cell(7, u));
    }
  }
  for (int c = 0; c < 8; ++c)
    teachers.setCell(c, 0, kTeacherColumnNames[static_cast<std::size_t>(c)]);
  if (!tables.testTeacherAdded) {
    const std::string address = TestTeacherAddress(tables.randomSeed);
    const std::vector<std::string> testTeacher = {"prof",  "test",   "Monsieur", address,
                                                  "prof1", "kiwo47", "6_test",   "anglais"};
    teachers.setRowTexts(teachers.appendRow(), std::span<const std::string>(testTeacher));
    tables.testTeacherAdded = true;
  }
}

}  // namespace reference

class TeacherIndexAgreement : public ::testing::TestWithParam<unsigned> {
 protected:
  template <typename Pool>
  const std::string& pick(const Pool& pool) {
    return pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(random)];
  }
  bool chance(double p) { return std::bernoulli_distribution(p)(random); }

  // Names with spaces in them so that identity chains ("A B C" then "A B"
  // then "A") occur, spellings that only folding brings together, and the
  // full name that the mail export's row 0 of names would give.
  const std::vector<std::string> names = {
      "DUPONT Jean",          "DUPONT  Jean",   "Dupont Jean", "A B C",        "A B", "A", "",
      "LE GALL H\xE9l\xE8ne", "Le-Gall HELENE", "MARTIN Paul", "NOM Pr\xE9nom"};
  // Labels that share a key, labels whose stored key normalises further
  // ("AP AP FRANCAIS" leaves "AP FRANCAIS", which becomes "francais"), and
  // labels no rule knows.
  const std::vector<std::string> subjects = {"MATHS",
                                             "MATHEMATIQUES",
                                             "maths",
                                             "ANGLAIS LV1",
                                             "ANGLAIS",
                                             "ALLEMAND",
                                             "AP AP FRANCAIS",
                                             "AP FRANCAIS",
                                             "Fran\xE7"
                                             "ais",
                                             "",
                                             "SVT",
                                             "Technologie",
                                             "math",
                                             "francais"};
  const std::vector<std::string> classCells = {"5A", "5A1",    "5B", "4B", "3C>G1", "6 GR1", "2A",
                                               "7B", "5LATIN", "",   "5",  "4b",    "5_A",   "3_c"};
  const std::vector<std::string> classCodes = {"5_a",   "5_a1", "5_b", "4_b",  "3_c",
                                               "6_gr1", "5__a", "5_",  "3__c", "4__b"};
  const std::vector<std::string> lastNames = {"A",       "A B", "B",     "DUPONT",  "Dupont",
                                              "LE GALL", "",    "A B C", "Le-Gall", "MARTIN"};
  const std::vector<std::string> firstNames = {
      "B", "C", "B C", "Jean", " Jean", "", "H\xE9l\xE8ne", "HELENE", "Paul"};
  const std::vector<std::string> civilities = {"Mme", "M.", "MME", ""};
  const std::vector<std::string> categories = {"PROF", "PROF", "PROF", "prof", "5_A"};

  std::mt19937 random{GetParam()};
};

TEST_P(TeacherIndexAgreement, StepsGiveWhatTheRowByRowSearchesGive) {
  // Each table under a hash key of its own: which row wins and the order of
  // the rows must never depend on the key a process draws.
  SetHashKeyForTesting(GetParam() * 0x9E3779B97F4A7C15ull, ~std::uint64_t{GetParam()});
  WorkingTables tables;
  SetClassList(tables, {});
  for (const std::string& code : classCodes) {
    if (chance(0.6))
      tables.classList.append(code);
  }
  // A teacher table the user may have edited: duplicates, row 0 filled.
  const int teacherRows = 1 + static_cast<int>(random() % 40);
  tables.teachers.setRowCount(teacherRows);
  for (int t = 0; t < teacherRows; ++t) {
    if (t > 0 && chance(0.2))
      continue;
    tables.teachers.setCell(0, t, pick(names));
    tables.teachers.setCell(
        6, t, chance(0.5) ? pick(classCodes) + "," + pick(classCodes) : pick(classCodes));
    tables.teachers.setCell(7, t, pick(subjects));
  }
  // A few hundred association lines, columns in an unusual order and one
  // name repeated so that the rightmost is the one read.
  Rows groupLines{{kSubjectHeader, kTeacherHeader, "Divers", kClassHeader, kTeacherHeader}};
  for (int i = 0; i < 300; ++i) {
    groupLines.push_back(
        {pick(subjects), pick(names), "x", pick(classCells), chance(0.9) ? pick(names) : ""});
  }
  tables.importGrid = ImportedGrid(groupLines);
  const SubjectOptions options{chance(0.5), false};

  WorkingTables expected = tables;
  ScriptedHost host;
  for (int press = 0; press < 2; ++press) {
    SCOPED_TRACE("step 2, press " + std::to_string(press));
    ASSERT_TRUE(BuildTeacherRows(tables, host, options).done());
    reference::BuildTeacherRows(expected, options);
    ASSERT_EQ(Trimmed(tables.importGrid), Trimmed(expected.importGrid));
    ASSERT_EQ(Trimmed(tables.teachers), Trimmed(expected.teachers));
  }

  Rows mailLines{{"Nom", "Civilit\xE9", "E-mail", "Pr\xE9nom", "NOM"}};
  for (int i = 0; i < 200; ++i) {
    mailLines.push_back({"ignored", pick(civilities), "mail" + std::to_string(i) + "@x.fr",
                         pick(firstNames), pick(lastNames)});
  }
  Rows users;
  for (int i = 0; i < 200; ++i) {
    users.push_back(UserRow(pick(categories), pick(lastNames), pick(firstNames),
                            "Login" + std::to_string(i) + "X", "Pass" + std::to_string(i)));
  }
  for (WorkingTables* t : {&tables, &expected}) {
    t->importGrid = ImportedGrid(mailLines);
    t->users = MakeGrid(users);
  }
  for (int press = 0; press < 2; ++press) {
    SCOPED_TRACE("step 3, press " + std::to_string(press));
    ASSERT_TRUE(CompleteTeacherRows(tables, host).done());
    reference::CompleteTeacherRows(expected);
    ASSERT_EQ(Trimmed(tables.teachers), Trimmed(expected.teachers));
    ASSERT_EQ(tables.randomSeed, expected.randomSeed);
  }
  EXPECT_TRUE(host.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(TeacherRandomTables, TeacherIndexAgreement, ::testing::Range(1u, 21u));

// A new row is filed under the key of its own stored key: "AP AP FRANCAIS"
// is stored as "AP FRANCAIS", which gives "francais", a key not met before.
// Working that key out adds to the very list the stored key lies in, at
// whatever size the subjects before it left the list.
TEST(TeacherGroupStepKeys, AKeyOfAStoredKeyIsWorkedOutWhateverTheKeysBeforeIt) {
  const std::vector<std::string> before = {"MATHS", "ANGLAIS", "ALLEMAND", "SVT",  "Technologie",
                                           "EPS",   "MUSIQUE", "LATIN",    "GREC", "PHYSIQUE"};
  for (std::size_t count = 0; count <= before.size(); ++count) {
    for (const bool mergeAp : {true, false}) {
      SCOPED_TRACE(std::to_string(count) + " subjects before, mergeAp " + std::to_string(mergeAp));
      WorkingTables tables;
      SetClassList(tables, {"5_a"});
      Rows lines{{kTeacherHeader, kClassHeader, kSubjectHeader}};
      for (std::size_t i = 0; i < count; ++i)
        lines.push_back({"DUPONT Jean", "5A", before[i]});
      lines.push_back({"MARTIN Paul", "5A", "AP AP FRANCAIS"});
      tables.importGrid = ImportedGrid(lines);
      WorkingTables expected = tables;
      ScriptedHost host;
      ASSERT_TRUE(BuildTeacherRows(tables, host, {mergeAp, false}).done());
      reference::BuildTeacherRows(expected, {mergeAp, false});
      EXPECT_EQ(Trimmed(tables.teachers), Trimmed(expected.teachers));
    }
  }
}

// "NOM" and 12 give "NOM12".
std::string Numbered(std::string_view prefix, int number) {
  return std::string(prefix).append(std::to_string(number));
}

// Sizes the random tables above never reach: more distinct class codes than
// one row keeps in a word of bits, and more export lines and teacher rows
// than a step takes in one batch.
class TeacherStepsAtScale : public ::testing::Test {
 protected:
  std::size_t below(std::size_t bound) {
    return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random);
  }
  template <typename Pool>
  const std::string& pick(const Pool& pool) {
    return pool[below(pool.size())];
  }

  // Step 3 on this teacher table, export and users table gives the teacher
  // table that the row-by-row searches give.
  void expectStep3AsRowByRow(WorkingTables& tables, const Rows& mailLines, const Rows& users) {
    tables.importGrid = ImportedGrid(mailLines);
    tables.users = MakeGrid(users);
    WorkingTables expected = tables;
    ASSERT_TRUE(CompleteTeacherRows(tables, host).done());
    reference::CompleteTeacherRows(expected);
    EXPECT_EQ(Trimmed(tables.teachers), Trimmed(expected.teachers));
  }

  std::mt19937 random{2024};
  ScriptedHost host;
};

TEST_F(TeacherStepsAtScale, ManyClassCodesAndLinesGiveWhatTheRowByRowSearchGives) {
  WorkingTables tables;
  SetClassList(tables, {});
  // 150 cells 4A1, 5A2, 6A3, 3A4, …, whose codes hold one another as
  // substrings (4_a1 in 4_a13); every seventh is missing from the class list.
  std::vector<std::string> classCells;
  for (int i = 1; i <= 150; ++i) {
    const char level = "3456"[i % 4];
    classCells.push_back(level + Numbered("A", i));
    if (i % 7 != 0)
      tables.classList.append(NormalizeClassCode(level + Numbered("_A", i)));
  }
  // About twenty lines per row: each row meets a score of the classes, most
  // of them once, so that nearly every line leaves its mark.
  std::vector<std::string> teachers;
  for (int i = 0; i < 40; ++i)
    teachers.push_back(Numbered("NOM", i) + Numbered(" Pr\xE9nom", i % 3));
  const std::vector<std::string> subjects = {"MATHS", "ANGLAIS LV1", "AP FRANCAIS"};
  Rows groupLines{{kTeacherHeader, kClassHeader, kSubjectHeader}};
  for (int i = 0; i < 2500; ++i)
    groupLines.push_back({pick(teachers), pick(classCells), pick(subjects)});
  tables.importGrid = ImportedGrid(groupLines);

  WorkingTables expected = tables;
  for (int press = 0; press < 2; ++press) {
    SCOPED_TRACE("press " + std::to_string(press));
    ASSERT_TRUE(BuildTeacherRows(tables, host, {}).done());
    reference::BuildTeacherRows(expected, {});
    ASSERT_EQ(Trimmed(tables.importGrid), Trimmed(expected.importGrid));
    ASSERT_EQ(Trimmed(tables.teachers), Trimmed(expected.teachers));
  }
  // The premise: the rows hold far more distinct codes than 64.
  std::set<std::string, std::less<>> codes;
  for (int row = 0; row < tables.teachers.rowCount(); ++row) {
    std::string_view list = tables.teachers.cell(6, row);
    while (!list.empty()) {
      const std::size_t comma = std::min(list.find(','), list.size());
      codes.emplace(list.substr(0, comma));
      list.remove_prefix(std::min(comma + 1, list.size()));
    }
  }
  EXPECT_GT(codes.size(), 100u);
}

TEST_F(TeacherStepsAtScale, ManyTeacherRowsGiveWhatTheRowByRowSearchesGive) {
  std::vector<std::string> lastNames;
  for (int i = 0; i < 200; ++i)
    lastNames.push_back(Numbered(i % 10 == 0 ? "LE GALL" : "NOM", i));
  const std::vector<std::string> firstNames = {"Jean", "H\xE9l\xE8ne", "Paul", "Zo\xE9", ""};
  Rows mailLines{kMailHeader};
  std::vector<std::string> fullNames;
  for (int i = 0; i < 400; ++i) {
    mailLines.push_back(
        {pick(lastNames), i % 3 == 0 ? "Mme" : "M.", pick(firstNames), Numbered("m", i)});
    fullNames.push_back(mailLines.back()[0] + " " + mailLines.back()[2]);
  }
  // Nearly every row takes a name the export has, so that a row left out
  // anywhere, a batch's first or last included, shows.
  WorkingTables tables;
  tables.teachers.setRowCount(1100);
  for (int row = 1; row < 1100; ++row) {
    tables.teachers.setCell(
        0, row, below(20) == 0 ? pick(lastNames) + " " + pick(firstNames) : pick(fullNames));
    tables.teachers.setCell(6, row, "5_a");
    tables.teachers.setCell(7, row, "math");
  }
  Rows users;
  for (int i = 0; i < 200; ++i) {
    std::string last = pick(lastNames);
    if (i % 2 == 0)
      std::replace(last.begin(), last.end(), ' ', '-');
    users.push_back(UserRow(i % 9 == 0 ? "ELEVE" : "PROF", last, pick(firstNames), Numbered("L", i),
                            Numbered("P", i)));
  }
  expectStep3AsRowByRow(tables, mailLines, users);
}

// An export of thousands of lines cut from a few names with spaces in them:
// most full names recur, and identity chains ("A B C" then "A B" then "A")
// link lines that lie far apart, across the batches the step works in.
TEST_F(TeacherStepsAtScale, ChainsAcrossALongExportGiveWhatTheRowByRowSearchGives) {
  const std::vector<std::string> lastNames = {"A",   "A B",     "A B C",  "B",
                                              "B C", "LE GALL", "Le-Gall"};
  const std::vector<std::string> firstNames = {"B", "C", "B C", "Jean", "", "H\xE9l\xE8ne"};
  Rows mailLines{kMailHeader};
  for (int i = 0; i < 3000; ++i)
    mailLines.push_back(
        {pick(lastNames), i % 4 == 0 ? "Mme" : "M.", pick(firstNames), Numbered("m", i)});
  WorkingTables tables;
  tables.teachers.setRowCount(300);
  for (int row = 1; row < 300; ++row) {
    tables.teachers.setCell(0, row, pick(lastNames) + " " + pick(firstNames));
    tables.teachers.setCell(1, row, pick(firstNames));
  }
  Rows users;
  for (int i = 0; i < 60; ++i)
    users.push_back(
        UserRow("PROF", pick(lastNames), pick(firstNames), Numbered("L", i), Numbered("P", i)));
  expectStep3AsRowByRow(tables, mailLines, users);
}

// A rectorate's export takes seconds to go through; the window must be able
// to repaint meanwhile.
TEST(TeacherStepsOnLongExports, LetTheScreenCatchUp) {
  WorkingTables tables;
  ScriptedHost host;
  Rows groupLines{{kTeacherHeader, kClassHeader, kSubjectHeader}};
  for (int i = 0; i < 20000; ++i)
    groupLines.push_back({Numbered("DUPONT Jean", i % 500), "5A", "MATHS"});
  tables.importGrid = ImportedGrid(groupLines);
  ASSERT_TRUE(BuildTeacherRows(tables, host, {}).done());
  const int afterGroups = host.screenUpdates;
  EXPECT_GT(afterGroups, 0);

  Rows mailLines{kMailHeader};
  for (int i = 0; i < 20000; ++i)
    mailLines.push_back({"DUPONT", "M.", Numbered("Jean", i), "j@d.fr"});
  tables.importGrid = ImportedGrid(mailLines);
  ASSERT_TRUE(CompleteTeacherRows(tables, host).done());
  EXPECT_GT(host.screenUpdates, afterGroups);
}

TEST(UsersStepOnLongExports, LetsTheScreenCatchUp) {
  WorkingTables tables;
  ScriptedHost host;
  Rows lines{{"profil", "nom", "prenom", "x", "login", "y", "mdp"}};
  for (int i = 0; i < 20000; ++i) {
    if (i % 10 == 0)
      lines.push_back({"PROF", Numbered("DUPONT", i), "Jean", "", "j.dupont", "", "pw"});
    else
      lines.push_back({"5A", Numbered("DURAND", i), "Lea", "", "l.durand", "", "pw"});
  }
  tables.users = ImportedGrid(lines);
  BuildStudentsAndClasses(tables, host);
  EXPECT_GE(host.screenUpdates, 20000 / kRowsBetweenRepaints);
  EXPECT_EQ(tables.students.rowCount(),
            1 + 18000 + static_cast<int>(tables.testFirstNames.count()));
  EXPECT_EQ(tables.users.rowCount(), 2000);
}

}  // namespace
}  // namespace passerelle
