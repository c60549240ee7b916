#pragma once

// What the robustness tests share: valid exports to surround a hostile one
// with, a whole run of the form that presses every button the window would
// show, a picture of every table to compare runs with, and the checks that
// nothing was lost.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/form/Unit1.h"
#include "steps/steps.h"
#include "support/file_fixture.h"
#include "support/scripted_host.h"
#include "tables/csv_export.h"
#include "tables/delimited_import.h"
#include "tables/errors.h"

namespace passerelle::testing {

inline constexpr std::string_view kUsersHeader = "profil;nom;prenom;x;login;y;mdp\r\n";
inline constexpr std::string_view kUsersRows =
    "5A;DUPONT;Jean;;JDUPONT;;Secret1\r\n"
    "6B;DURAND;Lise;;LDURAND;;x\r\n"
    "PROF;MARTIN;Paul;;PMARTIN;;pw\r\n"
    "PROF;LE GALL;H\xE9l\xE8ne;;HLEGALL;;MotDePasse\r\n";

inline constexpr std::string_view kGroupsHeader =
    "Professeur;Classe > Groupe;Mati\xE8re/Sous-mati\xE8re\r\n";
inline constexpr std::string_view kGroupsRows =
    "MARTIN Paul;5A;MATHS\r\n"
    "MARTIN Paul;6B;MATHS\r\n"
    "LE GALL H\xE9l\xE8ne;6B;ANGLAIS\r\n"
    "INCONNU Zoe;5A;ANGLAIS\r\n";

inline constexpr std::string_view kMailsHeader = "NOM;CIVILITE;PRENOM;EMAIL\r\n";
inline constexpr std::string_view kMailsRows =
    "MARTIN;M.;Paul;pmartin@exemple.fr\r\n"
    "LE GALL;Mme;H\xE9l\xE8ne;\r\n"
    "INCONNU;Mme;Zoe;zoe@exemple.fr\r\n";

inline const std::string kOutputFolderName = "fichiers";
inline const std::set<std::string> kOutputFileNames = {"classes.csv", "eleves.csv", "profs.csv",
                                                       "2profs invalides.csv"};

// The three exports the user picks, in the order of the steps.
enum class Role { kUsers, kGroups, kMails };

inline const char* RoleName(Role role) {
  switch (role) {
    case Role::kUsers:
      return "users file";
    case Role::kGroups:
      return "teacher-group export";
    case Role::kMails:
      return "e-mail export";
  }
  return "";
}

inline std::string FileNameOf(Role role) {
  switch (role) {
    case Role::kUsers:
      return "usersxx.txt";
    case Role::kGroups:
      return "profs-groupes.csv";
    case Role::kMails:
      return "profs-mails.csv";
  }
  return "";
}

inline std::string HeaderOf(Role role) {
  switch (role) {
    case Role::kUsers:
      return std::string(kUsersHeader);
    case Role::kGroups:
      return std::string(kGroupsHeader);
    case Role::kMails:
      return std::string(kMailsHeader);
  }
  return "";
}

inline std::string RowsOf(Role role) {
  switch (role) {
    case Role::kUsers:
      return std::string(kUsersRows);
    case Role::kGroups:
      return std::string(kGroupsRows);
    case Role::kMails:
      return std::string(kMailsRows);
  }
  return "";
}

inline std::string ValidFileOf(Role role) {
  return HeaderOf(role) + RowsOf(role);
}

// ---------------------------------------------------------------------------
// A picture of the form: every table, list and the controls the steps reveal.
// The progress bar is left out: the window opens with it shown, and every
// load, failed or not, hides it.

struct GridState {
  int colCount = 0;
  // Trailing empty cells are left out: a grid 100,000 columns wide would
  // otherwise cost 100,000 strings per row to compare.
  std::vector<std::vector<std::string>> rows;
  bool operator==(const GridState&) const = default;
};

struct FormState {
  std::map<std::string, GridState> grids;
  std::map<std::string, std::vector<std::string>> lists;
  std::map<std::string, bool> shown;
  std::uint32_t randomSeed = 0;
  bool operator==(const FormState&) const = default;
};

inline GridState CaptureGrid(const Grid& grid) {
  GridState state;
  state.colCount = grid.colCount();
  for (int r = 0; r < grid.rowCount(); ++r) {
    int used = grid.colCount();
    while (used > 0 && grid.cell(used - 1, r).empty())
      --used;
    std::vector<std::string> row;
    for (int c = 0; c < used; ++c)
      row.emplace_back(grid.cell(c, r));
    state.rows.push_back(std::move(row));
  }
  return state;
}

inline std::vector<std::string> Lines(const TextList& list) {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < list.count(); ++i)
    lines.emplace_back(list.line(i));
  return lines;
}

