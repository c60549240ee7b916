#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/form/Unit1.h"
#include "support/file_fixture.h"
#include "support/scripted_host.h"
#include "tables/csv_export.h"
#include "tables/errors.h"

namespace passerelle {
namespace {

using testing::ScriptedHost;
using testing::TempFolder;

constexpr char kHeader[] = "profil;nom;prenom;x;login;y;mdp\r\n";

std::vector<std::string> Row(const Grid& grid, int row) {
  return grid.rowTexts(row);
}

std::vector<std::string> Lines(const TextList& list) {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < list.count(); ++i)
    lines.emplace_back(list.line(i));
  return lines;
}

struct FormFixture : ::testing::Test {
  TempFolder folder;
  ScriptedHost host;
  TForm1 form{host};

  void loadUsers(const std::string& body, const std::string& name = "usersxx.txt") {
    host.answerDialog(folder.write(name, kHeader + body));
    form.Button2Click();
  }
};

TEST_F(FormFixture, WindowOpensWithOnlyTheFirstStepAndTheCopyButton) {
  struct Expect {
    const Control* control;
    const char* caption;
    bool visible;
  };
  const std::vector<Expect> controls = {
      {&form.Label4, "El\xE8ves et classes", true},
      {&form.Button2, "1. charger fichier usersxx.txt", true},
      {&form.BitBtn2, "Sauver classes et eleves", false},
      {&form.Label5, "Profs", true},
      {&form.BitBtn1, "2.Charger fichier profs-groupes(pronote)", false},
      {&form.CheckBox1, "Rajouter adresses  mail pour profs", false},
      {&form.CheckBox2, "Fusionner Mati\xE8re et AP", false},
      {&form.CheckBox3, "Conserver les mati\xE8res", false},
      {&form.Button1, "3. Charger profs-mails (pronote )", false},
      {&form.Button3, "Sauver Profs", false},
      {&form.Button4, "Copier tableau", true},
      {&form.Label3, "Veuillez patienter", false},
      {&form.Copier1, "Copier", true},
  };
  for (const Expect& e : controls) {
    EXPECT_EQ(e.control->caption, e.caption);
    EXPECT_EQ(e.control->visible, e.visible) << e.caption;
  }
  EXPECT_EQ(form.Caption, "Form1");
  EXPECT_TRUE(form.CheckBox1.checked);
  EXPECT_TRUE(form.CheckBox2.checked);
  EXPECT_FALSE(form.CheckBox3.checked);
  EXPECT_EQ(form.CheckBox2.hint,
            "Supprime AP si en d\xE9"
            "but de discipline");
  EXPECT_EQ(form.Button4.hint, "Puis coller dans un tableau");
  EXPECT_EQ(form.Label2.caption.rfind("Cr\xE9"
                                      "ateur : ",
                                      0),
            0u);
  EXPECT_EQ(form.OpenDialog1.defaultExt, "csv");
  EXPECT_EQ(form.Memo2.count(), 24u);
  EXPECT_EQ(Lines(form.Memo1), std::vector<std::string>{"Memo1"});
}

TEST_F(FormFixture, CancelledFirstStepChangesNothingAndRevealsNothing) {
  form.Button2Click();
  EXPECT_EQ(host.dialogsSeen.at(0).filter, "Text files (*.txt)|*.TXT|Fichiers CSV (*.csv)|*.CSV");
  EXPECT_EQ(host.dialogsSeen.at(0).title, "1. charger fichier usersxx.txt");
  EXPECT_EQ(form.lastOutcome, PressOutcome::kCancelled);
  for (const Control* control : {&form.BitBtn1, &form.BitBtn2, &form.CheckBox1, &form.CheckBox2,
                                 &form.Button1, &form.Label3})
    EXPECT_FALSE(control->visible) << control->caption;
  EXPECT_EQ(form.StringGrid3.rowCount(), 1);
  EXPECT_EQ(form.StringGrid4.rowCount(), 1);
  EXPECT_EQ(Lines(form.Memo3), std::vector<std::string>{"Memo3"});
  EXPECT_TRUE(host.messages.empty());
  EXPECT_FALSE(form.OpenDialog1.fileName.has_value());
}

// Everything a press could change, to compare before and after it.
std::string Snapshot(const TForm1& form) {
  std::string all;
  for (const Grid* grid : {&form.StringGrid1, &form.StringGrid2, &form.StringGrid3,
                           &form.StringGrid4, &form.StringGrid5, &form.StringGrid6}) {
    for (int r = 0; r < grid->rowCount(); ++r) {
      for (const std::string& cell : grid->rowTexts(r))
        all += cell + "|";
      all += "\n";
    }
    all += std::to_string(grid->fixedRows()) + "/" + std::to_string(grid->fixedCols()) + "#\n";
  }
  for (const TextList* list : {&form.Memo1, &form.Memo3}) {
    for (std::size_t i = 0; i < list->count(); ++i)
      all += std::string(list->line(i)) + "\n";
  }
  for (const Control* control : {&form.BitBtn1, &form.BitBtn2, &form.Button1, &form.Button3,
                                 &form.CheckBox1, &form.CheckBox2, &form.Label3})
    all += control->visible ? "1" : "0";
  all += form.OpenDialog1.fileName ? form.OpenDialog1.fileName->string() : "-";
  all += form.Status.text + std::to_string(form.randomSeed);
  return all;
}

TEST_F(FormFixture, CancelledDialogInAnyStepLeavesEverythingAsItWas) {
  loadUsers("5A;DUPONT;Jean;;jdupont;;pw\r\nPROF;MARTIN;Paul;;pmartin;;pw2\r\n");
  host.answerDialog(folder.write(
      "groupes.csv",
      "Professeur;Classe > Groupe;Mati\xE8re/Sous-mati\xE8re\r\nMARTIN Paul;5A;MATHS\r\n"));
  form.BitBtn1Click();
  host.answerDialog(
      folder.write("mails.csv", "NOM;CIVILITE;PRENOM;EMAIL\r\nMARTIN;M.;Paul;pm@exemple.zz\r\n"));
  form.Button1Click();
  ASSERT_TRUE(form.Button3.visible);
  const std::size_t messages = host.messages.size();

  struct Press {
    void (TForm1::*handler)();
    const char* title;
  };
  for (const Press press :
       {Press{&TForm1::Button2Click, "1. charger fichier usersxx.txt"},
        Press{&TForm1::BitBtn1Click, "2.Charger fichier profs-groupes(pronote)"},
        Press{&TForm1::Button1Click, "3. Charger profs-mails (pronote )"}}) {
    const std::string before = Snapshot(form);
    (form.*press.handler)();
    EXPECT_EQ(host.dialogsSeen.back().title, press.title);
    EXPECT_EQ(form.lastOutcome, PressOutcome::kCancelled) << press.title;
    EXPECT_EQ(Snapshot(form), before) << press.title;
    EXPECT_EQ(host.messages.size(), messages) << press.title;
  }
  // Each step's dialog kept the filter its step set before opening it.
  EXPECT_EQ(host.dialogsSeen.back().filter, "Fichiers CSV *.csv)|*.CSV|Text files (*.txt)|*.TXT");
}

TEST_F(FormFixture, StudentsOfAnEarlierUsersFileAreNotAddedTwice) {
  const std::string body =
      "5A;DUPONT;Jean;;JDUPONT;;pw\r\n"
      "5A;DUPONT;Jean;;jdupont;;pw\r\n"  // same login twice in one file: both kept
      "6B;SANS;Login;;;;x\r\n"
      "6B;TEST;Homonyme;;jules;;y\r\n";  // a test student's login is no student's
  loadUsers(body);
  const int firstRows = form.StringGrid3.rowCount();
  EXPECT_EQ(firstRows, 1 + 4 + 24);

  // The same file again adds no student; the one without login is added.
  loadUsers(body, "encore.txt");
  EXPECT_EQ(form.StringGrid3.rowCount(), firstRows + 1);
  EXPECT_EQ(form.StringGrid3.cell(1, firstRows), "SANS");

  // Another level's file: its new students go in, a known login does not,
  // and its classes are handled as before.
  loadUsers("4C;NOUVEAU;Eva;;enouveau;;z\r\n4D;DUPONT;Jean;;JDupont;;pw\r\n", "quatriemes.txt");
  EXPECT_EQ(form.StringGrid3.rowCount(), firstRows + 2);
  EXPECT_EQ(form.StringGrid3.cell(3, firstRows + 1), "enouveau");
  EXPECT_EQ(Lines(form.Memo3), (std::vector<std::string>{"5_a", "6_b", "4_c", "4_d"}));
  EXPECT_NE(form.Status.text.find("1 d\xE9j\xE0 charg\xE9"), std::string::npos) << form.Status.text;
}

TEST_F(FormFixture, UsersFileWithoutAnyAccountIsToldByName) {
  struct Case {
    const char* name;
    std::string body;
    bool noAccount;
  };
  const std::vector<Case> cases = {
      {"mails.csv", "Civilit\xE9;Nom;Pr\xE9nom;E-mail\r\nMme;LE GALL;Ga\xEBlle;g@x.zz\r\n", true},
      {"seul.txt", "5A;DUPONT;Jean;;jdupont;;pw\r\n", true},  // a first line is no student
      {"vide.txt", "profil;nom\r\n\r\n", true},
      {"prof.txt", "PROF;MARTIN;Paul;;pmartin;;pw\r\n", false},  // a first-line teacher counts
      {"eleve.txt", "profil;nom\r\n3A;X;Y\r\n", false},
  };
  for (const Case& c : cases) {
    TempFolder own;
    ScriptedHost quiet;
    TForm1 fresh(quiet);
    const auto file = own.write(c.name, c.body);
    quiet.answerDialog(file);
    fresh.Button2Click();
    EXPECT_TRUE(fresh.BitBtn1.visible) << c.name;  // the step ends as before
    EXPECT_TRUE(quiet.errors.empty()) << c.name;
    if (c.noAccount) {
      EXPECT_EQ(fresh.lastOutcome, PressOutcome::kNoAccounts) << c.name;
      ASSERT_EQ(quiet.messages.size(), 1u) << c.name;
      EXPECT_EQ(quiet.messages[0],
                "Aucun \xE9l\xE8ve ni professeur dans le fichier : " + PathForDisplay(file));
    } else {
      EXPECT_EQ(fresh.lastOutcome, PressOutcome::kDone) << c.name;
      EXPECT_TRUE(quiet.messages.empty()) << c.name;
    }
  }
}

TEST_F(FormFixture, UsersFileGivesStudentsClassesAndKeepsTeacherLines) {
  loadUsers(
      "5A;DUPONT;Jean;;JDUPONT;;Secret1\r\n"
      "PROF;MARTIN;Paul;;PMARTIN;;pw\r\n"
      "5a;DURAND;Lise;;ldurand;;x\r\n"
      "5_A;ROUX;Tom;;troux;;y\r\n"
      "5;SEUL;Ana;;aseul\r\n"
      "2A;AUTRE;Zoe;;zautre;;z\r\n"
      "prof;PETIT;Luc;;lpetit;;p\r\n"
      "\r\n"
      ";VIDE;Rien\r\n"
      "PROF;LE GALL;H\xE9l\xE8ne;;HLEGALL;;MotDePasse\r\n");

  // 5A and 5a are one class; 5_A becomes 5__a; a lone level digit 5_.
  EXPECT_EQ(Row(form.StringGrid3, 1),
            (std::vector<std::string>{"5_a", "DUPONT", "Jean", "jdupont", "Secret1", ""}));
  EXPECT_EQ(Row(form.StringGrid3, 3)[0], "5__a");
  EXPECT_EQ(Row(form.StringGrid3, 4),
            (std::vector<std::string>{"5_", "SEUL", "Ana", "aseul", "", ""}));
  EXPECT_EQ(form.StringGrid3.rowCount(), 1 + 4 + 24);
  EXPECT_EQ(Lines(form.Memo3), (std::vector<std::string>{"5_a", "5__a", "5_"}));
  ASSERT_EQ(form.StringGrid4.rowCount(), 4);
  EXPECT_EQ(Row(form.StringGrid4, 1), (std::vector<std::string>{"a", "5", "0", ""}));
  EXPECT_EQ(Row(form.StringGrid4, 2), (std::vector<std::string>{"_a", "5", "0", ""}));
  EXPECT_EQ(Row(form.StringGrid4, 3), (std::vector<std::string>{"", "5", "0", ""}));

  // Only exact "PROF" lines stay, with their line index from the file.
  ASSERT_EQ(form.StringGrid5.rowCount(), 2);
  EXPECT_EQ(form.StringGrid5.cell(0, 0), "2");
  EXPECT_EQ(form.StringGrid5.cell(2, 0), "MARTIN");
  EXPECT_EQ(form.StringGrid5.cell(0, 1), "10");
  EXPECT_EQ(form.StringGrid5.cell(7, 1), "MotDePasse");
  EXPECT_TRUE(host.errors.empty());
}

// A rectorate's file holds thousands of classes, its students in any order:
// each class is listed once, where it first appears, and every student gets
// the code of its own line.
TEST_F(FormFixture, ManyInterleavedClassesAreEachListedOnceInFirstSeenOrder) {
  constexpr int kClasses = 700;
  std::string body;
  std::vector<std::string> expectedCodes;
  std::vector<std::string> studentCodes;
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < kClasses; ++i) {
      const int k = (i * 337 + pass * 101) % kClasses;  // every class, scrambled
      const std::string name =
          std::string(1, static_cast<char>('3' + k % 4)) + "C" + std::to_string(k);
      const std::string code = name.substr(0, 1) + "_c" + std::to_string(k);
      if (pass == 0)
        expectedCodes.push_back(code);
      studentCodes.push_back(code);
      body += name + ";N" + std::to_string(pass) + ";P;;Login" +
              std::to_string(pass * kClasses + i) + ";;pw\r\n";
    }
  }
  loadUsers(body);

  EXPECT_EQ(Lines(form.Memo3), expectedCodes);
  ASSERT_EQ(form.StringGrid4.rowCount(), 1 + kClasses);
  int wrong = 0;
  for (std::size_t s = 0; s < studentCodes.size(); ++s) {
    const int row = static_cast<int>(s) + 1;
    wrong += form.StringGrid3.cell(0, row) != studentCodes[s] ? 1 : 0;
    wrong += form.StringGrid3.cell(3, row) != "login" + std::to_string(s) ? 1 : 0;
  }
  EXPECT_EQ(wrong, 0);
}

