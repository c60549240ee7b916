#include "app/form/Unit1.h"

#include <exception>
#include <new>

#include "steps/steps.h"
#include "steps/teacher_table.h"
#include "tables/delimited_import.h"
#include "tables/errors.h"
#include "tables/grid.h"

namespace passerelle {

namespace {

constexpr std::string_view kUsersFilter = "Text files (*.txt)|*.TXT|Fichiers CSV (*.csv)|*.CSV";
constexpr std::string_view kPronoteFilter = "Fichiers CSV *.csv)|*.CSV|Text files (*.txt)|*.TXT";

Control Shown(std::string caption) {
  return Control{std::move(caption), {}, true, false, false};
}
Control Hidden(std::string caption) {
  return Control{std::move(caption), {}, false, false, false};
}

constexpr std::string_view kNoAccountMessage = "Aucun \xE9l\xE8ve ni professeur dans le fichier : ";

// "1 classe", "6 classes".
std::string Count(int n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::string UsersReadText(const UsersFileRead& read) {
  std::string text = "Lu : " + Count(read.studentLines, "\xE9l\xE8ve", "\xE9l\xE8ves");
  if (read.studentsAlreadyThere > 0)
    text += " (dont " + std::to_string(read.studentsAlreadyThere) + " d\xE9j\xE0 charg\xE9" +
            (read.studentsAlreadyThere == 1 ? "" : "s") + ", non ajout\xE9" +
            (read.studentsAlreadyThere == 1 ? "" : "s") + ")";
  text += ", " + Count(read.classes, "classe", "classes") + ", " +
          Count(read.teacherLines, "professeur", "professeurs");
  return text;
}

// The teacher rows below the column names, and how many have no account.
std::string TeachersText(const Grid& teachers) {
  int withoutAccount = 0;
  for (int r = 1; r < teachers.rowCount(); ++r) {
    if (teachers.cell(kTeacherLoginCol, r).empty())
      ++withoutAccount;
  }
  return Count(teachers.rowCount() - 1, "ligne professeur", "lignes professeur") + ", dont " +
         std::to_string(withoutAccount) + " sans compte pour l'instant";
}

}  // namespace

TForm1::TForm1(Host& host, std::string applicationTitle)
    : host_(host), applicationTitle_(std::move(applicationTitle)) {
  initialise();
}

void TForm1::initialise() {
  static_cast<WorkingTables&>(*this) = WorkingTables{};
  Caption = "Form1";
  Label4 = Shown("El\xE8ves et classes");
  Button2 = Shown("1. charger fichier usersxx.txt");
  BitBtn2 = Hidden("Sauver classes et eleves");
  Panel4 = Shown("");
  Label5 = Shown("Profs");
  BitBtn1 = Hidden("2.Charger fichier profs-groupes(pronote)");
  CheckBox1 = Hidden("Rajouter adresses  mail pour profs");
  CheckBox2 = Hidden("Fusionner Mati\xE8re et AP");
  CheckBox3 = Hidden("Conserver les mati\xE8res");
  Button1 = Hidden("3. Charger profs-mails (pronote )");
  Button3 = Hidden("Sauver Profs");
  Button4 = Shown("Copier tableau");
  Label3 = Hidden("Veuillez patienter");
  Label2 = Shown(
      "Cr\xE9"
      "ateur : l'\xE9quipe Passerelle");
  Copier1 = Shown("Copier");
  CheckBox1.checked = true;
  CheckBox2.checked = true;
  CheckBox2.hint =
      "Supprime AP si en d\xE9"
      "but de discipline";
  CheckBox2.showHint = true;
  Button4.hint = "Puis coller dans un tableau";
  Button4.showHint = true;
  OpenDialog1 = OpenDialogState{};
  Status = StatusLine{};
  lastOutcome = PressOutcome::kDone;
  focusedGrid = nullptr;
}

std::string TForm1::ErrorDisplayText(std::string text) {
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
    text.push_back('.');
  return text;
}

bool TForm1::guardedStep(const std::function<StepOutcome()>& body) {
  lastOutcome = PressOutcome::kDone;
  StepOutcome outcome;
  try {
    outcome = body();
  } catch (const FileError& error) {
    outcome = {StepOutcome::Kind::kFileError, error.what(), error.path()};
  } catch (const DisplayedError& error) {
    outcome = StepOutcome::Stopped(StepOutcome::Kind::kError, error.what());
  } catch (const std::bad_alloc&) {
    outcome = StepOutcome::Stopped(StepOutcome::Kind::kError, "M\xE9moire insuffisante");
  } catch (const std::exception& error) {
    // Not meant to happen; the user still gets French words around it.
    outcome = StepOutcome::Stopped(StepOutcome::Kind::kError,
                                   std::string("Erreur inattendue : ") + error.what());
  }
  // The wait notice is the running command's: it never outlives it.
  Label3.visible = false;
  show(outcome);
  return outcome.done();
}

bool TForm1::guarded(const std::function<void()>& body) {
  return guardedStep([&body] {
    body();
    return StepOutcome::Done();
  });
}

void TForm1::show(const StepOutcome& outcome) {
  switch (outcome.kind) {
    case StepOutcome::Kind::kDone:
      return;
    case StepOutcome::Kind::kMissingColumn:
      lastOutcome = PressOutcome::kWrongFormat;
      host_.showMessage(outcome.message);
      return;
    case StepOutcome::Kind::kNoAccounts:
      lastOutcome = PressOutcome::kNoAccounts;
      host_.showMessage(outcome.message);
      return;
    case StepOutcome::Kind::kFileError:
      lastOutcome = PressOutcome::kError;
      host_.showFileError(applicationTitle_, outcome.file, ErrorDisplayText(outcome.message));
      return;
    case StepOutcome::Kind::kError:
      lastOutcome = PressOutcome::kError;
      host_.showError(applicationTitle_, ErrorDisplayText(outcome.message));
      return;
  }
}

std::optional<std::filesystem::path> TForm1::chooseFile(const Control& button) {
  OpenDialog1.title = button.caption;
  auto chosen = host_.runOpenDialog(OpenDialog1);
  if (chosen)
    OpenDialog1.fileName = *chosen;
  else
    lastOutcome = PressOutcome::kCancelled;
  return chosen;
}

// A cancelled dialog ends every loading step at once: nobody cancels a
// dialog to mean "go on with what is there".
void TForm1::Button2Click() {
  guardedStep([this] {
    OpenDialog1.filter = kUsersFilter;
    const auto chosen = chooseFile(Button2);
    if (!chosen)
      return StepOutcome::Done();
    LoadDelimitedFile(StringGrid5, *chosen, Memo1, ProgressBar1, host_);
    Label3.visible = true;
    host_.keepScreenAlive();
    const UsersFileRead read = BuildStudentsAndClasses(*this, host_);
    BitBtn1.visible = true;
    BitBtn2.visible = true;
    Label3.visible = false;
    CheckBox1.visible = true;
    CheckBox2.visible = true;
    Status = StatusLine{UsersReadText(read), {}, {}};
    if (read.holdsNoAccount())
      return StepOutcome::Stopped(StepOutcome::Kind::kNoAccounts,
                                  std::string(kNoAccountMessage) + PathForDisplay(*chosen));
    return StepOutcome::Done();
  });
}

void TForm1::BitBtn2Click() {
  guarded([this] {
    const std::filesystem::path folder = OutputFolder(OpenDialog1.fileName);
    SaveClassesAndStudents(*this, host_, folder);
    Status = StatusLine{Count(StringGrid3.rowCount() - 1, "\xE9l\xE8ve", "\xE9l\xE8ves") + ", " +
                            Count(StringGrid4.rowCount() - 1, "classe", "classes"),
                        folder, "classes.csv, eleves.csv"};
  });
}

void TForm1::BitBtn1Click() {
  guardedStep([this] {
    OpenDialog1.filter = kPronoteFilter;
    const auto chosen = chooseFile(BitBtn1);
    if (!chosen)
      return StepOutcome::Done();
    LoadDelimitedFile(StringGrid1, *chosen, Memo1, ProgressBar1, host_);
    const SubjectOptions options{CheckBox2.checked, CheckBox3.checked};
    StepOutcome outcome = BuildTeacherRows(*this, host_, options);
    if (!outcome.done())
      return outcome;
    Button1.visible = true;
    Status = StatusLine{Count(StringGrid2.rowCount() - 1, "ligne professeur-mati\xE8re",
                              "lignes professeur-mati\xE8re"),
                        {},
                        {}};
    return outcome;
  });
}

void TForm1::Button1Click() {
  guardedStep([this] {
    const auto chosen = chooseFile(Button1);
    if (!chosen)
      return StepOutcome::Done();
    LoadDelimitedFile(StringGrid1, *chosen, Memo1, ProgressBar1, host_);
    StepOutcome outcome = CompleteTeacherRows(*this, host_);
    if (!outcome.done())
      return outcome;
    Button2.visible = true;
    Button3.visible = true;
    Status = StatusLine{TeachersText(StringGrid2), {}, {}};
    return outcome;
  });
}

void TForm1::Button3Click() {
  guarded([this] {
    const std::filesystem::path folder = OutputFolder(OpenDialog1.fileName);
    SaveTeachers(*this, host_, CheckBox1.checked, folder);
    Status = StatusLine{Count(StringGrid2.rowCount() - 1, "ligne professeur", "lignes professeur") +
                            ", " + Count(StringGrid6.rowCount() - 1, "invalide", "invalides"),
                        folder, "profs.csv, 2profs invalides.csv"};
  });
}

void TForm1::Button4Click() {
  guarded([this] { CopyGridToClipboard(StringGrid2, host_); });
}

void TForm1::Copier1Click() {
  guarded([this] {
    if (focusedGrid == nullptr)
      return;
    host_.setClipboardText(focusedGrid->cell(focusedGrid->currentCol(), focusedGrid->currentRow()));
  });
}

void TForm1::NewConversion() {
  guarded([this] { initialise(); });
}

void CopyGridToClipboard(const Grid& grid, Host& host) {
  std::string text;
  for (int r = 0; r < grid.rowCount(); ++r) {
    for (int c = 0; c < grid.colCount(); ++c) {
      text.append(grid.cell(c, r));
      if (c + 1 < grid.colCount())
        text.push_back('\t');
    }
    text.append("\r\n");
  }
  host.setClipboardText(text);
}

}  // namespace passerelle
