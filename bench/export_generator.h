#pragma once

#include <cstdint>
#include <filesystem>

namespace passerelle::bench {

// The three exports of one invented collège, written as the school's tools
// write them: Windows-1252, ";" separated, CR LF line ends.
struct GeneratedExports {
  std::filesystem::path users;   // header, then `usersLines` accounts, ~5 % "PROF"
  std::filesystem::path groups;  // teacher-group export, usersLines / 2 lines
  std::filesystem::path mails;   // teacher e-mail export, usersLines / 20 lines
  std::uintmax_t usersBytes = 0;
  std::uintmax_t groupsBytes = 0;
  std::uintmax_t mailsBytes = 0;

  std::uintmax_t totalBytes() const { return usersBytes + groupsBytes + mailsBytes; }
};

// Writes the three files into `folder` (which must exist). The same size
// always gives the same bytes, so two runs time the same work.
//
// The teachers of the exports are one population: every "Professeur" text of
// the teacher-group export is NOM + " " + PRENOM of a line of the e-mail
// export, and all but about 3 % of them have a "PROF" account whose names
// fold to the same key (double names are sometimes written with a space in
// one file and a hyphen in the other). About 4 % have no e-mail address.
GeneratedExports GenerateExports(const std::filesystem::path& folder, std::int64_t usersLines);

}  // namespace passerelle::bench
