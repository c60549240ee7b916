#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "app/form/host.h"
#include "app/qt/text_width.h"

class QFileDialog;
class QMessageBox;

namespace passerelle {

// The open dialog's filter in Qt's form. The form keeps it as
// "description|pattern|description|pattern", with patterns such as "*.TXT";
// Qt wants "description (patterns)". Each pattern is offered in lower and
// upper case, so that a platform dialog that matches case-sensitively still
// shows both "export.csv" and "EXPORT.CSV".
QStringList QtNameFilters(std::string_view filter);

// The desktop as the window's commands see it: real dialogs, message boxes,
// the system clipboard and the grid font's metrics.
class QtHost : public Host {
 public:
  explicit QtHost(const QFont& gridFont);

  // The window the dialogs and boxes belong to; set once it exists.
  void setDialogParent(QWidget* parent) { parent_ = parent; }

  std::optional<std::filesystem::path> runOpenDialog(const OpenDialogState& dialog) override;
  void showError(std::string_view caption, std::string_view text) override;
  void setClipboardText(std::string_view text) override;
  void showMessage(std::string_view text) override;
  int textWidth(std::string_view text) override;
  int maxCharWidth() override;
  const CharWidths* charWidths() override;
  // Repaints now. The user's clicks and keys are handled too, and thrown
  // away by the window's input gate (InputGate) while a command runs, so no
  // button can be pressed mid-step, nor after it by a click made during it.
  // The window decides how often this runs.
  void keepScreenAlive() override;

 protected:
  // The modal part of each dialog, apart from how the dialog is set up, so
  // that the tests and the screenshot tool can answer or record it instead
  // of waiting for a person.
  virtual int execFileDialog(QFileDialog& dialog);
  virtual void execMessageBox(QMessageBox& box);

 private:
  QPointer<QWidget> parent_;
  Cp1252WidthTable widths_;
};

}  // namespace passerelle
