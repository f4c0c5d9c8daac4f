// Writes the seed corpora of the fuzz targets: small, valid inputs that
// reach deep into each target (valid images and payloads from the encoder at
// several levels, multimedia-like data, installers, configurations using
// every keyword), plus a few near misses.
//
// Usage: sfx_fuzz_make_seeds CORPUS_DIR
// Writes CORPUS_DIR/<target>/<name> for every target; existing files of the
// same name are replaced, other files are left alone.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "config/config_scrambler.h"
#include "encode/encoder.h"
#include "fuzz_support.h"
#include "packer/image_builder.h"
#include "packer/installer_writer.h"
#include "payload/crc32.h"
#include "payload/payload_locator.h"
#include "support/payload_samples.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

fs::path g_root;

void Write(const std::string& target, const std::string& name, const Bytes& bytes) {
  const fs::path dir = g_root / target;
  fs::create_directories(dir);
  std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes FromText(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Sample data of several kinds.
Bytes TextData() {
  return FromText(
      "Setup reads this file before it copies anything. Setup reads this file before it copies anything!\r\n"
      "[Files]\r\nmivor.exe=1\r\nmivor.dll=1\r\nmivorjpn.nls=0\r\n[Files]\r\nmivor.exe=2\r\n");
}

Bytes RepeatData() {
  Bytes data;
  for (int i = 0; i < 700; ++i) data.push_back(static_cast<std::uint8_t>("abcabcabd"[i % 9]));
  return data;
}

Bytes NoiseData(std::size_t size, std::uint32_t seed) {
  Bytes data;
  for (std::size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    data.push_back(static_cast<std::uint8_t>(seed >> 16));
  }
  return data;
}

// 16-bit stereo tones: the kind of data that multimedia blocks are for.
Bytes AudioData(std::size_t frames, int channels) {
  Bytes data;
  for (std::size_t i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) {
      const double v = 9000.0 * std::sin(0.031 * static_cast<double>(i) * (c + 1)) + 40.0 * std::sin(0.9 * i);
      const auto s = static_cast<std::int16_t>(v);
      data.push_back(static_cast<std::uint8_t>(s));
      data.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(s) >> 8));
    }
  }
  return data;
}

// 8-bit ramps on 3 interleaved channels (a picture-like layout).
Bytes RampData(std::size_t size) {
  Bytes data;
  for (std::size_t i = 0; i < size; ++i) data.push_back(static_cast<std::uint8_t>((i / 3) * (i % 3 + 1)));
  return data;
}

Bytes Plain(const Bytes& data, int level, bool multimedia) {
  sfx::EncodeOptions options;
  options.level = level;
  options.allow_multimedia = multimedia;
  return sfx::CompressStream(data.data(), data.size(), options);
}

Bytes Image(const std::vector<std::pair<std::string, Bytes>>& entries) {
  sfx::ImageBuilder builder;
  for (const auto& [name, data] : entries) builder.AddEntry(name, data);
  return builder.Build();
}

// An image with one entry whose name is `name` verbatim, even one that the
// image builder refuses; its CRCs are left stale (the targets fix them).
Bytes ImageNamed(const char* name) {
  Bytes image = Image({{"placeholder-name-long-enough", {1, 2, 3}}});
  const std::uint32_t dir = sfx::LoadLE32(&image[0x24]);
  std::snprintf(reinterpret_cast<char*>(&image[dir + 24]), 29, "%s", name);
  return image;
}

std::string FullConfig() {
  return "# every statement and flag keyword once\n"
         "UPDATE_TRESSEL CHECK_LANGUAGE NO_REBOOT MP3_INSTALL MP3PRO_INSTALL MPEG2_INSTALL NO_REGENTRIES\n"
         "VERSION_LO 0x04000000 VERSION_HI 4ffffff\n"
         "PRODUCT_NAME \"Mivor Player\" PRODUCT_TITLE \"Mivor 4.0 Update\"\n"
         "WIN95 WINNT WIN31 WIN2000 \"mivor.exe\"\n"
         "DRIVERDIR WINDOWSDIR SYSTEMDIR COVERDIR \"drv\\x.sys\"\n"
         "PELADORDIR ORLDIR ONLY_IF_EXISTS ONLY_IF_AVAILABLE \"skins\\a.skn\"\n"
         "RENAME_OLD DELETE REGDELETE \"old.dll\"\n"
         "USE_SUBDIR \"Plugins\" \"in_mp3.dll\" \"in_wav.dll\"\n"
         "SET_REG_STR \"Software\\Mivor\\Path\" \"C:\\Mivor\"\n"
         "SET_REG_DW \"Software\\Mivor\\Level\" 2a\n"
         "SET_REG_DW \"Software\\Mivor\\Neg\" -0X1f\n";
}

