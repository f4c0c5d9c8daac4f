// Installers and payload files: the payload section added to the stub, the
// manifest's execution level, the stub part taken back out (also after
// signing), old overlay installers, found again after a signature is
// appended; stub refusals;
// telling installers from payload block files; the block round trip
// through the real encoder and decoder.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "packer/image_builder.h"
#include "packer/installer_writer.h"
#include "packer/pack_error.h"
#include "packer/payload_block.h"
#include "packer/payload_file.h"
#include "payload/payload_locator.h"
#include "payload/sha256.h"
#include "support/payload_samples.h"
#include "support/pe_file.h"

namespace {

using sfx::test::kFakePeManifestAt;
using sfx::test::kFakePeSectionsEnd;
using sfx::test::MakeFakePe;

std::vector<std::uint8_t> SampleImage() {
  sfx::ImageBuilder builder;
  builder.AddEntry("Setup.cfg", std::vector<std::uint8_t>{'#', '\n'});
  builder.AddEntry("Setup.exe", sfx::test::NoiseBytes(5000, 11));
  builder.AddEntry("data\\zeros.bin", std::vector<std::uint8_t>(100000, 0));
  return builder.Build();
}

std::vector<std::uint8_t> SampleBlock(const std::vector<std::uint8_t>& image) {
  return sfx::BuildPayloadBlock(image, sfx::EncodeOptions{});
}

constexpr std::size_t kFakeOptionalHeader = 0x58;
// Where MakeFakePe's section table ends: the payload section header goes there.
constexpr std::size_t kFakeNewSectionHeader = kFakeOptionalHeader + 0xE0 + 40;
constexpr char kDefaultLevel[] = R"(<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>)";

// MakeFakePe with a correct CheckSum, as the linker writes it, and
// optionally a manifest (at kFakePeManifestAt).
std::vector<std::uint8_t> FakeStub(const char* manifest = nullptr) {
  std::vector<std::uint8_t> stub = MakeFakePe(0, 0, manifest);
  sfx::StoreLE32(stub.data() + kFakeOptionalHeader + 64, sfx::PeChecksum(stub));
  return stub;
}

std::string TextAt(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t size) {
  return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                     bytes.begin() + static_cast<std::ptrdiff_t>(at + size));
}

