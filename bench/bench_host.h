#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "app/form/host.h"

namespace passerelle::bench {

// The desktop as the benchmark sees it: the open dialog answers with the
// generated export of the step being timed, messages are counted rather than
// shown, and text widths come from a table of the 256 character widths, as
// the window measures them. It also keeps the longest stretch of a command
// during which the screen was never given a chance to repaint.
class BenchHost : public Host {
 public:
  using Clock = std::chrono::steady_clock;

  // The answer of the next open dialog; consumed by it.
  void answerNextDialog(std::filesystem::path file) { nextAnswer_ = std::move(file); }

  // Bracket one command; longestPause() then covers it, edges included.
  void startCommand();
  void endCommand();
  double longestPause() const { return longestPause_.count(); }

  int messages() const { return messages_; }
  int errors() const { return errors_; }
  const std::string& lastError() const { return lastError_; }

  std::optional<std::filesystem::path> runOpenDialog(const OpenDialogState& dialog) override;
  void showMessage(std::string_view text) override;
  void showError(std::string_view caption, std::string_view text) override;
  void setClipboardText(std::string_view text) override;
  int textWidth(std::string_view text) override;
  int maxCharWidth() override;
  // The same table, for the grids to sum themselves as they do in the
  // window.
  const CharWidths* charWidths() override;
  void keepScreenAlive() override;

 private:
  void notePause();

  std::optional<std::filesystem::path> nextAnswer_;
  int messages_ = 0;
  int errors_ = 0;
  std::string lastError_;
  Clock::time_point lastRepaint_ = Clock::now();
  std::chrono::duration<double> longestPause_{0};
};

}  // namespace passerelle::bench
