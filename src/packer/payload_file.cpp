// Telling installers from payload block files. A file starting with "MZ" is
// judged as an installer only: a payload block whose packed size happened to
// start with those two bytes would be a block of at least 0x5A4D bytes, and
// treating it as a broken installer gives the clearer message.
#include "packer/payload_file.h"

#include <fstream>
#include <iterator>
#include <string>

#include "common/byte_order.h"
#include "packer/host_path.h"
#include "packer/installer_writer.h"
#include "packer/pack_error.h"
#include "payload/overlay.h"
#include "payload/payload_format.h"
#include "payload/sha256.h"

namespace sfx {

PayloadFile ParsePayloadFile(std::vector<std::uint8_t> bytes) {
  PayloadFile file;
  if (bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z') {
    const std::uint8_t* block = nullptr;
    std::size_t block_size = 0;
    const OverlayStatus status = FindInstallerPayload(bytes.data(), bytes.size(), &block, &block_size);
    if (status != OverlayStatus::kOk) throw PackError(std::string("not an installer: ") + OverlayStatusText(status));
    file.kind = PayloadFileKind::kInstaller;
    file.block_offset = static_cast<std::size_t>(block - bytes.data());
    if (const auto stub = StubOfInstaller(bytes)) file.stub_sha256 = Sha256Hex(Sha256Of(stub->data(), stub->size()));
  } else {
    EmbeddedPayload payload;
    if (!ParseEmbeddedPayload(bytes.data(), bytes.size(), payload) ||
        bytes.size() != kEmbeddedHeaderSize + std::uint64_t{payload.packed_size}) {
      throw PackError("neither an installer nor a payload block file (a block file is exactly 8 + packed_size bytes)");
    }
    file.kind = PayloadFileKind::kPayloadBlock;
    file.block_offset = 0;
  }
  file.packed_size = LoadLE32(bytes.data() + file.block_offset + kPackedSizeOffset);
  file.unpacked_size = LoadLE32(bytes.data() + file.block_offset + kUnpackedSizeOffset);
  file.bytes = std::move(bytes);
  return file;
}

std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw PackError("cannot open " + QuotedPath(path));
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw PackError("cannot read " + QuotedPath(path));
  return bytes;
}

PayloadFile ReadPayloadFile(const std::filesystem::path& path) { return ParsePayloadFile(ReadWholeFile(path)); }

const char* PayloadFileKindText(PayloadFileKind kind) {
  return kind == PayloadFileKind::kInstaller ? "installer" : "payload block";
}

}  // namespace sfx
