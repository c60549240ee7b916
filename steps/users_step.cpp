#include <string>
#include <unordered_set>
#include <vector>

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
    const std::string_view login = students.cell(3, r);
    if (!login.empty())
      logins.emplace(login);
  }
  return logins;
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
  for (int r = 1; r < users.rowCount(); ++r) {
    pacer.rowDone();
    const std::string_view category = users.cell(kUserCategoryCol, r);
    if (!IsStudentCategory(category))
      continue;
    ++read.studentLines;
    const std::string code = StudentClassCode(category);
    const std::string login = AsciiLowerCase(users.cell(kUserLoginCol, r));
    if (!login.empty() && earlierLogins.contains(login)) {
      ++read.studentsAlreadyThere;
    } else {
      const std::string_view student[] = {code, users.cell(kUserLastNameCol, r),
                                          users.cell(kUserFirstNameCol, r), login,
                                          users.cell(kUserPasswordCol, r)};
      // The names and the password stay where the users file holds them: a
      // big file's students then cost a few bytes each instead of a copy.
      tables.students.setRowTextsFrom(tables.students.appendRow(), student, users, r);
    }
    if (knownCodes.insert(code).second) {
      const std::string classRow[] = {code.substr(2), code.substr(0, 1), "0"};
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
    if (users.cell(kUserCategoryCol, r) == kTeacherCategory)
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
