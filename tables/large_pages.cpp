#include "tables/large_pages.h"

#include "tables/memory_reuse.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#if defined(__linux__)
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace passerelle {

namespace {

#if defined(__linux__) && defined(MADV_HUGEPAGE)

// A small file of the system's, whole, or empty when it cannot be read.
std::string_view ReadSystemFile(const char* path, char (&buffer)[4096]) {
  const int descriptor = open(path, O_RDONLY | O_CLOEXEC);
  if (descriptor < 0)
    return {};
  std::size_t got = 0;
  for (;;) {
    const ssize_t now = read(descriptor, buffer + got, sizeof buffer - got);
    if (now <= 0)
      break;
    got += static_cast<std::size_t>(now);
    if (got == sizeof buffer)
      break;
  }
  close(descriptor);
  return std::string_view(buffer, got);
}

// What the system offers, read once: the size of a large page and its order
// (how many times the size of an ordinary one it is, as a power of 2), or
// nothing when large pages are not handed out on request.
struct LargePages {
  std::size_t size = 0;
  int order = 0;
};

// Whether the machine is a virtual one whose memory balloon reports free
// memory to its host (the virtio balloon's feature bit 5): the host then
// takes back every free block of 2 MB the system has, and a large page is
// built again from nothing, page by page on the host's side, at its first
// touch. Measured on such a machine, after a few seconds idle: 2 ms per MB
// in large pages against 0.55 in ordinary ones, and a whole conversion of
// a million users lines 0.75 s against 0.43. Only memory freed in the last
// moments escapes this, which a program cannot count on.
bool HostTakesBackFreeBlocks() {
  constexpr char kBalloons[] = "/sys/bus/virtio/drivers/virtio_balloon";
  DIR* const folder = opendir(kBalloons);
  if (folder == nullptr)
    return false;
  bool reporting = false;
  while (const dirent* const entry = readdir(folder)) {
    if (std::strncmp(entry->d_name, "virtio", 6) != 0)
      continue;
    const std::string path = std::string(kBalloons) + "/" + entry->d_name + "/features";
    char buffer[4096];
    // One character per feature bit, from bit 0.
    const std::string_view features = ReadSystemFile(path.c_str(), buffer);
    if (features.size() > 5 && features[5] == '1')
      reporting = true;
  }
  closedir(folder);
  return reporting;
}

bool HostTakesBackFreeMemory() {
  static const bool takesBack = HostTakesBackFreeBlocks();
  return takesBack;
}

LargePages OfferedLargePages() {
  if (HostTakesBackFreeMemory())
    return {};
  char buffer[4096];
  // "[always]" or "[madvise]": a mapping advised to use them gets them.
  const std::string_view enabled =
      ReadSystemFile("/sys/kernel/mm/transparent_hugepage/enabled", buffer);
  if (enabled.find("[always]") == std::string_view::npos &&
      enabled.find("[madvise]") == std::string_view::npos)
    return {};
  const std::string_view sizeText =
      ReadSystemFile("/sys/kernel/mm/transparent_hugepage/hpage_pmd_size", buffer);
  std::size_t size = 0;
  for (const char c : sizeText) {
    if (c < '0' || c > '9')
      break;
    size = size * 10 + static_cast<std::size_t>(c - '0');
  }
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pageSize <= 0 || size <= static_cast<std::size_t>(pageSize) || (size & (size - 1)) != 0)
    return {};
  int order = 0;
  while ((static_cast<std::size_t>(pageSize) << order) < size)
    ++order;
  return {size, order};
}

const LargePages& Offered() {
  static const LargePages offered = OfferedLargePages();
  return offered;
}

// How many large pages the system could hand out right now without moving
// anything: its free blocks of at least that size, from /proc/buddyinfo
// (one line per memory zone, then the free blocks of each order from 0).
std::size_t FreeLargePages(int order) {
  char buffer[4096];
  const std::string_view info = ReadSystemFile("/proc/buddyinfo", buffer);
  std::size_t free = 0;
  std::size_t lineStart = 0;
  while (lineStart < info.size()) {
    std::size_t lineEnd = info.find('\n', lineStart);
    if (lineEnd == std::string_view::npos)
      lineEnd = info.size();
    const std::string_view line = info.substr(lineStart, lineEnd - lineStart);
    lineStart = lineEnd + 1;
    const std::size_t zone = line.find("zone");
    if (zone == std::string_view::npos)
      continue;
    // The zone's name, then its counts.
    std::size_t at = line.find_first_not_of(' ', zone + 4);
    at = line.find(' ', at);
    for (int k = 0; at != std::string_view::npos && at < line.size(); ++k) {
      at = line.find_first_not_of(' ', at);
      if (at == std::string_view::npos)
        break;
      std::size_t count = 0;
      for (; at < line.size() && line[at] >= '0' && line[at] <= '9'; ++at)
        count = count * 10 + static_cast<std::size_t>(line[at] - '0');
      if (k >= order && k - order < 20)
        free += count << (k - order);
    }
  }
  return free;
}

// Large pages are asked for only when the free ones would still be plenty
// afterwards: then the system hands them out from its free lists, and no
// fault of ours ever waits on a compaction.
constexpr std::size_t kFreeLargePagesKept = 64;

// A mapping of the program's: where it starts and how long it is.
struct Mapping {
  char* start;
  std::size_t size;
};

// The mappings handed out as blocks, so that freeing a block knows it for
// one of them and how long it is. Its owner holds the lock.
class HandedOut {
 public:
  // May throw std::bad_alloc, leaving the list as it was.
  void add(Mapping mapping) { list_.push_back(mapping); }
  void reserve(std::size_t count) { list_.reserve(count); }
  std::size_t size() const { return list_.size(); }
  // The mapping starting at `start`, taken off the list; null for none.
  std::optional<Mapping> remove(char* start) noexcept {
    const auto found = std::find_if(list_.begin(), list_.end(),
                                    [start](const Mapping& m) { return m.start == start; });
    if (found == list_.end())
      return std::nullopt;
    const Mapping mapping = *found;
    *found = list_.back();
    list_.pop_back();
    return mapping;
  }

 private:
  std::vector<Mapping> list_;
};

// Large pages let go of are kept for the next big block, as the C library
// keeps the rest of the freed memory (see KeepFreedMemoryForReuse): the
// second load of a big file then touches no fresh memory at all, and the
// pages need not be zeroed again. Runs next to each other are merged.
class FreeRuns {
 public:
  // The start of `size` bytes (a whole number of large pages) taken from a
  // kept run, the smallest that holds them; null when none does.
  char* take(std::size_t size) {
    const std::lock_guard<std::mutex> lock(mutex_);
    Run* best = nullptr;
    for (Run& run : runs_) {
      if (run.size >= size && (best == nullptr || run.size < best->size))
        best = &run;
    }
    if (best == nullptr)
      return nullptr;
    char* const start = best->start;
    best->start += size;
    best->size -= size;
    kept_ -= size;
    if (best->size == 0)
      runs_.erase(runs_.begin() + (best - runs_.data()));
    return start;
  }

  // Keeps a run for later, or gives it back when enough is kept already.
  void give(char* start, std::size_t size) noexcept {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (kept_ + size <= kMaxKept) {
        try {
          keep(start, size);
          return;
        } catch (const std::bad_alloc&) {
        }
      }
    }
    munmap(start, size);
  }

  // Blocks handed out from large pages, so that freeing one knows it for
  // one and how long it is: false when the list cannot grow.
  bool recordHandedOut(char* start, std::size_t size) noexcept {
    const std::lock_guard<std::mutex> lock(mutex_);
    try {
      handedOut_.add({start, size});
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    }
  }

  // Takes back a block handed out from large pages; false for any other.
  bool takeBack(char* start) noexcept {
    std::optional<Mapping> block;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      block = handedOut_.remove(start);
    }
    if (!block)
      return false;
    give(start, block->size);
    return true;
  }

  // Gives every kept run back: a block none of them holds is about to be
  // made, and the memory must not be held twice.
  void giveAllBack() {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (const Run& run : runs_)
      munmap(run.start, run.size);
    runs_.clear();
    kept_ = 0;
  }

 private:
  // As much as the C library keeps at the end of its heap.
  static constexpr std::size_t kMaxKept = std::size_t{1} << 30;
  // Runs are mappings of whole large pages.
  using Run = Mapping;

  void keep(char* start, std::size_t size) {
    auto next = std::find_if(runs_.begin(), runs_.end(),
                             [start](const Run& run) { return run.start > start; });
    if (next != runs_.end() && start + size == next->start) {
      next->start = start;
      next->size += size;
    } else {
      next = runs_.insert(next, Run{start, size});
    }
    if (next != runs_.begin()) {
      const auto previous = next - 1;
      if (previous->start + previous->size == next->start) {
        previous->size += next->size;
        runs_.erase(next);
      }
    }
    kept_ += size;
  }

  std::mutex mutex_;
  std::vector<Run> runs_;  // by address
  std::size_t kept_ = 0;
  HandedOut handedOut_;
};

