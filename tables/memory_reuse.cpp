#include "tables/memory_reuse.h"

// Any header of the C library says which library it is.
#include <cstdlib>

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

}  // namespace passerelle