inline FormState Capture(const TForm1& form) {
  FormState state;
  state.grids = {{"StringGrid1", CaptureGrid(form.StringGrid1)},
                 {"StringGrid2", CaptureGrid(form.StringGrid2)},
                 {"StringGrid3", CaptureGrid(form.StringGrid3)},
                 {"StringGrid4", CaptureGrid(form.StringGrid4)},
                 {"StringGrid5", CaptureGrid(form.StringGrid5)},
                 {"StringGrid6", CaptureGrid(form.StringGrid6)}};
  state.lists = {{"Memo1", Lines(form.Memo1)}, {"Memo3", Lines(form.Memo3)}};
  state.shown = {{"BitBtn1", form.BitBtn1.visible},     {"BitBtn2", form.BitBtn2.visible},
                 {"Button1", form.Button1.visible},     {"Button3", form.Button3.visible},
                 {"CheckBox1", form.CheckBox1.visible}, {"CheckBox2", form.CheckBox2.visible},
                 {"Label3", form.Label3.visible}};
  state.randomSeed = form.randomSeed;
  return state;
}

// Texts in failure reports are cut short: a cell may hold megabytes.
inline std::string Shown(std::string_view text) {
  constexpr std::size_t kShownLength = 60;
  std::string shown(text.substr(0, kShownLength));
  if (text.size() > kShownLength)
    shown += "... (" + std::to_string(text.size()) + " bytes)";
  return "\"" + shown + "\"";
}

inline std::string DescribeRow(const std::vector<std::string>& row) {
  std::string text = "[";
  for (std::size_t i = 0; i < row.size() && i < 12; ++i)
    text += (i ? ", " : "") + Shown(row[i]);
  return text + (row.size() > 12 ? ", ...]" : "]");
}

// The first place where two pictures differ, or "" when they are alike.
inline std::string FirstDifference(const FormState& a, const FormState& b) {
  for (const auto& [name, grid] : a.grids) {
    const GridState& other = b.grids.at(name);
    if (grid.colCount != other.colCount) {
      return name + " column count " + std::to_string(grid.colCount) + " vs " +
             std::to_string(other.colCount);
    }
    if (grid.rows.size() != other.rows.size()) {
      return name + " row count " + std::to_string(grid.rows.size()) + " vs " +
             std::to_string(other.rows.size());
    }
    for (std::size_t r = 0; r < grid.rows.size(); ++r) {
      if (grid.rows[r] != other.rows[r]) {
        return name + " row " + std::to_string(r) + ": " + DescribeRow(grid.rows[r]) + " vs " +
               DescribeRow(other.rows[r]);
      }
    }
  }
  for (const auto& [name, lines] : a.lists) {
    const auto& other = b.lists.at(name);
    if (lines.size() != other.size()) {
      return name + " line count " + std::to_string(lines.size()) + " vs " +
             std::to_string(other.size());
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i] != other[i])
        return name + " line " + std::to_string(i) + ": " + Shown(lines[i]) + " vs " +
               Shown(other[i]);
    }
  }
  for (const auto& [name, visible] : a.shown) {
    if (visible != b.shown.at(name))
      return name + (visible ? " shown vs hidden" : " hidden vs shown");
  }
  if (a.randomSeed != b.randomSeed)
    return "random sequence moved differently";
  return "";
}

