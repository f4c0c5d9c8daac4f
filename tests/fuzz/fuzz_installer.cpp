// Fuzz target: reading an installer as `sfxpack list` and `extract` do
// (ParsePayloadFile: finding the payload section, or the overlay of the
// earlier layout, and the SHA-256 of the stub part) on arbitrary files, and
// the stub's manifest as `pack --elevation` finds it.
//
// Properties: the manifest lies inside the file; a stub that takes an
// execution level gives an installer of the same size as without one.
// A file is refused with PackError or accepted with its block
// inside the file, where FindInstallerPayload finds it; only an installer of
// the section layout gets a stub SHA-256, and it is 64 lower-case hex digits
// of the stub part; that stub part, packed again with the same block, gives
// an installer whose payload section holds the same block and whose stub
// part is the same again.
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "packer/installer_writer.h"
#include "packer/pack_error.h"
#include "packer/payload_file.h"
#include "payload/payload_locator.h"
#include "payload/payload_format.h"
#include "payload/pe_image.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

bool IsLowerHex(const std::string& text) {
  for (const char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

void CheckRepack(const Bytes& stub, const Bytes& block) {
  Bytes repacked;
  try {
    repacked = sfx::BuildInstaller(stub, block, std::nullopt, nullptr);
  } catch (const sfx::PackError&) {
    return;  // a stub part the writer refuses (no room for a section header, for instance)
  }
  const std::uint8_t* found = nullptr;
  std::size_t found_size = 0;
  sfx::PayloadLayout layout = sfx::PayloadLayout::kOverlay;
  sfx::fuzz::Require(sfx::FindInstallerPayload(repacked.data(), repacked.size(), &found, &found_size, &layout) ==
                             sfx::PayloadStatus::kOk &&
                         layout == sfx::PayloadLayout::kSection,
                     "a repacked stub part holds its payload in the payload section");
  sfx::fuzz::Require(found_size == block.size() && std::memcmp(found, block.data(), block.size()) == 0,
                     "the repacked installer holds the same block");
  const std::optional<Bytes> again = sfx::StubOfInstaller(repacked);
  sfx::fuzz::Require(again.has_value(), "a repacked installer has a stub part");
  // BuildInstaller drops what the stub part held after its sections, so
  // the first repack may shorten it; from then on it is stable.
  std::optional<Bytes> third;
  try {
    third = sfx::StubOfInstaller(sfx::BuildInstaller(*again, block, std::nullopt, nullptr));
  } catch (const sfx::PackError&) {
    sfx::fuzz::Require(false, "the writer takes the stub part of its own installer");
  }
  sfx::fuzz::Require(third == again, "the stub part of a repacked installer is stable");
}

void CheckManifest(const Bytes& stub) {
  const std::optional<sfx::PeImage> image = sfx::PeImage::Parse(stub.data(), stub.size());
  const std::optional<sfx::PeSpan> manifest = image ? image->ManifestSpan() : std::nullopt;
  if (!manifest) return;
  sfx::fuzz::Require(manifest->offset <= stub.size() && manifest->size <= stub.size() - manifest->offset,
                     "the manifest lies inside the file");
  const Bytes block(sfx::kEmbeddedHeaderSize, 0);
  std::size_t elevated_size = 0;
  try {
    elevated_size = sfx::BuildInstaller(stub, block, sfx::ExecutionLevel::kAsInvoker, nullptr).size();
  } catch (const sfx::PackError&) {
    return;  // no element in its default form, or a stub the writer refuses
  }
  sfx::fuzz::Require(elevated_size == sfx::BuildInstaller(stub, block, std::nullopt, nullptr).size(),
                     "the execution level is rewritten in place");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bytes bytes(data, data + size);
  CheckManifest(bytes);
  sfx::PayloadFile file;
  try {
    file = sfx::ParsePayloadFile(bytes);
  } catch (const sfx::PackError&) {
    return 0;  // refused: the commands report it and exit 1
  }
  sfx::fuzz::Require(file.block_offset <= size &&
                         sfx::kEmbeddedHeaderSize + std::uint64_t{file.packed_size} <= size - file.block_offset,
                     "the block lies inside the file");
  if (file.kind == sfx::PayloadFileKind::kPayloadBlock) {
    sfx::fuzz::Require(file.stub_sha256.empty(), "a payload block file has no stub");
    return 0;
  }
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  sfx::PayloadLayout layout = sfx::PayloadLayout::kOverlay;
  sfx::fuzz::Require(sfx::FindInstallerPayload(data, size, &block, &block_size, &layout) == sfx::PayloadStatus::kOk &&
                         static_cast<std::size_t>(block - data) == file.block_offset,
                     "the installer's block is where the payload finder finds it");
  if (file.stub_sha256.empty()) return 0;
  sfx::fuzz::Require(layout == sfx::PayloadLayout::kSection, "only the section layout has a stub part");
  sfx::fuzz::Require(file.stub_sha256.size() == 64 && IsLowerHex(file.stub_sha256), "stub SHA-256 is 64 hex digits");
  const std::optional<Bytes> stub = sfx::StubOfInstaller(bytes);
  sfx::fuzz::Require(stub.has_value() && stub->size() <= file.block_offset, "the stub part precedes the block");
  CheckRepack(*stub, Bytes(block, block + block_size));
  return 0;
}
