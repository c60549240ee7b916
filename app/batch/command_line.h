#pragma once

#include <filesystem>
#include <string>
#include <variant>
#include <vector>

namespace passerelle::batch {

// One argument as the operating system gave it: bytes on POSIX, UTF-16 on
// Windows, so that a file name never goes through a code page on its way to
// the file system.
using Argument = std::filesystem::path::string_type;

// What a press of a button does in the batch program, in the order given.
enum class Press {
  kUsers,         // Button2, "1. charger fichier usersxx.txt"
  kSaveClasses,   // BitBtn2, "Sauver classes et eleves"
  kGroups,        // BitBtn1, "2.Charger fichier profs-groupes(pronote)"
  kMails,         // Button1, "3. Charger profs-mails (pronote )"
  kSaveTeachers,  // Button3, "Sauver Profs"
};

// The window's check boxes that the command line may set.
enum class Option {
  kMailGeneration,  // CheckBox1, "Rajouter adresses  mail pour profs"
  kApMerge,         // CheckBox2, "Fusionner Matière et AP"
};

struct ButtonAction {
  Press press;
  // The file the open dialog answers with; only for the three loading steps.
  std::filesystem::path file;
  // The option as the user typed it, for messages.
  std::string spelling;
};

struct OptionAction {
  Option option;
  bool checked;
};

using Action = std::variant<ButtonAction, OptionAction>;

struct CommandLine {
  bool help = false;
  std::vector<Action> actions;
};

// What went wrong with the arguments, in Windows-1252 like every text the
// program shows.
struct UsageError {
  std::string text;
};

// Reads the arguments after the program name. Three bare file names make the
// whole run; otherwise every argument is an action or an option, taken in
// order. "--help" anywhere asks for help and nothing else.
std::variant<CommandLine, UsageError> ParseCommandLine(const std::vector<Argument>& arguments);

// The help text, in Windows-1252.
std::string HelpText();

}  // namespace passerelle::batch
