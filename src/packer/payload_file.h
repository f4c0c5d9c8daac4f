// A file that carries a payload: an installer or a payload block file.
//
// An installer starts with "MZ" and holds "SFXPAYLD" + block in its payload
// section, or, when built the earlier way, in an overlay after its last
// section (bytes after the block, such as a signature, are ignored). A
// payload block file is exactly one EmbeddedPayload block: the 8-byte header
// and the P stream bytes it announces, nothing more.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "payload/payload_format.h"

namespace sfx {

// What kind of file held the payload.
enum class PayloadFileKind { kInstaller, kPayloadBlock };

// A loaded file and where its payload block lies in it.
struct PayloadFile {
  PayloadFileKind kind = PayloadFileKind::kPayloadBlock;
  std::vector<std::uint8_t> bytes;  // the whole file
  std::size_t block_offset = 0;     // first byte of the EmbeddedPayload header
  std::uint32_t packed_size = 0;    // P
  std::uint32_t unpacked_size = 0;  // U
  // Installers with a payload section: the SHA-256 of the stub part
  // (StubOfInstaller in installer_writer.h), 64 hex digits; empty otherwise.
  std::string stub_sha256;
  // Installers with a payload section: why the stub, reading the section as
  // the system loader maps it, would not find the payload (a VirtualSize of
  // 0, a section that ends past SizeOfImage); empty when it would.
  std::string loader_problem;

  const std::uint8_t* stream() const { return bytes.data() + block_offset + kEmbeddedHeaderSize; }
};

// Classifies `bytes`; throws PackError when they are neither an installer
// with a payload nor exactly one payload block. `shown` names the file in
// the message.
PayloadFile ParsePayloadFile(std::vector<std::uint8_t> bytes, const std::string& shown = "the file");

// Reads the whole file at `path`. PackError, with the system's reason, when
// it cannot be read; a folder gets a message of its own.
std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path);

// Why the stub would not find the payload of the installer `bytes` in its
// loaded image although the file holds a payload section; empty when it
// would, and for files without a payload section.
std::string LoaderProblem(const std::vector<std::uint8_t>& bytes);

// Reads and classifies the file at `path`.
PayloadFile ReadPayloadFile(const std::filesystem::path& path);

const char* PayloadFileKindText(PayloadFileKind kind);

}  // namespace sfx
