// passerelle-batch: the conversion without the window, for scripts and
// servers. It presses the buttons of the same form the window draws, in the
// order the command line gives, and refuses a button the window would still
// hide, so that a script can never do what a user could not.

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <system_error>
#include <variant>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// Needs the types of <windows.h>: kept in a block of its own so that
// sorting the includes cannot move it first.
#include <shellapi.h>
#endif

#include "app/batch/batch_host.h"
#include "app/batch/command_line.h"
#include "app/form/Unit1.h"
#include "steps/steps.h"
#include "tables/cp1252.h"
#include "tables/memory_reuse.h"
#include "tables/native_file.h"

namespace passerelle::batch {

namespace {

constexpr std::string_view kProgramName = "passerelle-batch";

Control& ButtonOf(TForm1& form, Press press) {
  switch (press) {
    case Press::kUsers:
      return form.Button2;
    case Press::kSaveClasses:
      return form.BitBtn2;
    case Press::kGroups:
      return form.BitBtn1;
    case Press::kMails:
      return form.Button1;
    case Press::kSaveTeachers:
      return form.Button3;
  }
  return form.Button2;
}

void Click(TForm1& form, Press press) {
  switch (press) {
    case Press::kUsers:
      form.Button2Click();
      return;
    case Press::kSaveClasses:
      form.BitBtn2Click();
      return;
    case Press::kGroups:
      form.BitBtn1Click();
      return;
    case Press::kMails:
      form.Button1Click();
      return;
    case Press::kSaveTeachers:
      form.Button3Click();
      return;
  }
}

bool OpensDialog(Press press) {
  return press == Press::kUsers || press == Press::kGroups || press == Press::kMails;
}

// Which action reveals a button, for the refusal message. The form decides
// what is visible; this only tells the user what to run first.
std::string_view RevealedBy(Press press) {
  switch (press) {
    case Press::kSaveClasses:
    case Press::kGroups:
      return "--users";
    case Press::kMails:
      return "--groups (avec ses trois colonnes)";
    case Press::kSaveTeachers:
      return "--mails (avec ses quatre colonnes)";
    case Press::kUsers:
      break;
  }
  return "--users";
}

std::vector<std::string> FilesWrittenBy(Press press) {
  if (press == Press::kSaveClasses)
    return {"classes.csv", "eleves.csv"};
  if (press == Press::kSaveTeachers)
    return {"profs.csv", "2profs invalides.csv"};
  return {};
}

struct WrittenFolder {
  std::filesystem::path folder;
  std::vector<std::string> files;
};

void RecordWrittenFiles(std::vector<WrittenFolder>& written, const std::filesystem::path& folder,
                        const std::vector<std::string>& files) {
  std::error_code error;
  std::filesystem::path shown = std::filesystem::absolute(folder, error);
  if (error)
    shown = folder;
  shown = shown.lexically_normal();
  WrittenFolder* entry = nullptr;
  for (WrittenFolder& candidate : written) {
    if (candidate.folder == shown)
      entry = &candidate;
  }
  if (entry == nullptr)
    entry = &written.emplace_back(WrittenFolder{shown, {}});
  for (const std::string& file : files) {
    bool known = false;
    for (const std::string& present : entry->files)
      known = known || present == file;
    if (!known)
      entry->files.push_back(file);
  }
}

// False when the report could not be written (a full disk, a closed pipe):
// a script must not take the run for a success it cannot see.
bool ReportWrittenFiles(const std::vector<WrittenFolder>& written) {
  if (written.empty()) {
    WriteLine(std::cout,
              "Aucun fichier \xE9"
              "crit.");
    return static_cast<bool>(std::cout);
  }
  for (const WrittenFolder& entry : written) {
    std::cout << Cp1252ToUtf8(
                     "Fichiers \xE9"
                     "crits dans ")
              << ForTerminal(entry.folder) << " :\n";
    for (const std::string& file : entry.files)
      std::cout << "  " << file << '\n';
  }
  std::cout.flush();
  return static_cast<bool>(std::cout);
}

// A file that was not the one expected, or an error: going on would convert
// the wrong data, or none.
bool StopsTheRun(PressOutcome outcome) {
  return outcome == PressOutcome::kWrongFormat || outcome == PressOutcome::kNoAccounts ||
         outcome == PressOutcome::kError;
}

// What a failed write of the standard output becomes: a message, status 1.
int OutputFailed() {
  WriteLine(std::cerr, std::string(kProgramName) +
                           " : erreur : impossible d'\xE9"
                           "crire sur la sortie standard.");
  return 1;
}

int Run(const std::vector<Argument>& arguments) {
  const auto parsed = ParseCommandLine(arguments);
  if (const auto* usage = std::get_if<UsageError>(&parsed)) {
    WriteLine(std::cerr, std::string(kProgramName) + " : " + usage->text);
    return 2;
  }
  const CommandLine& line = std::get<CommandLine>(parsed);
  if (line.help) {
    std::cout << Cp1252ToUtf8(HelpText());
    std::cout.flush();
    return std::cout ? 0 : OutputFailed();
  }

  BatchHost host(std::cerr);
  TForm1 form(host, std::string(kProgramName));
  std::vector<WrittenFolder> written;

  for (const Action& action : line.actions) {
    if (const auto* option = std::get_if<OptionAction>(&action)) {
      Control& box = option->option == Option::kMailGeneration ? form.CheckBox1 : form.CheckBox2;
      box.checked = option->checked;
      continue;
    }
    const ButtonAction& button = std::get<ButtonAction>(action);
    const Control& control = ButtonOf(form, button.press);
    if (!control.visible) {
      WriteLine(std::cerr, std::string(kProgramName) + " : " + button.spelling +
                               " refus\xE9 : le bouton \xAB " + control.caption +
                               " \xBB est encore cach\xE9. Il appara\xEEt apr\xE8s " +
                               std::string(RevealedBy(button.press)) + ".");
      return 2;
    }

    host.startAction();
    if (OpensDialog(button.press))
      host.answerNextDialog(button.file);
    Click(form, button.press);
    if (StopsTheRun(form.lastOutcome))
      return 1;

    const std::vector<std::string> files = FilesWrittenBy(button.press);
    if (!files.empty())
      RecordWrittenFiles(written, OutputFolder(form.OpenDialog1.fileName), files);
  }

  return ReportWrittenFiles(written) ? 0 : OutputFailed();
}

std::vector<Argument> ArgumentsOf(int argc, char** argv) {
  std::vector<Argument> arguments;
#ifdef _WIN32
  // The narrow argv has been through the ANSI code page already; file names
  // outside it would arrive as question marks.
  (void)argc;
  (void)argv;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide != nullptr) {
    for (int i = 1; i < count; ++i)
      arguments.emplace_back(wide[i]);
    LocalFree(wide);
  }
#else
  for (int i = 1; i < argc; ++i)
    arguments.emplace_back(argv[i]);
#endif
  return arguments;
}

}  // namespace

}  // namespace passerelle::batch

int main(int argc, char** argv) {
  passerelle::KeepFreedMemoryForReuse();
  passerelle::RemoveTemporaryFilesOnInterruption();
#ifdef _WIN32
  SetConsoleOutputCP(CP_UTF8);
#endif
  try {
    return passerelle::batch::Run(passerelle::batch::ArgumentsOf(argc, argv));
  } catch (const std::exception& error) {
    // The form shows every error of a handler itself; reaching this means
    // the batch program's own work failed (out of memory, mostly).
    std::cerr << "passerelle-batch : " << error.what() << '\n';
    return 1;
  }
}
