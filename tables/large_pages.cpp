#include "tables/large_pages.h"

#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__linux__)
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace passerelle {

namespace {

// Each block starts with how it was made, so that freeing it needs nothing
// else; the bytes handed out follow, aligned for any type.
struct BlockHeader {
  // The whole mapping of a block that has one; 0 for ordinary memory.
  std::size_t mappedSize;
};
constexpr std::size_t kHeaderSize = 64;
static_assert(sizeof(BlockHeader) <= kHeaderSize);

char* OrdinaryBlock(std::size_t size) {
  auto* start = static_cast<char*>(::operator new(kHeaderSize + size));
  const BlockHeader header{0};
  std::memcpy(start, &header, sizeof header);
  return start + kHeaderSize;
}

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

LargePages OfferedLargePages() {
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

char* LargePageBlock(std::size_t size) {
  const LargePages& pages = Offered();
  if (pages.size == 0)
    return nullptr;
  const std::size_t mapped = (kHeaderSize + size + pages.size - 1) / pages.size * pages.size;
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
  const BlockHeader header{mapped};
  std::memcpy(start, &header, sizeof header);
  return start + kHeaderSize;
}

void ReleaseMapping(char* start, std::size_t mapped) {
  munmap(start, mapped);
}

#else

char* LargePageBlock(std::size_t) {
  return nullptr;
}

void ReleaseMapping(char*, std::size_t) {}

#endif

}  // namespace

LargeBlock AllocateLargeBlock(std::size_t size) {
  if (size > static_cast<std::size_t>(-1) / 2)
    throw std::bad_alloc();
  char* bytes = nullptr;
  if (size >= kLargeBlockThreshold)
    bytes = LargePageBlock(size);
  if (bytes == nullptr)
    bytes = OrdinaryBlock(size);
  return LargeBlock(bytes);
}

void LargeBlockRelease::operator()(char* bytes) const noexcept {
  if (bytes == nullptr)
    return;
  char* const start = bytes - kHeaderSize;
  BlockHeader header;
  std::memcpy(&header, start, sizeof header);
  if (header.mappedSize > 0)
    ReleaseMapping(start, header.mappedSize);
  else
    ::operator delete(start);
}

}  // namespace passerelle
