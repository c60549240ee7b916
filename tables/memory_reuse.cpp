#include "tables/memory_reuse.h"

// Any header of the C library says which library it is.
#include <cstdlib>

#include <new>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace passerelle {

void KeepFreedMemoryForReuse() {
#if defined(__GLIBC__)
  // Blocks below 256 MB come from the heap, where a freed one can serve the
  // next; the heap gives memory back only once more than 1 GB lies free at
  // its end.
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
}

bool FreedMemoryHolds(std::size_t size) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
  // What the library has taken from the system, before and after asking for
  // the block: one taken from its free memory leaves it as it was. Asking
  // for the memory and freeing it again touches no page.
  const auto taken = [] {
    const struct mallinfo2 info = mallinfo2();
    return info.arena + info.hblkhd;
  };
  const std::size_t before = taken();
  void* const block = ::operator new(size);
  const std::size_t after = taken();
  ::operator delete(block);
  return after <= before || after - before <= size / 4;
#else
  static_cast<void>(size);
  return false;
#endif
}

}  // namespace passerelle
