// sfxpack pack, list and extract, run as a vendor runs them: the real
// program on folders and files on disk, checking the files it writes, its
// output and its exit codes. Corrupt inputs are made with the packer library
// so that each one is damaged in exactly one known way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "packer/image_builder.h"
#include "packer/installer_writer.h"
#include "packer/payload_block.h"
#include "payload/sha256.h"
#include "support/files.h"
#include "support/payload_samples.h"
#include "support/sfxpack_runner.h"

namespace {

namespace fs = std::filesystem;
using sfx::test::MakeFakePe;
using sfx::test::NoiseBytes;
using sfx::test::ReadBytes;
using sfx::test::ToolRun;
using sfx::test::U8Path;
using sfx::test::WriteBytes;
using sfx::test::WriteText;

// Every file below `root`, by relative path (UTF-8, '/' separators), with
// its content; folders are listed with an empty marker so that missing or
// extra folders show too.
std::map<std::string, std::vector<std::uint8_t>> Tree(const fs::path& root) {
  std::map<std::string, std::vector<std::uint8_t>> tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const std::u8string rel = it->path().lexically_relative(root).generic_u8string();
    std::string key(rel.begin(), rel.end());
    if (it->is_directory()) {
      tree[key + "/"] = {};
    } else {
      tree[key] = ReadBytes(it->path());
    }
  }
  return tree;
}

class PackerCommands : public sfx::test::SfxpackTest {
 protected:
  fs::path Dir() const { return dir_; }

  std::string P(const fs::path& path) const { return path.string(); }

  // A folder like a real update: Setup.cfg, Setup.exe, nested folders, an
  // empty file, a file over 1 MiB, every byte value, Windows-1252 names.
  fs::path MakeSourceFolder() const {
    const fs::path src = Dir() / "src";
    WriteText(src / "Setup.cfg", "\"readme.txt\"\n");
    WriteBytes(src / "Setup.exe", NoiseBytes(20000, 1));
    WriteText(src / "readme.txt", "Read me.\r\n");
    WriteText(src / "empty.txt", "");
    std::vector<std::uint8_t> all_bytes;
    for (int round = 0; round < 4; ++round) {
      for (int b = 0; b < 256; ++b) all_bytes.push_back(static_cast<std::uint8_t>(b));
    }
    WriteBytes(src / "a" / "b" / "c" / "bytes.bin", all_bytes);
    std::vector<std::uint8_t> big = NoiseBytes(700000, 2);
    const std::vector<std::uint8_t> text(500000, 'x');
    big.insert(big.end(), text.begin(), text.end());
    const std::vector<std::uint8_t> tail = NoiseBytes(100000, 3);
    big.insert(big.end(), tail.begin(), tail.end());
    WriteBytes(src / "data" / "big.bin", big);  // 1.3 MB
    WriteText(src / U8Path("Gr\xC3\xBC\xC3\x9F"
                           "e.txt"),
              "Gr\xC3\xBC\xC3\x9F"
              "e!");
    WriteText(src / U8Path("\xC3\xA9t\xC3\xA9") / U8Path("\xE2\x82\xAC uro.txt"), "euro");
    return src;
  }

  // A payload block of three entries whose image the caller may damage;
  // the damaged image is re-sealed with `reseal`.
  fs::path MakeBlockFile(const std::string& name, void (*damage)(std::vector<std::uint8_t>&), bool reseal) const {
    sfx::ImageBuilder builder;
    builder.AddEntry("first.txt", std::vector<std::uint8_t>{'o', 'n', 'e'});
    builder.AddEntry("ab\\x.bin", NoiseBytes(3000, 5));
    builder.AddEntry("third.txt", std::vector<std::uint8_t>{'3'});
    std::vector<std::uint8_t> image = builder.Build();
    if (damage != nullptr) damage(image);
    if (reseal) sfx::test::SealDirectory(image);
    const fs::path path = Dir() / name;
    WriteBytes(path, sfx::BuildPayloadBlock(image, sfx::EncodeOptions{}));
    return path;
  }
};

