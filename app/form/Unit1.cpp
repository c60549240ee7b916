#include "app/form/Unit1.h"

#include <exception>
#include <new>

#include "steps/steps.h"
#include "tables/delimited_import.h"
#include "tables/errors.h"

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

}  // namespace

TForm1::TForm1(Host& host, std::string applicationTitle)
    : Label4(Shown("El\xE8ves et classes")),
      Button2(Shown("1. charger fichier usersxx.txt")),
      BitBtn2(Hidden("Sauver classes et eleves")),
      Panel4(Shown("")),
      Label5(Shown("Profs")),
      BitBtn1(Hidden("2.Charger fichier profs-groupes(pronote)")),
      CheckBox1(Hidden("Rajouter adresses  mail pour profs")),
      CheckBox2(Hidden("Fusionner Mati\xE8re et AP")),
      CheckBox3(Hidden("Conserver les mati\xE8res")),
      Button1(Hidden("3. Charger profs-mails (pronote )")),
      Button3(Hidden("Sauver Profs")),
      Button4(Shown("Copier tableau")),
      Label3(Hidden("Veuillez patienter")),
      Label2(Shown("Cr\xE9"
                   "ateur : l'\xE9quipe Passerelle")),
      Copier1(Shown("Copier")),
      host_(host),
      applicationTitle_(std::move(applicationTitle)) {
  CheckBox1.checked = true;
  CheckBox2.checked = true;
  CheckBox2.hint =
      "Supprime AP si en d\xE9"
      "but de discipline";
  CheckBox2.showHint = true;
  Button4.hint = "Puis coller dans un tableau";
  Button4.showHint = true;
}

std::string TForm1::ErrorDisplayText(std::string text) {
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
    text.push_back('.');
  return text;
}

bool TForm1::guarded(const std::function<void()>& body) {
  std::string text;
  try {
    body();
    return true;
  } catch (const FileError& error) {
    host_.showFileError(applicationTitle_, error.path(), ErrorDisplayText(error.what()));
    return false;
  } catch (const DisplayedError& error) {
    text = error.what();
  } catch (const std::bad_alloc&) {
    text = "M\xE9moire insuffisante";
  } catch (const std::exception& error) {
    // Not meant to happen; the user still gets French words around it.
    text = std::string("Erreur inattendue : ") + error.what();
  }
  host_.showError(applicationTitle_, ErrorDisplayText(text));
  return false;
}

void TForm1::Button2Click() {
  guarded([this] {
    OpenDialog1.filter = kUsersFilter;
    if (auto chosen = host_.runOpenDialog(OpenDialog1)) {
      OpenDialog1.fileName = *chosen;
      LoadDelimitedFile(StringGrid5, *chosen, Memo1, ProgressBar1, host_);
    }
    Label3.visible = true;
    host_.keepScreenAlive();
    BuildStudentsAndClasses(*this, host_);
    BitBtn1.visible = true;
    BitBtn2.visible = true;
    Label3.visible = false;
    CheckBox1.visible = true;
    CheckBox2.visible = true;
  });
}

void TForm1::BitBtn2Click() {
  guarded([this] { SaveClassesAndStudents(*this, host_, OutputFolder(OpenDialog1.fileName)); });
}

void TForm1::BitBtn1Click() {
  guarded([this] {
    OpenDialog1.filter = kPronoteFilter;
    if (auto chosen = host_.runOpenDialog(OpenDialog1)) {
      OpenDialog1.fileName = *chosen;
      LoadDelimitedFile(StringGrid1, *chosen, Memo1, ProgressBar1, host_);
    }
    const SubjectOptions options{CheckBox2.checked, CheckBox3.checked};
    if (BuildTeacherRows(*this, host_, options))
      Button1.visible = true;
  });
}

void TForm1::Button1Click() {
  guarded([this] {
    if (auto chosen = host_.runOpenDialog(OpenDialog1)) {
      OpenDialog1.fileName = *chosen;
      LoadDelimitedFile(StringGrid1, *chosen, Memo1, ProgressBar1, host_);
    }
    if (CompleteTeacherRows(*this, host_)) {
      Button2.visible = true;
      Button3.visible = true;
    }
  });
}

void TForm1::Button3Click() {
  guarded([this] {
    SaveTeachers(*this, host_, CheckBox1.checked, OutputFolder(OpenDialog1.fileName));
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
