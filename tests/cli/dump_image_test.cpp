// sfxpack dump-image, run as a vendor runs it: the real program on payload
// block files on disk, checking the written image, stderr and exit codes.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/payload_samples.h"
#include "support/sfxpack_runner.h"
#include "support/stored_stream.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

using sfx::test::ReadText;
using sfx::test::ToolRun;

void PutLE32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// The 17-byte plain stream of another encoder; it decodes to "foo\n".
Bytes FooPlainStream() { return sfx::test::FromHex(SFX_FOO_STREAM_HEX); }

using sfx::test::Scramble;

Bytes Block(const Bytes& stream, std::uint32_t unpacked, std::uint32_t packed_override = 0xFFFFFFFFu) {
  Bytes block;
  PutLE32(block, packed_override != 0xFFFFFFFFu ? packed_override : static_cast<std::uint32_t>(stream.size()));
  PutLE32(block, unpacked);
  block.insert(block.end(), stream.begin(), stream.end());
  return block;
}

class DumpImage : public sfx::test::SfxpackTest {
 protected:
  // Runs sfxpack; Windows writes stderr in text mode, so its carriage
  // returns are dropped to compare lines the same way everywhere.
  ToolRun Sfxpack(const std::vector<std::string>& args) const {
    ToolRun run = SfxpackTest::Sfxpack(args);
    std::erase(run.err, '\r');
    return run;
  }

  // True when `err` is exactly one line that starts with the tool's name.
  static bool IsOneErrorLine(const std::string& err) {
    return err.rfind("sfxpack: ", 0) == 0 && err.find('\n') == err.size() - 1;
  }
};

TEST_F(DumpImage, WritesTheDecodedImage) {
  const fs::path image = dir_ / "foo.img";
  const ToolRun run =
      Sfxpack({"dump-image", File("foo.block", Block(Scramble(FooPlainStream()), 4)).string(), "-o", image.string()});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ReadText(image), "foo\n");
}

TEST_F(DumpImage, TrailingBytesAfterTheStreamAreIgnored) {
  Bytes block = Block(Scramble(FooPlainStream()), 4);
  block.insert(block.end(), {1, 2, 3});
  const fs::path image = dir_ / "foo.img";
  const ToolRun run = Sfxpack({"dump-image", File("foo.block", block).string(), "-o", image.string()});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(ReadText(image), "foo\n");
}

TEST_F(DumpImage, WritesWhatWasDecodedWithoutChecks) {
  const Bytes stream = Scramble(FooPlainStream());
  // A smaller unpacked size stops the decoder at that count.
  const fs::path small = dir_ / "small.img";
  const ToolRun small_run =
      Sfxpack({"dump-image", File("small.block", Block(stream, 2)).string(), "-o", small.string()});
  EXPECT_EQ(small_run.exit_code, 0) << small_run.err;
  EXPECT_EQ(ReadText(small), "fo");
  // A larger one makes the decoder run out of stream; it stops soon after
  // the end and the bytes it never produced stay zero.
  const fs::path large = dir_ / "large.img";
  const ToolRun large_run =
      Sfxpack({"dump-image", File("large.block", Block(stream, 64)).string(), "-o", large.string()});
  EXPECT_EQ(large_run.exit_code, 0) << large_run.err;
  const std::string decoded = ReadText(large);
  ASSERT_EQ(decoded.size(), 64u);
  EXPECT_EQ(decoded.substr(0, 4), "foo\n");
  EXPECT_EQ(decoded.substr(32), std::string(32, '\0'));
  // An unscrambled stream decodes to something, still without complaint.
  const fs::path raw = dir_ / "raw.img";
  const ToolRun raw_run =
      Sfxpack({"dump-image", File("raw.block", Block(FooPlainStream(), 4)).string(), "-o", raw.string()});
  EXPECT_EQ(raw_run.exit_code, 0) << raw_run.err;
  EXPECT_EQ(ReadText(raw).size(), 4u);
}

TEST_F(DumpImage, EmptyImageIsAnEmptyFile) {
  const fs::path image = dir_ / "empty.img";
  const ToolRun run = Sfxpack({"dump-image", File("empty.block", Block({}, 0)).string(), "-o", image.string()});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(fs::exists(image));
  EXPECT_EQ(fs::file_size(image), 0u);
}

TEST_F(DumpImage, ReadsAnInstallerAndNamesWhereItsPayloadIs) {
  // A stub followed by the marker and the block, as pack writes it.
  Bytes installer = sfx::test::MakeFakePe();
  const std::string marker = "SFXPAYLD";
  installer.insert(installer.end(), marker.begin(), marker.end());
  const Bytes block = Block(Scramble(FooPlainStream()), 4);
  installer.insert(installer.end(), block.begin(), block.end());
  const fs::path image = dir_ / "foo.img";
  const ToolRun run = Sfxpack({"dump-image", File("setup.exe", installer).string(), "-o", image.string()});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("installer, payload at offset " + std::to_string(sfx::test::kFakePeSectionsEnd + 8)),
            std::string::npos)
      << run.out;
  EXPECT_EQ(ReadText(image), "foo\n");

  // A PE file without a payload: the error says that none was found, and where.
  const ToolRun none =
      Sfxpack({"dump-image", File("plain.exe", sfx::test::MakeFakePe()).string(), "-o", image.string() + "2"});
  EXPECT_EQ(none.exit_code, 1);
  EXPECT_TRUE(IsOneErrorLine(none.err)) << none.err;
  EXPECT_NE(none.err.find("no payload found in"), std::string::npos) << none.err;
  EXPECT_NE(none.err.find("plain.exe"), std::string::npos) << none.err;
  EXPECT_FALSE(fs::exists(image.string() + "2"));
}

TEST_F(DumpImage, MissingFileIsBadInput) {
  const ToolRun run = Sfxpack({"dump-image", (dir_ / "absent.block").string(), "-o", (dir_ / "x.img").string()});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(IsOneErrorLine(run.err)) << run.err;
  EXPECT_FALSE(fs::exists(dir_ / "x.img"));
}

TEST_F(DumpImage, HeaderThatDoesNotFitIsBadInput) {
  const Bytes stream = Scramble(FooPlainStream());
  for (const Bytes& block :
       {Bytes{1, 0, 0, 0, 4, 0, 0}, Block(stream, 4, static_cast<std::uint32_t>(stream.size()) + 1),
        Block(stream, 4, 0xFFFFFFF0u)}) {
    const ToolRun run = Sfxpack({"dump-image", File("bad.block", block).string(), "-o", (dir_ / "x.img").string()});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_TRUE(IsOneErrorLine(run.err)) << run.err;
    EXPECT_FALSE(fs::exists(dir_ / "x.img"));
  }
}

TEST_F(DumpImage, UnpackedSizeTheStreamCannotReachIsBadInput) {
  // Eight bytes announcing 4.2 GB: refused before any buffer is allocated.
  const ToolRun run =
      Sfxpack({"dump-image", File("tiny.block", Block({}, 0xFA600000u)).string(), "-o", (dir_ / "x.img").string()});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(IsOneErrorLine(run.err)) << run.err;
  EXPECT_NE(run.err.find("unpacked size 4200595456 bytes"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(dir_ / "x.img"));
}

TEST_F(DumpImage, HelpAndUsage) {
  const ToolRun help = Sfxpack({"dump-image", "--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("dump-image"), std::string::npos);
  const ToolRun no_output = Sfxpack({"dump-image", File("foo.block", Block({}, 0)).string()});
  EXPECT_EQ(no_output.exit_code, 2);
}

}  // namespace