// Offsets inside the three-entry image: the first entry's name area is 12
// bytes, so the second entry starts at 52 + 24 + 12.
constexpr std::size_t kSecondEntry = 52 + 24 + 12;

void DamageSecondEntryData(std::vector<std::uint8_t>& image) {
  image[sfx::LoadLE32(image.data() + kSecondEntry + 12) + 10] ^= 0x20;
}

void MakeSecondNameEscape(std::vector<std::uint8_t>& image) {
  std::memcpy(image.data() + kSecondEntry + 24, "..\\x.bin", 8);
}

TEST_F(PackerCommands, PackAndExtractReproduceTheFolder) {
  const fs::path src = MakeSourceFolder();
  const ToolRun pack = Sfxpack({"pack", P(src), "-o", P(Dir() / "payload.bin"), "--payload-only", "--level", "9"});
  ASSERT_EQ(pack.exit_code, 0) << pack.err;
  EXPECT_NE(pack.out.find("8 files"), std::string::npos) << pack.out;
  EXPECT_EQ(pack.err, "");

  const ToolRun extract = Sfxpack({"extract", P(Dir() / "payload.bin"), "-o", P(Dir() / "out")});
  ASSERT_EQ(extract.exit_code, 0) << extract.err;
  EXPECT_EQ(Tree(Dir() / "out"), Tree(src));
}

TEST_F(PackerCommands, InstallerRoundTripSurvivesAnAppendedSignature) {
  const fs::path src = MakeSourceFolder();
  WriteBytes(Dir() / "stub.exe", MakeFakePe(64));  // with an old overlay
  const fs::path installer = Dir() / "setup-installer.exe";
  const ToolRun pack = Sfxpack({"pack", P(src), "-o", P(installer), "--stub", P(Dir() / "stub.exe"), "--level", "1"});
  ASSERT_EQ(pack.exit_code, 0) << pack.err;
  EXPECT_NE(pack.err.find("64 bytes after its sections"), std::string::npos) << pack.err;
  std::vector<std::uint8_t> bytes = ReadBytes(installer);
  ASSERT_GT(bytes.size(), sfx::test::kFakePeSectionsEnd + 8);
  EXPECT_EQ(std::memcmp(bytes.data() + sfx::test::kFakePeSectionsEnd, "SFXPAYLD", 8), 0);

  const std::vector<std::uint8_t> signature = NoiseBytes(4096, 77);
  bytes.insert(bytes.end(), signature.begin(), signature.end());
  WriteBytes(installer, bytes);

  const ToolRun list = Sfxpack({"list", P(installer)});
  EXPECT_EQ(list.exit_code, 0) << list.err;
  EXPECT_NE(list.out.find("installer"), std::string::npos);
  const ToolRun extract = Sfxpack({"extract", P(installer), "-o", P(Dir() / "out")});
  ASSERT_EQ(extract.exit_code, 0) << extract.err;
  EXPECT_EQ(Tree(Dir() / "out"), Tree(src));
}

TEST_F(PackerCommands, ElevationSetsTheManifestLevelAndListShowsTheStubsHash) {
  const fs::path src = MakeSourceFolder();
  // A stub as the build makes one: a manifest holding the level element and
  // a correct checksum.
  const std::string level = R"(<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>)";
  std::vector<std::uint8_t> stub = MakeFakePe(0, 0, level.c_str());
  sfx::StoreLE32(stub.data() + 0x58 + 64, sfx::PeChecksum(stub));
  WriteBytes(Dir() / "stub.exe", stub);
  const fs::path installer = Dir() / "setup-highest.exe";
  const ToolRun pack = Sfxpack(
      {"pack", P(src), "-o", P(installer), "--stub", P(Dir() / "stub.exe"), "--level", "1", "--elevation", "highest"});
  ASSERT_EQ(pack.exit_code, 0) << pack.err;
  const std::vector<std::uint8_t> bytes = ReadBytes(installer);
  const auto at = bytes.begin() + sfx::test::kFakePeManifestAt;
  EXPECT_EQ(std::string(at, at + static_cast<std::ptrdiff_t>(level.size())),
            R"(<requestedExecutionLevel level="highestAvailable" uiAccess="false"    />)");

  const ToolRun list = Sfxpack({"list", P(installer)});
  EXPECT_EQ(list.exit_code, 0) << list.err;
  const std::string hash = sfx::Sha256Hex(sfx::Sha256Of(stub.data(), stub.size()));
  EXPECT_NE(list.out.find("stub SHA-256: " + hash), std::string::npos) << list.out;

  // A stub without the element cannot take a level; an unknown level is a usage error.
  WriteBytes(Dir() / "plain.exe", MakeFakePe());
  const ToolRun refused =
      Sfxpack({"pack", P(src), "-o", P(Dir() / "x.exe"), "--stub", P(Dir() / "plain.exe"), "--elevation", "invoker"});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.err.find("requestedExecutionLevel"), std::string::npos) << refused.err;
  EXPECT_FALSE(fs::exists(Dir() / "x.exe"));
  const ToolRun unknown =
      Sfxpack({"pack", P(src), "-o", P(Dir() / "x.exe"), "--stub", P(Dir() / "stub.exe"), "--elevation", "root"});
  EXPECT_EQ(unknown.exit_code, 2);
}

