// Joins the stub and a payload block into an installer, and takes the stub
// part of an installer back out.
//
// The installer is the stub's PE file up to the end of its last section's
// raw data, with one section added at the end: ".sfxpay", read-only
// initialised data holding "SFXPAYLD" and the EmbeddedPayload block (see
// payload/payload_locator.h). The packer changes these header fields and
// nothing else: NumberOfSections (+1), the section header written into the
// unused header room right after the section table, SizeOfImage (grown by
// the new section), CheckSum (recomputed), the certificate-table entry
// (cleared when it pointed after the sections) and, with an execution
// level, the requestedExecutionLevel element of the manifest. Whatever the
// stub file held after its sections (an old payload, a signature) is
// dropped.
//
// The stub part of an installer (StubOfInstaller) undoes exactly these
// changes: the bytes before the payload section's raw data, one section
// fewer, the added section header zeroed, SizeOfImage back to the payload
// section's VirtualAddress, the certificate entry cleared, the manifest's
// level back to requireAdministrator and CheckSum recomputed. For a stub as
// the build makes it (sections ending on the file alignment, a correct
// CheckSum, no signature) that is the stub file byte for byte, so its
// SHA-256 equals `sha256sum sfxstub.exe`, even after the installer has been
// signed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace sfx {

// The requestedExecutionLevel that the installer's manifest asks for.
enum class ExecutionLevel { kRequireAdministrator, kHighestAvailable, kAsInvoker };

// What BuildInstaller did with the stub.
struct InstallerReport {
  std::size_t stub_size = 0;      // bytes of the stub file kept: up to the end of its sections
  std::size_t block_offset = 0;   // where the block starts in the installer, after the marker
  std::size_t dropped_bytes = 0;  // bytes of the stub file after its sections
  bool cleared_certificate_entry = false;
};

// Throws PackError when `stub` is not a PE file whose sections lie inside
// it, already has a payload section, has no room for another section
// header, or the payload does not fit a PE image. With `level`, the stub's
// manifest (its RT_MANIFEST resource) must hold the requestedExecutionLevel
// element in its default form exactly once (PackError otherwise); it is
// rewritten in place, padded with spaces to the same length. The same text
// elsewhere in the file is not the manifest and is left alone. Without
// `level` the manifest is left alone.
std::vector<std::uint8_t> BuildInstaller(const std::vector<std::uint8_t>& stub, const std::vector<std::uint8_t>& block,
                                         std::optional<ExecutionLevel> level, InstallerReport* report);

// The stub part of an installer with a payload section, as described
// above; nothing for files without one (older installers, other files).
std::optional<std::vector<std::uint8_t>> StubOfInstaller(const std::vector<std::uint8_t>& installer);

// The PE checksum of `file`: 16-bit one's-complement-style sum of the file
// with the CheckSum field counted as zero, plus the file length.
std::uint32_t PeChecksum(const std::vector<std::uint8_t>& file);

}  // namespace sfx