TEST_F(FormFixture, UsersFileWithoutTeachersKeepsItsFirstLine) {
  host.answerDialog(folder.write("u.txt", "5A;A;B;;l;;p\r\n6B;C;D;;m;;q\r\n"));
  form.Button2Click();
  ASSERT_EQ(form.StringGrid5.rowCount(), 1);
  EXPECT_EQ(form.StringGrid5.cell(1, 0), "5A");  // the first line is never a student
  EXPECT_EQ(Lines(form.Memo3), std::vector<std::string>{"6_b"});
}

TEST_F(FormFixture, SecondUsersFileAddsOnlyNewClassesAndNoSecondTestStudents) {
  loadUsers("5A;A;B;;l;;p\r\n");
  form.BitBtn2Click();  // appends the test class to the class table
  loadUsers("5a;C;D;;m;;q\r\n4B;E;F;;n;;r\r\n", "second.txt");

  EXPECT_EQ(Lines(form.Memo3), (std::vector<std::string>{"5_a", "6_test", "4_b"}));
  ASSERT_EQ(form.StringGrid4.rowCount(), 4);
  EXPECT_EQ(Row(form.StringGrid4, 1), (std::vector<std::string>{"a", "5", "0", ""}));
  EXPECT_EQ(Row(form.StringGrid4, 2), (std::vector<std::string>{"test", "6", "0", ""}));
  EXPECT_EQ(Row(form.StringGrid4, 3), (std::vector<std::string>{"b", "4", "0", ""}));
  // Students of both files, the test students once.
  EXPECT_EQ(form.StringGrid3.rowCount(), 1 + 1 + 24 + 2);
  EXPECT_EQ(form.StringGrid3.cell(2, 26), "D");
}