TEST_F(PackerCommands, ListShowsEntriesInInstallerOrder) {
  const fs::path src = MakeSourceFolder();
  ASSERT_EQ(Sfxpack({"pack", P(src), "-o", P(Dir() / "p.bin"), "--payload-only"}).exit_code, 0);
  const ToolRun list = Sfxpack({"list", P(Dir() / "p.bin")});
  ASSERT_EQ(list.exit_code, 0) << list.err;
  const std::size_t cfg = list.out.find("Setup.cfg");
  const std::size_t exe = list.out.find("Setup.exe");
  const std::size_t nested = list.out.find("a\\b\\c\\bytes.bin");
  const std::size_t latin = list.out.find(
      "Gr\xC3\xBC\xC3\x9F"
      "e.txt");
  ASSERT_NE(cfg, std::string::npos) << list.out;
  ASSERT_NE(nested, std::string::npos) << list.out;
  ASSERT_NE(latin, std::string::npos) << list.out;
  EXPECT_LT(cfg, exe);
  EXPECT_LT(exe, nested);
  EXPECT_NE(list.out.find("image: ok"), std::string::npos);
  EXPECT_NE(list.out.find("8 entries"), std::string::npos);
}

TEST_F(PackerCommands, ListJsonIsOneObjectWithUtf8Names) {
  const fs::path src = MakeSourceFolder();
  ASSERT_EQ(Sfxpack({"pack", P(src), "-o", P(Dir() / "p.bin"), "--payload-only"}).exit_code, 0);
  const ToolRun list = Sfxpack({"list", P(Dir() / "p.bin"), "--json"});
  ASSERT_EQ(list.exit_code, 0) << list.err;
  ASSERT_FALSE(list.out.empty());
  // One object on one line (the line end is CR LF on Windows).
  std::string line = list.out;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  EXPECT_EQ(line.find('\n'), std::string::npos);
  EXPECT_EQ(line.front(), '{');
  EXPECT_EQ(line.back(), '}');
  EXPECT_NE(list.out.find("\"status\":\"ok\""), std::string::npos);
  EXPECT_NE(list.out.find("\"name\":\"Gr\xC3\xBC\xC3\x9F"
                          "e.txt\""),
            std::string::npos)
      << list.out;
  EXPECT_NE(list.out.find("\"name\":\"a\\\\b\\\\c\\\\bytes.bin\",\"size\":1024"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("\"name\":\"\xC3\xA9t\xC3\xA9\\\\\xE2\x82\xAC uro.txt\""), std::string::npos) << list.out;
}

TEST_F(PackerCommands, ListOfACorruptImageShowsWhatItCanAndFails) {
  const fs::path block = MakeBlockFile("bad.bin", &DamageSecondEntryData, false);
  const ToolRun list = Sfxpack({"list", P(block)});
  EXPECT_EQ(list.exit_code, 1);
  EXPECT_NE(list.out.find("CORRUPT"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("first.txt"), std::string::npos);
  EXPECT_NE(list.out.find("third.txt"), std::string::npos);
  const ToolRun json = Sfxpack({"list", P(block), "--json"});
  EXPECT_EQ(json.exit_code, 1);
  EXPECT_NE(json.out.find("\"status\":\"corrupt\""), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"name\":\"third.txt\""), std::string::npos) << json.out;
}

TEST_F(PackerCommands, ExtractStopsAtACorruptEntryKeepingEarlierFiles) {
  const fs::path block = MakeBlockFile("bad.bin", &DamageSecondEntryData, false);
  const ToolRun extract = Sfxpack({"extract", P(block), "-o", P(Dir() / "out")});
  EXPECT_EQ(extract.exit_code, 1);
  EXPECT_NE(extract.err.find("corrupt payload"), std::string::npos) << extract.err;
  EXPECT_NE(extract.err.find("1 file was written: \"first.txt\""), std::string::npos) << extract.err;
  EXPECT_TRUE(fs::exists(Dir() / "out" / "first.txt"));
  EXPECT_FALSE(fs::exists(Dir() / "out" / "ab"));
  EXPECT_FALSE(fs::exists(Dir() / "out" / "third.txt"));
}

TEST_F(PackerCommands, ExtractWritesOnlyIntoANewOrEmptyFolderUnlessForced) {
  const fs::path block = MakeBlockFile("good.bin", nullptr, false);
  const fs::path out = Dir() / "out";
  fs::create_directories(out);
  ASSERT_EQ(Sfxpack({"extract", P(block), "-o", P(out)}).exit_code, 0);  // empty
  WriteText(out / "first.txt", "changed");
  const ToolRun again = Sfxpack({"extract", P(block), "-o", P(out)});
  EXPECT_EQ(again.exit_code, 1);
  EXPECT_NE(again.err.find("not empty"), std::string::npos) << again.err;
  EXPECT_EQ(ReadBytes(out / "first.txt"), std::vector<std::uint8_t>({'c', 'h', 'a', 'n', 'g', 'e', 'd'}));
  EXPECT_EQ(Sfxpack({"extract", P(block), "-o", P(out), "--force"}).exit_code, 0);
  EXPECT_EQ(ReadBytes(out / "first.txt"), std::vector<std::uint8_t>({'o', 'n', 'e'}));
}

TEST_F(PackerCommands, ExtractRefusesAnEscapingNameAndWritesNothingOutside) {
  const fs::path block = MakeBlockFile("evil.bin", &MakeSecondNameEscape, true);
  const fs::path out = Dir() / "nest" / "out";
  const ToolRun extract = Sfxpack({"extract", P(block), "-o", P(out)});
  EXPECT_EQ(extract.exit_code, 1);
  EXPECT_NE(extract.err.find("unsafe entry name"), std::string::npos) << extract.err;
  EXPECT_FALSE(fs::exists(Dir() / "nest" / "x.bin"));
  EXPECT_EQ(Tree(Dir() / "nest").size(), 2u);  // out/ and out/first.txt
}

TEST_F(PackerCommands, ExtractRefusesADamagedStream) {
  const fs::path src = MakeSourceFolder();
  ASSERT_EQ(Sfxpack({"pack", P(src), "-o", P(Dir() / "p.bin"), "--payload-only"}).exit_code, 0);
  std::vector<std::uint8_t> bytes = ReadBytes(Dir() / "p.bin");
  for (std::size_t i = 8; i < 40; ++i) bytes[i] ^= 0x5A;  // the start of the stream
  WriteBytes(Dir() / "p.bin", bytes);
  const fs::path out = Dir() / "nest" / "out";
  fs::create_directories(Dir() / "nest");
  EXPECT_EQ(Sfxpack({"extract", P(Dir() / "p.bin"), "-o", P(out)}).exit_code, 1);
  EXPECT_EQ(Sfxpack({"list", P(Dir() / "p.bin")}).exit_code, 1);
  for (const auto& [name, content] : Tree(Dir() / "nest")) {
    EXPECT_EQ(name.rfind("out/", 0), 0u) << name << " lies outside the target folder";
  }
}

TEST_F(PackerCommands, FilesThatCarryNoPayloadAreBadInput) {
  WriteText(Dir() / "text.txt", "just some text that is no payload");
  WriteBytes(Dir() / "plain.exe", MakeFakePe());
  fs::create_directories(Dir() / "folder");
  const std::map<std::string, std::string> reasons = {{"text.txt", "text.txt\" is neither an installer"},
                                                      {"plain.exe", "plain.exe\" is not an installer"},
                                                      {"missing.bin", "missing.bin\" ("},
                                                      {"folder", "folder\" is a folder"}};
  for (const auto& [name, reason] : reasons) {
    const ToolRun list = Sfxpack({"list", P(Dir() / name)});
    EXPECT_EQ(list.exit_code, 1) << name;
    EXPECT_NE(list.err.find(reason), std::string::npos) << list.err;
    EXPECT_EQ(Sfxpack({"extract", P(Dir() / name), "-o", P(Dir() / "out")}).exit_code, 1) << name;
  }
  EXPECT_FALSE(fs::exists(Dir() / "out" / "first.txt"));
}

TEST_F(PackerCommands, PackRefusesABadSetupConfigUnlessAllowed) {
  const fs::path src = MakeSourceFolder();
  WriteText(src / "Setup.cfg", "PRODUCT_NAME \"unterminated\n");
  const fs::path out = Dir() / "p.bin";
  const ToolRun refused = Sfxpack({"pack", P(src), "-o", P(out), "--payload-only"});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.err.find("Setup.cfg"), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("unterminated string"), std::string::npos) << refused.err;
  EXPECT_FALSE(fs::exists(out));

  const ToolRun allowed = Sfxpack({"pack", P(src), "-o", P(out), "--payload-only", "--allow-bad-config"});
  EXPECT_EQ(allowed.exit_code, 0) << allowed.err;
  EXPECT_NE(allowed.err.find("warning"), std::string::npos);
  EXPECT_EQ(Sfxpack({"list", P(out)}).exit_code, 0);
}

