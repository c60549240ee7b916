// Steps 2 and 3 and "Sauver Profs": the teacher table from the teacher-group
// export, its completion from the e-mail export and the users table, and its
// saving.
//
// At heart each step is a row-by-row search (every import row against every
// teacher row, every teacher row against every users row). A rectorate export
// has millions of lines, so each search below goes through a hash index built
// once per step, arranged so that it finds the same rows, in the same order,
// with the same winner when several match, as the plain search would.

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "steps/steps.h"
#include "tables/csv_export.h"
#include "tables/delimited_import.h"

namespace passerelle {

namespace {

// Teacher table columns (same layout in the rejected-teacher table).
constexpr int kLastNameCol = 0;
constexpr int kFirstNameCol = 1;
constexpr int kCivilityCol = 2;
constexpr int kEmailCol = 3;
constexpr int kLoginCol = 4;
constexpr int kPasswordCol = 5;
constexpr int kClassCodesCol = 6;
constexpr int kSubjectKeyCol = 7;
constexpr int kTeacherColumnCount = 8;

constexpr std::array<std::string_view, kTeacherColumnCount> kTeacherColumnNames = {
    "last_name", "first_name", "civility_name",   "email",
    "login",     "pwd_vesta",  "level_key_names", "topic_key_name"};

// Users table columns, as step 1 leaves it.
constexpr int kUserCategoryCol = 1;
constexpr int kUserLastNameCol = 2;
constexpr int kUserFirstNameCol = 3;
constexpr int kUserLoginCol = 5;
constexpr int kUserPasswordCol = 7;
constexpr std::string_view kTeacherCategory = "PROF";

// Two texts used together as one key: (name, subject key) in step 2,
// (folded last name, folded first name) in step 3.
using TextPair = std::pair<std::string, std::string>;

struct TextPairHash {
  std::size_t operator()(const TextPair& key) const noexcept {
    const std::size_t first = std::hash<std::string>{}(key.first);
    const std::size_t second = std::hash<std::string>{}(key.second);
    return first ^ (second + 0x9E3779B97F4A7C15ull + (first << 6) + (first >> 2));
  }
};

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

// The exports' columns are found by name in row 0. Exports carry the same
// name twice now and then, and the rightmost column has always been the one
// that counts. -1 when no cell carries any of the names.
int FindColumn(const Grid& grid, std::initializer_list<std::string_view> names) {
  for (int col = grid.colCount() - 1; col >= 0; --col) {
    const std::string_view cell = grid.cell(col, 0);
    if (std::find(names.begin(), names.end(), cell) != names.end())
      return col;
  }
  return -1;
}

// A teacher table the user has narrowed must still take all eight columns.
void EnsureTeacherColumns(Grid& grid) {
  if (grid.colCount() < kTeacherColumnCount)
    grid.setColCount(kTeacherColumnCount);
}

// ---------------------------------------------------------------------------
// Step 2: teacher rows from the teacher-group export.

struct TeacherGroupColumns {
  int teacher;
  int classGroup;
  int subject;
};

std::optional<TeacherGroupColumns> LocateTeacherGroupColumns(const Grid& import,
                                                             ToolkitPort& port) {
  const int teacher = FindColumn(import, {"Professeur"});
  if (teacher < 0) {
    port.showMessage("Format de fichier incorrect:pas de professeur");
    return std::nullopt;
  }
  const int classGroup = FindColumn(import, {"Classe > Groupe"});
  if (classGroup < 0) {
    port.showMessage("Format de fichier incorrect: pas de classes");
    return std::nullopt;
  }
  const int subject = FindColumn(import, {"Mati\xE8re/Sous-mati\xE8re"});
  if (subject < 0) {
    port.showMessage("Format de fichier incorrect: pas de mati\xE8res");
    return std::nullopt;
  }
  return TeacherGroupColumns{teacher, classGroup, subject};
}

// The export writes classes as 5A; the class list has 5_a. The "_" goes in
// before the second character of every class cell, left in the import grid
// for the user to see. Row 0 holds the column names and is left alone.
void InsertLevelUnderscores(Grid& import, int classCol) {
  for (int row = 1; row < import.rowCount(); ++row) {
    std::string cell(import.cell(classCol, row));
    cell.insert(cell.empty() ? 0 : 1, 1, '_');
    import.setCell(classCol, row, cell);
  }
}

bool HasCollegeLevel(const std::string& levelText) {
  return !levelText.empty() && levelText.front() >= '3' && levelText.front() <= '6';
}

// Column 6 of one teacher row while the step works on it: the joined class
// codes, and the codes already known to occur in it.
//
// Containment is a substring test on purpose (a list holding 5_a1 counts as
// holding 5_a). The text only ever grows by appending, so a code found once
// stays found; and a known code not found is appended at once, after which it
// is found too. Each distinct code is therefore searched for at most once per
// row, however many import lines repeat it.
class ClassCodeList {
 public:
  explicit ClassCodeList(std::string text, bool changed = false)
      : text_(std::move(text)), changed_(changed) {}

