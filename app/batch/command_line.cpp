#include "app/batch/command_line.h"

#include <optional>
#include <string_view>

#include "tables/errors.h"

namespace passerelle::batch {

namespace {

struct ButtonOption {
  std::string_view spelling;
  Press press;
  bool takesFile;
};

constexpr ButtonOption kButtonOptions[] = {
    {"--users", Press::kUsers, true},
    {"--save-classes", Press::kSaveClasses, false},
    {"--groups", Press::kGroups, true},
    {"--mails", Press::kMails, true},
    {"--save-teachers", Press::kSaveTeachers, false},
};

struct CheckBoxOption {
  std::string_view spelling;
  Option option;
};

constexpr CheckBoxOption kCheckBoxOptions[] = {
    {"--mail-generation", Option::kMailGeneration},
    {"--ap-merge", Option::kApMerge},
};

// Options are plain ASCII, so a wide argument on Windows compares character
// by character with them.
bool Is(const Argument& argument, std::string_view ascii) {
  if (argument.size() != ascii.size())
    return false;
  for (std::size_t i = 0; i < ascii.size(); ++i) {
    if (argument[i] != static_cast<Argument::value_type>(ascii[i]))
      return false;
  }
  return true;
}

bool LooksLikeOption(const Argument& argument) {
  return argument.size() >= 2 && argument[0] == '-';
}

bool TakesValue(const Argument& argument) {
  for (const ButtonOption& button : kButtonOptions) {
    if (button.takesFile && Is(argument, button.spelling))
      return true;
  }
  for (const CheckBoxOption& checkBox : kCheckBoxOptions) {
    if (Is(argument, checkBox.spelling))
      return true;
  }
  return false;
}

std::string ForMessage(const Argument& argument) {
  return PathForDisplay(std::filesystem::path(argument));
}

UsageError Usage(std::string text) {
  return UsageError{std::move(text) + "\nEssayez \xAB passerelle-batch --help \xBB."};
}

}  // namespace

std::variant<CommandLine, UsageError> ParseCommandLine(const std::vector<Argument>& arguments) {
  CommandLine line;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const Argument& argument = arguments[i];
    if (Is(argument, "--help") || Is(argument, "-h")) {
      line.help = true;
      return line;
    }
    // What follows an action or a box is its file or its value, even a
    // file called "-h".
    if (TakesValue(argument))
      ++i;
  }

  std::vector<std::filesystem::path> bareFiles;
  bool buttonPressed = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const Argument& argument = arguments[i];
    if (!LooksLikeOption(argument)) {
      bareFiles.emplace_back(argument);
      continue;
    }

    const ButtonOption* button = nullptr;
    for (const ButtonOption& candidate : kButtonOptions) {
      if (Is(argument, candidate.spelling))
        button = &candidate;
    }
    if (button != nullptr) {
      ButtonAction action{button->press, {}, std::string(button->spelling)};
      if (button->takesFile) {
        // The next argument is the file whatever it looks like, so that a
        // file called "-x" can still be given.
        if (i + 1 == arguments.size()) {
          return Usage(action.spelling + " attend un nom de fichier.");
        }
        action.file = std::filesystem::path(arguments[++i]);
      }
      line.actions.emplace_back(std::move(action));
      buttonPressed = true;
      continue;
    }

    const CheckBoxOption* checkBox = nullptr;
    for (const CheckBoxOption& candidate : kCheckBoxOptions) {
      if (Is(argument, candidate.spelling))
        checkBox = &candidate;
    }
    if (checkBox != nullptr) {
      const std::string spelling(checkBox->spelling);
      if (i + 1 == arguments.size())
        return Usage(spelling + " attend on ou off.");
      const Argument& value = arguments[++i];
      if (!Is(value, "on") && !Is(value, "off")) {
        return Usage(spelling + " attend on ou off, pas \xAB " + ForMessage(value) + " \xBB.");
      }
      line.actions.emplace_back(OptionAction{checkBox->option, Is(value, "on")});
      continue;
    }

    return Usage("Option inconnue : " + ForMessage(argument) + ".");
  }

  if (buttonPressed) {
    if (!bareFiles.empty()) {
      return Usage("Fichier sans action : \xAB " + PathForDisplay(bareFiles.front()) +
                   " \xBB. Donnez-le apr\xE8s --users, --groups ou --mails, ou bien donnez "
                   "les trois fichiers seuls.");
    }
    return line;
  }

  if (bareFiles.size() != 3) {
    return Usage("Il faut trois fichiers (comptes, profs-groupes, profs-mails), ou des actions.");
  }
  // The whole run, as the buttons are numbered. The boxes read by its steps
  // are those the options set, wherever they stand on the line.
  line.actions.emplace_back(ButtonAction{Press::kUsers, bareFiles[0], "--users"});
  line.actions.emplace_back(ButtonAction{Press::kSaveClasses, {}, "--save-classes"});
  line.actions.emplace_back(ButtonAction{Press::kGroups, bareFiles[1], "--groups"});
  line.actions.emplace_back(ButtonAction{Press::kMails, bareFiles[2], "--mails"});
  line.actions.emplace_back(ButtonAction{Press::kSaveTeachers, {}, "--save-teachers"});
  return line;
}

std::string HelpText() {
  return "Utilisation :\n"
         "  passerelle-batch COMPTES PROFS-GROUPES PROFS-MAILS\n"
         "  passerelle-batch [OPTION | ACTION]...\n"
         "\n"
         "Convertit les exports du coll\xE8ge en fichiers d'import, sans fen\xEAtre.\n"
         "Avec trois fichiers : \xE9tape 1 (comptes), sauvegarde des classes et \xE9l\xE8ves,\n"
         "\xE9tape 2 (profs-groupes), \xE9tape 3 (profs-mails), sauvegarde des profs.\n"
         "\n"
         "Actions, ex\xE9"
         "cut\xE9"
         "es dans l'ordre donn\xE9, chacune un bouton :\n"
         "  --users FICHIER      1. charger fichier usersxx.txt\n"
         "  --save-classes       Sauver classes et eleves\n"
         "  --groups FICHIER     2.Charger fichier profs-groupes(pronote)\n"
         "  --mails FICHIER      3. Charger profs-mails (pronote )\n"
         "  --save-teachers      Sauver Profs\n"
         "Un bouton que la fen\xEAtre cacherait encore est refus\xE9 (statut 2).\n"
         "\n"
         "Options, valables \xE0 partir de l\xE0 o\xF9 elles sont donn\xE9"
         "es :\n"
         "  --mail-generation on|off   Rajouter adresses mail pour profs (on)\n"
         "  --ap-merge on|off          Fusionner Mati\xE8re et AP (on)\n"
         "  --help                     cette aide\n"
         "\n"
         "Les fichiers sont \xE9"
         "crits dans le dossier \xAB fichiers \xBB \xE0 c\xF4t\xE9 du dernier\n"
         "fichier lu. Chaque message va sur la sortie d'erreur, les erreurs apr\xE8s\n"
         "\xAB erreur : \xBB. La conversion s'arr\xEAte \xE0 la premi\xE8re erreur ou au premier\n"
         "\xAB Format de fichier incorrect \xBB.\n"
         "\n"
         "Statut : 0 termin\xE9, 1 erreur ou format incorrect, 2 mauvais usage.\n";
}

}  // namespace passerelle::batch
