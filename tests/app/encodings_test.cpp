// The three exports as a spreadsheet or an editor may save them today: in
// 8-bit text, UTF-16 of either byte order, UTF-8 with or without its mark.
// Whatever the encoding, a whole conversion writes the same Windows-1252
// files.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/form/Unit1.h"
#include "support/encodings.h"
#include "support/file_fixture.h"
#include "support/scripted_host.h"
#include "tables/delimited_import.h"

namespace passerelle {
namespace {

using testing::Encode;
using testing::Encoding;
using testing::EncodingName;
using testing::ReadBytes;
using testing::ScriptedHost;
using testing::TempFolder;

const std::array<std::string, 3> kInputs = {"usersxx.txt", "profs-groupes.csv", "profs-mails.csv"};
const std::array<std::string, 4> kOutputs = {"classes.csv", "eleves.csv", "profs.csv",
                                             "2profs invalides.csv"};

std::filesystem::path Examples() {
  return PASSERELLE_EXAMPLES_DIR;
}

// The example e-mail export is UTF-16 little-endian, as the school-management
// software writes it, and holds only Latin-1 letters: one byte per unit.
std::string AsEightBit(const std::string& bytes) {
  if (!bytes.starts_with("\xFF\xFE"))
    return bytes;
  std::string text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    EXPECT_EQ(bytes[i + 1], '\0') << "not a Latin-1 letter at byte " << i;
    text.push_back(bytes[i]);
  }
  return text;
}

struct Conversion {
  std::map<std::string, std::string> outputs;
  std::vector<std::string> messages;
  std::vector<std::string> errors;
};

// The five commands, in the window's order, on the three exports given by
// content.
Conversion Convert(const std::array<std::string, 3>& exports) {
  TempFolder folder;
  ScriptedHost host;
  TForm1 form{host};
  host.answerDialog(folder.write(kInputs[0], exports[0]));
  form.Button2Click();
  form.BitBtn2Click();
  host.answerDialog(folder.write(kInputs[1], exports[1]));
  form.BitBtn1Click();
  host.answerDialog(folder.write(kInputs[2], exports[2]));
  form.Button1Click();
  form.Button3Click();
  Conversion done{{}, host.messages, host.errors};
  for (const std::string& name : kOutputs) {
    const std::filesystem::path file = folder.path() / "fichiers" / name;
    done.outputs[name] = std::filesystem::exists(file) ? ReadBytes(file) : "(absent)";
  }
  return done;
}

bool TellsOfReplacements(const std::vector<std::string>& messages) {
  for (const std::string& message : messages) {
    if (message.starts_with(kReplacedCharactersMessage))
      return true;
  }
  return false;
}

TEST(Encodings, ExampleExportsGiveTheExpectedFilesInEveryEncoding) {
  std::array<std::string, 3> eightBit;
  for (std::size_t i = 0; i < kInputs.size(); ++i)
    eightBit[i] = AsEightBit(ReadBytes(Examples() / kInputs[i]));

  for (const Encoding encoding : testing::EveryEncoding()) {
    SCOPED_TRACE(EncodingName(encoding));
    std::array<std::string, 3> exports;
    for (std::size_t i = 0; i < kInputs.size(); ++i)
      exports[i] = Encode(eightBit[i], encoding);
    const Conversion done = Convert(exports);

    EXPECT_TRUE(done.errors.empty()) << done.errors.front();
    EXPECT_FALSE(TellsOfReplacements(done.messages));
    for (const std::string& name : kOutputs) {
      EXPECT_TRUE(done.outputs.at(name) == ReadBytes(Examples() / "expected" / name))
          << name << " differs from examples/expected";
    }
  }
}

// The typographic apostrophe, the OE ligature and the euro sign lie where
// Windows-1252 and Latin-1 part ways: in every encoding the teacher's names
// must still reach the outputs as their Windows-1252 bytes, and still match
// the account.
TEST(Encodings, ApostropheOeAndEuroSurviveEveryEncoding) {
  const std::array<std::u32string, 3> exports = {
      U"profil;nom;prenom;x;login;y;mdp\r\n"
      U"5A;DUPONT;Jean;;jdupont;;x\r\n"
      U"PROF;N\u2019DIAYE;\u0152none;;ondiaye;;pw\u20AC\r\n",
      U"Professeur;Classe > Groupe;Mati\u00E8re/Sous-mati\u00E8re\r\n"
      U"N\u2019DIAYE \u0152none;5A;MATHS\r\n",
      U"NOM;CIVILITE;PRENOM;EMAIL\r\n"
      U"N\u2019DIAYE;Mme;\u0152none;o\u20AC@exemple.fr\r\n"};
  const std::string teacher =
      "\r\nN\x92"
      "DIAYE;\x8Cnone;Madame;o\x80@exemple.fr;ondiaye;pw\x80;5_a;";

  for (const Encoding encoding : testing::EveryEncoding()) {
    SCOPED_TRACE(EncodingName(encoding));
    std::array<std::string, 3> encoded;
    for (std::size_t i = 0; i < exports.size(); ++i)
      encoded[i] = testing::EncodeCodePoints(exports[i], encoding);
    const Conversion done = Convert(encoded);

    EXPECT_TRUE(done.errors.empty()) << done.errors.front();
    EXPECT_FALSE(TellsOfReplacements(done.messages));
    EXPECT_NE(done.outputs.at("profs.csv").find(teacher), std::string::npos)
        << testing::Printable(done.outputs.at("profs.csv"));
    EXPECT_EQ(done.outputs.at("2profs invalides.csv").find("DIAYE"), std::string::npos);
  }
}

// A character Windows-1252 lacks becomes "?" in every table and output, and
// the user is told how many there were before anything else; the conversion
// goes on.
TEST(Encodings, CharactersBeyondWindows1252BecomeCountedQuestionMarks) {
  const std::u32string users =
      U"profil;nom;prenom;x;login;y;mdp\r\n"
      U"5A;\u0100DAMS;Zo\u00EB\U0001F600;;zadams;;x\u4E2D\r\n";
  for (const Encoding encoding : testing::EveryEncoding()) {
    if (encoding == Encoding::kEightBit)
      continue;
    SCOPED_TRACE(EncodingName(encoding));
    TempFolder folder;
    ScriptedHost host;
    TForm1 form{host};
    host.answerDialog(folder.write("usersxx.txt", testing::EncodeCodePoints(users, encoding)));
    form.Button2Click();
    form.BitBtn2Click();

    EXPECT_TRUE(host.errors.empty());
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.front(), std::string(kReplacedCharactersMessage) + "3");
    EXPECT_NE(ReadBytes(folder.path() / "fichiers" / "eleves.csv").find("\r\n5_a;?DAMS;Zo\xEB?;"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace passerelle