// A minimal PE file: DOS header, "PE\0\0", COFF header with an empty
// optional header, `sections` section headers, then their raw data.
Bytes MinimalPe(int sections, std::uint32_t raw_size) {
  const std::uint32_t pe = 0x40;
  const std::uint32_t table = pe + 4 + 20;
  const std::uint32_t first_raw = table + 40 * static_cast<std::uint32_t>(sections);
  Bytes file(first_raw + raw_size * static_cast<std::uint32_t>(sections), 0);
  file[0] = 'M';
  file[1] = 'Z';
  sfx::StoreLE32(&file[0x3C], pe);
  file[pe] = 'P';
  file[pe + 1] = 'E';
  file[pe + 4 + 2] = static_cast<std::uint8_t>(sections);
  for (int i = 0; i < sections; ++i) {
    std::uint8_t* section = &file[table + 40 * i];
    // Section names ".s0", ".s1", ...: the seeds use at most a handful.
    section[0] = '.';
    section[1] = 's';
    section[2] = static_cast<std::uint8_t>('0' + i % 10);
    sfx::StoreLE32(section + 16, raw_size);
    sfx::StoreLE32(section + 20, first_raw + raw_size * static_cast<std::uint32_t>(i));
  }
  for (std::uint32_t i = first_raw; i < file.size(); ++i) file[i] = static_cast<std::uint8_t>(i * 7);
  return file;
}

// An installer of the section layout, as sfxpack writes it: the stand-in
// stub with the payload section added; `trailing` bytes after the stub's
// sections are dropped by the writer, as from a real stub.
Bytes SectionInstaller(const Bytes& block, std::size_t trailing = 0) {
  return sfx::BuildInstaller(sfx::test::MakeFakePe(trailing), block, std::nullopt, nullptr);
}

// An installer of the earlier layout: marker and block after the sections.
Bytes Installer(const Bytes& pe, const Bytes& block) {
  Bytes file = pe;
  file.insert(file.end(), sfx::kPayloadMarker, sfx::kPayloadMarker + sizeof(sfx::kPayloadMarker));
  return Concat(file, block);
}

Bytes Prefixed(std::uint8_t mode, std::uint32_t out_size, const Bytes& stream) {
  Bytes seed = {mode, static_cast<std::uint8_t>(out_size), static_cast<std::uint8_t>(out_size >> 8),
                static_cast<std::uint8_t>(out_size >> 16)};
  return Concat(seed, stream);
}

// The decoder targets "unpack" and "unpack_diff" read the same input layout.
void WriteUnpack(const std::string& name, const Bytes& bytes) {
  Write("unpack", name, bytes);
  Write("unpack_diff", name, bytes);
}

void UnpackSeeds() {
  struct Sample {
    const char* name;
    Bytes data;
    bool multimedia;
  };
  const std::vector<Sample> samples = {
      {"text", TextData(), false},
      {"repeat", RepeatData(), false},
      {"noise", NoiseData(300, 7), false},
      {"audio2", AudioData(500, 2), true},
      {"audio1", AudioData(700, 1), true},
      {"ramp3", RampData(1500), true},
      {"mixed", Concat(Concat(TextData(), AudioData(300, 2)), RepeatData()), true},
  };
  for (const auto& sample : samples) {
    for (int level : {1, 5, 9}) {
      const Bytes plain = Plain(sample.data, level, sample.multimedia);
      const auto size = static_cast<std::uint32_t>(sample.data.size());
      const std::string name = std::string(sample.name) + "-l" + std::to_string(level);
      WriteUnpack(name, Prefixed(1, size, plain));
      if (level == 5) {
        Bytes scrambled = plain;
        sfx::ScrambleStream(scrambled.data(), scrambled.size(), sfx::kPayloadSeed);
        WriteUnpack(name + "-scrambled", Prefixed(0, size, scrambled));
        // Asking for more output than the stream holds, and for less.
        WriteUnpack(name + "-longer", Prefixed(1, size + 5000, plain));
        WriteUnpack(name + "-shorter", Prefixed(1, size / 2, plain));
      }
    }
  }
  WriteUnpack("empty-stream", Prefixed(1, 100, {}));
  const Bytes image = Image({{"Setup.cfg", FromText(FullConfig())}, {"Setup.exe", NoiseData(200, 3)}});
  WriteUnpack("image-l6", Prefixed(1, static_cast<std::uint32_t>(image.size()), Plain(image, 6, true)));
}