FreeRuns& KeptRuns() {
  // Never destroyed: a table freed while the program ends still finds it.
  static FreeRuns* const runs = new FreeRuns;
  return *runs;
}

char* LargePageBlock(std::size_t size) {
  const LargePages& pages = Offered();
  if (pages.size == 0)
    return nullptr;
  const std::size_t mapped = (size + pages.size - 1) / pages.size * pages.size;
  if (char* const kept = KeptRuns().take(mapped)) {
    if (KeptRuns().recordHandedOut(kept, mapped))
      return kept;
    KeptRuns().give(kept, mapped);
    return nullptr;
  }
  KeptRuns().giveAllBack();
  const std::size_t wanted = mapped / pages.size;
  if (FreeLargePages(pages.order) < 2 * wanted + kFreeLargePagesKept)
    return nullptr;
  // One large page more than needed, so that an aligned run of them lies
  // inside; what lies around it goes back at once.
  void* const mapping = mmap(nullptr, mapped + pages.size, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED)
    return nullptr;
  const auto raw = reinterpret_cast<std::uintptr_t>(mapping);
  const std::uintptr_t aligned = (raw + pages.size - 1) / pages.size * pages.size;
  if (aligned > raw)
    munmap(mapping, aligned - raw);
  if (aligned + mapped < raw + mapped + pages.size)
    munmap(reinterpret_cast<void*>(aligned + mapped), raw + pages.size - aligned);
  auto* const start = reinterpret_cast<char*>(aligned);
  // Refused advice leaves ordinary pages: nothing else changes.
  madvise(start, mapped, MADV_HUGEPAGE);
  if (KeptRuns().recordHandedOut(start, mapped))
    return start;
  munmap(start, mapped);
  return nullptr;
}

