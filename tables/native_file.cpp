#include "tables/native_file.h"

#include <cerrno>
#include <cstdio>
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

std::string ReadWholeFile(const std::filesystem::path& file) {
  FileHandle handle = OpenFile(file, false, file);
  std::error_code sizeError;
  const auto expected = std::filesystem::file_size(file, sizeError);
  std::string bytes;
  if (!sizeError)
    bytes.reserve(static_cast<std::size_t>(expected));
  char chunk[1 << 16];
  for (;;) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, handle.get());
    bytes.append(chunk, got);
    if (got < sizeof chunk) {
      if (std::ferror(handle.get()))
        throw FileError::FromErrno(errno, file);
      break;
    }
  }
  return bytes;
}

void WriteFileWhole(const std::filesystem::path& file, std::string_view bytes) {
  // A read-only target stays as it is, as Windows would keep it.
  std::error_code statusError;
  const auto status = std::filesystem::status(file, statusError);
  if (!statusError && std::filesystem::exists(status)) {
    if (std::filesystem::is_directory(status)) {
      throw FileError(std::make_error_code(std::errc::is_a_directory), file);
    }
    if ((status.permissions() & std::filesystem::perms::owner_write) ==
        std::filesystem::perms::none) {
      throw FileError(std::make_error_code(std::errc::permission_denied), file);
    }
  }
  // Renaming over the target needs only the folder, so a locked folder must
  // be checked as well, or root would replace the files it is meant to keep.
  if (FolderRefusesWriting(file.parent_path()))
    throw FileError(std::make_error_code(std::errc::permission_denied), file);

  std::filesystem::path temporary = file;
  temporary += ".part" + std::to_string(ProcessId());
  try {
    FileHandle handle = OpenFile(temporary, true, file);
    if (!bytes.empty() &&
        std::fwrite(bytes.data(), 1, bytes.size(), handle.get()) != bytes.size()) {
      throw FileError::FromErrno(errno, file);
    }
    if (std::fflush(handle.get()) != 0)
      throw FileError::FromErrno(errno, file);
    std::FILE* raw = handle.release();
    if (std::fclose(raw) != 0)
      throw FileError::FromErrno(errno, file);
    std::error_code renameError;
    std::filesystem::rename(temporary, file, renameError);
    if (renameError)
      throw FileError(renameError, file);
  } catch (...) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    throw;
  }
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
