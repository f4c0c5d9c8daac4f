// Builds a PayloadImage: the in-memory archive that the stub unpacks.
//
// Layout produced here: the 52-byte header at offset 0; the directory right
// after it (each entry a 24-byte fixed part and a name area holding the
// Windows-1252 name, its NUL and zero padding to a multiple of 4 bytes; then
// the terminating 0 word); then every entry's data back to back in directory
// order, except that entries with byte-identical data share one copy (the
// same data offset and size: the coder's window is too short to reach the
// earlier copy of a large file). dir_crc_length covers the whole directory including the 0 word,
// data_end is the end of the data (the image size), reserved fields are 0,
// and every CRC uses the payload seed as its initial register.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sfx {

// Collects entries and lays them out into one image.
class ImageBuilder {
 public:
  // Fills exactly `size` bytes at `dst` with an entry's data; throws
  // PackError when that is not possible (a file that shrank, for instance).
  using DataLoader = std::function<void(std::uint8_t* dst, std::size_t size)>;

  // The largest image an installer can unpack. The size fields would allow
  // 2^32 - 1 bytes, but the decoder counts the output still due in a signed
  // 32-bit integer, so an image of 2 GiB or more would never be unpacked and
  // the installer would only report itself corrupt.
  static constexpr std::uint64_t kMaxImageSize = 0x7FFFFFFFu;

  // Adds an entry whose data is held in memory. `name` is Windows-1252 with
  // backslash separators; it must pass sfx::IsSafeEntryName (PackError
  // otherwise). Entries keep the order in which they were added.
  void AddEntry(std::string name, std::vector<std::uint8_t> data);

  // Adds an entry whose `size` bytes are produced by `loader` during Build.
  void AddEntry(std::string name, std::uint64_t size, DataLoader loader);

  // Size of the image with every entry's data stored (may exceed
  // kMaxImageSize): the largest image Build can produce, smaller when
  // entries share data.
  std::uint64_t ImageSize() const;

  std::size_t entry_count() const { return entries_.size(); }

  // Lays out and returns the image. Throws PackError when it would be larger
  // than kMaxImageSize (before anything is allocated) or a loader fails.
  std::vector<std::uint8_t> Build() const;

 private:
  struct Entry {
    std::string name;
    std::uint64_t size;
    DataLoader loader;
  };

  std::uint64_t DirectorySize() const;

  std::vector<Entry> entries_;
};

}  // namespace sfx
