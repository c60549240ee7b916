#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace passerelle {

// The program's only direct contact with the file system's byte streams.
// Every failure throws FileError with the system's code.

// A file's bytes. The buffer may be longer than `size`; it is never
// zero-filled before the read, so a big file's memory is written once.
struct FileBytes {
  std::unique_ptr<char[]> data;
  std::size_t size = 0;

  std::string_view view() const { return {data.get(), size}; }
};

// The whole content of a file, read at once.
FileBytes ReadWholeFile(const std::filesystem::path& file);

// Writes a file whole or not at all: the bytes go to a temporary file in the
// target's folder, which replaces the target only on commit(). Destroyed
// without a commit, it removes the temporary file and the target is
// untouched. A read-only target, or a folder that FolderRefusesWriting, is
// refused as access denied when the writer is made.
class WholeFileWriter {
 public:
  explicit WholeFileWriter(std::filesystem::path target);
  ~WholeFileWriter();
  WholeFileWriter(const WholeFileWriter&) = delete;
  WholeFileWriter& operator=(const WholeFileWriter&) = delete;

  void write(std::string_view bytes);
  void commit();

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::FILE* handle_ = nullptr;
  bool committed_ = false;
};

// Replaces `file` by `bytes`, whole or not at all (temporary file in the same
// folder, flushed, then renamed over the target). A read-only target, or a
// folder that FolderRefusesWriting, is refused as access denied.
void WriteFileWhole(const std::filesystem::path& file, std::string_view bytes);

// Whether an existing folder's permission bits let nobody write into it.
// Such a folder is left alone even by an account the system would let
// through (root), so that a locked output folder keeps its files whoever
// runs the program. Always false on Windows.
bool FolderRefusesWriting(const std::filesystem::path& folder);

}  // namespace passerelle
