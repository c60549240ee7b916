#pragma once

#include <array>
#include <string_view>

#include "tables/grid.h"

namespace passerelle {

// The teacher table's columns, which the rejected-teacher table shares: what
// step 2 builds, step 3 completes and "Sauver Profs" writes as profs.csv.
// Row 0 holds the column names once step 3 has run.
inline constexpr int kTeacherLastNameCol = 0;  // step 2: "LAST First" from the export
inline constexpr int kTeacherFirstNameCol = 1;
inline constexpr int kTeacherCivilityCol = 2;
inline constexpr int kTeacherEmailCol = 3;
inline constexpr int kTeacherLoginCol = 4;
inline constexpr int kTeacherPasswordCol = 5;
inline constexpr int kTeacherClassCodesCol = 6;  // class codes joined by ","
inline constexpr int kTeacherSubjectKeyCol = 7;
inline constexpr int kTeacherColumnCount = 8;

inline constexpr std::array<std::string_view, kTeacherColumnCount> kTeacherColumnNames = {
    "last_name", "first_name", "civility_name",   "email",
    "login",     "pwd_vesta",  "level_key_names", "topic_key_name"};

// A teacher table the user has narrowed must still take all eight columns.
inline void EnsureTeacherColumns(Grid& grid) {
  if (grid.colCount() < kTeacherColumnCount)
    grid.setColCount(kTeacherColumnCount);
}

}  // namespace passerelle
