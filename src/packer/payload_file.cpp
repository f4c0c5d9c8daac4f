// Telling installers from payload block files. A file starting with "MZ" is
// judged as an installer only: a payload block whose packed size happened to
// start with those two bytes would be a block of at least 0x5A4D bytes, and
// treating it as a broken installer gives the clearer message.
#include "packer/payload_file.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "common/byte_order.h"
#include "packer/host_path.h"
#include "packer/installer_writer.h"
#include "packer/pack_error.h"
#include "payload/payload_locator.h"
#include "payload/pe_image.h"
#include "payload/payload_format.h"
#include "payload/sha256.h"

namespace sfx {

std::string LoaderProblem(const std::vector<std::uint8_t>& bytes) {
  const std::optional<PeImage> headers = PeImage::Parse(bytes.data(), bytes.size());
  if (!headers) return {};
  const std::optional<std::uint32_t> image_size = headers->OptionalField(kSizeOfImageOffset);
  const std::optional<std::size_t> index = headers->FindSection(kPayloadSectionName);
  if (!image_size || !index) return {};
  const PeSection section = headers->Section(*index);
  const std::uint64_t end = std::uint64_t{section.virtual_address} + section.virtual_size;
  if (section.virtual_size == 0) {
    return "its payload section has a VirtualSize of 0, so the loaded image holds no payload";
  }
  if (end > *image_size) {
    return "its payload section ends at " + std::to_string(end) + ", past the image size " +
           std::to_string(*image_size) + " (SizeOfImage)";
  }
  return {};
}

PayloadFile ParsePayloadFile(std::vector<std::uint8_t> bytes, const std::string& shown) {
  PayloadFile file;
  if (bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z') {
    const std::uint8_t* block = nullptr;
    std::size_t block_size = 0;
    const PayloadStatus status = FindInstallerPayload(bytes.data(), bytes.size(), &block, &block_size);
    if (status != PayloadStatus::kOk) throw PackError(shown + " is not an installer: " + PayloadStatusText(status));
    file.kind = PayloadFileKind::kInstaller;
    file.block_offset = static_cast<std::size_t>(block - bytes.data());
    if (const auto stub = StubOfInstaller(bytes)) file.stub_sha256 = Sha256Hex(Sha256Of(stub->data(), stub->size()));
    file.loader_problem = LoaderProblem(bytes);
  } else {
    EmbeddedPayload payload;
    if (!ParseEmbeddedPayload(bytes.data(), bytes.size(), payload) ||
        bytes.size() != kEmbeddedHeaderSize + std::uint64_t{payload.packed_size}) {
      throw PackError(shown +
                      " is neither an installer nor a payload block file (a block file is exactly 8 + packed_size "
                      "bytes)");
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
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    throw PackError(QuotedPath(path) + " is a folder; name an installer or payload block file");
  }
  std::FILE* in = OpenHostFile(ExtendedLengthPath(path), "rb");
  if (in == nullptr) throw PackError("cannot open " + QuotedPath(path) + " (" + std::strerror(errno) + ")");
  // Read straight into the vector, sized for the whole file where its
  // length is known (one byte more, so that the end shows as a short read)
  // and doubled whenever it fills: a pipe, or a file that grows meanwhile.
  const std::uintmax_t known = std::filesystem::file_size(path, error);
  std::size_t capacity = std::size_t{1} << 16;
  if (!error && known < SIZE_MAX / 2 && known + 1 > capacity) capacity = static_cast<std::size_t>(known) + 1;
  std::vector<std::uint8_t> bytes;
  std::size_t used = 0;
  try {
    bytes.resize(capacity);
    for (;;) {
      if (used == bytes.size()) bytes.resize(bytes.size() * 2);
      const std::size_t got = std::fread(bytes.data() + used, 1, bytes.size() - used, in);
      used += got;
      if (got == 0) break;
    }
  } catch (const std::exception&) {  // bad_alloc, or length_error in a 32-bit process
    std::fclose(in);
    throw PackError("not enough memory to read " + QuotedPath(path));
  }
  bytes.resize(used);
  const bool failed = std::ferror(in) != 0;
  const int reason = errno;
  std::fclose(in);
  if (failed) throw PackError("cannot read " + QuotedPath(path) + " (" + std::strerror(reason) + ")");
  return bytes;
}

PayloadFile ReadPayloadFile(const std::filesystem::path& path) {
  return ParsePayloadFile(ReadWholeFile(path), QuotedPath(path));
}

const char* PayloadFileKindText(PayloadFileKind kind) {
  return kind == PayloadFileKind::kInstaller ? "installer" : "payload block";
}

}  // namespace sfx
