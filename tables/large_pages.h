#pragma once

#include <cstddef>

namespace passerelle {

// A big block of fresh memory costs a page fault, and a zeroed page, every
// 4 KB the first time it is written; where the system offers it, large
// pages make that one every 2 MB. Call before the block is first written.
// Only a hint: nothing changes where it is refused or the block is small.
void AskForLargePages(void* block, std::size_t size);

}  // namespace passerelle
