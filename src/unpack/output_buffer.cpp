// AdviseOutputBuffer (see output_buffer.h): the huge-page hint for a large output
// buffer, on Linux only.
#include <cstddef>
#include <cstdint>

#include "unpack/output_buffer.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace sfx {

void AdviseOutputBuffer(std::uint8_t* start, std::size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Whole 2 MiB blocks inside the buffer: madvise needs a page-aligned start,
  // and only whole huge pages can be backed by one.
  constexpr std::uintptr_t kHugePage = std::uintptr_t{1} << 21;
  const auto begin = (reinterpret_cast<std::uintptr_t>(start) + kHugePage - 1) & ~(kHugePage - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(start) + size) & ~(kHugePage - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);  // a refusal changes nothing
#else
  (void)start;
  (void)size;
#endif
}

}  // namespace sfx
