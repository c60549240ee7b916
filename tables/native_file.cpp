#include "tables/native_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <random>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "tables/errors.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <mutex>
#include <vector>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#endif

namespace passerelle {

namespace {

// A second program saving into the same folder gets this long to finish.
constexpr auto kSaveLockWait = std::chrono::seconds(3);
constexpr auto kPollInterval = std::chrono::milliseconds(50);

std::function<void(const std::filesystem::path&)>& AfterWriteHook() {
  static std::function<void(const std::filesystem::path&)> hook;
  return hook;
}

// The unpredictable end of a temporary file's name.
std::string RandomSuffix() {
  static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::uint64_t bits[2] = {};
  try {
    std::random_device entropy;
    for (std::uint64_t& word : bits)
      word = (static_cast<std::uint64_t>(entropy()) << 32) ^ entropy();
  } catch (const std::exception&) {
    // No entropy source at all: the clock still makes the name unknown in
    // advance, and the exclusive creation keeps it safe regardless.
    bits[0] = static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
    bits[1] = reinterpret_cast<std::uintptr_t>(&bits) * 0x9E3779B97F4A7C15ull;
  }
  std::string suffix;
  for (int i = 0; i < 12; ++i) {
    std::uint64_t& word = bits[i / 6];
    suffix.push_back(kChars[word % (sizeof kChars - 1)]);
    word /= sizeof kChars - 1;
  }
  return suffix;
}

// A temporary file's name: hidden, starting with the target's name, so that
// whoever finds one after a power cut knows what it was. A target name near
// the system's length limit gives only its beginning.
template <typename String>
String TemporaryName(const String& targetName) {
  constexpr std::size_t kKeptOfTarget = 200;
  String name(1, '.');
  name.append(targetName, 0, std::min(targetName.size(), kKeptOfTarget));
  name.push_back('.');
  for (const char c : RandomSuffix())
    name.push_back(static_cast<typename String::value_type>(c));
  return name;
}

// What every writer checks before it starts: a read-only target stays as it
// is, as Windows would keep it, and so do the files of a locked folder, for
// every account.
void RefuseProtectedTarget(const std::filesystem::path& target) {
  std::error_code statusError;
  const auto status = std::filesystem::status(target, statusError);
  if (!statusError && std::filesystem::exists(status)) {
    if (std::filesystem::is_directory(status))
      throw FileError(std::make_error_code(std::errc::is_a_directory), target);
    if ((status.permissions() & std::filesystem::perms::owner_write) ==
        std::filesystem::perms::none) {
      throw FileError(std::make_error_code(std::errc::permission_denied), target);
    }
  }
  // Renaming over the target needs only the folder, so a locked folder must
  // be checked as well, or root would replace the files it is meant to keep.
  if (FolderRefusesWriting(target.parent_path()))
    throw FileError(std::make_error_code(std::errc::permission_denied), target);
}

}  // namespace

void SetAfterWriteHookForTesting(std::function<void(const std::filesystem::path&)> hook) {
  AfterWriteHook() = std::move(hook);
}

void WriteFileWhole(const std::filesystem::path& file, std::string_view bytes) {
  WholeFileWriter writer(file);
  writer.write(bytes);
  writer.commit();
}

void WholeFileWriter::commit() {
  WholeFileWriter* const self[] = {this};
  CommitTogether(self);
}

void CommitTogether(std::span<WholeFileWriter* const> writers) {
  for (WholeFileWriter* writer : writers)
    writer->finish();
  for (WholeFileWriter* writer : writers)
    writer->replaceTarget();
}

WholeFileWriter::~WholeFileWriter() {
  discard();
}

#ifndef _WIN32

// ---------------------------------------------------------------------------
// POSIX

namespace {

// The temporary files in flight, for the interruption handler: each as its
// folder's descriptor and its name in that folder, so that removing one
// needs nothing but unlinkat, whatever the length of the folder's path. A
// slot is taken by storing its folder last and freed by clearing it first.
struct InFlightFile {
  std::atomic<int> folder{-1};
  char name[256] = {};
};
constexpr int kInFlightSlots = 16;
InFlightFile gInFlight[kInFlightSlots];
static_assert(std::atomic<int>::is_always_lock_free);

int TakeInFlightSlot(int folder, const std::string& name) {
  for (int i = 0; i < kInFlightSlots; ++i) {
    int expected = -1;
    // -2 reserves the slot while its name is written.
    if (gInFlight[i].folder.compare_exchange_strong(expected, -2)) {
      std::memcpy(gInFlight[i].name, name.c_str(),
                  std::min(name.size() + 1, sizeof gInFlight[i].name));
      gInFlight[i].folder.store(folder);
      return i;
    }
  }
  return -1;  // More saves at once than any command makes: not recorded.
}

void FreeInFlightSlot(int slot) {
  if (slot >= 0)
    gInFlight[slot].folder.store(-1);
}

extern "C" void RemoveTemporaryFilesAndStop(int signalNumber) {
  const int savedErrno = errno;
  for (InFlightFile& file : gInFlight) {
    const int folder = file.folder.load();
    if (folder >= 0)
      unlinkat(folder, file.name, 0);
  }
  errno = savedErrno;
  // The handler was reset to the default on entry and the signal is not
  // blocked: raising it again ends the program as it always ended.
  raise(signalNumber);
}

int CloseOnError(int descriptor, int error) {
  close(descriptor);
  return error;
}

}  // namespace

struct WholeFileWriter::Native {
  int folder = -1;
  int file = -1;
  std::string targetName;
  std::string temporaryName;
  int slot = -1;
  // Bytes written so far: where the next piece starts in the file.
  off_t written = 0;
};

FileBytes ReadWholeFile(const std::filesystem::path& file) {
  // Non-blocking, so that a pipe without a writer cannot hold the program;
  // only a regular file goes further.
  const int descriptor = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (descriptor < 0) {
    if (errno == ENXIO)  // a socket, or a device without its driver
      throw FileError::NotRegularFile(file);
    throw FileError::FromErrno(errno, file);
  }
  struct stat status {};
  if (fstat(descriptor, &status) != 0)
    throw FileError::FromErrno(CloseOnError(descriptor, errno), file);
  if (!S_ISREG(status.st_mode)) {
    close(descriptor);
    throw FileError::NotRegularFile(file);
  }
  // What the file held when opened: a file still being appended to is read
  // as it stood, never without end.
  const auto size = static_cast<std::size_t>(status.st_size);
  FileBytes bytes;
  // A copy the system made holds all the file held; any other block is
  // read into.
  bytes.data = CopyFileIntoLargeBlock(descriptor, size, bytes.size);
  const bool copied = bytes.size > 0;
  if (bytes.data == nullptr)
    bytes.data = AllocateLargeBlock(std::max<std::size_t>(size, 1));
  while (!copied && bytes.size < size) {
    const ssize_t got = read(descriptor, bytes.data.get() + bytes.size, size - bytes.size);
    if (got < 0) {
      if (errno == EINTR)
        continue;
      throw FileError::FromErrno(CloseOnError(descriptor, errno), file);
    }
    if (got == 0)
      break;  // the file shrank meanwhile
    bytes.size += static_cast<std::size_t>(got);
  }
  close(descriptor);
  return bytes;
}

void WholeFileWriter::createTemporary() {
  Native& n = *native_;
  const std::filesystem::path folder =
      target_.has_parent_path() ? target_.parent_path() : std::filesystem::path(".");
  n.targetName = target_.filename().string();
  n.folder = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (n.folder < 0)
    throw FileError::FromErrno(errno, target_);

  // The file being replaced decides the new one's mode and owner. A link in
  // its place is replaced, never followed.
  struct stat old {};
  const bool replacing = fstatat(n.folder, n.targetName.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 &&
                         S_ISREG(old.st_mode);

  // Never an existing path, never through a link: a name planted in advance
  // only makes us draw another one.
  for (int attempt = 0;; ++attempt) {
    n.temporaryName = TemporaryName(n.targetName);
    n.slot = TakeInFlightSlot(n.folder, n.temporaryName);
    // A replaced file's content must never sit in a file more open than it
    // was: the temporary file starts closed to others and gets the old mode
    // before the first byte. A new file is made as any program makes one.
    n.file = openat(n.folder, n.temporaryName.c_str(),
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, replacing ? 0600 : 0666);
    if (n.file >= 0)
      break;
    const int error = errno;
    FreeInFlightSlot(std::exchange(n.slot, -1));
    if (error != EEXIST || attempt == 100)
      throw FileError::FromErrno(error, target_);
  }
  if (replacing) {
    // Owner and group only where the system lets us (as root, or a group we
    // belong to); the permission bits always, after the owner, whose change
    // clears the set-id bits.
    if (fchown(n.file, old.st_uid, old.st_gid) != 0)
      static_cast<void>(fchown(n.file, static_cast<uid_t>(-1), old.st_gid));
    if (fchmod(n.file, old.st_mode & 07777) != 0)
      throw FileError::FromErrno(errno, target_);
  }
}

void WholeFileWriter::write(std::string_view bytes) {
  Native& n = *native_;
  [[maybe_unused]] const std::size_t whole = bytes.size();
  while (!bytes.empty()) {
    const ssize_t written = ::write(n.file, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR)
        continue;
      throw FileError::FromErrno(errno, target_);
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
#ifdef SYNC_FILE_RANGE_WRITE
  // The disk starts on each piece as soon as it is handed over, so that the
  // sync before the rename waits for the last piece only, not the whole file.
  // Only a head start: where refused, the sync does it all.
  const auto size = static_cast<off_t>(whole);
  static_cast<void>(sync_file_range(n.file, n.written, size, SYNC_FILE_RANGE_WRITE));
  n.written += size;
#endif
  if (AfterWriteHook())
    AfterWriteHook()(target_);
}

void WholeFileWriter::finish() {
  Native& n = *native_;
  // On disk before it takes the target's name: a power cut just after the
  // rename must not leave an empty file in its place.
  if (fsync(n.file) != 0 && errno != EINVAL)
    throw FileError::FromErrno(errno, target_);
  const int file = std::exchange(n.file, -1);
  if (close(file) != 0 && errno != EINTR)
    throw FileError::FromErrno(errno, target_);
}

void WholeFileWriter::replaceTarget() {
  Native& n = *native_;
  if (renameat(n.folder, n.temporaryName.c_str(), n.folder, n.targetName.c_str()) != 0)
    throw FileError::FromErrno(errno, target_);
  committed_ = true;
  FreeInFlightSlot(std::exchange(n.slot, -1));
  // The new name itself reaches the disk with its folder.
  static_cast<void>(fsync(n.folder));
}

void WholeFileWriter::discard() noexcept {
  if (!native_)
    return;
  Native& n = *native_;
  if (n.file >= 0)
    close(std::exchange(n.file, -1));
  if (!committed_ && n.folder >= 0 && !n.temporaryName.empty())
    unlinkat(n.folder, n.temporaryName.c_str(), 0);
  FreeInFlightSlot(std::exchange(n.slot, -1));
  if (n.folder >= 0)
    close(std::exchange(n.folder, -1));
}

FolderSaveLock::FolderSaveLock(const std::filesystem::path& folder) : handle_(-1) {
  // The lock is on the folder itself, so nothing is ever created for it. A
  // folder that cannot be opened is left to the writers, which say why.
  const int descriptor =
      open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0)
    return;
  const auto giveUp = std::chrono::steady_clock::now() + kSaveLockWait;
  for (;;) {
    if (flock(descriptor, LOCK_EX | LOCK_NB) == 0) {
      handle_ = descriptor;
      return;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) {
      // A file system without locks (some network shares): saves there go
      // unguarded, as they always did.
      close(descriptor);
      return;
    }
    if (std::chrono::steady_clock::now() >= giveUp) {
      close(descriptor);
      throw FileError::FolderBusy(folder);
    }
    std::this_thread::sleep_for(kPollInterval);
  }
}

FolderSaveLock::~FolderSaveLock() {
  if (handle_ >= 0)
    close(static_cast<int>(handle_));  // releases the lock
}

bool FolderRefusesWriting(const std::filesystem::path& folder) {
  using std::filesystem::perms;
  std::error_code error;
  const auto status = std::filesystem::status(folder.empty() ? "." : folder, error);
  if (error || !std::filesystem::is_directory(status))
    return false;
  const perms anyWrite = perms::owner_write | perms::group_write | perms::others_write;
  return (status.permissions() & anyWrite) == perms::none;
}

void RemoveTemporaryFilesOnInterruption() {
  for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous {};
    sigaction(signalNumber, nullptr, &previous);
    // Started with the signal ignored (nohup): it stays ignored.
    if (previous.sa_handler == SIG_IGN)
      continue;
    struct sigaction action {};
    action.sa_handler = RemoveTemporaryFilesAndStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigaction(signalNumber, &action, nullptr);
  }
  // Past a file-size limit, write() then fails with EFBIG and the save
  // reports it like a full disk, instead of the program dying silently.
  signal(SIGXFSZ, SIG_IGN);
}

#else

// ---------------------------------------------------------------------------
// Windows

namespace {

// A spreadsheet that holds an output open often lets go within a moment.
constexpr auto kSharingRetry = std::chrono::seconds(1);

// Win32 errors as the error display knows them.
std::error_code ErrorOfWindows(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return std::make_error_code(std::errc::no_such_file_or_directory);
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return std::make_error_code(std::errc::permission_denied);
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
      return std::make_error_code(std::errc::invalid_argument);
    case ERROR_FILENAME_EXCED_RANGE:
      return std::make_error_code(std::errc::filename_too_long);
    case ERROR_TOO_MANY_OPEN_FILES:
      return std::make_error_code(std::errc::too_many_files_open);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return std::make_error_code(std::errc::file_exists);
    default:
      return std::error_code(static_cast<int>(error), std::system_category());
  }
}

[[noreturn]] void ThrowLastError(const std::filesystem::path& reportAs) {
  throw FileError(ErrorOfWindows(GetLastError()), reportAs);
}

bool HeldByAnotherProgram(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Runs `attempt` until it succeeds or fails for another reason than a file
// held open elsewhere, for about a second; then says which file is held.
template <typename Attempt>
void RetryWhileHeld(const std::filesystem::path& file, Attempt&& attempt) {
  const auto giveUp = std::chrono::steady_clock::now() + kSharingRetry;
  for (;;) {
    if (attempt())
      return;
    const DWORD error = GetLastError();
    if (!HeldByAnotherProgram(error))
      ThrowLastError(file);
    if (std::chrono::steady_clock::now() >= giveUp)
      throw FileError::OpenInAnotherProgram(file);
    std::this_thread::sleep_for(kPollInterval);
  }
}

// The temporary files in flight, for the console's Ctrl-C and close
// handler, which the system runs on a thread of its own.
std::mutex gInFlightMutex;
std::vector<std::wstring> gInFlight;

void RecordInFlight(const std::wstring& path) {
  const std::lock_guard lock(gInFlightMutex);
  gInFlight.push_back(path);
}

void ForgetInFlight(const std::wstring& path) {
  const std::lock_guard lock(gInFlightMutex);
  gInFlight.erase(std::remove(gInFlight.begin(), gInFlight.end(), path), gInFlight.end());
}

BOOL WINAPI RemoveTemporaryFilesAndStop(DWORD) {
  {
    const std::lock_guard lock(gInFlightMutex);
    // Opened with delete sharing, so they go even while still open.
    for (const std::wstring& path : gInFlight)
      DeleteFileW(path.c_str());
  }
  return FALSE;  // the system then ends the program as it always does
}

}  // namespace

struct WholeFileWriter::Native {
  HANDLE file = INVALID_HANDLE_VALUE;
  std::filesystem::path temporary;
  bool recorded = false;
};

FileBytes ReadWholeFile(const std::filesystem::path& file) {
  HANDLE handle = INVALID_HANDLE_VALUE;
  try {
    RetryWhileHeld(file, [&] {
      handle = CreateFileW(file.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      return handle != INVALID_HANDLE_VALUE;
    });
  } catch (const FileError&) {
    // A folder cannot even be opened as a file there.
    std::error_code ignored;
    if (std::filesystem::is_directory(file, ignored))
      throw FileError::NotRegularFile(file);
    throw;
  }
  struct Closer {
    HANDLE handle;
    ~Closer() { CloseHandle(handle); }
  } closer{handle};
  BY_HANDLE_FILE_INFORMATION information{};
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw FileError::NotRegularFile(file);
  }
  const auto size =
      (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
  FileBytes bytes;
  bytes.data = AllocateLargeBlock(std::max<std::size_t>(size, 1));
  while (bytes.size < size) {
    const DWORD wanted =
        static_cast<DWORD>(std::min<std::uint64_t>(size - bytes.size, DWORD{1} << 30));
    DWORD got = 0;
    if (!ReadFile(handle, bytes.data.get() + bytes.size, wanted, &got, nullptr))
      ThrowLastError(file);
    if (got == 0)
      break;
    bytes.size += got;
  }
  return bytes;
}

void WholeFileWriter::createTemporary() {
  Native& n = *native_;
  for (int attempt = 0;; ++attempt) {
    n.temporary = target_.parent_path() / TemporaryName(target_.filename().wstring());
    // CREATE_NEW never opens what exists, a link included. Delete sharing
    // lets the interruption handler remove the file while it is open.
    n.file = CreateFileW(n.temporary.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (n.file != INVALID_HANDLE_VALUE)
      break;
    const DWORD error = GetLastError();
    if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == 100) {
      SetLastError(error);
      ThrowLastError(target_);
    }
  }
  RecordInFlight(n.temporary.wstring());
  n.recorded = true;
}

void WholeFileWriter::write(std::string_view bytes) {
  Native& n = *native_;
  while (!bytes.empty()) {
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), DWORD{1} << 30));
    DWORD written = 0;
    if (!WriteFile(n.file, bytes.data(), wanted, &written, nullptr)) {
      const DWORD error = GetLastError();
      if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL)
        throw FileError(std::make_error_code(std::errc::no_space_on_device), target_);
      ThrowLastError(target_);
    }
    bytes.remove_prefix(written);
  }
  if (AfterWriteHook())
    AfterWriteHook()(target_);
}

