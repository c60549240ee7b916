#include <algorithm>
#include <string>
#include <unordered_set>
#include <vector>

#include "steps/hash_index.h"
#include "steps/screen_pacer.h"
#include "steps/steps.h"
#include "steps/users_table.h"
#include "tables/keyed_hash.h"

namespace passerelle {

namespace {

constexpr std::string_view kTestStudentClass = "6_test";
constexpr std::string_view kTestStudentLastName = "eleve";
constexpr std::string_view kTestStudentPassword = "604817";

// Student lines carry their class in field 1, starting with a level digit.
bool IsStudentCategory(std::string_view category) {
  return !category.empty() && category[0] >= '3' && category[0] <= '6';
}

// The lower-case code of a finished class row: level, "_", name.
std::string ClassCodeOfRow(const Grid& classes, int row) {
  std::string code(classes.cell(1, row));
  code.push_back('_');
  code.append(classes.cell(0, row));
  return code;
}

// 5A becomes 5_a: "_" goes before the second character, whatever it is,
// and the code is kept in lower case.
//
// The code is built here rather than written back into the users table:
// every student line leaves that table at the end of the step anyway, and
// rewriting a million cells one by one cost more than the rest of the step.
std::string StudentClassCode(std::string_view category) {
  std::string code;
  code.reserve(category.size() + 1);
  code.append(category.substr(0, 1));
  code.push_back('_');
  code.append(category.substr(1));
  return AsciiLowerCase(code);
}

void AppendStudentRow(Grid& students, std::span<const std::string_view> cells) {
  students.setRowTexts(students.appendRow(), cells);
}

// The logins of the student rows that earlier users files gave, the test
// students left out. Empty on the first file, which is the only one a big
// import usually has: the set costs nothing then.
// (Copies, not views: appending student rows may move the table's store.)
std::unordered_set<std::string, KeyedTextHash, std::equal_to<>> LoginsOfEarlierFiles(
    const WorkingTables& tables) {
  std::unordered_set<std::string, KeyedTextHash, std::equal_to<>> logins;
  const Grid& students = tables.students;
  const int testFirst = tables.testStudentsRow;
  const int testEnd =
      testFirst == 0 ? 0 : testFirst + static_cast<int>(tables.testFirstNames.count());
  for (int r = 1; r < students.rowCount(); ++r) {
    if (r >= testFirst && r < testEnd)
      continue;
    const std::string_view login = students.cell(kStudentLoginCol, r);
    if (!login.empty())
      logins.emplace(login);
  }
  return logins;
}

// A login as the students table keeps it: in lower case. A login already in
// lower case is given as it lies in the users line, which the student row
// then borrows instead of copying; the others are lowered into `lowered`.
std::string_view LowerCaseLogin(std::string_view login, std::string& lowered) {
  const auto capital =
      std::find_if(login.begin(), login.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
  if (capital == login.end())
    return login;
  AssignAsciiLowerCase(login, lowered);
  return lowered;
}

// Classes are told apart by their lower-case code, so 5A and 5a, or a class
// met again in a later users file, make one class row.
//
// The same users file loaded twice, or two exports that overlap, must not
// give a student two accounts: a line whose login an earlier file's student
// already has adds no row. Lines of one file are all kept, as the file says.
void AppendStudentsAndClasses(WorkingTables& tables, ScreenPacer& pacer, UsersFileRead& read) {
  Grid& users = tables.users;
  Grid& classes = tables.classes;
  std::unordered_set<std::string, KeyedTextHash, std::equal_to<>> knownCodes;
  for (int r = 1; r < classes.rowCount(); ++r)
    knownCodes.insert(ClassCodeOfRow(classes, r));
  const auto earlierLogins = LoginsOfEarlierFiles(tables);

  // At most one student per users line: the student list is made once, and
  // their rows, a few dozen bytes each, go into one block.
  tables.students.reserveRows(tables.students.rowCount() + users.rowCount());
  tables.students.reserveRowBytes(std::size_t{64} * static_cast<std::size_t>(users.rowCount()));
  // The class code of a category is worked out once per category met, not
  // once per student; only a code worked out anew can be a class not yet
  // known.
  RecentTexts<std::string> classCodes;
  std::string lowered;
  for (int r = 1; r < users.rowCount(); ++r) {
    pacer.rowDone();
    const Grid::StoredCells cells = users.storedCells(r);
    const std::string_view category = cells.at(kUserCategoryCol);
    if (!IsStudentCategory(category))
      continue;
    ++read.studentLines;
    const std::string* const recentCode = classCodes.find(category);
    const bool newCode = recentCode == nullptr;
    const std::string_view code =
        newCode ? classCodes.keep(category, StudentClassCode(category)) : *recentCode;
    const std::string_view login = LowerCaseLogin(cells.at(kUserLoginCol), lowered);
    if (!login.empty() && !earlierLogins.empty() && earlierLogins.contains(login)) {
      ++read.studentsAlreadyThere;
    } else {
      const std::string_view student[] = {code, cells.at(kUserLastNameCol),
                                          cells.at(kUserFirstNameCol), login,
                                          cells.at(kUserPasswordCol)};
      // The names, the password and most logins stay where the users file
      // holds them: a big file's students then cost a few bytes each
      // instead of a copy.
      tables.students.setRowTextsFrom(tables.students.appendRow(), student, users, r);
    }
    if (newCode && knownCodes.emplace(code).second) {
      const std::string_view classRow[] = {code.substr(2), code.substr(0, 1), "0"};
      classes.setRowTexts(classes.appendRow(), classRow);
    }
  }
}

void AppendTestStudents(WorkingTables& tables) {
  if (tables.testStudentsAdded)
    return;
  tables.testStudentsRow = tables.students.rowCount();
  for (std::size_t i = 0; i < tables.testFirstNames.count(); ++i) {
    const std::string_view firstName = tables.testFirstNames.line(i);
    const std::string login = AsciiLowerCase(firstName);
    const std::string_view student[] = {kTestStudentClass, kTestStudentLastName, firstName, login,
                                        kTestStudentPassword};
    AppendStudentRow(tables.students, student);
  }
  tables.testStudentsAdded = true;
}

// Only the teacher accounts stay; a file without any keeps its first line.
// Returns how many there are.
int KeepTeacherLines(Grid& users, ScreenPacer& pacer) {
  std::vector<int> teacherRows;
  for (int r = 0; r < users.rowCount(); ++r) {
    pacer.rowDone();
    if (users.storedCells(r).at(kUserCategoryCol) == kTeacherCategory)
      teacherRows.push_back(r);
  }
  const int teachers = static_cast<int>(teacherRows.size());
  if (teacherRows.empty())
    teacherRows.push_back(0);
  users.keepRows(teacherRows);
  return teachers;
}

void RebuildClassList(WorkingTables& tables) {
  tables.classList.clear();
  for (int r = 1; r < tables.classes.rowCount(); ++r) {
    tables.classList.append(ClassCodeOfRow(tables.classes, r));
  }
}

void WriteStudentColumnNames(Grid& students) {
  const std::string names[] = {"level_key_names", "last_name", "first_name",
                               "login",           "pwd_vesta", "civility_name"};
  students.setRowTexts(0, names);
}

}  // namespace

UsersFileRead BuildStudentsAndClasses(WorkingTables& tables, ToolkitPort& port) {
  ScreenPacer pacer(port);
  UsersFileRead read;
  AppendStudentsAndClasses(tables, pacer, read);
  AppendTestStudents(tables);
  read.teacherLines = KeepTeacherLines(tables.users, pacer);
  RebuildClassList(tables);
  WriteStudentColumnNames(tables.students);
  read.classes = tables.classes.rowCount() - 1 - (tables.testClassAdded ? 1 : 0);
  return read;
}

}  // namespace passerelle