TEST_F(PackerCommands, PackRefusesAFolderWithoutSetupExeUnlessAllowed) {
  WriteText(Dir() / "src" / "only.txt", "x");
  WriteText(Dir() / "src" / "sub" / "Setup.exe", "not at the top");
  const ToolRun refused = Sfxpack({"pack", P(Dir() / "src"), "-o", P(Dir() / "p.bin"), "--payload-only"});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.err.find("no Setup.exe"), std::string::npos) << refused.err;
  EXPECT_FALSE(fs::exists(Dir() / "p.bin"));

  const ToolRun allowed =
      Sfxpack({"pack", P(Dir() / "src"), "-o", P(Dir() / "p.bin"), "--allow-no-setup", "--payload-only"});
  EXPECT_EQ(allowed.exit_code, 0) << allowed.err;
  EXPECT_NE(allowed.err.find("no Setup.cfg"), std::string::npos) << allowed.err;
  EXPECT_NE(allowed.err.find("no Setup.exe"), std::string::npos) << allowed.err;

  WriteText(Dir() / "src" / "SETUP.EXE", "the name in any letter case");
  EXPECT_EQ(Sfxpack({"pack", P(Dir() / "src"), "-o", P(Dir() / "q.bin"), "--payload-only"}).exit_code, 0);
}

