#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "app/form/host.h"

namespace passerelle::batch {

// The desktop as the batch program sees it: the open dialog answers with the
// file of the action being run, and every message box or error display goes
// to the terminal, one line each, converted to UTF-8.
class BatchHost : public Host {
 public:
  // A fixed measure keeps the column widths, and so every run, the same on
  // every machine; the batch program never draws them.
  static constexpr int kCharWidth = 7;

  explicit BatchHost(std::ostream& messages) : messages_(messages) {}

  // The answer of the next open dialog; consumed by it. With none, the
  // dialog counts as cancelled.
  void answerNextDialog(std::filesystem::path file) { nextAnswer_ = std::move(file); }

  // Forgets the answer an earlier action left unused; call before each press.
  void startAction();

  std::optional<std::filesystem::path> runOpenDialog(const OpenDialogState& dialog) override;
  void showMessage(std::string_view text) override;
  void showError(std::string_view caption, std::string_view text) override;
  // "erreur : <file as given> : <text>", as command-line tools say it.
  void showFileError(std::string_view caption, const std::filesystem::path& file,
                     std::string_view text) override;
  void setClipboardText(std::string_view text) override;
  int textWidth(std::string_view text) override;
  int maxCharWidth() override { return kCharWidth; }
  void keepScreenAlive() override {}

 private:
  std::ostream& messages_;
  std::optional<std::filesystem::path> nextAnswer_;
};

// Writes a Windows-1252 text to a UTF-8 terminal, with a line end.
void WriteLine(std::ostream& out, std::string_view cp1252Text);

// A path as the terminal expects it: the native bytes on POSIX, UTF-8 on
// Windows, where the program switches the console to UTF-8.
std::string ForTerminal(const std::filesystem::path& path);

}  // namespace passerelle::batch
