// SHA-256 (FIPS 180-4), a small portable implementation: `sfxpack list`
// shows the hash of an installer's stub part with it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace sfx {

using Sha256Digest = std::array<std::uint8_t, 32>;

// Incremental SHA-256: Update with the bytes in order, then Finish once.
class Sha256 {
 public:
  Sha256();
  void Update(const std::uint8_t* data, std::size_t size);
  Sha256Digest Finish();

 private:
  void Compress(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t buffered_ = 0;
  std::uint64_t total_bytes_ = 0;
};

// The digest of `size` bytes at `data`.
Sha256Digest Sha256Of(const std::uint8_t* data, std::size_t size);

// The digest as 64 lower-case hexadecimal digits, as sha256sum prints it.
std::string Sha256Hex(const Sha256Digest& digest);

}  // namespace sfx
