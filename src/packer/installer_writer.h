// Joins the stub and a payload block into an installer.
//
// The installer is the stub's PE file up to the end of its last section's
// raw data, then the 8 bytes "SFXPAYLD", then the EmbeddedPayload block.
// Whatever the stub file held after its sections (an old payload, a
// signature) is dropped, and a certificate-table entry that pointed there is
// cleared, since the signature it described is gone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sfx {

// What BuildInstaller did with the stub.
struct InstallerReport {
  std::size_t overlay_offset = 0;  // where the marker was placed
  std::size_t dropped_bytes = 0;   // bytes of the stub file after its sections
  bool cleared_certificate_entry = false;
};

// Throws PackError when `stub` is not a PE file whose sections lie inside it.
std::vector<std::uint8_t> BuildInstaller(const std::vector<std::uint8_t>& stub, const std::vector<std::uint8_t>& block,
                                         InstallerReport* report);

}  // namespace sfx