  bool contains(const std::string& code) {
    // An empty code is found nowhere, whatever the list holds.
    if (code.empty())
      return false;
    if (found_.contains(code))
      return true;
    if (text_.find(code) == std::string::npos)
      return false;
    found_.insert(code);
    return true;
  }

  void append(const std::string& code) {
    text_.push_back(',');
    text_.append(code);
    found_.insert(code);
    changed_ = true;
  }

  const std::string& text() const { return text_; }
  bool changed() const { return changed_; }

 private:
  std::string text_;
  std::unordered_set<std::string> found_;
  bool changed_;
};

// The teacher table seen from step 2: every row, row 0 and rows added by this
// run included, filed under its column 0 and the subject key of its column 7.
// A lookup gives the matching rows in table order, as a scan from row 0 would.
class TeacherRowBuilder {
 public:
  TeacherRowBuilder(Grid& teachers, const TextList& classList, SubjectOptions options)
      : teachers_(teachers), knownClasses_(classList), options_(options) {
    const int rows = teachers_.rowCount();
    rowsByTeacherAndSubject_.reserve(static_cast<std::size_t>(rows));
    for (int row = 0; row < rows; ++row)
      file(row);
  }

  // One association of the export: a teacher, a class cell that passed the
  // level test, and the subject key.
  void add(const std::string& teacherName, std::string subjectKey, const std::string& classCell) {
    TextPair key{teacherName, std::move(subjectKey)};
    const auto rows = rowsByTeacherAndSubject_.find(key);
    const std::string classCode = NormalizeClassCode(classCell);
    if (rows == rowsByTeacherAndSubject_.end()) {
      addRow(key.first, key.second, classCode);
      return;
    }
    // Only known classes are appended: a group code would mean nothing to
    // the platform. Several rows may share the name and key (the user can
    // edit the table); each is completed according to its own list.
    if (!knownClasses_.contains(classCode))
      return;
    for (int row : rows->second) {
      ClassCodeList& classes = classCodesOf(row);
      if (!classes.contains(classCode))
        classes.append(classCode);
    }
  }

  // Column 6 is written once, at the end, rather than on every append.
  void writeClassCodes() {
    for (auto& [row, classes] : classCodesByRow_) {
      if (classes.changed())
        teachers_.setCell(kClassCodesCol, row, classes.text());
    }
  }

 private:
  // The first class of a new row is kept whether the class list knows it or
  // not: it may be the teacher's only group.
  void addRow(const std::string& teacherName, const std::string& subjectKey,
              const std::string& classCode) {
    const int row = teachers_.appendRow();
    teachers_.setCell(kLastNameCol, row, teacherName);
    teachers_.setCell(kSubjectKeyCol, row, subjectKey);
    classCodesByRow_.emplace(row, ClassCodeList(classCode, true));
    file(row);
  }