TEST_F(PackerCommands, AnUnpackedSizeTheStreamCannotReachFailsBeforeAllocating) {
  // Eight bytes: no stream at all, and an image of 4.2 GB announced.
  const fs::path block = Dir() / "tiny.bin";
  WriteBytes(block, std::vector<std::uint8_t>{0, 0, 0, 0, 0x00, 0x00, 0x60, 0xFA});
  for (const char* command : {"list", "extract"}) {
    const ToolRun run = command == std::string("list") ? Sfxpack({"list", P(block)})
                                                       : Sfxpack({"extract", P(block), "-o", P(Dir() / "out")});
    EXPECT_EQ(run.exit_code, 1) << command;
    EXPECT_NE(run.err.find("unpacked size 4200595456 bytes is more than 0 stored bytes can decode to"),
              std::string::npos)
        << command << ": " << run.err;
  }
  EXPECT_FALSE(fs::exists(Dir() / "out"));
}

TEST_F(PackerCommands, ListPrintsControlCharactersOfNamesEscaped) {
  const fs::path block = MakeBlockFile(
      "esc.bin", [](std::vector<std::uint8_t>& image) { std::memcpy(image.data() + 52 + 24, "\x1B]0;pwn\x07t", 9); },
      true);
  const ToolRun list = Sfxpack({"list", P(block)});
  EXPECT_EQ(list.exit_code, 1);  // a control character makes the name unsafe
  EXPECT_EQ(list.out.find('\x1B'), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("\\x1B]0;pwn\\x07t"), std::string::npos) << list.out;
}

