// sfxpack pack without --stub: the program, copied into a tree laid out as
// `cmake --install` lays it out, writes installers with the stub installed
// next to it (--arch picks the variant, --stub overrides it); a copy with no
// stub next to it refuses to write anything unless --payload-only asks for a
// bare payload block file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/payload_samples.h"
#include "support/sfxpack_runner.h"

namespace {

namespace fs = std::filesystem;
using sfx::test::MakeFakePe;
using sfx::test::ReadBytes;
using sfx::test::ToolRun;
using sfx::test::WriteBytes;
using sfx::test::WriteText;

class DefaultStub : public sfx::test::SfxpackTest {
 protected:
  // Copies sfxpack to <root>/bin/ under its own file name and returns the copy.
  fs::path InstallProgram(const fs::path& root) const {
    const fs::path program(SFXPACK_PATH);
    const fs::path copy = root / "bin" / program.filename();
    fs::create_directories(copy.parent_path());
    fs::copy_file(program, copy);
    return copy;
  }

  // Installs a distinct fake PE as the stub of `arch` under <root>/share.
  static void InstallStub(const fs::path& root, const std::string& arch, std::uint8_t fill) {
    std::vector<std::uint8_t> stub = MakeFakePe();
    stub[sfx::test::kFakePeSectionsEnd - 1] = fill;
    WriteBytes(root / "share" / "sfxpack" / "stubs" / arch / "sfxstub.exe", stub);
  }

  ToolRun Run(const fs::path& program, const std::vector<std::string>& args) const {
    return sfx::test::RunSfxpack(program.string(), args, dir_);
  }

  // The stub hash `list` prints for `installer` (empty when none).
  std::string StubHash(const fs::path& program, const fs::path& installer) const {
    const std::string out = Run(program, {"list", installer.string()}).out;
    const std::size_t at = out.find("stub SHA-256: ");
    return at == std::string::npos ? std::string() : out.substr(at + 14, 64);
  }

  fs::path MakeSource() const {
    const fs::path src = dir_ / "src";
    WriteText(src / "Setup.cfg", "\"readme.txt\"\n");
    WriteText(src / "Setup.exe", "MZ setup");
    WriteText(src / "readme.txt", "Read me.\r\n");
    return src;
  }
};

TEST_F(DefaultStub, InstalledStubIsTheDefaultAndArchPicksTheVariant) {
  const fs::path root = dir_ / "vendor";
  const fs::path program = InstallProgram(root);
  InstallStub(root, "win32", 0x32);
  InstallStub(root, "win64", 0x64);
  const fs::path src = MakeSource();

  struct Case {
    std::vector<std::string> extra;
    std::string arch;
  };
  for (const Case& c : {Case{{}, "win32"}, Case{{"--arch", "win32"}, "win32"}, Case{{"--arch", "win64"}, "win64"}}) {
    const fs::path out = dir_ / ("setup-" + c.arch + ".exe");
    std::vector<std::string> args = {"pack", src.string(), "-o", out.string()};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const ToolRun pack = Run(program, args);
    ASSERT_EQ(pack.exit_code, 0) << pack.err;
    const std::string stub_tail = (fs::path("stubs") / c.arch / "sfxstub.exe").string();
    EXPECT_NE(pack.out.find(stub_tail), std::string::npos) << pack.out;
    const ToolRun list = Run(program, {"list", out.string()});
    EXPECT_EQ(list.exit_code, 0) << list.err;
    EXPECT_NE(list.out.find("installer, payload at offset"), std::string::npos) << list.out;
    // The same stub part as an installer packed from that stub by name.
    const fs::path named = dir_ / ("named-" + c.arch + ".exe");
    const fs::path stub = root / "share" / "sfxpack" / "stubs" / c.arch / "sfxstub.exe";
    ASSERT_EQ(Run(program, {"pack", src.string(), "-o", named.string(), "--stub", stub.string()}).exit_code, 0);
    EXPECT_FALSE(StubHash(program, out).empty()) << list.out;
    EXPECT_EQ(StubHash(program, out), StubHash(program, named)) << c.arch;
  }

  // --stub overrides the default; it cannot be combined with --arch.
  WriteBytes(dir_ / "own-stub.exe", MakeFakePe());
  const ToolRun own = Run(
      program, {"pack", src.string(), "-o", (dir_ / "own.exe").string(), "--stub", (dir_ / "own-stub.exe").string()});
  ASSERT_EQ(own.exit_code, 0) << own.err;
  EXPECT_NE(own.out.find("own-stub.exe"), std::string::npos) << own.out;
  EXPECT_NE(StubHash(program, dir_ / "own.exe"), StubHash(program, dir_ / "named-win32.exe"));
  EXPECT_EQ(Run(program, {"pack", src.string(), "-o", (dir_ / "x.exe").string(), "--arch", "win64", "--stub",
                          (dir_ / "own-stub.exe").string()})
                .exit_code,
            2);
  EXPECT_EQ(Run(program, {"pack", src.string(), "-o", (dir_ / "x.exe").string(), "--arch", "win16"}).exit_code, 2);
}

TEST_F(DefaultStub, WithoutAStubOnlyPayloadOnlyWritesABareBlock) {
  const fs::path root = dir_ / "bare";
  const fs::path program = InstallProgram(root);
  InstallStub(root, "win64", 0x64);  // only the 64-bit one: the default win32 stub is missing
  const fs::path src = MakeSource();
  const fs::path out = dir_ / "Setup.exe";

  const ToolRun refused = Run(program, {"pack", src.string(), "-o", out.string()});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.err.find("no win32 installer stub found"), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("--stub"), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("--payload-only"), std::string::npos) << refused.err;
  EXPECT_FALSE(fs::exists(out));

  const ToolRun block = Run(program, {"pack", src.string(), "-o", out.string(), "--payload-only"});
  ASSERT_EQ(block.exit_code, 0) << block.err;
  EXPECT_NE(block.out.find("wrote payload block file"), std::string::npos) << block.out;
  const ToolRun list = Run(program, {"list", out.string()});
  EXPECT_NE(list.out.find("payload block, payload at offset 0"), std::string::npos) << list.out;

  // --payload-only with a stub is a contradiction.
  EXPECT_EQ(
      Run(program, {"pack", src.string(), "-o", out.string(), "--payload-only", "--stub", out.string()}).exit_code, 2);
}

}  // namespace