std::uint32_t AlignUp(std::uint32_t value, std::uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// What the loader and the stub rely on, read back by the independent PE
// reader: one read-only data section more, mapped after the stub's image
// and stored after its sections, holding the marker and the block; the
// image size and the checksum updated; the stub's sections untouched.
TEST(InstallerWriter, AddsAReadOnlyPayloadSectionAfterTheSections) {
  const std::vector<std::uint8_t> stub = FakeStub();
  const std::vector<std::uint8_t> block = {4, 0, 0, 0, 9, 0, 0, 0, 1, 2, 3, 4};
  sfx::InstallerReport report;
  const std::vector<std::uint8_t> installer = sfx::BuildInstaller(stub, block, std::nullopt, &report);
  const sfx::test::PeFile before(stub);
  const sfx::test::PeFile after(installer);
  ASSERT_EQ(after.sections().size(), before.sections().size() + 1);
  const auto& payload = after.sections().back();
  EXPECT_EQ(payload.name, ".sfxpay");
  EXPECT_EQ(payload.characteristics, 0x40000040u);  // initialised data, readable, not writable or executable
  EXPECT_EQ(payload.virtual_address, before.size_of_image());
  EXPECT_EQ(payload.virtual_size, 8u + block.size());
  EXPECT_EQ(after.size_of_image(), AlignUp(payload.virtual_address + payload.virtual_size, after.section_alignment()));
  EXPECT_EQ(payload.raw_offset, report.stub_size);
  EXPECT_EQ(payload.raw_size % after.file_alignment(), 0u);
  EXPECT_EQ(installer.size(), payload.raw_offset + payload.raw_size);
  EXPECT_EQ(report.block_offset, payload.raw_offset + 8u);
  EXPECT_EQ(report.dropped_bytes, 0u);
  EXPECT_EQ(TextAt(installer, payload.raw_offset, 8), "SFXPAYLD");
  EXPECT_TRUE(std::equal(block.begin(), block.end(), installer.begin() + report.block_offset));
  EXPECT_EQ(after.checksum(), sfx::PeChecksum(installer));
  for (std::size_t i = 0; i < before.sections().size(); ++i) {
    const auto& old = before.sections()[i];
    EXPECT_EQ(after.sections()[i].raw_offset, old.raw_offset);
    EXPECT_TRUE(std::equal(stub.begin() + old.raw_offset, stub.begin() + old.raw_offset + old.raw_size,
                           installer.begin() + old.raw_offset))
        << old.name;
  }
}

TEST(InstallerWriter, ReplacesWhatTheStubHadAfterItsSections) {
  const std::vector<std::uint8_t> stub = MakeFakePe(300);
  sfx::InstallerReport report;
  const std::vector<std::uint8_t> installer =
      sfx::BuildInstaller(stub, {0, 0, 0, 0, 0, 0, 0, 0}, std::nullopt, &report);
  EXPECT_EQ(report.dropped_bytes, 300u);
  EXPECT_EQ(installer.size(), kFakePeSectionsEnd + 0x200);
  EXPECT_FALSE(report.cleared_certificate_entry);
}

TEST(InstallerWriter, ClearsTheCertificateEntryOfADroppedSignature) {
  const std::vector<std::uint8_t> stub = MakeFakePe(0x100, kFakePeSectionsEnd);
  sfx::InstallerReport report;
  const std::vector<std::uint8_t> installer =
      sfx::BuildInstaller(stub, {0, 0, 0, 0, 0, 0, 0, 0}, std::nullopt, &report);
  EXPECT_TRUE(report.cleared_certificate_entry);
  constexpr int kCertificateDirectory = 4;
  const sfx::test::PeFile pe(installer);
  EXPECT_EQ(pe.DirectoryAddress(kCertificateDirectory), 0u);
  EXPECT_EQ(pe.DirectorySize(kCertificateDirectory), 0u);
}

TEST(InstallerWriter, RefusesStubsItCannotUse) {
  const std::vector<std::uint8_t> block = {0, 0, 0, 0, 0, 0, 0, 0};
  std::vector<std::uint8_t> mz_only(2000, 0);
  mz_only[0] = 'M';
  mz_only[1] = 'Z';
  std::vector<std::uint8_t> cut = MakeFakePe();
  cut.resize(kFakePeSectionsEnd - 1);  // the section's raw data runs past the end
  std::vector<std::uint8_t> no_room = MakeFakePe();
  no_room[kFakeNewSectionHeader + 39] = 1;  // the slot after the table is in use
  std::vector<std::uint8_t> small_image = MakeFakePe();
  sfx::StoreLE32(small_image.data() + kFakeOptionalHeader + 56, 0x1000);  // ends before the section
  std::vector<std::uint8_t> huge_alignment = MakeFakePe();
  sfx::StoreLE32(huge_alignment.data() + kFakeOptionalHeader + 36, 0x02000000);  // would pad by 32 MiB
  const std::vector<std::uint8_t> installer = sfx::BuildInstaller(MakeFakePe(), block, std::nullopt, nullptr);
  const std::vector<std::vector<std::uint8_t>> stubs = {
      {}, std::vector<std::uint8_t>(2000, 'x'), mz_only, cut, no_room, small_image, huge_alignment, installer};
  for (std::size_t i = 0; i < stubs.size(); ++i) {
    EXPECT_THROW(sfx::BuildInstaller(stubs[i], block, std::nullopt, nullptr), sfx::PackError) << i;
  }
}

TEST(InstallerWriter, ElevationRewritesTheManifestLevelInPlace) {
  // The element also stands outside the manifest, where it is no manifest
  // and is left alone.
  std::vector<std::uint8_t> stub = FakeStub(kDefaultLevel);
  const std::size_t size = sizeof kDefaultLevel - 1;
  std::memcpy(stub.data() + 0x300, kDefaultLevel, size);
  sfx::StoreLE32(stub.data() + kFakeOptionalHeader + 64, sfx::PeChecksum(stub));
  const struct {
    sfx::ExecutionLevel level;
    std::string element;
  } cases[] = {
      {sfx::ExecutionLevel::kRequireAdministrator, kDefaultLevel},
      {sfx::ExecutionLevel::kHighestAvailable,
       R"(<requestedExecutionLevel level="highestAvailable" uiAccess="false"    />)"},
      {sfx::ExecutionLevel::kAsInvoker, R"(<requestedExecutionLevel level="asInvoker" uiAccess="false"           />)"},
  };
  for (const auto& c : cases) {
    const std::vector<std::uint8_t> installer = sfx::BuildInstaller(stub, {0, 0, 0, 0, 0, 0, 0, 0}, c.level, nullptr);
    EXPECT_EQ(TextAt(installer, kFakePeManifestAt, size), c.element);
    EXPECT_EQ(TextAt(installer, 0x300, size), kDefaultLevel);
    EXPECT_EQ(sfx::StubOfInstaller(installer), stub) << c.element;
  }
  // Without a level the manifest is not looked at; with one it must hold
  // the element exactly once.
  EXPECT_NO_THROW(sfx::BuildInstaller(MakeFakePe(), {0, 0, 0, 0, 0, 0, 0, 0}, std::nullopt, nullptr));
  const std::string twice = std::string(kDefaultLevel) + kDefaultLevel;
  std::vector<std::uint8_t> other_type = stub;
  other_type[0x200 + 16] = 16;  // the type entry names RT_VERSION, not RT_MANIFEST
  const struct {
    const char* what;
    std::vector<std::uint8_t> stub;
    const char* message;
  } refused[] = {
      {"no manifest", MakeFakePe(), "(none found)"},
      {"the element only outside the manifest", other_type, "(none found)"},
      {"the manifest without the element", MakeFakePe(0, 0, "<assembly/>"), "(none found)"},
      {"the element twice", MakeFakePe(0, 0, twice.c_str()), "exactly once (found 2)"},
  };
  for (const auto& c : refused) {
    try {
      sfx::BuildInstaller(c.stub, {0, 0, 0, 0, 0, 0, 0, 0}, sfx::ExecutionLevel::kAsInvoker, nullptr);
      ADD_FAILURE() << c.what << " was taken";
    } catch (const sfx::PackError& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << c.what << ": " << error.what();
    }
  }
}

TEST(InstallerWriter, StubPartIsTheStubAlsoAfterSigning) {
  const std::vector<std::uint8_t> stub = FakeStub(kDefaultLevel);
  std::vector<std::uint8_t> installer =
      sfx::BuildInstaller(stub, SampleBlock(SampleImage()), sfx::ExecutionLevel::kHighestAvailable, nullptr);
  EXPECT_EQ(sfx::StubOfInstaller(installer), stub);
  // Signing appends a certificate, points the certificate entry at it and
  // updates the checksum.
  const std::size_t certificate_at = installer.size();
  const std::vector<std::uint8_t> certificate = sfx::test::NoiseBytes(1000, 3);
  installer.insert(installer.end(), certificate.begin(), certificate.end());
  sfx::StoreLE32(installer.data() + kFakeOptionalHeader + 128, static_cast<std::uint32_t>(certificate_at));
  sfx::StoreLE32(installer.data() + kFakeOptionalHeader + 132, 1000);
  sfx::StoreLE32(installer.data() + kFakeOptionalHeader + 64, sfx::PeChecksum(installer));
  EXPECT_EQ(sfx::StubOfInstaller(installer), stub);
  const sfx::PayloadFile file = sfx::ParsePayloadFile(installer);
  EXPECT_EQ(file.stub_sha256, sfx::Sha256Hex(sfx::Sha256Of(stub.data(), stub.size())));
}

TEST(PayloadFiles, OldInstallersWithAnOverlayAreStillRead) {
  const std::vector<std::uint8_t> image = SampleImage();
  const std::vector<std::uint8_t> block = SampleBlock(image);
  std::vector<std::uint8_t> installer = MakeFakePe();
  installer.insert(installer.end(), {'S', 'F', 'X', 'P', 'A', 'Y', 'L', 'D'});
  installer.insert(installer.end(), block.begin(), block.end());
  const sfx::PayloadFile file = sfx::ParsePayloadFile(installer);
  EXPECT_EQ(file.kind, sfx::PayloadFileKind::kInstaller);
  EXPECT_EQ(file.block_offset, kFakePeSectionsEnd + 8);
  EXPECT_TRUE(file.stub_sha256.empty());
  EXPECT_EQ(sfx::DecodePayloadStream(file.stream(), file.packed_size, file.unpacked_size, {}), image);
}

TEST(PayloadFiles, InstallerIsFoundAgainAfterASignatureIsAppended) {
  const std::vector<std::uint8_t> image = SampleImage();
  const std::vector<std::uint8_t> block = SampleBlock(image);
  std::vector<std::uint8_t> installer = sfx::BuildInstaller(MakeFakePe(), block, std::nullopt, nullptr);
  const std::vector<std::uint8_t> signature = sfx::test::NoiseBytes(2048, 99);
  installer.insert(installer.end(), signature.begin(), signature.end());

  const std::uint8_t* found = nullptr;
  std::size_t found_size = 0;
  ASSERT_EQ(sfx::FindInstallerPayload(installer.data(), installer.size(), &found, &found_size),
            sfx::PayloadStatus::kOk);
  EXPECT_EQ(found_size, block.size());

  const sfx::PayloadFile file = sfx::ParsePayloadFile(installer);
  EXPECT_EQ(file.kind, sfx::PayloadFileKind::kInstaller);
  EXPECT_EQ(file.block_offset, kFakePeSectionsEnd + 8);
  EXPECT_EQ(file.unpacked_size, image.size());
  EXPECT_EQ(sfx::DecodePayloadStream(file.stream(), file.packed_size, file.unpacked_size, {}), image);
}

TEST(PayloadFiles, BlockFileIsExactlyOneBlock) {
  const std::vector<std::uint8_t> image = SampleImage();
  std::vector<std::uint8_t> block = SampleBlock(image);
  const sfx::PayloadFile file = sfx::ParsePayloadFile(block);
  EXPECT_EQ(file.kind, sfx::PayloadFileKind::kPayloadBlock);
  EXPECT_EQ(file.block_offset, 0u);
  EXPECT_EQ(file.packed_size + 8u, block.size());
  EXPECT_EQ(sfx::DecodePayloadStream(file.stream(), file.packed_size, file.unpacked_size, {}), image);

  std::vector<std::uint8_t> longer = block;
  longer.push_back(0);
  EXPECT_THROW(sfx::ParsePayloadFile(longer), sfx::PackError);
  block.pop_back();
  EXPECT_THROW(sfx::ParsePayloadFile(block), sfx::PackError);
  EXPECT_THROW(sfx::ParsePayloadFile({1, 2, 3}), sfx::PackError);
}

TEST(PayloadFiles, ExecutablesWithoutAPayloadAreRefused) {
  EXPECT_THROW(sfx::ParsePayloadFile(MakeFakePe()), sfx::PackError);
  EXPECT_THROW(sfx::ParsePayloadFile(MakeFakePe(40)), sfx::PackError);  // overlay without the marker
  std::vector<std::uint8_t> truncated =
      sfx::BuildInstaller(MakeFakePe(), SampleBlock(SampleImage()), std::nullopt, nullptr);
  truncated.resize(truncated.size() - 1);
  EXPECT_THROW(sfx::ParsePayloadFile(truncated), sfx::PackError);
}

TEST(PayloadBlocks, HeaderDescribesTheScrambledStream) {
  const std::vector<std::uint8_t> image = SampleImage();
  const std::vector<std::uint8_t> block = SampleBlock(image);
  EXPECT_EQ(sfx::LoadLE32(block.data()) + 8u, block.size());
  EXPECT_EQ(sfx::LoadLE32(block.data() + 4), image.size());
  // The stream is scrambled: its first word unscrambles with the seed into
  // what the encoder produced.
  std::vector<std::uint8_t> plain = sfx::CompressStream(image.data(), image.size(), sfx::EncodeOptions{});
  ASSERT_GE(plain.size(), 4u);
  EXPECT_EQ(sfx::LoadLE32(block.data() + 8) ^ 0x5A3C9E17u, sfx::LoadLE32(plain.data()));
  EXPECT_NO_THROW(sfx::VerifyPayloadBlock(block, image));
}

TEST(PayloadBlocks, EveryLevelRoundTrips) {
  const std::vector<std::uint8_t> image = SampleImage();
  for (int level = 1; level <= 9; ++level) {
    sfx::EncodeOptions options;
    options.level = level;
    const std::vector<std::uint8_t> block = sfx::BuildPayloadBlock(image, options);
    const sfx::PayloadFile file = sfx::ParsePayloadFile(block);
    EXPECT_EQ(sfx::DecodePayloadStream(file.stream(), file.packed_size, file.unpacked_size, {}), image) << level;
  }
}

TEST(PayloadBlocks, VerificationCatchesABlockThatDoesNotDecodeToTheImage) {
  const std::vector<std::uint8_t> image = SampleImage();
  std::vector<std::uint8_t> block = SampleBlock(image);
  block[block.size() / 2] ^= 0x40;
  EXPECT_THROW(sfx::VerifyPayloadBlock(block, image), sfx::PackError);
  std::vector<std::uint8_t> other = image;
  other.back() ^= 1;
  EXPECT_THROW(sfx::VerifyPayloadBlock(SampleBlock(image), other), sfx::PackError);
}

TEST(PayloadBlocks, DecodingReportsProgressUpToTheImageSize) {
  const std::vector<std::uint8_t> image = SampleImage();
  const std::vector<std::uint8_t> block = SampleBlock(image);
  std::uint64_t last = 0;
  bool increasing = true;
  sfx::DecodePayloadStream(block.data() + 8, sfx::LoadLE32(block.data()), sfx::LoadLE32(block.data() + 4),
                           [&](std::uint64_t done) {
                             if (done <= last) increasing = false;
                             last = done;
                           });
  EXPECT_TRUE(increasing);
  EXPECT_EQ(last, image.size());
}

}  // namespace
