// A whole conversion through the form on fuzzed exports: the users file,
// the teacher-group export and the e-mail export are cut from one input at
// each "\n%%\n"; a fourth piece, if any, sets the two options from its first
// byte. The buttons are pressed in the order of the window, each only when
// the window would show it, as a user would. Whatever the exports hold, the
// run must not crash, must leave the inputs as they were, and every file it
// writes must be whole: CR LF at the end, and as many ";" on every line as
// on the first, once the ";" a cell carries are discounted (cells are
// written unchanged, never quoted).

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/form/Unit1.h"
#include "fuzz/fuzz_support.h"

namespace passerelle::fuzzing {
namespace {

constexpr std::string_view kPieceSeparator = "\n%%\n";
constexpr std::string_view kEmptyFileText = "Le fichier est vide";

struct Exports {
  std::array<std::string_view, 3> files;  // users, teacher-group, e-mail
  std::optional<unsigned char> options;
};

Exports CutInput(std::string_view input) {
  Exports exports;
  for (std::size_t piece = 0; piece < exports.files.size(); ++piece) {
    const std::size_t at = input.find(kPieceSeparator);
    exports.files[piece] = input.substr(0, at);
    if (at == std::string_view::npos)
      return exports;
    input.remove_prefix(at + kPieceSeparator.size());
  }
  if (!input.empty())
    exports.options = static_cast<unsigned char>(input.front());
  return exports;
}

std::size_t SemicolonsIn(std::string_view text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), ';'));
}

// `file` must be the text of `grid` as the saving command had it.
void CheckSavedFile(const std::filesystem::path& file, const Grid& grid) {
  Require(std::filesystem::is_regular_file(file), "a saving command wrote no file");
  const std::string text = ReadBytes(file);
  Require(text.ends_with("\r\n"), "a saved file does not end with CR LF");

  std::vector<std::string_view> lines;
  std::string_view rest(text);
  while (!rest.empty()) {
    const std::size_t end = rest.find("\r\n");
    lines.push_back(rest.substr(0, end));
    rest.remove_prefix(end + 2);
  }
  // Imported cells never hold CR or LF, generated ones neither.
  Require(static_cast<int>(lines.size()) == grid.rowCount(),
          "a saved file does not have one line per row");

  auto separatorsOf = [&](int row) {
    std::size_t carried = 0;
    for (int col = 0; col < grid.colCount(); ++col)
      carried += SemicolonsIn(grid.cell(col, row));
    const std::size_t found = SemicolonsIn(lines[static_cast<std::size_t>(row)]);
    Require(found >= carried, "a saved line lost the ';' of its cells");
    return found - carried;
  };
  const std::size_t firstLine = separatorsOf(0);
  Require(firstLine + 1 == static_cast<std::size_t>(grid.colCount()),
          "the first saved line does not have one field per column");
  for (int row = 1; row < grid.rowCount(); ++row) {
    Require(separatorsOf(row) == firstLine,
            "a saved line has another number of ';' than the first");
  }
}

void Press(TForm1& form, const Control& button, void (TForm1::*handler)()) {
  if (button.visible)
    (form.*handler)();
}

void CheckWholeRun(std::string_view input) {
  static const ScratchFolder folder("whole-run");
  folder.empty();
  const Exports exports = CutInput(input);
  const std::array<std::filesystem::path, 3> files = {folder.path() / "usersxx.txt",
                                                      folder.path() / "profs-groupes.csv",
                                                      folder.path() / "profs-mails.csv"};
  for (std::size_t i = 0; i < files.size(); ++i)
    WriteBytes(files[i], exports.files[i]);
  const std::filesystem::path output = folder.path() / "fichiers";

  QuietHost host;
  for (const auto& file : files)
    host.answerDialog(file);
  TForm1 form(host);
  if (exports.options) {
    form.CheckBox1.checked = (*exports.options & 1) != 0;
    form.CheckBox2.checked = (*exports.options & 2) != 0;
  }

  Press(form, form.Button2, &TForm1::Button2Click);
  const std::size_t errorsBeforeClassSave = host.errors.size();
  Press(form, form.BitBtn2, &TForm1::BitBtn2Click);
  if (form.BitBtn2.visible && host.errors.size() == errorsBeforeClassSave) {
    CheckSavedFile(output / "classes.csv", form.StringGrid4);
    CheckSavedFile(output / "eleves.csv", form.StringGrid3);
  }
  Press(form, form.BitBtn1, &TForm1::BitBtn1Click);
  Press(form, form.Button1, &TForm1::Button1Click);
  const std::size_t errorsBeforeTeacherSave = host.errors.size();
  Press(form, form.Button3, &TForm1::Button3Click);
  if (form.Button3.visible && host.errors.size() == errorsBeforeTeacherSave) {
    CheckSavedFile(output / "profs.csv", form.StringGrid2);
    CheckSavedFile(output / "2profs invalides.csv", form.StringGrid6);
  }

  // The files are there and readable, the folder writable: an empty export
  // is the only error a run may end on.
  for (const std::string& error : host.errors) {
    Require(std::string_view(error).starts_with(kEmptyFileText),
            "a handler ended on an error other than an empty file");
  }
  for (std::size_t i = 0; i < files.size(); ++i)
    Require(ReadBytes(files[i]) == exports.files[i], "the run changed an input file");

  const std::vector<std::string> besideInputs = ScratchFolder::Listing(folder.path());
  for (const std::string& name : besideInputs) {
    Require(name == "fichiers" || name == "usersxx.txt" || name == "profs-groupes.csv" ||
                name == "profs-mails.csv",
            "the run left a file beside its inputs");
  }
  if (std::filesystem::is_directory(output)) {
    for (const std::string& name : ScratchFolder::Listing(output)) {
      Require(name == "classes.csv" || name == "eleves.csv" || name == "profs.csv" ||
                  name == "2profs invalides.csv",
              "the run left a stray file in the output folder");
    }
  }
}

}  // namespace
}  // namespace passerelle::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  passerelle::fuzzing::CheckWholeRun(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
