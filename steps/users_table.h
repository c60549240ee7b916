#pragma once

#include <string_view>

namespace passerelle {

// The users table's columns, as the users file gives them: step 1 reads the
// students from it, then keeps only the teachers' lines for step 3.
inline constexpr int kUserCategoryCol = 1;  // a class for a student, kTeacherCategory for a teacher
inline constexpr int kUserLastNameCol = 2;
inline constexpr int kUserFirstNameCol = 3;
inline constexpr int kUserLoginCol = 5;
inline constexpr int kUserPasswordCol = 7;

// The students table keeps each student's login in this column, the fourth
// of "eleves.csv"; a later users file skips the students already there.
inline constexpr int kStudentLoginCol = 3;

// The category of a teacher's account, exactly: "prof" is no teacher.
inline constexpr std::string_view kTeacherCategory = "PROF";

}  // namespace passerelle
