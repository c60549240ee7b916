// "Sauver Profs": the teachers without a login move to the rejected-teacher
// table, the others get a stand-in address when asked, and both tables are
// written as profs.csv and "2profs invalides.csv". Behaviour only.

#include <cstdint>
#include <string>
#include <vector>

#include "steps/steps.h"
#include "steps/teacher_table.h"
#include "tables/csv_export.h"

namespace passerelle {

namespace {

// A stand-in address for a teacher PRONOTE has none for, so that the
// platform accepts the account; the "zz" domain keeps it from reaching
// anyone.
std::string GeneratedAddress(std::uint32_t& seed) {
  std::string address;
  AppendRandomAlnum(address, 8, seed);
  address.append("@x");
  AppendRandomAlnum(address, 3, seed);
  address.append(".zz");
  return address;
}

// Teachers without a login cannot be imported: they go to the rejected table
// for the administrator to follow up. Rows are decided top to bottom and
// removed in one pass at the end; addresses are drawn only for rows that
// stay, in table order, so the random sequence is the same as if each
// rejected row had been removed on the spot.
void SortOutTeacherRows(WorkingTables& tables, bool generateAddresses) {
  Grid& teachers = tables.teachers;
  Grid& rejected = tables.rejectedTeachers;
  std::vector<int> keptRows{0};
  keptRows.reserve(static_cast<std::size_t>(teachers.rowCount()));
  for (int row = 1; row < teachers.rowCount(); ++row) {
    if (teachers.cell(kTeacherLoginCol, row).empty()) {
      const int target = rejected.appendRow();
      for (int col = 0; col < kTeacherColumnCount; ++col) {
        rejected.setCell(col, target, teachers.cell(col, row));
      }
      continue;
    }
    keptRows.push_back(row);
    if (generateAddresses && teachers.cell(kTeacherEmailCol, row).empty()) {
      teachers.setCell(kTeacherEmailCol, row, GeneratedAddress(tables.randomSeed));
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

void SaveTeachers(WorkingTables& tables, ToolkitPort& port, bool generateAddresses,
                  const std::filesystem::path& folder) {
  // A folder that cannot be made is reported and the command goes on: the
  // write below then fails with the file error the user needs to see.
  EnsureOutputFolder(folder, port);
  EnsureTeacherColumns(tables.teachers);
  EnsureTeacherColumns(tables.rejectedTeachers);
  SortOutTeacherRows(tables, generateAddresses);
  CopyColumnNames(tables.teachers, tables.rejectedTeachers);
  const GridFile files[] = {{tables.teachers, folder / "profs.csv"},
                            {tables.rejectedTeachers, folder / "2profs invalides.csv"}};
  SaveGridsAsCsv(files);
  port.showMessage(kSavedMessage);
}

}  // namespace passerelle
