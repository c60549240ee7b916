#pragma once

#include <filesystem>
#include <optional>

#include "rules/rules.h"
#include "steps/step_outcome.h"
#include "steps/working_state.h"
#include "tables/toolkit_port.h"

namespace passerelle {

// The closing message of both saving commands.
inline constexpr std::string_view kSavedMessage =
    " sauvegardes termin\xE9"
    "es";

// What step 1 found in the users file it was given.
struct UsersFileRead {
  int studentLines = 0;  // student lines after the first line
  // Student lines not appended: a student row of an earlier users file has
  // their login already.
  int studentsAlreadyThere = 0;
  int teacherLines = 0;  // "PROF" lines, kept in the users table
  int classes = 0;       // classes of the class table, the test class left out

  // Neither a student nor a teacher: not a users file at all.
  bool holdsNoAccount() const { return studentLines == 0 && teacherLines == 0; }
};

// Step 1, after the users file is loaded into the users table: appends each
// student to the student table with the class code its category gives (5A
// becomes 5_a; a student whose login a row of an earlier users file already
// has is not appended twice), new classes to the class table, rebuilds the
// class list from the whole class table, adds the test students once per
// run, keeps only the teacher lines of the users table and writes the
// student column names. The screen may repaint during the long loops.
UsersFileRead BuildStudentsAndClasses(WorkingTables& tables, ToolkitPort& port);

// Step 2, after the teacher-group export is loaded into the import grid: one
// teacher row per teacher and subject key with its class codes. Stops on a
// missing column, with the "Format de fichier incorrect" message to show,
// and the tables then unchanged.
StepOutcome BuildTeacherRows(WorkingTables& tables, ToolkitPort& port, SubjectOptions options);

// Step 3, after the e-mail export is loaded into the import grid: names,
// civility, e-mail, then login and password from the users table; column
// names in row 0 and the test teacher once per run. Stops on a missing
// column, as step 2 does.
StepOutcome CompleteTeacherRows(WorkingTables& tables, ToolkitPort& port);

// The folder "fichiers" beside the last chosen file, or in the current
// directory when no file was ever chosen.
std::filesystem::path OutputFolder(const std::optional<std::filesystem::path>& lastChosenFile);

// Creates `folder` when it is not an existing folder; on failure shows
// "Directory creation failed with error %d" and carries on.
void EnsureOutputFolder(const std::filesystem::path& folder, ToolkitPort& port);

// "Sauver classes et eleves": class column names and the test class (once
// per run), then classes.csv and eleves.csv in `folder`.
void SaveClassesAndStudents(WorkingTables& tables, ToolkitPort& port,
                            const std::filesystem::path& folder);

// "Sauver Profs": rows without login go to the rejected-teacher table,
// missing e-mail addresses are generated when asked, then profs.csv and
// "2profs invalides.csv" in `folder`.
void SaveTeachers(WorkingTables& tables, ToolkitPort& port, bool generateAddresses,
                  const std::filesystem::path& folder);

}  // namespace passerelle
