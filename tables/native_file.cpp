#include "tables/native_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>

#include "tables/errors.h"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace passerelle {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// `reportAs` is the name the user knows the file by.
FileHandle OpenFile(const std::filesystem::path& file, bool forWriting,
                    const std::filesystem::path& reportAs) {
#ifdef _WIN32
  std::FILE* handle = _wfopen(file.c_str(), forWriting ? L"wb" : L"rb");
#else
  std::FILE* handle = std::fopen(file.c_str(), forWriting ? "wb" : "rb");
#endif
  if (handle == nullptr)
    throw FileError::FromErrno(errno, reportAs);
  return FileHandle(handle);
}

int ProcessId() {
#ifdef _WIN32
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

}  // namespace

FileBytes ReadWholeFile(const std::filesystem::path& file) {
  FileHandle handle = OpenFile(file, false, file);
  std::error_code sizeError;
  const auto expected = std::filesystem::file_size(file, sizeError);
  // Read straight into the result; the size is only a hint, since the file
  // may change while it is read. One byte more than announced lets the end
  // of file be seen without growing the buffer.
  FileBytes bytes;
  std::size_t capacity = sizeError ? std::size_t{1} << 16 : static_cast<std::size_t>(expected) + 1;
  bytes.data = std::make_unique_for_overwrite<char[]>(capacity);
  for (;;) {
    if (bytes.size == capacity) {
      const std::size_t grown = capacity * 2;
      auto larger = std::make_unique_for_overwrite<char[]>(grown);
      std::memcpy(larger.get(), bytes.data.get(), bytes.size);
      bytes.data = std::move(larger);
      capacity = grown;
    }
    const std::size_t got =
        std::fread(bytes.data.get() + bytes.size, 1, capacity - bytes.size, handle.get());
    bytes.size += got;
    if (bytes.size < capacity) {
      if (std::ferror(handle.get()))
        throw FileError::FromErrno(errno, file);
      if (std::feof(handle.get()))
        break;
    }
  }
  return bytes;
}

WholeFileWriter::WholeFileWriter(std::filesystem::path target) : target_(std::move(target)) {
  // A read-only target stays as it is, as Windows would keep it.
  std::error_code statusError;
  const auto status = std::filesystem::status(target_, statusError);
  if (!statusError && std::filesystem::exists(status)) {
    if (std::filesystem::is_directory(status)) {
      throw FileError(std::make_error_code(std::errc::is_a_directory), target_);
    }
    if ((status.permissions() & std::filesystem::perms::owner_write) ==
        std::filesystem::perms::none) {
      throw FileError(std::make_error_code(std::errc::permission_denied), target_);
    }
  }
  // Renaming over the target needs only the folder, so a locked folder must
  // be checked as well, or root would replace the files it is meant to keep.
  if (FolderRefusesWriting(target_.parent_path()))
    throw FileError(std::make_error_code(std::errc::permission_denied), target_);

  temporary_ = target_;
  temporary_ += ".part" + std::to_string(ProcessId());
  handle_ = OpenFile(temporary_, true, target_).release();
}

WholeFileWriter::~WholeFileWriter() {
  if (handle_ != nullptr)
    std::fclose(handle_);
  if (!committed_) {
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
  }
}

void WholeFileWriter::write(std::string_view bytes) {
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), handle_) != bytes.size())
    throw FileError::FromErrno(errno, target_);
}

void WholeFileWriter::commit() {
  if (std::fflush(handle_) != 0)
    throw FileError::FromErrno(errno, target_);
  std::FILE* raw = handle_;
  handle_ = nullptr;
  if (std::fclose(raw) != 0)
    throw FileError::FromErrno(errno, target_);
  std::error_code renameError;
  std::filesystem::rename(temporary_, target_, renameError);
  if (renameError)
    throw FileError(renameError, target_);
  committed_ = true;
}

void WriteFileWhole(const std::filesystem::path& file, std::string_view bytes) {
  WholeFileWriter writer(file);
  writer.write(bytes);
  writer.commit();
}

bool FolderRefusesWriting(const std::filesystem::path& folder) {
#ifdef _WIN32
  // A folder's read-only attribute only marks a customised folder there;
  // access lists decide, and the system applies them to every account.
  (void)folder;
  return false;
#else
  using std::filesystem::perms;
  std::error_code error;
  const auto status = std::filesystem::status(folder.empty() ? "." : folder, error);
  if (error || !std::filesystem::is_directory(status))
    return false;
  const perms anyWrite = perms::owner_write | perms::group_write | perms::others_write;
  return (status.permissions() & anyWrite) == perms::none;
#endif
}

}  // namespace passerelle