void RoundTripSeeds() {
  const std::vector<std::pair<std::string, Bytes>> samples = {
      {"text", TextData()},          {"repeat", RepeatData()},      {"noise", NoiseData(400, 11)},
      {"audio2", AudioData(400, 2)}, {"audio4", AudioData(200, 4)}, {"ramp3", RampData(1200)},
      {"zeros", Bytes(900, 0)},      {"one", Bytes(1, 0x41)},
  };
  for (const auto& [name, data] : samples) {
    for (int level : {1, 4, 6, 9}) {
      Write("round_trip", name + "-l" + std::to_string(level),
            Concat(Bytes{static_cast<std::uint8_t>(level - 1)}, data));
    }
    Write("round_trip", name + "-l6-nomm", Concat(Bytes{static_cast<std::uint8_t>(5 | 0x10)}, data));
  }
}

std::vector<std::vector<std::pair<std::string, Bytes>>> ImageEntrySets() {
  return {
      {{"Setup.cfg", FromText(FullConfig())},
       {"Setup.exe", NoiseData(120, 5)},
       {"data\\sub\\deep.bin", RepeatData()},
       {"docs\\readme.txt", TextData()},
       {"empty.txt", {}}},
      {{"Setup.exe", NoiseData(64, 9)}, {"a.txt", FromText("first\r\n")}},
      {},
      {{"dir with space\\n\xe4me.txt", FromText("latin-1 name")}, {"x\\y\\z\\w.bin", Bytes(40, 0x11)}},
  };
}

void ImageSeeds() {
  int index = 0;
  for (const auto& entries : ImageEntrySets()) {
    const Bytes image = Image(entries);
    const std::string name = "image" + std::to_string(index++);
    Write("image", name + "-asis", Concat(Bytes{0}, image));
    Write("image", name + "-fixcrc", Concat(Bytes{1}, image));
    Write("image", name + "-fixall", Concat(Bytes{3}, image));
  }
  // Names the installer must refuse, with CRCs fixed so the walk reaches them.
  for (const char* bad : {"..\\escape.txt", "a\\..\\..\\b", "C:\\x", "\\root.txt", "a/b", "a\\\\b", "dots...\\x",
                          "a \\b", "stream.txt:hidden", "ctl\x01.txt", "trail\\"}) {
    Write("image", std::string("badname-") + std::to_string(index++), Concat(Bytes{3}, ImageNamed(bad)));
  }
  Write("image", "short", Bytes{1, 'S', 'F', 'X'});
}

void ConfigSeeds() {
  Write("config", "full", FromText(FullConfig()));
  const std::string scrambled = sfx::ScrambleConfig(FullConfig());
  Write("config", "full-scrambled", FromText(scrambled));
  // The target scrambles the text after a marker byte itself.
  Write("config", "full-marker", Concat(Bytes{0xA7}, FromText(FullConfig())));
  Write("config", "minimal", FromText("VERSION_LO 1 VERSION_HI 2 PRODUCT_NAME \"Mivor\"\r\n"));
  Write("config", "comments", FromText("# only a comment\n\"na#me\nme\" WIN95 \"x\" # tail"));
  Write("config", "crlf-tabs", FromText("\tWINNT\r\n\t\"a b.dll\"\r\n\x1a"));
  Write("config", "unterminated", FromText("PRODUCT_NAME \"Mivor"));
  Write("config", "flags-no-name", FromText("WIN95 WINNT"));
  Write("config", "quoted-keyword", FromText("\"NO_REBOOT\" VERSION_LO \"1\""));
  Write("config", "unquoted-name", FromText("mivor.exe"));
  Write("config", "missing-arg", FromText("SET_REG_DW \"k\""));
  Write("config", "missing-arg2", FromText("SET_REG_STR \"k\""));
  Write("config", "subdir-pending", FromText("USE_SUBDIR \"p\""));
  Write("config", "numbers", FromText("VERSION_LO +0x VERSION_HI -ffffffff SET_REG_DW \"a\" zz SET_REG_DW \"b\" 1g"));
  Write("config", "half-quoted", FromText("ab\"cd ef\" WIN95\"x\""));
  Write("config", "empty", {});
}

