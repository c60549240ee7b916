#include <string>
#include <system_error>

#include "steps/steps.h"
#include "tables/csv_export.h"
#include "tables/native_file.h"

namespace passerelle {

std::filesystem::path OutputFolder(const std::optional<std::filesystem::path>& lastChosenFile) {
  const std::filesystem::path base =
      lastChosenFile ? lastChosenFile->parent_path() : std::filesystem::path();
  return base / "fichiers";
}

void EnsureOutputFolder(const std::filesystem::path& folder, ToolkitPort& port) {
  std::error_code error;
  if (std::filesystem::is_directory(folder, error))
    return;
  // A plain file of that name, or a missing parent, makes creation fail;
  // the message says so and the writes that follow report the rest. A
  // locked folder fails the same way for every account, root included.
  if (FolderRefusesWriting(folder.parent_path()))
    error = std::make_error_code(std::errc::permission_denied);
  else if (std::filesystem::create_directory(folder, error) || !error)
    return;
  port.showMessage("Directory creation failed with error " + std::to_string(error.value()));
}

void SaveClassesAndStudents(WorkingTables& tables, ToolkitPort& port,
                            const std::filesystem::path& folder) {
  Grid& classes = tables.classes;
  classes.setCell(0, 0, "name");
  classes.setCell(1, 0, "level_short");
  classes.setCell(2, 0, "group");
  if (!tables.testClassAdded) {
    const std::string testClass[] = {"test", "6", "0"};
    classes.setRowTexts(classes.appendRow(), testClass);
    tables.testClassAdded = true;
  }
  EnsureOutputFolder(folder, port);
  const GridFile files[] = {{classes, folder / "classes.csv"},
                            {tables.students, folder / "eleves.csv"}};
  SaveGridsAsCsv(files);
  port.showMessage(kSavedMessage);
}

}  // namespace passerelle
