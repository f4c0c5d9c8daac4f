// Installers and payload files: the overlay written after the stub's
// sections, found again after a signature is appended; stub refusals;
// telling installers from payload block files; the block round trip
// through the real encoder and decoder.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "packer/image_builder.h"
#include "packer/installer_writer.h"
#include "packer/pack_error.h"
#include "packer/payload_block.h"
#include "packer/payload_file.h"
#include "payload/overlay.h"
#include "support/payload_samples.h"

namespace {

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

TEST(InstallerWriter, PlacesMarkerAndBlockRightAfterTheSections) {
  const std::vector<std::uint8_t> stub = MakeFakePe();
  const std::vector<std::uint8_t> block = {4, 0, 0, 0, 9, 0, 0, 0, 1, 2, 3, 4};
  sfx::InstallerReport report;
  const std::vector<std::uint8_t> installer = sfx::BuildInstaller(stub, block, &report);
  EXPECT_EQ(report.overlay_offset, kFakePeSectionsEnd);
  EXPECT_EQ(report.dropped_bytes, 0u);
  ASSERT_EQ(installer.size(), stub.size() + 8 + block.size());
  EXPECT_TRUE(std::equal(stub.begin(), stub.end(), installer.begin()));
  EXPECT_EQ(std::memcmp(installer.data() + kFakePeSectionsEnd, "SFXPAYLD", 8), 0);
  EXPECT_TRUE(std::equal(block.begin(), block.end(), installer.begin() + kFakePeSectionsEnd + 8));
}

TEST(InstallerWriter, ReplacesWhatTheStubHadAfterItsSections) {
  const std::vector<std::uint8_t> stub = MakeFakePe(300);
  const std::vector<std::uint8_t> block = {0, 0, 0, 0, 0, 0, 0, 0};
  sfx::InstallerReport report;
  const std::vector<std::uint8_t> installer = sfx::BuildInstaller(stub, block, &report);
  EXPECT_EQ(report.dropped_bytes, 300u);
  EXPECT_EQ(installer.size(), kFakePeSectionsEnd + 8 + block.size());
  EXPECT_FALSE(report.cleared_certificate_entry);
}

TEST(InstallerWriter, ClearsTheCertificateEntryOfADroppedSignature) {
  const std::vector<std::uint8_t> stub = MakeFakePe(0x100, kFakePeSectionsEnd);
  sfx::InstallerReport report;
  const std::vector<std::uint8_t> installer = sfx::BuildInstaller(stub, {0, 0, 0, 0, 0, 0, 0, 0}, &report);
  EXPECT_TRUE(report.cleared_certificate_entry);
  EXPECT_EQ(sfx::LoadLE32(installer.data() + 0x58 + 128), 0u);
  EXPECT_EQ(sfx::LoadLE32(installer.data() + 0x58 + 132), 0u);
  // Nothing else in the headers changed.
  std::vector<std::uint8_t> expected(stub.begin(), stub.begin() + kFakePeSectionsEnd);
  sfx::StoreLE32(expected.data() + 0x58 + 128, 0);
  sfx::StoreLE32(expected.data() + 0x58 + 132, 0);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), installer.begin()));
}

TEST(InstallerWriter, RefusesStubsThatAreNotPeFiles) {
  const std::vector<std::uint8_t> block = {0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_THROW(sfx::BuildInstaller({}, block, nullptr), sfx::PackError);
  EXPECT_THROW(sfx::BuildInstaller(std::vector<std::uint8_t>(2000, 'x'), block, nullptr), sfx::PackError);
  std::vector<std::uint8_t> mz_only(2000, 0);
  mz_only[0] = 'M';
  mz_only[1] = 'Z';
  EXPECT_THROW(sfx::BuildInstaller(mz_only, block, nullptr), sfx::PackError);
  std::vector<std::uint8_t> cut = MakeFakePe();
  cut.resize(kFakePeSectionsEnd - 1);  // the section's raw data runs past the end
  EXPECT_THROW(sfx::BuildInstaller(cut, block, nullptr), sfx::PackError);
}

TEST(PayloadFiles, InstallerIsFoundAgainAfterASignatureIsAppended) {
  const std::vector<std::uint8_t> image = SampleImage();
  const std::vector<std::uint8_t> block = SampleBlock(image);
  std::vector<std::uint8_t> installer = sfx::BuildInstaller(MakeFakePe(), block, nullptr);
  const std::vector<std::uint8_t> signature = sfx::test::NoiseBytes(2048, 99);
  installer.insert(installer.end(), signature.begin(), signature.end());

  const std::uint8_t* found = nullptr;
  std::size_t found_size = 0;
  ASSERT_EQ(sfx::FindInstallerPayload(installer.data(), installer.size(), &found, &found_size),
            sfx::OverlayStatus::kOk);
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
  std::vector<std::uint8_t> truncated = sfx::BuildInstaller(MakeFakePe(), SampleBlock(SampleImage()), nullptr);
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