TEST_F(FormFixture, SavingClassesWritesBothFilesBesideTheLastChosenFile) {
  loadUsers("5A;A;B;;l;;p\r\n6B;C;D;;m;;q\r\n");
  form.BitBtn2Click();
  const auto out = folder.path() / "fichiers";
  const std::string classes = "name;level_short;group;\r\na;5;0;\r\nb;6;0;\r\ntest;6;0;\r\n";
  EXPECT_EQ(TempFolder::read(out / "classes.csv"), classes);
  const std::string students = TempFolder::read(out / "eleves.csv");
  EXPECT_EQ(students.rfind("level_key_names;last_name;first_name;login;pwd_vesta;civility_name\r\n"
                           "5_a;A;B;l;p;\r\n6_b;C;D;m;q;\r\n6_test;eleve;JULES;jules;604817;\r\n",
                           0),
            0u);
  EXPECT_EQ(host.messages.back(),
            " sauvegardes termin\xE9"
            "es");

  // A second press rewrites the same files: the test class is there once.
  form.BitBtn2Click();
  EXPECT_EQ(TempFolder::read(out / "classes.csv"), classes);
  EXPECT_EQ(TempFolder::read(out / "eleves.csv"), students);
}

TEST_F(FormFixture, OutputFolderBlockedByAPlainFileReportsAndWritesNothing) {
  loadUsers("5A;A;B;;l;;p\r\n");
  folder.write("fichiers", "not a folder");
  form.BitBtn2Click();
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].rfind("Directory creation failed with error ", 0), 0u);
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(host.errorCaptions[0], "passerelle");
  EXPECT_EQ(TempFolder::read(folder.path() / "fichiers"), "not a folder");
}

