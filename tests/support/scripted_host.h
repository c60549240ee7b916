#pragma once

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/form/host.h"

namespace passerelle::testing {

// A host whose dialog answers are queued in advance and whose messages,
// errors and clipboard are recorded. Every character is 8 pixels wide.
class ScriptedHost : public Host {
 public:
  static constexpr int kCharWidth = 8;

  // Queue the answer of the next open dialog; nullopt cancels it.
  void answerDialog(std::optional<std::filesystem::path> file) {
    answers.push_back(std::move(file));
  }

  std::optional<std::filesystem::path> runOpenDialog(const OpenDialogState& dialog) override {
    dialogsSeen.push_back(dialog);
    if (answers.empty())
      return std::nullopt;
    auto answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void showMessage(std::string_view text) override { messages.emplace_back(text); }
  void showError(std::string_view caption, std::string_view text) override {
    errorCaptions.emplace_back(caption);
    errors.emplace_back(text);
  }
  void setClipboardText(std::string_view text) override { clipboard = std::string(text); }
  int textWidth(std::string_view text) override {
    return static_cast<int>(text.size()) * kCharWidth;
  }
  int maxCharWidth() override { return kCharWidth; }
  void keepScreenAlive() override { ++screenUpdates; }

  std::deque<std::optional<std::filesystem::path>> answers;
  std::vector<OpenDialogState> dialogsSeen;
  std::vector<std::string> messages;
  std::vector<std::string> errors;
  std::vector<std::string> errorCaptions;
  std::optional<std::string> clipboard;
  int screenUpdates = 0;
};

}  // namespace passerelle::testing
