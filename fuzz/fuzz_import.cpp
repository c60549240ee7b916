// LoadDelimitedFile on arbitrary bytes. Every step relies on what the
// import promises after a normal return: one row per line of the raw view,
// each row numbered in column 0, the progress bar hidden again. A refused
// file must leave the grid and the raw view exactly as they were.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tables/char_widths.h"
#include "tables/delimited_import.h"
#include "tables/errors.h"

namespace passerelle::fuzzing {
namespace {

constexpr std::string_view kEmptyFileText = "Le fichier est vide";
constexpr std::string_view kStaleText = "ancien";

// The import grid as a second load finds it: fixed first row, and stale
// cells that must not survive anywhere the new file does not reach.
Grid GridOfAnEarlierLoad() {
  Grid grid(5, 5, 1, 1);
  for (int row = 0; row < grid.rowCount(); ++row) {
    for (int col = 0; col < grid.colCount(); ++col)
      grid.setCell(col, row, kStaleText);
  }
  return grid;
}

bool SameCells(const Grid& left, const Grid& right) {
  if (left.rowCount() != right.rowCount() || left.colCount() != right.colCount())
    return false;
  for (int row = 0; row < left.rowCount(); ++row) {
    if (left.rowTexts(row) != right.rowTexts(row))
      return false;
  }
  return true;
}

// A font whose characters differ in width, fractions of a pixel included,
// measured either from its table or one text at a time by the same sum.
const std::array<std::uint32_t, 256>& FuzzFontUnits() {
  static const std::array<std::uint32_t, 256> units = [] {
    std::array<std::uint32_t, 256> made{};
    for (std::size_t byte = 0; byte < made.size(); ++byte)
      made[byte] = static_cast<std::uint32_t>((byte * 37) % 700);
    return made;
  }();
  return units;
}

class FontPort : public ToolkitPort {
 public:
  explicit FontPort(bool fromTable) : fromTable_(fromTable) {}
  void showMessage(std::string_view) override {}
  void keepScreenAlive() override {}
  int textWidth(std::string_view text) override {
    std::uint64_t units = 0;
    for (const char c : text)
      units += FuzzFontUnits()[static_cast<unsigned char>(c)];
    return static_cast<int>((units + 32) / 64);
  }
  const CharWidths* charWidths() override {
    static const CharWidths table(FuzzFontUnits());
    return fromTable_ ? &table : nullptr;
  }

 private:
  bool fromTable_;
};

// The widths the import measured as it went are those of a separate pass,
// and summing a font's table gives the widths of measuring every text.
void CheckWidths(const Grid& loaded, ToolkitPort& loadedWith) {
  Grid refitted = loaded;
  FitGridColumns(refitted, loadedWith);
  Grid fromTable = loaded;
  Grid oneByOne = loaded;
  FontPort table(true);
  FontPort slow(false);
  FitGridColumns(fromTable, table);
  FitGridColumns(oneByOne, slow);
  for (int col = 0; col < loaded.colCount(); ++col) {
    Require(refitted.colWidth(col) == loaded.colWidth(col),
            "the import's widths differ from a separate fitting");
    Require(fromTable.colWidth(col) == oneByOne.colWidth(col),
            "the font's table gives other widths than measuring each text");
  }
}

// Whatever its encoding, a file is decoded in memory: nothing may be
// written to the file or beside it.
void CheckInputLeftAlone(const std::filesystem::path& file, std::string_view bytes,
                         const ScratchFolder& folder) {
  Require(ReadBytes(file) == bytes, "the import changed its input file");
  Require(
      ScratchFolder::Listing(folder.path()) == std::vector<std::string>{file.filename().string()},
      "the import left a file beside its input");
}

// Keeps the messages the import shows.
class RecordingHost : public QuietHost {
 public:
  void showMessage(std::string_view text) override { messages.emplace_back(text); }
  std::vector<std::string> messages;
};

// The count of replaced characters, when told, comes before anything else
// and is a number above 0; the separator message is the only other one.
void CheckMessages(const std::vector<std::string>& messages) {
  for (std::size_t i = 0; i < messages.size(); ++i) {
    const std::string_view text = messages[i];
    if (text == kNoSeparatorMessage)
      continue;
    Require(i == 0 && text.starts_with(kReplacedCharactersMessage),
            "the import showed an unknown message, or told of replacements after another one");
    const std::string_view count = text.substr(kReplacedCharactersMessage.size());
    Require(
        !count.empty() && count[0] != '0' &&
            std::all_of(count.begin(), count.end(), [](char c) { return c >= '0' && c <= '9'; }),
        "the count of replaced characters is not a number above 0");
  }
}

void CheckImport(std::string_view bytes) {
  static const ScratchFolder folder("import");
  folder.empty();
  const std::filesystem::path file = folder.path() / "export.csv";
  WriteBytes(file, bytes);

  Grid grid = GridOfAnEarlierLoad();
  const Grid before = grid;
  TextList rawView{"Memo1"};
  ProgressBar progress;
  RecordingHost port;
  try {
    LoadDelimitedFile(grid, file, rawView, progress, port);
  } catch (const DisplayedError& error) {
    CheckMessages(port.messages);
    // The file exists and is readable: only a file without a single line
    // may be refused.
    Require(std::string_view(error.what()).starts_with(kEmptyFileText),
            "the import refused a readable file for another reason than emptiness");
    Require(SameCells(grid, before), "a refused file changed the grid");
    Require(rawView.count() == 1 && rawView.line(0) == "Memo1",
            "a refused file changed the raw view");
    Require(!progress.visible(), "the progress bar stays visible after a refused file");
    CheckInputLeftAlone(file, bytes, folder);
    return;
  }

  CheckMessages(port.messages);
  Require(grid.rowCount() == static_cast<int>(rawView.count()),
          "the grid's row count differs from the raw view's line count");
  for (int row = 0; row < grid.rowCount(); ++row) {
    Require(grid.cell(0, row) == std::to_string(row), "column 0 does not hold the row's index");
  }
  Require(grid.colCount() >= before.colCount(), "the import narrowed the grid");
  for (int row = 0; row < std::min(grid.rowCount(), before.rowCount()); ++row) {
    for (int col = 1; col < before.colCount(); ++col) {
      Require(grid.cell(col, row) != kStaleText ||
                  rawView.line(static_cast<std::size_t>(row)).find(kStaleText) !=
                      std::string_view::npos,
              "a cell of the earlier load survived the import");
    }
  }
  Require(!progress.visible(), "the progress bar stays visible after the import");
  CheckWidths(grid, port);
  CheckInputLeftAlone(file, bytes, folder);
}

}  // namespace
}  // namespace passerelle::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  passerelle::fuzzing::CheckImport(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
