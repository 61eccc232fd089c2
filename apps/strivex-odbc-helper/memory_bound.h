#pragma once
// The helper's data limit, and how a driver's failed allocation is told from a crash. A driver
// that reads a whole result into memory (psqlODBC does) meets the limit inside the C library:
// the library may report it as its own error, or crash on the null it got. Either way the call
// is answered, or the helper ends, as "result too large", never as a driver fault.

#include <cstddef>

namespace strivex::helper {

// Bounds the process's data to `bytes` (0: no bound), keeps glibc to one arena, whose per-thread
// arenas would otherwise reserve the limit away, and returns large blocks to the system when freed. A sanitizer build sets no limit: its
// runtime maps shadow memory and quarantines freed blocks. Call before any thread starts.
void BoundData(size_t bytes);

// Whether an allocation has failed since the last call; clears the mark.
bool AllocationFailedSince();

}  // namespace strivex::helper
