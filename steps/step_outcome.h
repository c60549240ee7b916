#pragma once

#include <filesystem>
#include <string>
#include <utility>

namespace passerelle {

// How a command ended, as a type: the form shows the message, and whoever
// acts on the ending (the batch program's exit status, the window's status
// line) decides from the kind, never from the message's wording. Steps
// return it; the form turns an error thrown on the way into one too, so
// that every ending reaches the form by the same road.
struct StepOutcome {
  enum class Kind {
    kDone,
    // The file lacks a column the step needs: the tables are as they were.
    kMissingColumn,
    // The users file holds neither a student nor a teacher.
    kNoAccounts,
    // A file could not be read or written; `file` says which.
    kFileError,
    // Any other error (memory, mostly).
    kError,
  };

  Kind kind = Kind::kDone;
  std::string message;  // Windows-1252; empty when done
  std::filesystem::path file;

  static StepOutcome Done() { return {}; }
  static StepOutcome Stopped(Kind kind, std::string message) {
    return {kind, std::move(message), {}};
  }
  bool done() const { return kind == Kind::kDone; }
};

}  // namespace passerelle