bool ReleaseLargePageBlock(char* bytes) noexcept {
  return KeptRuns().takeBack(bytes);
}

// The blocks that hold a copy of a file made by the system (see CopyOfFile),
// each its own mapping. A copy let go of is kept for the next file of about
// its size, as the C library keeps freed memory: loading the users file
// again, its pages are there already, and the bytes are only read into them.
class FileCopies {
 public:
  // A kept mapping for `size` bytes, at most twice as long, so that a small
  // file does not hold a big mapping's memory; null when none fits.
  char* take(std::size_t size, std::size_t& length) noexcept {
    const std::lock_guard<std::mutex> lock(mutex_);
    auto best = kept_.end();
    for (auto copy = kept_.begin(); copy != kept_.end(); ++copy) {
      if (copy->size >= size && copy->size / 2 <= size &&
          (best == kept_.end() || copy->size < best->size))
        best = copy;
    }
    if (best == kept_.end())
      return nullptr;
    const Mapping taken = *best;
    kept_.erase(best);
    keptBytes_ -= taken.size;
    handedOut_.add(taken);  // room made by record(): no allocation
    length = taken.size;
    return taken.start;
  }

  bool record(char* start, std::size_t size) noexcept {
    const std::lock_guard<std::mutex> lock(mutex_);
    try {
      // Room in both lists for every copy there is, so that handing one
      // out again or letting it go never allocates.
      const std::size_t copies = kept_.size() + handedOut_.size() + 1;
      kept_.reserve(copies);
      handedOut_.reserve(copies);
      handedOut_.add({start, size});
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    }
  }

  bool takeBack(char* start) noexcept {
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::optional<Mapping> found = handedOut_.remove(start);
    if (!found)
      return false;
    const Mapping copy = *found;
    if (keptBytes_ + copy.size <= kMaxKept) {
      kept_.push_back(copy);
      keptBytes_ += copy.size;
    } else {
      munmap(copy.start, copy.size);
    }
    return true;
  }

 private:
  // Enough for the next users file of a big school board; the heap keeps
  // the rest of what is let go of.
  static constexpr std::size_t kMaxKept = std::size_t{256} << 20;
  std::mutex mutex_;
  HandedOut handedOut_;
  std::vector<Mapping> kept_;
  std::size_t keptBytes_ = 0;
};