  // Rows are compared on the subject key of their column 7, not on the text
  // itself: a label no rule knows (such as "AP FRANCAIS" left by "AP AP
  // FRANCAIS") is stored as it came, yet keyed as its own normal form.
  void file(int row) {
    TextPair key{std::string(teachers_.cell(kLastNameCol, row)),
                 NormalizeSubject(std::string(teachers_.cell(kSubjectKeyCol, row)), options_)};
    rowsByTeacherAndSubject_[std::move(key)].push_back(row);
  }

  ClassCodeList& classCodesOf(int row) {
    auto found = classCodesByRow_.find(row);
    if (found == classCodesByRow_.end()) {
      found = classCodesByRow_
                  .emplace(row, ClassCodeList(std::string(teachers_.cell(kClassCodesCol, row))))
                  .first;
    }
    return found->second;
  }

  Grid& teachers_;
  KnownClassIndex knownClasses_;
  SubjectOptions options_;
  std::unordered_map<TextPair, std::vector<int>, TextPairHash> rowsByTeacherAndSubject_;
  std::unordered_map<int, ClassCodeList> classCodesByRow_;
};

// Row 0 takes part like any other; its class cell is the column name, which
// never passes the level test.
void AddAssociations(const Grid& import, const TeacherGroupColumns& columns,
                     TeacherRowBuilder& builder, SubjectOptions options) {
  for (int row = 0; row < import.rowCount(); ++row) {
    const std::string classCell(import.cell(columns.classGroup, row));
    // The level test runs on the class cell after the subject rules, so a
    // class label that the rules turn into a subject key ("latin") is out.
    if (!HasCollegeLevel(NormalizeSubject(classCell, options)))
      continue;
    builder.add(std::string(import.cell(columns.teacher, row)),
                NormalizeSubject(std::string(import.cell(columns.subject, row)), options),
                classCell);
  }
}

// ---------------------------------------------------------------------------
// Step 3: identities from the e-mail export, accounts from the users table.

struct MailColumns {
  int lastName;
  int civility;
  int firstName;
  int email;
};

std::optional<MailColumns> LocateMailColumns(const Grid& import, ToolkitPort& port) {
  const int lastName = FindColumn(import, {"Nom", "NOM"});
  if (lastName < 0) {
    port.showMessage("Format de fichier incorrect:pas de nom");
    return std::nullopt;
  }
  const int civility = FindColumn(import, {"Civilit\xE9", "CIVILITE"});
  if (civility < 0) {
    port.showMessage("Format de fichier incorrect: pas de civilit\xE9");
    return std::nullopt;
  }
  const int firstName = FindColumn(import, {"Pr\xE9nom", "PRENOM"});
  if (firstName < 0) {
    port.showMessage("Format de fichier incorrect: pas de Prenom");
    return std::nullopt;
  }
  const int email = FindColumn(import, {"E-mail", "EMAIL"});
  if (email < 0) {
    port.showMessage("Format de fichier incorrect: pas d email");
    return std::nullopt;
  }
  return MailColumns{lastName, civility, firstName, email};
}

// Step 2 keeps the teacher's name as the teacher-group export writes it,
// "LAST First"; the e-mail export has the two apart.
std::string FullName(const Grid& import, const MailColumns& columns, int row) {
  std::string name(import.cell(columns.lastName, row));
  name.push_back(' ');
  name.append(import.cell(columns.firstName, row));
  return name;
}

// The export line whose identity a teacher row ends up with, or -1.
//
// Each teacher row meets the export lines in order, and a match replaces its
// column 0 by the line's last name, which the following lines are then
// compared with. So the row's story is a chain: the first line at or after
// the current position whose full name equals the current column 0, then the
// first line after that one whose full name equals that line's last name,
// and so on. Every match overwrites the same four cells, so only the chain's
// last line matters. A chain link shortens column 0 by at least " " plus a
// first name, so chains are as short as the names are.
int LastIdentityMatch(std::string name, const Grid& import, const MailColumns& columns,
                      const std::unordered_map<std::string, std::vector<int>>& rowsByFullName) {
  int matched = -1;
  int next = 1;
  for (;;) {
    const auto rows = rowsByFullName.find(name);
    if (rows == rowsByFullName.end())
      break;
    const auto at = std::lower_bound(rows->second.begin(), rows->second.end(), next);
    if (at == rows->second.end())
      break;
    matched = *at;
    next = matched + 1;
    name = std::string(import.cell(columns.lastName, matched));
  }
  return matched;
}

void ApplyIdentities(Grid& teachers, const Grid& import, const MailColumns& columns) {
  std::unordered_map<std::string, std::vector<int>> importRowsByFullName;
  importRowsByFullName.reserve(static_cast<std::size_t>(import.rowCount()));
  for (int row = 1; row < import.rowCount(); ++row) {
    importRowsByFullName[FullName(import, columns, row)].push_back(row);
  }
  for (int row = 0; row < teachers.rowCount(); ++row) {
    const int line = LastIdentityMatch(std::string(teachers.cell(kLastNameCol, row)), import,
                                       columns, importRowsByFullName);
    if (line < 0)
      continue;
    teachers.setCell(kEmailCol, row, import.cell(columns.email, line));
    teachers.setCell(kLastNameCol, row, import.cell(columns.lastName, line));
    teachers.setCell(kFirstNameCol, row, import.cell(columns.firstName, line));
    teachers.setCell(kCivilityCol, row,
                     import.cell(columns.civility, line) == "Mme" ? "Madame" : "Monsieur");
  }
}

// The users file and PRONOTE spell names differently (accents, hyphens,
// case), so accounts are matched on folded names. When several "PROF" rows
// fold alike, the last one in the users table supplies the account.
void ApplyAccounts(Grid& teachers, const Grid& users) {
  std::unordered_map<TextPair, int, TextPairHash> lastUsersRowByFoldedName;
  for (int row = 0; row < users.rowCount(); ++row) {
    if (users.cell(kUserCategoryCol, row) != kTeacherCategory)
      continue;
    lastUsersRowByFoldedName[{FoldName(std::string(users.cell(kUserLastNameCol, row))),
                              FoldName(std::string(users.cell(kUserFirstNameCol, row)))}] = row;
  }
  if (lastUsersRowByFoldedName.empty())
    return;
  for (int row = 0; row < teachers.rowCount(); ++row) {
    const auto account =
        lastUsersRowByFoldedName.find({FoldName(std::string(teachers.cell(kLastNameCol, row))),
                                       FoldName(std::string(teachers.cell(kFirstNameCol, row)))});
    if (account == lastUsersRowByFoldedName.end())
      continue;
    teachers.setCell(kLoginCol, row, AsciiLower(users.cell(kUserLoginCol, account->second)));
    teachers.setCell(kPasswordCol, row, users.cell(kUserPasswordCol, account->second));
  }
}

void WriteTeacherColumnNames(Grid& grid) {
  for (int col = 0; col < kTeacherColumnCount; ++col) {
    grid.setCell(col, 0, kTeacherColumnNames[static_cast<std::size_t>(col)]);
  }
}

void AppendDrawn(std::string& text, int count, std::uint32_t& seed) {
  for (int i = 0; i < count; ++i)
    text.push_back(RandomAlnum(seed));
}

// A teacher account to try the platform with. Its address must never reach
// anyone: "zz" is no country's code.
void AddTestTeacherOnce(WorkingTables& tables) {
  if (tables.testTeacherAdded)
    return;
  std::string address = "bidon";
  AppendDrawn(address, 4, tables.randomSeed);
  address.append("@test");
  AppendDrawn(address, 1, tables.randomSeed);
  address.append(".zz");

  const std::array<std::string_view, kTeacherColumnCount> testTeacher = {
      "prof", "test", "Monsieur", address, "prof1", "kiwo47", "6_test", "anglais"};
  Grid& teachers = tables.StringGrid2;
  const int row = teachers.appendRow();
  for (int col = 0; col < kTeacherColumnCount; ++col) {
    teachers.setCell(col, row, testTeacher[static_cast<std::size_t>(col)]);
  }
  tables.testTeacherAdded = true;
}

// ---------------------------------------------------------------------------
// Saving teachers.

// A stand-in address for a teacher PRONOTE has none for, so that the
// platform accepts the account; the "zz" domain keeps it from reaching
// anyone.
std::string GeneratedAddress(std::uint32_t& seed) {
  std::string address;
  AppendDrawn(address, 8, seed);
  address.append("@x");
  AppendDrawn(address, 3, seed);
  address.append(".zz");
  return address;
}

// Teachers without a login cannot be imported: they go to the rejected table
// for the administrator to follow up. Rows are decided top to bottom and
// removed in one pass at the end; addresses are drawn only for rows that
// stay, in table order, so the random sequence is the same as if each
// rejected row had been removed on the spot.
void SortOutTeacherRows(WorkingTables& tables, bool generateAddresses) {
  Grid& teachers = tables.StringGrid2;
  Grid& rejected = tables.StringGrid6;
  std::vector<int> keptRows{0};
  keptRows.reserve(static_cast<std::size_t>(teachers.rowCount()));
  for (int row = 1; row < teachers.rowCount(); ++row) {
    if (teachers.cell(kLoginCol, row).empty()) {
      const int target = rejected.appendRow();
      for (int col = 0; col < kTeacherColumnCount; ++col) {
        rejected.setCell(col, target, teachers.cell(col, row));
      }
      continue;
    }
    keptRows.push_back(row);
    if (generateAddresses && teachers.cell(kEmailCol, row).empty()) {
      teachers.setCell(kEmailCol, row, GeneratedAddress(tables.randomSeed));
    }
  }
  if (static_cast<int>(keptRows.size()) != teachers.rowCount())
    teachers.keepRows(keptRows);
}

void CopyColumnNames(const Grid& from, Grid& to) {
  for (int col = 0; col < kTeacherColumnCount; ++col) {
    to.setCell(col, 0, std::string(from.cell(col, 0)));
  }
}

}  // namespace

bool BuildTeacherRows(WorkingTables& tables, ToolkitPort& port, SubjectOptions options) {
  Grid& import = tables.StringGrid1;
  const std::optional<TeacherGroupColumns> columns = LocateTeacherGroupColumns(import, port);
  if (!columns)
    return false;

  InsertLevelUnderscores(import, columns->classGroup);
  EnsureTeacherColumns(tables.StringGrid2);
  TeacherRowBuilder builder(tables.StringGrid2, tables.Memo3, options);
  AddAssociations(import, *columns, builder, options);
  builder.writeClassCodes();
  FitGridColumns(tables.StringGrid2, port);
  return true;
}

bool CompleteTeacherRows(WorkingTables& tables, ToolkitPort& port) {
  const std::optional<MailColumns> columns = LocateMailColumns(tables.StringGrid1, port);
  if (!columns)
    return false;

  Grid& teachers = tables.StringGrid2;
  EnsureTeacherColumns(teachers);
  ApplyIdentities(teachers, tables.StringGrid1, *columns);
  ApplyAccounts(teachers, tables.StringGrid5);
  WriteTeacherColumnNames(teachers);
  AddTestTeacherOnce(tables);
  FitGridColumns(teachers, port);
  return true;
}

void SaveTeachers(WorkingTables& tables, ToolkitPort& port, bool generateAddresses,
                  const std::filesystem::path& folder) {
  // A folder that cannot be made is reported and the command goes on: the
  // write below then fails with the file error the user needs to see.
  EnsureOutputFolder(folder, port);
  EnsureTeacherColumns(tables.StringGrid2);
  EnsureTeacherColumns(tables.StringGrid6);
  SortOutTeacherRows(tables, generateAddresses);
  CopyColumnNames(tables.StringGrid2, tables.StringGrid6);
  SaveGridAsCsv(tables.StringGrid2, folder / "profs.csv");
  SaveGridAsCsv(tables.StringGrid6, folder / "2profs invalides.csv");
  port.showMessage(kSavedMessage);
}

}  // namespace passerelle