void WholeFileWriter::finish() {
  Native& n = *native_;
  if (!FlushFileBuffers(n.file))
    ThrowLastError(target_);
  const HANDLE file = std::exchange(n.file, INVALID_HANDLE_VALUE);
  if (!CloseHandle(file))
    ThrowLastError(target_);
  // A spreadsheet holding the target open would make the rename fail; this
  // is found out before any file of the save is replaced.
  if (GetFileAttributesW(target_.c_str()) != INVALID_FILE_ATTRIBUTES) {
    RetryWhileHeld(target_, [&] {
      const HANDLE probe = CreateFileW(target_.c_str(), DELETE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        return true;
      }
      // Any other failure is for the rename to report.
      return !HeldByAnotherProgram(GetLastError());
    });
  }
}

void WholeFileWriter::replaceTarget() {
  Native& n = *native_;
  RetryWhileHeld(target_, [&] {
    return MoveFileExW(n.temporary.c_str(), target_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  });
  committed_ = true;
  ForgetInFlight(n.temporary.wstring());
  n.recorded = false;
}

void WholeFileWriter::discard() noexcept {
  if (!native_)
    return;
  Native& n = *native_;
  if (n.file != INVALID_HANDLE_VALUE)
    CloseHandle(std::exchange(n.file, INVALID_HANDLE_VALUE));
  if (!committed_ && !n.temporary.empty())
    DeleteFileW(n.temporary.c_str());
  if (n.recorded) {
    try {
      ForgetInFlight(n.temporary.wstring());
    } catch (...) {
    }
    n.recorded = false;
  }
}

FolderSaveLock::FolderSaveLock(const std::filesystem::path& folder)
    : handle_(reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE)) {
  // A folder cannot be locked there: a hidden file opened for us alone
  // stands for it. The system deletes it when its last handle closes, even
  // when the program is ended, so nothing stays behind after a save.
  const std::filesystem::path lockFile =
      (folder.empty() ? std::filesystem::path(".") : folder) / L".passerelle-sauvegarde";
  const auto giveUp = std::chrono::steady_clock::now() + kSaveLockWait;
  for (;;) {
    const HANDLE handle =
        CreateFileW(lockFile.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      handle_ = reinterpret_cast<std::intptr_t>(handle);
      return;
    }
    // A missing or locked folder is left to the writers, which say why.
    if (!HeldByAnotherProgram(GetLastError()))
      return;
    if (std::chrono::steady_clock::now() >= giveUp)
      throw FileError::FolderBusy(folder);
    std::this_thread::sleep_for(kPollInterval);
  }
}

FolderSaveLock::~FolderSaveLock() {
  const HANDLE handle = reinterpret_cast<HANDLE>(handle_);
  if (handle != INVALID_HANDLE_VALUE)
    CloseHandle(handle);
}

bool FolderRefusesWriting(const std::filesystem::path& folder) {
  // A folder's read-only attribute only marks a customised folder there;
  // access lists decide, and the system applies them to every account.
  (void)folder;
  return false;
}

void RemoveTemporaryFilesOnInterruption() {
  SetConsoleCtrlHandler(RemoveTemporaryFilesAndStop, TRUE);
}

#endif

// After both systems' Native, which it needs whole.
WholeFileWriter::WholeFileWriter(std::filesystem::path target)
    : target_(std::move(target)), native_(std::make_unique<Native>()) {
  RefuseProtectedTarget(target_);
  try {
    createTemporary();
  } catch (...) {
    discard();
    throw;
  }
}

}  // namespace passerelle
