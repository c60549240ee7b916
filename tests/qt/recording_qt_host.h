#pragma once

#include <deque>
#include <optional>
#include <vector>

#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include "app/qt/qt_host.h"

namespace passerelle::testing {

// The Qt host with its modal parts answered from a script: each open dialog
// is set up exactly as for a person, then takes the next queued file (none
// queued: cancelled), and each message box is recorded instead of shown.
class RecordingQtHost : public QtHost {
 public:
  struct DialogSeen {
    QString objectName;
    QString title;
    QStringList nameFilters;
    QString directory;
    QString defaultSuffix;
    QFileDialog::FileMode fileMode;
    QFileDialog::AcceptMode acceptMode;
  };
  struct BoxSeen {
    QMessageBox::Icon icon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
  };

  using QtHost::QtHost;

  std::deque<std::optional<QString>> answers;
  std::vector<DialogSeen> dialogs;
  std::vector<BoxSeen> boxes;

 protected:
  int execFileDialog(QFileDialog& dialog) override {
    dialogs.push_back({dialog.objectName(), dialog.windowTitle(), dialog.nameFilters(),
                       dialog.directory().absolutePath(), dialog.defaultSuffix(), dialog.fileMode(),
                       dialog.acceptMode()});
    if (answers.empty() || !answers.front()) {
      if (!answers.empty())
        answers.pop_front();
      return QDialog::Rejected;
    }
    dialog.selectFile(*answers.front());
    answers.pop_front();
    return QDialog::Accepted;
  }

  void execMessageBox(QMessageBox& box) override {
    boxes.push_back({box.icon(), box.windowTitle(), box.text(), box.standardButtons()});
  }
};

}  // namespace passerelle::testing
