#pragma once

// What both fuzz targets share: a scratch folder of their own, a desktop
// that answers without showing anything, and the check that stops the run
// with a readable reason.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "app/form/host.h"

namespace passerelle::fuzzing {

// A broken promise is a finding: abort, so that libFuzzer keeps the input.
inline void Require(bool holds, std::string_view what) {
  if (holds)
    return;
  std::fprintf(stderr, "invariant broken: %.*s\n", static_cast<int>(what.size()), what.data());
  std::abort();
}

// One folder per fuzzing process, under TMPDIR, reused by every input: a
// folder per input would cost more than the conversion itself.
class ScratchFolder {
 public:
  explicit ScratchFolder(std::string_view name) {
    std::random_device entropy;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("passerelle-fuzz-" + std::string(name) + "-" + std::to_string(stamp) + "-" +
             std::to_string(entropy()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Removes whatever the last input left behind.
  void empty() const {
    for (const auto& entry : std::filesystem::directory_iterator(path_))
      std::filesystem::remove_all(entry.path());
  }

  // The names of what the folder holds, sorted.
  static std::vector<std::string> Listing(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path path_;
};

inline void WriteBytes(const std::filesystem::path& file, std::string_view bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  Require(static_cast<bool>(out), "the fuzzer could not write its input file");
}

inline std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The desktop of a fuzzing run: dialogs take the queued files, messages go
// nowhere, errors are kept for the target to judge. Widths are counted in
// characters so that measuring stays cheap.
class QuietHost : public Host {
 public:
  void answerDialog(std::filesystem::path file) { answers_.push_back(std::move(file)); }

  std::optional<std::filesystem::path> runOpenDialog(const OpenDialogState&) override {
    if (answers_.empty())
      return std::nullopt;
    std::filesystem::path answer = std::move(answers_.front());
    answers_.pop_front();
    return answer;
  }
  void showMessage(std::string_view) override {}
  void showError(std::string_view, std::string_view text) override { errors.emplace_back(text); }
  void setClipboardText(std::string_view) override {}
  int textWidth(std::string_view text) override { return static_cast<int>(text.size()); }
  void keepScreenAlive() override {}

  std::vector<std::string> errors;

 private:
  std::deque<std::filesystem::path> answers_;
};

}  // namespace passerelle::fuzzing