TEST_F(FormFixture, MissingUsersFileEndsTheStepOnTheErrorDisplay) {
  host.answerDialog(folder.path() / "absent.txt");
  form.Button2Click();
  EXPECT_EQ(host.errors, std::vector<std::string>{"Fichier introuvable."});
  EXPECT_FALSE(form.BitBtn1.visible);
  EXPECT_EQ(form.StringGrid3.rowCount(), 1);
}

TEST_F(FormFixture, EmptyUsersFileIsReportedWithoutSeparatorMessage) {
  host.answerDialog(folder.write("vide.txt", ""));
  form.Button2Click();
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(host.errors[0].rfind("Le fichier est vide : ", 0), 0u);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_FALSE(form.ProgressBar1.visible());
}

TEST_F(FormFixture, LaterStepsRevealTheirButtonsOnlyWhenTheirColumnsAreFound) {
  form.Button2Click();
  host.answerDialog(folder.write("groupes.csv", "Prof;Classe\r\nX;5A\r\n"));
  form.BitBtn1Click();
  EXPECT_FALSE(form.Button1.visible);
  EXPECT_EQ(host.messages.back(), "Format de fichier incorrect:pas de professeur");
  EXPECT_EQ(host.dialogsSeen.back().filter, "Fichiers CSV *.csv)|*.CSV|Text files (*.txt)|*.TXT");

  host.answerDialog(folder.write(
      "groupes2.csv", "Professeur;Classe > Groupe;Mati\xE8re/Sous-mati\xE8re\r\nX;5A;MATHS\r\n"));
  form.BitBtn1Click();
  EXPECT_TRUE(form.Button1.visible);
  EXPECT_FALSE(form.Button3.visible);

  host.answerDialog(folder.write("mails.csv", "NOM;CIVILITE;PRENOM\r\nX;M.;Y\r\n"));
  form.Button1Click();
  EXPECT_FALSE(form.Button3.visible);
  // Step 3 keeps the filter step 2 set.
  EXPECT_EQ(host.dialogsSeen.back().filter, "Fichiers CSV *.csv)|*.CSV|Text files (*.txt)|*.TXT");

  host.answerDialog(folder.write("mails2.csv", "NOM;CIVILITE;PRENOM;EMAIL\r\nX;M.;Y;x@y\r\n"));
  form.Button1Click();
  EXPECT_TRUE(form.Button3.visible);
  EXPECT_EQ(form.OpenDialog1.fileName, folder.path() / "mails2.csv");
}

