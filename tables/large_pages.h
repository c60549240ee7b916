#pragma once

#include <cstddef>
#include <memory>
#include <new>

namespace passerelle {

// Memory for the few big buffers of a load: the file's bytes, its line
// table, a big table's row list and row store.
//
// Every 4 KB page of fresh memory costs a fault and a zeroed page the first
// time it is written; on a virtual machine that is most of what loading a
// big file costs. Where the system offers 2 MB pages on request, a block of
// at least kLargeBlockThreshold bytes gets its own mapping, aligned on them
// and advised to use them, so that it costs a fault per 2 MB instead.
//
// Asking for them is only advice, and only given when the system already
// holds enough free 2 MB blocks to grant it: when it has to gather them by
// moving other pages about (compaction), the first big load stalled for it,
// so memory that is short of free 2 MB blocks gets no advice at all. Nor does
// a virtual machine that hands its free memory back to its host, where a
// large page costs more than the ordinary pages it stands for (see
// HostTakesBackFreeBlocks). Smaller blocks, Windows and systems without
// such pages get ordinary memory, at no cost of their own.

// From this size on a block may be given 2 MB pages. Even half used, one
// costs less to fault in and zero than the 4 KB pages it stands for.
inline constexpr std::size_t kLargeBlockThreshold = std::size_t{1} << 20;

// Whether big blocks may get large pages here, and if not, why.
enum class LargePageUse {
  kAsked,                    // asked for, while the system has free ones
  kHostTakesBackFreeMemory,  // a virtual machine whose host takes free memory back
  kNotOffered,               // not handed out on request, or not this system
};
LargePageUse LargePagesHere();

// Frees a block of AllocateLargeBlock, whichever memory it got.
struct LargeBlockRelease {
  void operator()(char* bytes) const noexcept;
};
using LargeBlock = std::unique_ptr<char[], LargeBlockRelease>;

// At least `size` bytes, never zero-filled, aligned for any type; throws
// std::bad_alloc when the memory cannot be had.
LargeBlock AllocateLargeBlock(std::size_t size);

// A block for the first `size` bytes of an open regular file, cheaper to
// fill than fresh memory (on Linux, see CopyOfFile): either a copy the system
// made of them, `copied` then telling how many it holds (fewer when the file
// shrank meanwhile; never 0) and nothing more to be read, or, with `copied`
// 0, a block of at least `size` bytes whose pages are there already, for the
// caller to read the file into. The block is the program's own, which no
// later change to the file reaches. Null for a file below
// kLargeBlockThreshold, on other systems, when the C library holds enough
// free memory for the file, and on any failure: the caller then reads the
// file into a block of its own.
LargeBlock CopyFileIntoLargeBlock(int descriptor, std::size_t size, std::size_t& copied);

// An allocator for the big vectors of a table: an array of at least
// kLargeBlockThreshold bytes is a large block, anything smaller ordinary
// memory.
template <typename T>
struct LargeBlockAllocator {
  using value_type = T;

  LargeBlockAllocator() = default;
  template <typename U>
  LargeBlockAllocator(const LargeBlockAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / sizeof(T))
      throw std::bad_array_new_length();
    if (n * sizeof(T) < kLargeBlockThreshold)
      return static_cast<T*>(::operator new(n * sizeof(T)));
    return reinterpret_cast<T*>(AllocateLargeBlock(n * sizeof(T)).release());
  }
  void deallocate(T* p, std::size_t n) noexcept {
    if (n * sizeof(T) < kLargeBlockThreshold)
      ::operator delete(p);
    else
      LargeBlockRelease()(reinterpret_cast<char*>(p));
  }

  template <typename U>
  bool operator==(const LargeBlockAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace passerelle
