#pragma once

#include <cstdint>

#include "tables/grid.h"
#include "tables/progress_bar.h"
#include "tables/text_list.h"

namespace passerelle {

// The tables and lists every step shares, named by what they hold, in the
// shape the window opens with. They live as long as the window; nothing but
// a re-import, a row removal or "Nouvelle conversion" ever clears them, so
// repeating a step adds to them. The form shows each under the name of its
// component (StringGrid2 for the teacher table, Memo3 for the class list…).
struct WorkingTables {
  Grid importGrid{5, 5, 1, 1};        // the last teacher file loaded, one row per line
  Grid teachers{8, 1, 0, 0};          // shown and editable; becomes profs.csv
  Grid students{6, 1, 1, 0};          // becomes eleves.csv
  Grid classes{4, 1, 0, 0};           // becomes classes.csv
  Grid users{5, 1, 1, 0};             // the users file; its teacher lines after step 1
  Grid rejectedTeachers{8, 1, 1, 0};  // teachers without a login: "2profs invalides.csv"

  // The memos open with their own names as text, as the form was drawn.
  TextList rawText{"Memo1"};  // raw text of the last file imported
  TextList testFirstNames{"JULES",    "PIERRE",   "PAUL",   "ANNE",    "SOPHIE", "BOB",
                          "LUC",      "SHAINA",   "KATIA",  "CECILIA", "IMANE",  "OMAR",
                          "MAXIME",   "AMEL",     "YOUNES", "COLINE",  "LAURE",  "ALBAN",
                          "THIBAULT", "MATHILDE", "AMELIE", "TOM",     "LISA",   "YANIS"};
  TextList classList{"Memo3"};  // lower-case class codes, from the class table

  ProgressBar loadProgress;  // of the file being loaded

  // The one random sequence of the run; never reseeded.
  std::uint32_t randomSeed = 0;

  // The test students, the test class and the test teacher go into the
  // tables once per run, however often their step is repeated.
  bool testStudentsAdded = false;
  // Where the test students start in the student table (0 until added):
  // every other row below row 0 came from a users file.
  int testStudentsRow = 0;
  bool testClassAdded = false;
  bool testTeacherAdded = false;
};

}  // namespace passerelle