FileCopies& Copies() {
  // Never destroyed: a table freed while the program ends still finds it.
  static FileCopies* const copies = new FileCopies;
  return *copies;
}

// Copies the file into a memory file of the program's own, then maps that.
// Its pages are made and filled by the system in one go, and mapped sixteen
// at a time on first touch; read into fresh memory, each 4 KB page would
// fault on its own and be zeroed before being written. Measured on a
// virtual machine, a 61 MB file then takes 34 ms to copy and scan instead of
// 38, with 940 faults instead of 15 000. Nobody else holds the memory file
// and it cannot be made shorter, so the copy never changes under the rows
// that keep pointing into it, whatever becomes of the file itself.
char* CopyOfFile(int descriptor, std::size_t size, std::size_t& copied) {
  copied = 0;
  // A copy kept from an earlier file: its pages are all there, and the
  // caller reads the file into them.
  std::size_t length = 0;
  if (char* const kept = Copies().take(size, length))
    return kept;
  // Memory the C library already holds free costs no fault at all: a file
  // loaded after tables were let go of is read into it by the caller.
  if (FreedMemoryHolds(size))
    return nullptr;
  // The memory file is written like any file: under a limit on the size of
  // files written, a big one would stop the program (SIGXFSZ).
  struct rlimit written {};
  if (getrlimit(RLIMIT_FSIZE, &written) != 0 ||
      (written.rlim_cur != RLIM_INFINITY && written.rlim_cur < size))
    return nullptr;
  const int copy = memfd_create("passerelle-file", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (copy < 0)
    return nullptr;
  while (copied < size) {
    auto from = static_cast<off_t>(copied);
    const ssize_t now = sendfile(copy, descriptor, &from, size - copied);
    if (now < 0 && errno == EINTR)
      continue;
    if (now < 0) {
      // The caller reads the file instead, and reports what fails there.
      close(copy);
      return nullptr;
    }
    if (now == 0)
      break;  // the file shrank meanwhile
    copied += static_cast<std::size_t>(now);
  }
  if (copied == 0 || fcntl(copy, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0) {
    close(copy);
    return nullptr;
  }
  // Shared, so that decoding the text in place writes the copy itself
  // rather than a second one page by page; only this mapping reaches it.
  void* const mapping = mmap(nullptr, copied, PROT_READ | PROT_WRITE, MAP_SHARED, copy, 0);
  close(copy);
  if (mapping == MAP_FAILED)
    return nullptr;
  auto* const start = static_cast<char*>(mapping);
  if (!Copies().record(start, copied)) {
    munmap(start, copied);
    return nullptr;
  }
  return start;
}

bool ReleaseFileCopy(char* bytes) noexcept {
  return Copies().takeBack(bytes);
}

LargePageUse LargePagesOnThisSystem() {
  if (Offered().size != 0)
    return LargePageUse::kAsked;
  return HostTakesBackFreeMemory() ? LargePageUse::kHostTakesBackFreeMemory
                                   : LargePageUse::kNotOffered;
}

#else

LargePageUse LargePagesOnThisSystem() {
  return LargePageUse::kNotOffered;
}

char* LargePageBlock(std::size_t) {
  return nullptr;
}

bool ReleaseLargePageBlock(char*) noexcept {
  return false;
}

#endif

#if !defined(__linux__) || !defined(MADV_HUGEPAGE)

char* CopyOfFile(int, std::size_t, std::size_t&) {
  return nullptr;
}

bool ReleaseFileCopy(char*) noexcept {
  return false;
}

#endif

}  // namespace

LargePageUse LargePagesHere() {
  return LargePagesOnThisSystem();
}

LargeBlock AllocateLargeBlock(std::size_t size) {
  char* bytes = nullptr;
  if (size >= kLargeBlockThreshold)
    bytes = LargePageBlock(size);
  if (bytes == nullptr)
    bytes = static_cast<char*>(::operator new(size));
  return LargeBlock(bytes);
}

LargeBlock CopyFileIntoLargeBlock(int descriptor, std::size_t size, std::size_t& copied) {
  copied = 0;
  if (size < kLargeBlockThreshold)
    return nullptr;
  return LargeBlock(CopyOfFile(descriptor, size, copied));
}

void LargeBlockRelease::operator()(char* bytes) const noexcept {
  if (bytes != nullptr && !ReleaseLargePageBlock(bytes) && !ReleaseFileCopy(bytes))
    ::operator delete(bytes);
}

}  // namespace passerelle
