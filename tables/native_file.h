#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "tables/large_pages.h"

namespace passerelle {

// The program's only direct contact with the file system's byte streams.
// Every failure throws FileError with the system's code.

// A file's bytes. The buffer may be longer than `size`; it is never
// zero-filled before the read, so a big file's memory is written once, and
// a big file's buffer is a copy the system makes (CopyFileIntoLargeBlock)
// or, where it cannot, a large block read into.
struct FileBytes {
  LargeBlock data;
  std::size_t size = 0;

  std::string_view view() const { return {data.get(), size}; }
};

// The content of a regular file, up to the size it had when it was opened:
// a file still growing is read as it stood. Anything else (a folder, a pipe,
// a device, a socket) is refused at once, without waiting for a writer.
FileBytes ReadWholeFile(const std::filesystem::path& file);

// Writes a file whole or not at all. The bytes go to a new temporary file in
// the target's folder: created exclusively, never through a link, under a
// hidden name that starts with the target's and ends unpredictably. commit()
// syncs it to disk and renames it over the target; the replaced file's
// permission bits, and its owner where the system lets us, carry over, while
// a new file gets the usual mode under the umask. Destroyed without a
// commit, it removes the temporary file and the target is untouched. A
// read-only target, or a folder that FolderRefusesWriting, is refused as
// access denied when the writer is made.
class WholeFileWriter {
 public:
  explicit WholeFileWriter(std::filesystem::path target);
  ~WholeFileWriter();
  WholeFileWriter(const WholeFileWriter&) = delete;
  WholeFileWriter& operator=(const WholeFileWriter&) = delete;

  void write(std::string_view bytes);
  void commit();

  const std::filesystem::path& target() const { return target_; }

  struct Native;

 private:
  friend void CommitTogether(std::span<WholeFileWriter* const> writers);
  // Creates the temporary file; on failure the constructor cleans up.
  void createTemporary();
  // Flushes, syncs and closes the temporary file and gives it its mode.
  void finish();
  // Renames the finished temporary file over the target.
  void replaceTarget();
  void discard() noexcept;

  std::filesystem::path target_;
  std::unique_ptr<Native> native_;
  bool committed_ = false;
};

// Commits several writers as one save: every temporary file is finished and
// synced before any target is replaced, so that a failure up to then leaves
// every target as it was and no temporary file; then the targets are
// replaced back to back and their folders synced. What remains possible is
// confined to the instant between two renames: a power cut, a crash of the
// system or SIGKILL there, or the second rename failing on its own (its
// target turned into a folder since the writer checked it, an input/output
// error), leaves the first file new and the second old, and on a power cut
// the second one's temporary file.
void CommitTogether(std::span<WholeFileWriter* const> writers);

// Replaces `file` by `bytes`, whole or not at all, as WholeFileWriter does.
void WriteFileWhole(const std::filesystem::path& file, std::string_view bytes);

// One save at a time per output folder, between processes too: made before
// a save's files are written, it waits a few seconds for another program
// saving into `folder`, then refuses with a French message. It leaves
// nothing in the folder once released.
class FolderSaveLock {
 public:
  explicit FolderSaveLock(const std::filesystem::path& folder);
  ~FolderSaveLock();
  FolderSaveLock(const FolderSaveLock&) = delete;
  FolderSaveLock& operator=(const FolderSaveLock&) = delete;

 private:
  std::intptr_t handle_;
};

// Whether an existing folder's permission bits let nobody write into it.
// Such a folder is left alone even by an account the system would let
// through (root), so that a locked output folder keeps its files whoever
// runs the program. Always false on Windows.
bool FolderRefusesWriting(const std::filesystem::path& folder);

// For the programs' start: an interruption (Ctrl-C, termination, the
// terminal closing) removes the temporary files of the saves in flight, then
// ends the program as that interruption always does. A file-size limit makes
// a write fail with its error instead of killing the program.
void RemoveTemporaryFilesOnInterruption();

// For tests only: called with the target after every write() of a writer,
// so that a test can interrupt a save at a chosen point. Empty to stop.
void SetAfterWriteHookForTesting(std::function<void(const std::filesystem::path&)> hook);

}  // namespace passerelle