TEST_F(PackerCommands, PackRefusesUnpackableFolders) {
  WriteText(Dir() / "src" / "Setup.exe", "x");
  WriteText(Dir() / "src" / U8Path("\xE6\x97\xA5.txt"), "x");
  const ToolRun pack = Sfxpack({"pack", P(Dir() / "src"), "-o", P(Dir() / "p.bin"), "--payload-only"});
  EXPECT_EQ(pack.exit_code, 1);
  EXPECT_NE(pack.err.find("Windows-1252"), std::string::npos) << pack.err;
  EXPECT_FALSE(fs::exists(Dir() / "p.bin"));
  EXPECT_EQ(
      Sfxpack({"pack", P(Dir() / "src"), "-o", P(Dir() / "i.exe"), "--stub", P(Dir() / "src" / "Setup.exe")}).exit_code,
      1);
}

TEST_F(PackerCommands, PackReportsForMachinesExcludesAndNeverWritesAFileNamedDash) {
  const fs::path src = MakeSourceFolder();
  WriteText(src / ".git" / "HEAD", "ref");
  WriteText(src / "sym.pdb", "symbols");
  const fs::path out = Dir() / "p.bin";
  const ToolRun json = Sfxpack({"pack", P(src), "-o", P(out), "--payload-only", "--json"});
  ASSERT_EQ(json.exit_code, 0) << json.err;
  const std::vector<std::uint8_t> bytes = ReadBytes(out);
  const std::string sha = sfx::Sha256Hex(sfx::Sha256Of(bytes.data(), bytes.size()));
  EXPECT_NE(json.out.find("\"size\":" + std::to_string(bytes.size()) + ",\"sha256\":\"" + sha + "\",\"entries\":10,"),
            std::string::npos)
      << json.out;
  EXPECT_EQ(json.out.find('\n'), json.out.size() - 1) << json.out;  // one object, one line
  EXPECT_NE(json.err.find("--exclude '.git'"), std::string::npos) << json.err;
  EXPECT_NE(json.err.find("--exclude '*.pdb'"), std::string::npos) << json.err;

  const ToolRun quiet =
      Sfxpack({"pack", P(src), "-o", P(out), "--payload-only", "-q", "--exclude", ".git", "--exclude", "*.PDB"});
  EXPECT_EQ(quiet.exit_code, 0) << quiet.err;
  EXPECT_EQ(quiet.out + quiet.err, "");
  EXPECT_EQ(Sfxpack({"list", P(out)}).out.find("sym.pdb"), std::string::npos);
  for (const auto& item : fs::directory_iterator(Dir())) {
    EXPECT_NE(item.path().extension(), ".tmp") << "the temporary output stayed: " << item.path();
  }

  const ToolRun dash = Sfxpack({"pack", P(src), "-o", "-", "--payload-only"});
  EXPECT_EQ(dash.exit_code, 2);
  EXPECT_FALSE(fs::exists("-"));
}

TEST_F(PackerCommands, PackAsksToNormaliseDecomposedNames) {
  WriteText(Dir() / "src" / "Setup.exe", "x");
  WriteText(Dir() / "src" /
                U8Path("Caf"
                       "e\xCC\x81.txt"),
            "x");
  const ToolRun pack = Sfxpack({"pack", P(Dir() / "src"), "-o", P(Dir() / "p.bin"), "--payload-only"});
  EXPECT_EQ(pack.exit_code, 1);
  EXPECT_NE(pack.err.find("Cafe\xCC\x81.txt\": the name is in decomposed Unicode form"), std::string::npos) << pack.err;
  EXPECT_NE(pack.err.find("(NFC)"), std::string::npos) << pack.err;
}

