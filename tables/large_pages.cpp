#include "tables/large_pages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace passerelle {

void AskForLargePages(void* block, std::size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Only whole pages inside the block are advised, and only when at least
  // one large page fits: the pages around it may belong to other blocks.
  const auto pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const auto begin = (start + pageSize - 1) / pageSize * pageSize;
  const auto end = (start + size) / pageSize * pageSize;
  if (end > begin + (std::uintptr_t{2} << 20))
    madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)block;
  (void)size;
#endif
}

}  // namespace passerelle