// ---------------------------------------------------------------------------
// Folders and files.

inline std::set<std::string> Listing(const std::filesystem::path& folder) {
  std::set<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    names.insert(entry.path().filename().string());
  return names;
}

// file name → bytes, for every file of a folder.
inline std::map<std::string, std::string> Contents(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.is_regular_file())
      files[entry.path().filename().string()] = TempFolder::read(entry.path());
  }
  return files;
}

// The table each output file is written from.
inline const Grid& TableOf(const TForm1& form, const std::string& outputName) {
  if (outputName == "classes.csv")
    return form.StringGrid4;
  if (outputName == "eleves.csv")
    return form.StringGrid3;
  if (outputName == "profs.csv")
    return form.StringGrid2;
  return form.StringGrid6;
}

// ---------------------------------------------------------------------------
// What the user may be shown. Anything else (a library's own English text,
// an empty text) means an error escaped its translation.

inline bool IsKnownMessage(const std::string& text) {
  static const std::set<std::string> known = {
      std::string(kNoSeparatorMessage),
      std::string(kSavedMessage),
      "Format de fichier incorrect:pas de professeur",
      "Format de fichier incorrect: pas de classes",
      "Format de fichier incorrect: pas de mati\xE8res",
      "Format de fichier incorrect:pas de nom",
      "Format de fichier incorrect: pas de civilit\xE9",
      "Format de fichier incorrect: pas de Prenom",
      "Format de fichier incorrect: pas d email",
  };
  // A users file of no account is named in the message.
  if (text.starts_with("Aucun \xE9l\xE8ve ni professeur dans le fichier : "))
    return true;
  // Two messages end on a number.
  for (const std::string_view prefix :
       {std::string_view("Directory creation failed with error "), kReplacedCharactersMessage}) {
    if (text.starts_with(prefix)) {
      const std::string_view number = std::string_view(text).substr(prefix.size());
      return !number.empty() && number[0] != '0' &&
             std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
    }
  }
  return known.contains(text);
}

inline bool IsFormatMessage(const std::string& text) {
  return text.starts_with("Format de fichier incorrect");
}

inline bool IsKnownError(const std::string& text) {
  if (text.starts_with("Le fichier est vide : "))
    return text.back() == '.';
  for (int code : {2, 3, 4, 5, 100, 101}) {
    if (text == FileError::TextOf(code) + ".")
      return true;
  }
  return text.starts_with("Erreur E/S ") && text.back() == '.';
}

// ---------------------------------------------------------------------------
// A whole run of the program in one folder: the three exports are valid
// except the one in `hostileRole`, and every button is pressed in the
// workflow's order as soon as the window would show it.

class Workflow {
 public:
  Workflow() = default;
  Workflow(const Workflow&) = delete;
  Workflow& operator=(const Workflow&) = delete;

  void run(Role hostileRole, const std::string& hostileBytes) {
    hostileRole_ = hostileRole;
    for (Role role : {Role::kUsers, Role::kGroups, Role::kMails}) {
      const std::string bytes = role == hostileRole ? hostileBytes : ValidFileOf(role);
      folder.write(FileNameOf(role), bytes);
      inputs[FileNameOf(role)] = bytes;
    }
    press(Role::kUsers, [this] { form.Button2Click(); });
    if (form.BitBtn2.visible)
      form.BitBtn2Click();
    if (form.BitBtn1.visible)
      press(Role::kGroups, [this] { form.BitBtn1Click(); });
    if (form.Button1.visible)
      press(Role::kMails, [this] { form.Button1Click(); });
    if (form.Button3.visible)
      form.Button3Click();
  }

  std::filesystem::path input(Role role) const { return folder.path() / FileNameOf(role); }
  std::filesystem::path outputFolder() const { return folder.path() / kOutputFolderName; }