void PayloadLocatorSeeds() {
  const Bytes block = sfx::fuzz::MakePayloadBlock(TextData(), 5, false);
  const Bytes pe1 = MinimalPe(1, 64);
  const Bytes pe3 = MinimalPe(3, 32);
  Write("payload_locator", "installer-1", Installer(pe1, block));
  Write("payload_locator", "installer-3", Installer(pe3, block));
  Write("payload_locator", "installer-signed", Concat(Installer(pe1, block), NoiseData(100, 1)));
  Write("payload_locator", "no-overlay", pe1);
  Write("payload_locator", "bad-marker", Concat(pe1, FromText("SFXPAYLX12345678")));
  Bytes truncated = Installer(pe3, block);
  truncated.resize(truncated.size() - 10);
  Write("payload_locator", "truncated", truncated);
  Write("payload_locator", "marker-only", Concat(pe1, FromText("SFXPAY")));
  const Bytes section = SectionInstaller(block);
  Write("payload_locator", "section", section);
  Write("payload_locator", "section-signed", Concat(section, NoiseData(100, 2)));
  Bytes section_truncated = section;
  section_truncated.resize(section_truncated.size() - 300);
  Write("payload_locator", "section-truncated", section_truncated);
}

// Files for `sfxpack list` and `extract` to read: installers of both
// layouts, signed, with stub bytes after the sections and with an execution
// level in the manifest, a stub with a manifest, a payload block file and
// files that are neither.
void InstallerSeeds() {
  const Bytes block = sfx::fuzz::MakePayloadBlock(
      Image({{"Setup.cfg", FromText(FullConfig())}, {"Setup.exe", NoiseData(100, 4)}}), 6, false);
  const Bytes section = SectionInstaller(block);
  Write("installer", "section", section);
  Write("installer", "section-signed", Concat(section, NoiseData(300, 5)));
  Write("installer", "section-stub-tail", SectionInstaller(block, 40));
  Write("installer", "overlay", Installer(MinimalPe(2, 64), block));
  Write("installer", "block-file", block);
  Write("installer", "stub-only", sfx::test::MakeFakePe());
  const char* manifest = R"(<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>)";
  Write("installer", "stub-manifest", sfx::test::MakeFakePe(0, 0, manifest));
  Write("installer", "section-elevated",
        sfx::BuildInstaller(sfx::test::MakeFakePe(0, 0, manifest), block, sfx::ExecutionLevel::kAsInvoker, nullptr));
  Write("installer", "not-pe", FromText("MZ but nothing more"));
}

void ExtractSeeds() {
  const auto sets = ImageEntrySets();
  int index = 0;
  for (const auto& entries : sets) {
    const Bytes image = Image(entries);
    const std::string name = "set" + std::to_string(index++);
    // The "IMG!" form: the target packs the image itself.
    Write("extract", name + "-img", Concat(Concat(FromText("IMG!"), Bytes{1}), image));
    if (image.size() < 3000) {
      const Bytes block = sfx::fuzz::MakePayloadBlock(image, 6, true);
      Write("extract", name + "-block", block);
      Write("extract", name + "-installer", Installer(MinimalPe(1, 48), block));
      Write("extract", name + "-section", SectionInstaller(block));
    }
  }
  // Names that clash with each other on the disk: a file where a folder must go.
  Write("extract", "file-then-folder", Concat(Concat(FromText("IMG!"), Bytes{1}), Image({{"a", {1}}, {"b\\c", {2}}})));
  Bytes clash = Image({{"a", {1}}, {"b\\c", {2}}});
  const std::uint32_t dir = sfx::LoadLE32(&clash[0x24]);
  // Second entry's name becomes "a\\c": its folder "a" is already a file.
  clash[dir + 24 + sfx::LoadLE32(&clash[dir]) + 24] = 'a';
  Write("extract", "file-as-folder", Concat(Concat(FromText("IMG!"), Bytes{1}), clash));
  Write("extract", "escape", Concat(Concat(FromText("IMG!"), Bytes{1}), ImageNamed("zz\\..\\..\\x")));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sfx_fuzz_make_seeds CORPUS_DIR\n");
    return 2;
  }
  g_root = argv[1];
  UnpackSeeds();
  RoundTripSeeds();
  ImageSeeds();
  ConfigSeeds();
  PayloadLocatorSeeds();
  ExtractSeeds();
  InstallerSeeds();
  std::printf("seeds written to %s\n", argv[1]);
  return 0;
}
