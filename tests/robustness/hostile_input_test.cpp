// Exports as they really arrive: cut short, saved in the wrong encoding,
// with a stray NUL, a line pasted a million times, bytes no font has. Each
// one goes through the whole workflow, and whatever the form makes of it,
// the user's files and the tables must come out whole.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "robustness/robust_workflow.h"
#include "support/encodings.h"

namespace passerelle {
namespace {

using testing::Encoding;
using testing::ExpectNothingLost;
using testing::FileNameOf;
using testing::HeaderOf;
using testing::Role;
using testing::RoleName;
using testing::RowsOf;
using testing::TempFolder;
using testing::ValidFileOf;
using testing::Workflow;

constexpr Role kAllRoles[] = {Role::kUsers, Role::kGroups, Role::kMails};
constexpr std::size_t kTenMegabytes = 10u << 20;
constexpr int kManySeparators = 100'000;

// Bytes that look like nothing, the same in every run and on every
// platform: minstd_rand gives the same numbers everywhere, unlike the
// distributions.
std::string Garbage(std::size_t size, std::uint32_t seed, bool withNul) {
  std::minstd_rand engine(seed);
  std::string bytes;
  bytes.reserve(size);
  while (bytes.size() < size) {
    const auto byte = static_cast<unsigned char>(engine() >> 7);
    if (byte == 0 && !withNul)
      continue;
    bytes.push_back(static_cast<char>(byte));
  }
  return bytes;
}

// Each byte as a UTF-16 code unit, low byte first: the code points U+0001 to
// U+00FF, which the import turns back into the same single bytes.
std::string Utf16Le(std::string_view text) {
  std::string units;
  for (char byte : text) {
    units.push_back(byte);
    units.push_back('\0');
  }
  return units;
}

std::string Utf16Be(std::string_view text) {
  std::string units;
  for (char byte : text) {
    units.push_back('\0');
    units.push_back(byte);
  }
  return units;
}

const std::string kUtf16Mark = "\xFF\xFE";

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string replaced;
  std::size_t start = 0;
  for (std::size_t at = text.find(from); at != std::string_view::npos;
       at = text.find(from, start)) {
    replaced.append(text.substr(start, at - start));
    replaced.append(to);
    start = at + from.size();
  }
  replaced.append(text.substr(start));
  return replaced;
}

// The header line without its line end, and its fields.
std::string HeaderLine(Role role) {
  const std::string header = HeaderOf(role);
  return header.substr(0, header.size() - 2);
}

std::string LineOfSeparators(int count) {
  return std::string(static_cast<std::size_t>(count), ';');
}

// Every byte from 0x80 to 0x9F, the range where Windows-1252 and Latin-1
// part ways.
std::string ControlRangeBytes() {
  std::string bytes;
  for (int byte = 0x80; byte <= 0x9F; ++byte)
    bytes.push_back(static_cast<char>(byte));
  return bytes;
}

const std::string kUndefinedWindows1252 = "\x81\x8D\x8F\x90\x9D";

// ---------------------------------------------------------------------------
// Every hostile file in every place of the workflow.

struct HostileFile {
  const char* name;
  // The file for one role, or nothing where the case means nothing.
  std::function<std::optional<std::string>(Role)> bytesFor;
};

std::vector<HostileFile> HostileFiles() {
  const auto alone = [](std::string bytes) {
    return [bytes](Role) -> std::optional<std::string> { return bytes; };
  };
  const auto afterHeader = [](std::string bytes) {
    return [bytes](Role role) -> std::optional<std::string> { return HeaderOf(role) + bytes; };
  };
  const auto amongRows = [](std::string bytes) {
    return [bytes](Role role) -> std::optional<std::string> {
      return ValidFileOf(role) + bytes + "\r\n" + RowsOf(role);
    };
  };
  const std::string garbage = Garbage(64 << 10, 1, true);
  const std::string garbageWithoutNul = Garbage(64 << 10, 2, false);
  const std::string longLine(kTenMegabytes, 'x');
  const std::string manySeparators = LineOfSeparators(kManySeparators);

  return {
      {"binary garbage", alone(garbage)},
      {"binary garbage after the header", afterHeader(garbage)},
      {"binary garbage among valid rows", amongRows(garbage)},
      {"binary garbage without NUL", alone(garbageWithoutNul)},
      {"binary garbage without NUL after the header", afterHeader(garbageWithoutNul)},
      {"binary garbage without NUL among valid rows", amongRows(garbageWithoutNul)},
      {"binary garbage behind a UTF-16 mark", alone(kUtf16Mark + garbage)},
      {"binary garbage without NUL behind a UTF-16 mark", alone(kUtf16Mark + garbageWithoutNul)},
      {"empty file", alone("")},
      {"bare UTF-16 mark", alone(kUtf16Mark)},
      {"UTF-16 mark and NUL bytes only", alone(kUtf16Mark + std::string(6, '\0'))},
      {"NUL first",
       [](Role role) -> std::optional<std::string> { return '\0' + ValidFileOf(role); }},
      {"NUL in the middle of the first line",
       [](Role role) -> std::optional<std::string> {
         std::string bytes = ValidFileOf(role);
         bytes.insert(HeaderLine(role).size() / 2, 1, '\0');
         return bytes;
       }},
      {"NUL last",
       [](Role role) -> std::optional<std::string> { return ValidFileOf(role) + '\0'; }},
      {"NUL among valid rows", amongRows(std::string("5A;\0;x", 6))},
      {"UTF-16 with an odd byte count",
       [](Role role) -> std::optional<std::string> {
         return kUtf16Mark + Utf16Le(ValidFileOf(role)) + "#";
       }},
      {"UTF-16 without its mark",
       [](Role role) -> std::optional<std::string> { return Utf16Le(ValidFileOf(role)); }},
      {"UTF-16 big-endian without its mark",
       [](Role role) -> std::optional<std::string> { return Utf16Be(ValidFileOf(role)); }},
      {"UTF-16 cut by Ctrl-Z",
       [](Role role) -> std::optional<std::string> {
         return kUtf16Mark + Utf16Le(ValidFileOf(role) + "\x1A" + RowsOf(role));
       }},
      {"binary garbage behind a UTF-16 big-endian mark", alone("\xFE\xFF" + garbage)},
      {"binary garbage behind a UTF-8 mark", alone("\xEF\xBB\xBF" + garbage)},
      {"UTF-8 with characters of 0x80 to 0x9F and some beyond",
       [](Role role) -> std::optional<std::string> {
         return testing::Encode(ValidFileOf(role) + "5A;" + ControlRangeBytes(), Encoding::kUtf8) +
                "\xC4\x80\xF0\x9F\x98\x80\r\n" + testing::Encode(RowsOf(role), Encoding::kUtf8);
       }},
      {"Ctrl-Z among valid rows", amongRows("\x1A")},
      {"line of 10 MB among valid rows", amongRows(longLine)},
      {"first line of 10 MB",
       [longLine](Role role) -> std::optional<std::string> {
         return longLine + ";" + ValidFileOf(role);
       }},
      {"line of 100,000 separators among valid rows", amongRows(manySeparators)},
      {"header ending in 100,000 separators",
       [manySeparators](Role role) -> std::optional<std::string> {
         return HeaderLine(role) + manySeparators + "\r\n" + RowsOf(role);
       }},
      {"Windows-1252 bytes 0x80 to 0x9F", amongRows("5A;" + ControlRangeBytes())},
      {"undefined Windows-1252 bytes", amongRows("5A;" + kUndefinedWindows1252)},
      {"CR-only line ends",
       [](Role role) -> std::optional<std::string> {
         return ReplaceAll(ValidFileOf(role), "\r\n", "\r");
       }},
      {"LF-only line ends",
       [](Role role) -> std::optional<std::string> {
         return ReplaceAll(ValidFileOf(role), "\r\n", "\n");
       }},
      {"blank first line",
       [](Role role) -> std::optional<std::string> { return "\r\n" + ValidFileOf(role); }},
      {"line breaks only", alone("\r\n\n\r\r\n\n")},
      {"separators only", alone(";;;\r\n;\r\n;;")},
      {"header only", [](Role role) -> std::optional<std::string> { return HeaderOf(role); }},
      {"users file of teachers only",
       [](Role role) -> std::optional<std::string> {
         if (role != Role::kUsers)
           return std::nullopt;
         return HeaderOf(role) + "PROF;MARTIN;Paul;;PMARTIN;;pw\r\n";
       }},
      {"every column name twice",
       [](Role role) -> std::optional<std::string> {
         return HeaderLine(role) + ";" + HeaderOf(role) + RowsOf(role);
       }},
  };
}

TEST(HostileInput, EveryCommandGetsThroughEveryHostileFileWithoutLosingAnything) {
  for (const HostileFile& hostile : HostileFiles()) {
    for (Role role : kAllRoles) {
      const std::optional<std::string> bytes = hostile.bytesFor(role);
      if (!bytes)
        continue;
      SCOPED_TRACE(std::string(hostile.name) + " as the " + RoleName(role));
      Workflow run;
      run.run(role, *bytes);
      ASSERT_TRUE(run.hostileStepRan);
      ExpectNothingLost(run);
    }
  }
}

// ---------------------------------------------------------------------------
// Files that hold no line at all.

TEST(HostileInput, FileWithoutAnyLineEndsItsStepAndChangesNothing) {
  const std::vector<std::pair<const char*, std::function<std::string(Role)>>> cases = {
      {"empty file", [](Role) { return std::string(); }},
      {"NUL first", [](Role role) { return '\0' + ValidFileOf(role); }},
      {"UTF-16 big-endian without its mark", [](Role role) { return Utf16Be(ValidFileOf(role)); }},
      {"bare UTF-16 mark", [](Role) { return kUtf16Mark; }},
      {"UTF-16 mark and NUL bytes only", [](Role) { return kUtf16Mark + std::string(6, '\0'); }},
      {"UTF-16 mark then Ctrl-Z",
       [](Role role) { return kUtf16Mark + Utf16Le("\x1A" + ValidFileOf(role)); }},
  };
  for (const auto& [name, bytesFor] : cases) {
    for (Role role : kAllRoles) {
      SCOPED_TRACE(std::string(name) + " as the " + RoleName(role));
      Workflow run;
      run.run(role, bytesFor(role));
      ExpectNothingLost(run);
      EXPECT_EQ(run.hostileStepErrors,
                std::vector<std::string>{
                    "Le fichier est vide : " + PathForDisplay(run.input(role)) + "."});
      EXPECT_TRUE(run.hostileStepMessages.empty());
      EXPECT_EQ(testing::FirstDifference(run.beforeHostileStep, run.afterHostileStep), "");
      // The step ended at the load: the button it would reveal stays hidden.
      const Control& next = role == Role::kUsers    ? run.form.BitBtn1
                            : role == Role::kGroups ? run.form.Button1
                                                    : run.form.Button3;
      EXPECT_FALSE(next.visible);
    }
  }
}

// ---------------------------------------------------------------------------
// Files that must give exactly what a plain file gives.

constexpr std::string_view kNoAccountPrefix = "Aucun \xE9l\xE8ve ni professeur dans le fichier : ";

struct Outcome {
  testing::FormState state;
  std::vector<std::string> messages;
  std::vector<std::string> errors;
  std::map<std::string, std::string> outputs;
};

Outcome RunAndCollect(Role role, const std::string& bytes, bool checkNothingLost) {
  Workflow run;
  run.run(role, bytes);
  if (checkNothingLost)
    ExpectNothingLost(run);
  // The message about a file of no account names the file, whose folder
  // differs from run to run.
  std::vector<std::string> messages = run.host.messages;
  for (std::string& text : messages) {
    if (text.starts_with(kNoAccountPrefix))
      text.resize(kNoAccountPrefix.size());
  }
  return {testing::Capture(run.form), messages, run.errorsWithoutFolder(),
          testing::Contents(run.outputFolder())};
}

void ExpectSameOutcome(const Outcome& hostile, const Outcome& plain) {
  EXPECT_EQ(testing::FirstDifference(hostile.state, plain.state), "");
  EXPECT_EQ(hostile.messages, plain.messages);
  EXPECT_EQ(hostile.errors, plain.errors);
  EXPECT_TRUE(hostile.outputs == plain.outputs) << "the output files differ";
}

TEST(HostileInput, OddLineEndsEncodingsAndTrailingBytesLoadLikeThePlainFile) {
  struct Case {
    const char* name;
    std::function<std::string(Role)> hostile;
    std::function<std::string(Role)> plain;
  };
  const std::vector<Case> cases = {
      {"NUL as the last byte", [](Role role) { return ValidFileOf(role) + '\0'; }, ValidFileOf},
      {"CR-only line ends", [](Role role) { return ReplaceAll(ValidFileOf(role), "\r\n", "\r"); },
       ValidFileOf},
      {"LF-only line ends", [](Role role) { return ReplaceAll(ValidFileOf(role), "\r\n", "\n"); },
       ValidFileOf},
      {"UTF-16 with its mark", [](Role role) { return kUtf16Mark + Utf16Le(ValidFileOf(role)); },
       ValidFileOf},
      // A last odd byte is half a character: it is dropped.
      {"UTF-16 with an odd byte count",
       [](Role role) { return kUtf16Mark + Utf16Le(ValidFileOf(role)) + "#"; }, ValidFileOf},
      {"UTF-16 cut by Ctrl-Z",
       [](Role role) {
         return kUtf16Mark + Utf16Le(ValidFileOf(role) + "\x1A" + "5Z;X;Y;;z;;z\r\n");
       },
       ValidFileOf},
      {"NUL in the middle of the first line",
       [](Role role) {
         std::string bytes = ValidFileOf(role);
         bytes.insert(HeaderLine(role).size() / 2, 1, '\0');
         return bytes;
       },
       [](Role role) { return HeaderLine(role).substr(0, HeaderLine(role).size() / 2); }},
  };
  for (const Case& c : cases) {
    for (Role role : kAllRoles) {
      SCOPED_TRACE(std::string(c.name) + " as the " + RoleName(role));
      ExpectSameOutcome(RunAndCollect(role, c.hostile(role), true),
                        RunAndCollect(role, c.plain(role), false));
    }
  }
}

// The text ends at its first NUL, wherever it stands: the load is that of
// the bytes before it. Only the separator may differ, since it is taken
// from the whole first line, so the separator message is left out of the
// comparison.
TEST(HostileInput, NulAtEveryPositionLoadsTheTextBeforeIt) {
  const auto withoutSeparatorMessage = [](std::vector<std::string> messages) {
    std::erase(messages, std::string(kNoSeparatorMessage));
    return messages;
  };
  for (Role role : kAllRoles) {
    const std::string valid = ValidFileOf(role);
    for (std::size_t at = 0; at <= valid.size(); ++at) {
      SCOPED_TRACE(std::string("NUL at byte ") + std::to_string(at) + " of the " + RoleName(role));
      std::string hostile = valid;
      if (at < valid.size())
        hostile[at] = '\0';
      else
        hostile.push_back('\0');
      Outcome withNul = RunAndCollect(role, hostile, true);
      Outcome cut = RunAndCollect(role, valid.substr(0, at), false);
      withNul.messages = withoutSeparatorMessage(withNul.messages);
      cut.messages = withoutSeparatorMessage(cut.messages);
      ExpectSameOutcome(withNul, cut);
      if (::testing::Test::HasFailure())
        return;
    }
  }
}

// Without its mark a UTF-16 file reads as 8-bit text that ends at the NUL
// after its first character: one line of one letter. The separator is still
// found, in the low bytes of the first line, so no separator message: the
// teacher steps report their first column as missing, and the users step
// finds neither students nor teachers, and says so.
TEST(HostileInput, Utf16WithoutItsMarkLoadsOnlyTheFirstCharacter) {
  for (Role role : kAllRoles) {
    SCOPED_TRACE(RoleName(role));
    Workflow run;
    run.run(role, Utf16Le(ValidFileOf(role)));
    ExpectNothingLost(run);
    const std::string firstCharacter = ValidFileOf(role).substr(0, 1);
    EXPECT_EQ(run.afterHostileStep.lists.at("Memo1"), std::vector<std::string>{firstCharacter});
    switch (role) {
      case Role::kUsers:
        ASSERT_EQ(run.hostileStepMessages.size(), 1u);
        EXPECT_TRUE(run.hostileStepMessages[0].starts_with(kNoAccountPrefix));
        EXPECT_EQ(run.afterHostileStep.grids.at("StringGrid5").rows,
                  (std::vector<std::vector<std::string>>{{"0", firstCharacter}}));
        EXPECT_EQ(run.form.StringGrid3.rowCount(), 1 + 24);  // the test students alone
        break;
      case Role::kGroups:
        EXPECT_EQ(run.hostileStepMessages,
                  std::vector<std::string>{"Format de fichier incorrect:pas de professeur"});
        EXPECT_FALSE(run.form.Button1.visible);
        break;
      case Role::kMails:
        EXPECT_EQ(run.hostileStepMessages,
                  std::vector<std::string>{"Format de fichier incorrect:pas de nom"});
        EXPECT_FALSE(run.form.Button3.visible);
        break;
    }
  }
}

// ---------------------------------------------------------------------------
// Very long lines.

TEST(HostileInput, TenMegabyteLineGivesTheGridItsFirst4096Characters) {
  const std::string longName(kTenMegabytes, 'x');
  const std::string studentLine = "5A;" + longName + ";Jean;;JDUPONT;;pw";
  Workflow run;
  run.run(Role::kUsers, std::string(testing::kUsersHeader) + studentLine + "\r\n" +
                            "6B;DURAND;Lise;;LDURAND;;x\r\n");
  ExpectNothingLost(run);

  // The raw text view keeps the whole line; the grid its first 4096 bytes.
  ASSERT_EQ(run.afterHostileStep.lists.at("Memo1").size(), 3u);
  EXPECT_EQ(run.afterHostileStep.lists.at("Memo1")[1].size(), studentLine.size());
  const std::string keptName = studentLine.substr(3, kMaxImportedLineLength - 3);
  ASSERT_GE(run.form.StringGrid3.rowCount(), 3);
  EXPECT_EQ(run.form.StringGrid3.rowTexts(1),
            (std::vector<std::string>{"5_a", keptName, "", "", "", ""}));
  EXPECT_EQ(run.form.StringGrid3.rowTexts(2),
            (std::vector<std::string>{"6_b", "DURAND", "Lise", "ldurand", "x", ""}));
  const std::string students = TempFolder::read(run.outputFolder() / "eleves.csv");
  EXPECT_NE(students.find("\r\n5_a;" + keptName + ";;;;\r\n6_b;DURAND;Lise;ldurand;x;\r\n"),
            std::string::npos);
}

TEST(HostileInput, ColumnNamesBeyondThe4096thCharacterAreNotFound) {
  const std::string longName(kTenMegabytes, 'x');
  for (Role role : {Role::kGroups, Role::kMails}) {
    SCOPED_TRACE(RoleName(role));
    Workflow run;
    run.run(role, longName + ";" + ValidFileOf(role));
    ExpectNothingLost(run);
    EXPECT_EQ(run.hostileStepMessages,
              std::vector<std::string>{role == Role::kGroups
                                           ? "Format de fichier incorrect:pas de professeur"
                                           : "Format de fichier incorrect:pas de nom"});
    EXPECT_EQ(run.afterHostileStep.lists.at("Memo1").at(0).size(),
              longName.size() + 1 + HeaderLine(role).size());
  }
}

// A line with k separators in its first 4096 characters, the part that
// reaches the grid, makes the grid k + 2 columns wide (index column, k + 1
// fields) and nothing wider; the step reads its columns as usual.
TEST(HostileInput, LineOfManySeparatorsWidensTheGridAndTheStepGoesOn) {
  const std::string separators = LineOfSeparators(kManySeparators);
  const auto widestLine = [](const std::string& text) {
    int widest = 0;
    std::size_t start = 0;
    while (start < text.size()) {
      const std::size_t end = std::min(text.find('\r', start), text.size());
      const std::string_view line = std::string_view(text).substr(start, end - start);
      const std::string_view imported = line.substr(0, kMaxImportedLineLength);
      widest =
          std::max(widest, static_cast<int>(std::count(imported.begin(), imported.end(), ';')));
      start = end + 2;
    }
    return widest;
  };
  struct Case {
    Role role;
    std::string file;
  };
  const std::vector<Case> cases = {
      {Role::kUsers, std::string(testing::kUsersHeader) + "5A;DUPONT;Jean;;JDUPONT;;Secret1" +
                         separators + "\r\n" + "PROF;MARTIN;Paul;;PMARTIN;;pw\r\n"},
      {Role::kGroups, std::string(testing::kGroupsHeader) + "MARTIN Paul;5A;MATHS" + separators +
                          "\r\n" + std::string(testing::kGroupsRows)},
      {Role::kMails, HeaderLine(Role::kMails) + separators + "\r\n" + RowsOf(Role::kMails)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(RoleName(c.role));
    Workflow run;
    run.run(c.role, c.file);
    ExpectNothingLost(run);
    const std::string grid = c.role == Role::kUsers ? "StringGrid5" : "StringGrid1";
    EXPECT_EQ(run.afterHostileStep.grids.at(grid).colCount, widestLine(c.file) + 2);

    // The separators add empty fields only: the step's result is that of
    // the same file without them.
    Workflow plain;
    plain.run(c.role, ReplaceAll(c.file, separators, ""));
    for (const char* table : {"StringGrid2", "StringGrid3", "StringGrid4"}) {
      EXPECT_TRUE(run.afterHostileStep.grids.at(table) == plain.afterHostileStep.grids.at(table))
          << table;
    }
    EXPECT_EQ(run.hostileStepMessages, plain.hostileStepMessages);
    EXPECT_TRUE(testing::Contents(run.outputFolder()) == testing::Contents(plain.outputFolder()));
  }
}

// ---------------------------------------------------------------------------
// Bytes of the code page's upper control range.

// Windows-1252 puts €, Œ, œ and ’ between 0x80 and 0x9F, and leaves five of
// those bytes undefined. The files are Windows-1252 from end to end: every
// such byte must reach the import files as it came, through every step and
// through the UTF-16 conversion (U+0080 to U+009F become those bytes).
TEST(HostileInput, Windows1252UpperControlBytesReachTheImportFilesUnchanged) {
  const std::vector<std::pair<const char*, std::string>> byteSets = {
      {"euro, OE, oe and right quote", "\x80\x8C\x9C\x92"},
      {"every byte from 0x80 to 0x9F", ControlRangeBytes()},
      {"the five undefined bytes", kUndefinedWindows1252},
  };
  for (const auto& [name, b] : byteSets) {
    for (bool asUtf16 : {false, true}) {
      SCOPED_TRACE(std::string(name) + (asUtf16 ? " in UTF-16 files" : " in 8-bit files"));
      const auto encoded = [asUtf16](const std::string& text) {
        return asUtf16 ? kUtf16Mark + Utf16Le(text) : text;
      };
      TempFolder folder;
      testing::ScriptedHost host;
      TForm1 form{host};
      const std::string users = std::string(testing::kUsersHeader) + "5" + b + ";N" + b + ";P" + b +
                                ";;L" + b + ";;M" + b + "\r\n" + "PROF;T" + b + ";U" + b + ";;V" +
                                b + ";;W" + b + "\r\n";
      const std::string groups =
          std::string(testing::kGroupsHeader) + "T" + b + " U" + b + ";5A;ANGLAIS\r\n";
      const std::string mails = std::string(testing::kMailsHeader) + "T" + b + ";Mme;U" + b + ";m" +
                                b + "@exemple.fr\r\n";
      host.answerDialog(folder.write("usersxx.txt", encoded(users)));
      form.Button2Click();
      form.BitBtn2Click();
      host.answerDialog(folder.write("groupes.csv", encoded(groups)));
      form.BitBtn1Click();
      host.answerDialog(folder.write("mails.csv", encoded(mails)));
      form.Button1Click();
      form.Button3Click();
      EXPECT_TRUE(host.errors.empty()) << host.errors.front();

      const auto out = folder.path() / "fichiers";
      const std::string students = TempFolder::read(out / "eleves.csv");
      EXPECT_NE(students.find("\r\n5_" + b + ";N" + b + ";P" + b + ";l" + b + ";M" + b + ";\r\n"),
                std::string::npos)
          << testing::Shown(students);
      const std::string classes = TempFolder::read(out / "classes.csv");
      EXPECT_NE(classes.find("\r\n" + b + ";5;0;\r\n"), std::string::npos)
          << testing::Shown(classes);
      const std::string teachers = TempFolder::read(out / "profs.csv");
      EXPECT_NE(teachers.find("\r\nT" + b + ";U" + b + ";Madame;m" + b + "@exemple.fr;v" + b +
                              ";W" + b + ";"),
                std::string::npos)
          << testing::Shown(teachers);
    }
  }
}

// ---------------------------------------------------------------------------
// Exports of an odd shape.

// A blank first line holds no separator: the message says so, every line
// then lands whole in column 1, and the teacher steps find no column.
TEST(HostileInput, BlankFirstLineIsReportedAsHavingNoSeparator) {
  for (Role role : kAllRoles) {
    SCOPED_TRACE(RoleName(role));
    Workflow run;
    run.run(role, "\r\n" + ValidFileOf(role));
    ExpectNothingLost(run);
    std::vector<std::string> expected = {std::string(kNoSeparatorMessage)};
    if (role == Role::kGroups)
      expected.emplace_back("Format de fichier incorrect:pas de professeur");
    if (role == Role::kMails)
      expected.emplace_back("Format de fichier incorrect:pas de nom");
    EXPECT_EQ(run.hostileStepMessages, expected);
    const auto& rows =
        run.afterHostileStep.grids.at(role == Role::kUsers ? "StringGrid5" : "StringGrid1");
    if (role != Role::kUsers) {
      ASSERT_GE(rows.rows.size(), 2u);
      EXPECT_EQ(rows.rows[1], (std::vector<std::string>{"1", HeaderLine(role)}));
    } else {
      // No line is exactly "PROF" in column 1: the blank first line stays.
      EXPECT_EQ(rows.rows, std::vector<std::vector<std::string>>{{"0"}});
    }
  }
}

TEST(HostileInput, HeaderOnlyExportsGiveTheTestRowsAndNothingElse) {
  {
    SCOPED_TRACE("users file");
    Workflow run;
    run.run(Role::kUsers, HeaderOf(Role::kUsers));
    ExpectNothingLost(run);
    EXPECT_EQ(TempFolder::read(run.outputFolder() / "classes.csv"),
              "name;level_short;group;\r\ntest;6;0;\r\n");
    EXPECT_EQ(run.form.StringGrid3.rowCount(), 1 + 24);
    EXPECT_EQ(run.afterHostileStep.grids.at("StringGrid5").rows.size(), 1u);
  }
  {
    SCOPED_TRACE("teacher-group export");
    Workflow run;
    run.run(Role::kGroups, HeaderOf(Role::kGroups));
    ExpectNothingLost(run);
    EXPECT_TRUE(run.hostileStepMessages.empty());
    EXPECT_TRUE(run.form.Button1.visible);
    EXPECT_TRUE(run.beforeHostileStep.grids.at("StringGrid2") ==
                run.afterHostileStep.grids.at("StringGrid2"));
  }
  {
    SCOPED_TRACE("e-mail export");
    Workflow run;
    run.run(Role::kMails, HeaderOf(Role::kMails));
    ExpectNothingLost(run);
    EXPECT_TRUE(run.hostileStepMessages.empty());
    EXPECT_TRUE(run.form.Button3.visible);
    // No identity, so no account: every teacher row of step 2 is rejected,
    // and the test teacher alone is saved.
    const std::size_t teacherRows = run.beforeHostileStep.grids.at("StringGrid2").rows.size() - 1;
    EXPECT_EQ(run.form.StringGrid2.rowCount(), 2);
    EXPECT_EQ(run.form.StringGrid2.cell(0, 1), "prof");
    EXPECT_EQ(run.form.StringGrid6.rowCount(), static_cast<int>(1 + teacherRows));
  }
}

// Without a student there is no class: the class list stays empty, so step 2
// keeps for each teacher and subject only the first class met.
TEST(HostileInput, UsersFileOfTeachersOnlyGivesNoStudentAndNoClass) {
  Workflow run;
  run.run(Role::kUsers, HeaderOf(Role::kUsers) +
                            "PROF;MARTIN;Paul;;PMARTIN;;pw\r\n"
                            "PROF;LE GALL;H\xE9l\xE8ne;;HLEGALL;;MotDePasse\r\n");
  ExpectNothingLost(run);
  EXPECT_EQ(run.afterHostileStep.grids.at("StringGrid5").rows.size(), 2u);
  EXPECT_TRUE(run.afterHostileStep.lists.at("Memo3").empty());
  EXPECT_EQ(TempFolder::read(run.outputFolder() / "classes.csv"),
            "name;level_short;group;\r\ntest;6;0;\r\n");
  EXPECT_EQ(run.form.StringGrid3.rowCount(), 1 + 24);
  bool martinSaved = false;
  for (int row = 1; row < run.form.StringGrid2.rowCount(); ++row) {
    EXPECT_EQ(run.form.StringGrid2.cell(6, row).find(','), std::string_view::npos);
    martinSaved = martinSaved || run.form.StringGrid2.cell(4, row) == "pmartin";
  }
  EXPECT_TRUE(martinSaved);
}

// A column name found twice: the rightmost column counts. The export with
// the left one renamed must give the same teacher table, the export with the
// right one renamed another.
TEST(HostileInput, DuplicatedColumnNameTakesTheRightmostColumn) {
  struct Case {
    Role role;
    const char* duplicated;  // header with the name twice, "{}" marking both
    const char* rows;
  };
  const std::vector<Case> cases = {
      {Role::kGroups, "{Professeur};Classe > Groupe;Mati\xE8re/Sous-mati\xE8re;{Professeur}",
       "FAUX Nom;5A;MATHS;MARTIN Paul\r\n"},
      {Role::kGroups, "Professeur;{Classe > Groupe};Mati\xE8re/Sous-mati\xE8re;{Classe > Groupe}",
       "MARTIN Paul;2A;MATHS;5A\r\nMARTIN Paul;6B;ANGLAIS;7B\r\n"},
      {Role::kGroups,
       "Professeur;Classe > Groupe;{Mati\xE8re/Sous-mati\xE8re};{Mati\xE8re/Sous-mati\xE8re}",
       "MARTIN Paul;5A;MATHS;ANGLAIS\r\n"},
      {Role::kMails, "{Nom};CIVILITE;PRENOM;EMAIL;{NOM}", "FAUX;M.;Paul;p@exemple.fr;MARTIN\r\n"},
      {Role::kMails, "NOM;{Civilit\xE9};PRENOM;EMAIL;{CIVILITE}",
       "MARTIN;Mme;Paul;p@exemple.fr;M.\r\n"},
      {Role::kMails, "NOM;CIVILITE;{PRENOM};EMAIL;{Pr\xE9nom}",
       "MARTIN;M.;Faux;p@exemple.fr;Paul\r\n"},
      {Role::kMails, "NOM;CIVILITE;PRENOM;{E-mail};{EMAIL}",
       "MARTIN;M.;Paul;faux@exemple.fr;p@exemple.fr\r\n"},
  };
  // The header with both names kept, or with the left or the right one
  // renamed out of the way.
  const auto header = [](std::string text, bool renameLeft, bool renameRight) {
    const std::size_t left = text.find('{');
    const std::size_t leftEnd = text.find('}', left);
    std::string leftName = text.substr(left + 1, leftEnd - left - 1);
    text.replace(left, leftEnd - left + 1, renameLeft ? "ancien " + leftName : leftName);
    const std::size_t right = text.find('{');
    const std::size_t rightEnd = text.find('}', right);
    std::string rightName = text.substr(right + 1, rightEnd - right - 1);
    text.replace(right, rightEnd - right + 1, renameRight ? "ancien " + rightName : rightName);
    return text + "\r\n";
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.duplicated);
    const auto teachersAfter = [&](const std::string& file) {
      Workflow run;
      run.run(c.role, file);
      ExpectNothingLost(run);
      EXPECT_TRUE(run.hostileStepMessages.empty()) << run.hostileStepMessages.front();
      return run.afterHostileStep.grids.at("StringGrid2");
    };
    const auto both = teachersAfter(header(c.duplicated, false, false) + c.rows);
    const auto rightOnly = teachersAfter(header(c.duplicated, true, false) + c.rows);
    const auto leftOnly = teachersAfter(header(c.duplicated, false, true) + c.rows);
    EXPECT_TRUE(both == rightOnly);
    EXPECT_FALSE(both == leftOnly);
  }
}

}  // namespace
}  // namespace passerelle