  // Errors with this run's folder written as <dossier>, so that two runs in
  // two folders can be compared.
  std::vector<std::string> errorsWithoutFolder() const {
    const std::string own = PathForDisplay(folder.path());
    std::vector<std::string> errors = host.errors;
    for (std::string& text : errors) {
      for (std::size_t at = text.find(own); at != std::string::npos; at = text.find(own))
        text.replace(at, own.size(), "<dossier>");
    }
    return errors;
  }

  TempFolder folder;
  ScriptedHost host;
  TForm1 form{host};
  std::map<std::string, std::string> inputs;

  // Around the press that loaded the hostile file.
  bool hostileStepRan = false;
  FormState beforeHostileStep;
  FormState afterHostileStep;
  std::vector<std::string> hostileStepMessages;
  std::vector<std::string> hostileStepErrors;

 private:
  template <typename Press>
  void press(Role role, Press&& click) {
    host.answerDialog(input(role));
    if (role != hostileRole_) {
      click();
      return;
    }
    const std::size_t messagesBefore = host.messages.size();
    const std::size_t errorsBefore = host.errors.size();
    beforeHostileStep = Capture(form);
    click();
    afterHostileStep = Capture(form);
    hostileStepRan = true;
    hostileStepMessages.assign(host.messages.begin() + static_cast<std::ptrdiff_t>(messagesBefore),
                               host.messages.end());
    hostileStepErrors.assign(host.errors.begin() + static_cast<std::ptrdiff_t>(errorsBefore),
                             host.errors.end());
  }

  Role hostileRole_ = Role::kUsers;
};

// What nothing may ever do to the user's files and tables, however bad the
// input: the exports stay byte for byte as they were, nothing but "fichiers"
// appears beside them, the output folder holds the import files and nothing
// else, each of them whole, every text shown is one the program knows, and a
// step that fails leaves the tables as it found them.
inline void ExpectNothingLost(const Workflow& run) {
  for (const auto& [name, bytes] : run.inputs) {
    EXPECT_TRUE(TempFolder::read(run.folder.path() / name) == bytes) << name << " was changed";
  }

  std::set<std::string> besideInputs;
  for (const auto& [name, bytes] : run.inputs)
    besideInputs.insert(name);
  std::set<std::string> found = Listing(run.folder.path());
  found.erase(kOutputFolderName);
  EXPECT_EQ(found, besideInputs);

  for (const std::string& name : Listing(run.outputFolder())) {
    EXPECT_TRUE(kOutputFileNames.contains(name)) << "left in the output folder: " << name;
    if (!kOutputFileNames.contains(name))
      continue;
    // Every table is written last by its own save and left alone by the
    // later steps, so each file must be its table, whole.
    const std::string written = TempFolder::read(run.outputFolder() / name);
    EXPECT_TRUE(written == GridAsCsvText(TableOf(run.form, name)))
        << name << " is not its table: " << Shown(written);
  }

  for (const std::string& text : run.host.messages)
    EXPECT_TRUE(IsKnownMessage(text)) << "unexpected message " << Shown(text);
  for (const std::string& text : run.host.errors)
    EXPECT_TRUE(IsKnownError(text)) << "unexpected error " << Shown(text);
  EXPECT_FALSE(run.form.ProgressBar1.visible());
  EXPECT_FALSE(run.form.Label3.visible);

  if (!run.hostileStepRan)
    return;
  if (!run.hostileStepErrors.empty()) {
    EXPECT_EQ(FirstDifference(run.beforeHostileStep, run.afterHostileStep), "")
        << "a failed load changed the tables";
  }
  const bool endedOnFormat =
      std::any_of(run.hostileStepMessages.begin(), run.hostileStepMessages.end(), IsFormatMessage);
  if (endedOnFormat) {
    EXPECT_TRUE(run.beforeHostileStep.grids.at("StringGrid2") ==
                run.afterHostileStep.grids.at("StringGrid2"))
        << "a step that found no columns changed the teacher table";
  }
}

}  // namespace passerelle::testing
