#pragma once

#include <cstddef>

namespace passerelle {

// Asks the C library to keep the memory of a table that is let go for the
// tables that follow, instead of handing it back to the system at once and
// asking for it again: every page the system hands out costs a fault and a
// zeroing, and a conversion of a big export lets go of and makes tables of
// tens of megabytes several times over. The peak stays the same. Called once
// when a program starts, before any table is made; does nothing where the
// library offers no such setting.
void KeepFreedMemoryForReuse();

// Whether a block of `size` bytes from ::operator new would come mostly from
// memory the C library already holds (freed tables kept by the above), whose
// pages cost no fault, rather than from fresh memory of the system. False
// where the library does not tell.
bool FreedMemoryHolds(std::size_t size);

}  // namespace passerelle
