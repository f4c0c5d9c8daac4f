// The stub's support layer: the process-wide state behind the path strings
// that the folder enumeration (EmptyFolder) builds.
//
// The layer owns a private heap for those strings. It is initialised once by
// the process entry with the entry's four arguments; when that fails the
// entry reports it and carries on, and path strings then come from the
// process heap instead.
#pragma once

#include <windows.h>

#include <cstddef>

namespace sfx {

// Sets up the layer. False when the instance handle is missing or the heap
// cannot be created; the allocation helpers keep working either way.
bool InitSupportLayer(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show_command);

// A buffer of `units` UTF-16 units for a path string; null when memory runs
// out.
wchar_t* AllocPathString(std::size_t units);

// Releases a buffer from AllocPathString (null is allowed).
void FreePathString(wchar_t* text);

// Test seam: while set, AllocPathString fails once the given number of
// further allocations has succeeded (-1 switches the failure off).
void SetPathAllocationBudgetForTesting(int successful_allocations);

}  // namespace sfx