TEST_F(PackerCommands, ListReportsAPayloadSectionTheLoaderWouldNotMap) {
  const fs::path src = MakeSourceFolder();
  WriteBytes(Dir() / "stub.exe", MakeFakePe());
  const fs::path installer = Dir() / "i.exe";
  ASSERT_EQ(Sfxpack({"pack", P(src), "-o", P(installer), "--stub", P(Dir() / "stub.exe"), "--level", "1"}).exit_code,
            0);
  std::vector<std::uint8_t> bytes = ReadBytes(installer);
  const char name[] = ".sfxpay";
  const auto payload_section = std::search(bytes.begin(), bytes.end(), name, name + 7);  // its section header
  ASSERT_NE(payload_section, bytes.end());
  sfx::StoreLE32(&*payload_section + 8, 0);  // VirtualSize
  WriteBytes(installer, bytes);
  const ToolRun list = Sfxpack({"list", P(installer)});
  EXPECT_EQ(list.exit_code, 1);
  EXPECT_NE(list.out.find("CORRUPT: the installer would not find its payload: its payload section has a VirtualSize "
                          "of 0"),
            std::string::npos)
      << list.out;
}

TEST_F(PackerCommands, OrderFileSetsTheEntryOrder) {
  const fs::path src = MakeSourceFolder();
  // Files before Setup.exe would be written where the update does not apply.
  WriteText(Dir() / "order.txt", "data/big.bin\nreadme.txt\n");
  const ToolRun early =
      Sfxpack({"pack", P(src), "-o", P(Dir() / "p.bin"), "--payload-only", "--order", P(Dir() / "order.txt")});
  EXPECT_EQ(early.exit_code, 1);
  EXPECT_NE(early.err.find("puts \"data\\big.bin\" before Setup.exe"), std::string::npos) << early.err;
  EXPECT_FALSE(fs::exists(Dir() / "p.bin"));

  WriteText(Dir() / "order.txt", "Setup.cfg\nSetup.exe\ndata/big.bin\nreadme.txt\n");
  ASSERT_EQ(Sfxpack({"pack", P(src), "-o", P(Dir() / "p.bin"), "--payload-only", "--order", P(Dir() / "order.txt")})
                .exit_code,
            0);
  const ToolRun list = Sfxpack({"list", P(Dir() / "p.bin")});
  const std::size_t big = list.out.find("data\\big.bin");
  const std::size_t readme = list.out.find("readme.txt");
  const std::size_t empty = list.out.find("empty.txt");
  ASSERT_NE(big, std::string::npos) << list.out;
  EXPECT_LT(big, readme);
  EXPECT_LT(readme, empty);

  WriteText(Dir() / "order.txt", "no-such-file.txt\n");
  const ToolRun bad =
      Sfxpack({"pack", P(src), "-o", P(Dir() / "q.bin"), "--payload-only", "--order", P(Dir() / "order.txt")});
  EXPECT_EQ(bad.exit_code, 1);
  EXPECT_NE(bad.err.find("no-such-file.txt"), std::string::npos) << bad.err;
}

TEST_F(PackerCommands, UsageErrorsAndHelp) {
  EXPECT_EQ(Sfxpack({"pack"}).exit_code, 2);
  EXPECT_EQ(Sfxpack({"pack", P(Dir())}).exit_code, 2);
  EXPECT_EQ(Sfxpack({"pack", P(Dir()), "-o", "x", "--level", "10"}).exit_code, 2);
  EXPECT_EQ(Sfxpack({"list"}).exit_code, 2);
  EXPECT_EQ(Sfxpack({"extract", "file"}).exit_code, 2);
  for (const char* command : {"pack", "list", "extract"}) {
    const ToolRun help = Sfxpack({command, "--help"});
    EXPECT_EQ(help.exit_code, 0) << command;
    EXPECT_NE(help.out.find("Usage"), std::string::npos) << command;
  }
}

}  // namespace
