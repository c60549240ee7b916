#pragma once

#include <cstdint>

#include "tables/grid.h"
#include "tables/progress_bar.h"
#include "tables/text_list.h"

namespace passerelle {

// The tables and lists every step shares, in the shape the window opens
// with. They live as long as the window; nothing but a re-import or a row
// removal ever clears them, so repeating a step adds to them.
struct WorkingTables {
  Grid StringGrid1{5, 5, 1, 1};  // import grid: the last teacher file loaded
  Grid StringGrid2{8, 1, 0, 0};  // teacher table, shown and editable
  Grid StringGrid3{6, 1, 1, 0};  // student table
  Grid StringGrid4{4, 1, 0, 0};  // class table
  Grid StringGrid5{5, 1, 1, 0};  // users table
  Grid StringGrid6{8, 1, 1, 0};  // rejected-teacher table

  TextList Memo1{"Memo1"};  // raw text of the last file imported
  TextList Memo2{"JULES",  "PIERRE", "PAUL",    "ANNE",  "SOPHIE",   "BOB",      "LUC",
                 "SHAINA", "KATIA",  "CECILIA", "IMANE", "OMAR",     "MAXIME",   "AMEL",
                 "YOUNES", "COLINE", "LAURE",   "ALBAN", "THIBAULT", "MATHILDE", "AMELIE",
                 "TOM",    "LISA",   "YANIS"};  // test first names
  TextList Memo3{"Memo3"};                      // class list: lower-case class codes

  ProgressBar ProgressBar1;

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
