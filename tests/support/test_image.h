// Builder of payload images for the stub's tests, and the damage that the
// tests inflict on them.
//
// The image is laid out as the stub reads it: the 52-byte header, the
// directory right after it (entries of 24 bytes plus a NUL-terminated name,
// closed by a 0 word), then each entry's data in directory order. All CRCs
// are seeded with the payload seed. Names are taken verbatim, so tests can
// also build images whose names the stub must refuse.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sfx::test {

// One file of a test image.
struct TestEntry {
  std::string name;
  std::vector<std::uint8_t> data;
};

// A complete, valid image holding `entries` in this order.
std::vector<std::uint8_t> BuildTestImage(const std::vector<TestEntry>& entries);

// Changes a reserved header byte, so the header CRC no longer matches.
void DamageImageHeader(std::vector<std::uint8_t>& image);

// Changes a reserved byte of the first directory entry (or the end word of
// an empty directory), so the directory CRC no longer matches.
void DamageImageDirectory(std::vector<std::uint8_t>& image);

// Changes the last data byte of entry `index` (which must have data), so
// that entry fails its data CRC while every other check passes.
void DamageImageEntry(std::vector<std::uint8_t>& image, std::size_t index);

}  // namespace sfx::test