TEST(FormErrorDisplay, FullStopOnlyAfterCharactersSortingAfterIt) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Fichier introuvable", "Fichier introuvable."},
      {"Erreur E/S 5", "Erreur E/S 5."},
      {"fin.", "fin."},
      {"fin!", "fin!"},
      {"fin-", "fin-"},
      {"refus\xE9", "refus\xE9."},
      {"", ""},
  };
  for (const auto& [text, shown] : cases)
    EXPECT_EQ(TForm1::ErrorDisplayText(text), shown) << text;
}

TEST_F(FormFixture, CopyTableBeforeAnyStepGivesOneLineOfEmptyCells) {
  form.Button4Click();
  EXPECT_EQ(host.clipboard, std::string(7, '\t') + "\r\n");
}

TEST_F(FormFixture, CopyTableKeepsTabsInsideCellsAndEndsEveryLine) {
  form.StringGrid2.setRowCount(2);
  form.StringGrid2.setCell(0, 0, "last_name");
  form.StringGrid2.setCell(7, 1, "a\tb");
  form.Button4Click();
  EXPECT_EQ(host.clipboard,
            "last_name" + std::string(7, '\t') + "\r\n" + std::string(7, '\t') + "a\tb\r\n");
}

TEST_F(FormFixture, CopyCellTakesTheCurrentCellOfTheFocusedGridOnly) {
  host.clipboard = "before";
  form.Copier1Click();
  EXPECT_EQ(host.clipboard, "before");  // no grid focused: nothing happens

  form.StringGrid1.setCell(2, 3, "cellule");
  form.StringGrid1.setCurrentCell(2, 3);
  form.focusedGrid = &form.StringGrid1;
  form.Copier1Click();
  EXPECT_EQ(host.clipboard, "cellule");

  form.StringGrid1.setCurrentCell(1, 1);
  form.Copier1Click();
  EXPECT_EQ(host.clipboard, "");
}

}  // namespace
}  // namespace passerelle
