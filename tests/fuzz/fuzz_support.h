// Helpers shared by the fuzz targets and the seed generator.
//
// Fuzzed images rarely carry matching CRCs, so most of them would stop at the
// first check. The targets that walk images therefore offer a mode in which
// the CRC fields are recomputed from the fuzzed bytes first: the header and
// directory CRCs (and optionally each reachable entry's data CRC), so that
// mutations reach the directory walk, the name rules and the file writing.
// Every fix-up keeps its own reads inside the image; fields that point
// outside are left as they are (the code under test must refuse them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sfx::fuzz {

// The most image bytes a target lets the code under test decode for one
// input. The targets check a claimed unpacked size against it before
// anything is allocated, so that a decompression bomb is a finding rather
// than a slow run; it is more than the largest claim the payload checks let
// through for an input of the fuzzers' maximum length (2080 times 8 KiB).
inline constexpr std::uint64_t kOutputBudget = 32u << 20;

// Recomputes `dir_crc`, then `header_crc`, of `image` in place. With
// `entries_too`, first recomputes `data_crc` of every entry that the walk
// reaches and whose data lies inside the image.
void FixImageCrcs(std::vector<std::uint8_t>& image, bool entries_too);

// An EmbeddedPayload block (header and scrambled stream) holding `image`,
// compressed at `level`.
std::vector<std::uint8_t> MakePayloadBlock(const std::vector<std::uint8_t>& image, int level, bool multimedia);

// Stops the run with a message when a property of the code under test does
// not hold; the fuzzer (or the replay driver) reports the abort as a finding.
void Require(bool condition, const char* what);

// An independent model of where a relative entry name lands when Windows
// appends it to a folder: components split at '\\' and '/', trailing dots
// and spaces dropped, ".." climbing one level. True when the name names
// something strictly below the folder and has no ':' (drive letters, data
// streams) and no control characters. Names that IsSafeEntryName accepts
// must pass this model.
bool StaysBelowFolder(const char* name);

// Unsigned little-endian value of `count` (1 to 4) bytes.
std::uint32_t LoadLE(const std::uint8_t* bytes, std::size_t count);

}  // namespace sfx::fuzz
