#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/form/host.h"
#include "steps/step_outcome.h"
#include "steps/working_state.h"

namespace passerelle {

// The state of one control of the window, as the window draws it.
struct Control {
  std::string caption;  // Windows-1252
  std::string hint;     // Windows-1252; shown only when showHint
  bool visible = true;
  bool checked = false;  // check boxes only
  bool showHint = false;
};

// How the last press of a button ended. Callers act on it (the batch
// program's exit status), never on a message's wording. Every press that
// stops or fails ends in one StepOutcome, which the form shows and sums up
// here.
enum class PressOutcome {
  kDone,
  kCancelled,    // the open dialog was cancelled: nothing changed
  kWrongFormat,  // a column the step needs is missing
  kNoAccounts,   // the users file holds neither a student nor a teacher
  kError,        // the error display was shown
};

// The line at the bottom of the window: what the last command read, or what
// it wrote and where.
struct StatusLine {
  std::string text;  // Windows-1252: the counts read or written
  // The folder a save wrote into, and the files it wrote there.
  std::optional<std::filesystem::path> folder;
  std::string files;  // Windows-1252, e.g. "classes.csv, eleves.csv"
};

// The main window as data plus its handlers, free of any toolkit: the Qt
// window draws it and forwards clicks, the batch program and the tests
// press its buttons directly.
class TForm1 : public WorkingTables {
 public:
  explicit TForm1(Host& host, std::string applicationTitle = "passerelle");
  // Not copied: a copy's component names would still refer to this form's
  // tables.
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // The form's components for the working tables, by their names.
  Grid& StringGrid1 = importGrid;
  Grid& StringGrid2 = teachers;
  Grid& StringGrid3 = students;
  Grid& StringGrid4 = classes;
  Grid& StringGrid5 = users;
  Grid& StringGrid6 = rejectedTeachers;
  TextList& Memo1 = rawText;
  TextList& Memo2 = testFirstNames;
  TextList& Memo3 = classList;
  ProgressBar& ProgressBar1 = loadProgress;

  std::string Caption = "Form1";

  Control Label4;     // "Elèves et classes"
  Control Button2;    // step 1
  Control BitBtn2;    // save classes and students
  Control Panel4;     // divider
  Control Label5;     // "Profs"
  Control BitBtn1;    // step 2
  Control CheckBox1;  // generate missing e-mail addresses
  Control CheckBox2;  // merge subject and AP
  Control CheckBox3;  // keep subjects, never shown
  Control Button1;    // step 3
  Control Button3;    // save teachers
  Control Button4;    // copy the teacher table
  Control Label3;     // wait notice
  Control Label2;     // credit line
  Control Copier1;    // pop-up menu item of the import grid

  OpenDialogState OpenDialog1;

  StatusLine Status;
  PressOutcome lastOutcome = PressOutcome::kDone;

  // The grid that has the keyboard focus, if a grid has it; the window keeps
  // it up to date for Copier1Click.
  const Grid* focusedGrid = nullptr;

  // The handlers, one per command. Each runs to completion; an error raised
  // inside ends it and goes to the error display.
  void Button2Click();  // "1. charger fichier usersxx.txt"
  void BitBtn2Click();  // "Sauver classes et eleves"
  void BitBtn1Click();  // "2.Charger fichier profs-groupes(pronote)"
  void Button1Click();  // "3. Charger profs-mails (pronote )"
  void Button3Click();  // "Sauver Profs"
  void Button4Click();  // "Copier tableau"
  void Copier1Click();  // "Copier"
  // "Nouvelle conversion": the form as it opens, tables, options and random
  // sequence included, without restarting the program.
  void NewConversion();

  const std::string& applicationTitle() const { return applicationTitle_; }

  // The text the error display shows for an error text: a full stop is
  // appended when the last character sorts after ".".
  static std::string ErrorDisplayText(std::string text);

 private:
  // Runs a handler body and shows how it ended: the message of a step that
  // stopped, or the error display for an error it raised, which becomes an
  // outcome too. Returns false when the body did not end done.
  bool guardedStep(const std::function<StepOutcome()>& body);
  // The same for a body that always ends done unless it raises an error.
  bool guarded(const std::function<void()>& body);
  void show(const StepOutcome& outcome);
  // Every control, table and option as the window opens with them.
  void initialise();
  // Runs the open dialog titled after `button`; remembers the chosen file.
  // Nothing when the user cancels.
  std::optional<std::filesystem::path> chooseFile(const Control& button);

  Host& host_;
  std::string applicationTitle_;
};

// Puts a grid on the clipboard as tab-separated text, every line ended by
// CR LF.
void CopyGridToClipboard(const Grid& grid, Host& host);

}  // namespace passerelle
