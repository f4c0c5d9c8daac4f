// The built sfxstub.exe, read as a file on any host: machine and header
// flags (ASLR, DEP, no time stamp, a correct checksum), imported DLLs,
// section layout and room for the payload section, and its resources
// (dialog 103 and strings 2 to 5 in German and English, icon 103, the
// manifest).
//
// SFX_STUB_FILE names the stub and SFX_STUB_ARCH says which build it is
// (win32 or win64); CMake registers one test per stub.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "packer/installer_writer.h"
#include "payload/payload_locator.h"
#include "payload/pe_image.h"
#include "shell/resource_ids.h"
#include "support/pe_file.h"
#include "support/stub_texts.h"

namespace {

using sfx::test::PeFile;

// Header values this test compares with, as the PE format defines them.
constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kLargeAddressAware = 0x0020;
constexpr std::uint16_t kSubsystemGui = 2;
constexpr std::uint16_t kHighEntropyVa = 0x0020, kDynamicBase = 0x0040, kNxCompat = 0x0100;
constexpr std::uint32_t kSectionExecutable = 0x20000000;
constexpr std::uint32_t kSectionWritable = 0x80000000;
constexpr int kDelayImportDirectory = 13;
constexpr int kSecurityDirectory = 4;
constexpr std::uint32_t kIconType = 3, kDialogType = 5, kStringType = 6, kGroupIconType = 14, kManifestType = 24;
constexpr std::uint32_t kGerman = 0x0407, kEnglish = 0x0409;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The stub named by SFX_STUB_FILE, read once for every test.
class StubFile : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string path = Environment("SFX_STUB_FILE");
    std::ifstream in(path, std::ios::binary);
    if (!in) return;
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    pe_ = std::make_unique<PeFile>(std::move(bytes));
  }
  static void TearDownTestSuite() { pe_.reset(); }

  void SetUp() override {
    ASSERT_NE(pe_, nullptr) << "cannot read the stub named by SFX_STUB_FILE ('" << Environment("SFX_STUB_FILE")
                            << "'): build the win32 and win64 presets first";
  }

  static bool Is64Bit() { return Environment("SFX_STUB_ARCH") == "win64"; }

  static std::unique_ptr<PeFile> pe_;
};

std::unique_ptr<PeFile> StubFile::pe_;

TEST_F(StubFile, MachineAndHeaderFlagsMatchTheBuild) {
  if (Is64Bit()) {
    EXPECT_TRUE(pe_->is_pe32_plus());
    EXPECT_EQ(pe_->machine(), kMachineAmd64);
  } else {
    EXPECT_FALSE(pe_->is_pe32_plus());
    EXPECT_EQ(pe_->machine(), kMachineI386);
    EXPECT_NE(pe_->characteristics() & kLargeAddressAware, 0) << "the 32-bit stub must be large-address-aware";
  }
  EXPECT_EQ(pe_->subsystem(), kSubsystemGui);
}

TEST_F(StubFile, AsksForAslrAndDep) {
  const std::uint16_t flags = pe_->dll_characteristics();
  EXPECT_NE(flags & kDynamicBase, 0) << "ASLR (--dynamicbase)";
  EXPECT_NE(flags & kNxCompat, 0) << "DEP (--nxcompat)";
  if (Is64Bit()) {
    EXPECT_NE(flags & kHighEntropyVa, 0) << "64-bit ASLR (--high-entropy-va)";
  }
}

// Reproducible: no link time stamp; and a checksum that matches the file, so
// that the stub part of an installer (StubOfInstaller) is this file again.
TEST_F(StubFile, HasNoTimeStampAndACorrectChecksum) {
  EXPECT_EQ(pe_->time_date_stamp(), 0u);
  EXPECT_EQ(pe_->checksum(), sfx::PeChecksum(pe_->bytes()));
}

TEST_F(StubFile, ManifestDeclaresLevelSupportedWindowsAndDpiAwareness) {
  const std::vector<std::uint8_t> data = pe_->Resource(kManifestType, 1);
  ASSERT_FALSE(data.empty()) << "no manifest (RT_MANIFEST 1)";
  const std::string text(data.begin(), data.end());
  auto count = [&text](const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count(R"(<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>)"), 1u);
  for (const char* windows : {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                              "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
    EXPECT_EQ(count(std::string("<supportedOS Id=\"") + windows + "\"/>"), 1u) << windows;
  }
  EXPECT_EQ(count(">true/pm</dpiAware>"), 1u);
  EXPECT_EQ(count(">PerMonitorV2</dpiAwareness>"), 1u);
  // The packer's own reader, which --elevation relies on, finds the same bytes.
  const std::vector<std::uint8_t>& file = pe_->bytes();
  const std::optional<sfx::PeImage> image = sfx::PeImage::Parse(file.data(), file.size());
  const std::optional<sfx::PeSpan> span = image ? image->ManifestSpan() : std::nullopt;
  ASSERT_TRUE(span) << "PeImage finds no manifest";
  const auto at = file.begin() + static_cast<std::ptrdiff_t>(span->offset);
  EXPECT_EQ(std::vector<std::uint8_t>(at, at + static_cast<std::ptrdiff_t>(span->size)), data);
}

// The packer adds the payload section to this very stub; the stub reads it
// from its loaded image, and the stub part of the installer, also with
// another execution level, is the stub file byte for byte.
TEST_F(StubFile, TakesAPayloadSectionAndGivesItselfBack) {
  const std::vector<std::uint8_t> block = {3, 0, 0, 0, 60, 0, 0, 0, 1, 2, 3};
  for (auto level : {sfx::ExecutionLevel::kRequireAdministrator, sfx::ExecutionLevel::kAsInvoker}) {
    const std::vector<std::uint8_t> installer = sfx::BuildInstaller(pe_->bytes(), block, level, nullptr);
    const std::uint8_t* found = nullptr;
    std::size_t found_size = 0;
    sfx::PayloadLayout layout = sfx::PayloadLayout::kOverlay;
    ASSERT_EQ(sfx::FindInstallerPayload(installer.data(), installer.size(), &found, &found_size, &layout),
              sfx::PayloadStatus::kOk);
    EXPECT_EQ(layout, sfx::PayloadLayout::kSection);
    EXPECT_EQ(found_size, block.size());
    EXPECT_EQ(sfx::StubOfInstaller(installer), pe_->bytes());
  }
}

TEST_F(StubFile, ImportsOnlySystemLibraries) {
  const std::vector<std::string> imported = pe_->ImportedLibraries();
  const std::set<std::string> allowed = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "msvcrt.dll"};
  for (const auto& name : imported) EXPECT_TRUE(allowed.count(name)) << "unexpected import " << name;
  EXPECT_NE(std::find(imported.begin(), imported.end(), "kernel32.dll"), imported.end());
  EXPECT_NE(std::find(imported.begin(), imported.end(), "user32.dll"), imported.end());
  EXPECT_EQ(pe_->DirectoryAddress(kDelayImportDirectory), 0u);
}

// The packer adds the payload section right after the last section's file
// data, so the stub must end exactly there, with its sections in file order.
TEST_F(StubFile, SectionsFillTheFileInOrderAndNoneIsWritableCode) {
  ASSERT_FALSE(pe_->sections().empty());
  std::uint32_t end = 0;
  for (const auto& section : pe_->sections()) {
    if (section.raw_size == 0) continue;
    EXPECT_GE(section.raw_offset, end) << section.name << " overlaps the section before it";
    EXPECT_EQ(section.raw_offset % pe_->file_alignment(), 0u) << section.name;
    end = section.raw_offset + section.raw_size;
    const std::uint32_t both = kSectionExecutable | kSectionWritable;
    EXPECT_NE(section.characteristics & both, both) << section.name << " is writable code";
  }
  EXPECT_EQ(end, pe_->size()) << "data after the last section";
  EXPECT_EQ(pe_->DirectoryAddress(kSecurityDirectory), 0u) << "the bare stub carries no signature";
  std::set<std::string> names;
  for (const auto& section : pe_->sections()) names.insert(section.name);
  EXPECT_TRUE(names.count(".text") && names.count(".rsrc")) << "code and resource sections";
}

// Sequential little-endian reader of a resource's data.
class ResourceReader {
 public:
  explicit ResourceReader(const std::vector<std::uint8_t>& data) : data_(data) {}
  std::uint16_t Word() {
    const std::uint16_t value = static_cast<std::uint16_t>(data_.at(at_) | data_.at(at_ + 1) << 8);
    at_ += 2;
    return value;
  }
  std::uint32_t Dword() { return Word() | static_cast<std::uint32_t>(Word()) << 16; }
  short Short() { return static_cast<short>(Word()); }
  std::uint8_t Byte() { return data_.at(at_++); }
  std::u16string Text() {
    std::u16string text;
    for (std::uint16_t c = Word(); c != 0; c = Word()) text.push_back(static_cast<char16_t>(c));
    return text;
  }
  // A name-or-ordinal field: "#<n>" for an ordinal.
  std::u16string NameOrOrdinal() {
    const std::uint16_t first = Word();
    if (first == 0xFFFF) {
      const std::string number = "#" + std::to_string(Word());
      return std::u16string(number.begin(), number.end());
    }
    if (first == 0) return u"";
    return std::u16string(1, static_cast<char16_t>(first)) + Text();
  }
  void AlignDword() { at_ = (at_ + 3) & ~static_cast<std::size_t>(3); }

 private:
  const std::vector<std::uint8_t>& data_;
  std::size_t at_ = 0;
};

// A control of the progress dialog as the stub finds it: by id, with its
// window class ordinal ("#130" static, "#128" button) and text.
struct ExpectedControl {
  std::uint32_t id;
  std::u16string window_class, text;
};

// What the stub relies on in its progress dialog: an extended template with
// the caption, whose controls are visible children that lie inside the
// dialog without overlapping one another.
void CheckDialog(const std::vector<std::uint8_t>& data, std::u16string_view caption,
                 const std::vector<ExpectedControl>& controls) {
  constexpr std::uint32_t kChildVisible = 0x50000000;  // WS_CHILD | WS_VISIBLE
  ASSERT_FALSE(data.empty());
  ResourceReader reader(data);
  EXPECT_EQ(reader.Word(), 1);       // version
  EXPECT_EQ(reader.Word(), 0xFFFF);  // extended template
  reader.Dword();                    // help id
  reader.Dword();                    // extended style
  reader.Dword();                    // style
  ASSERT_EQ(reader.Word(), controls.size());
  reader.Short();
  reader.Short();
  const short width = reader.Short();
  const short height = reader.Short();
  EXPECT_EQ(reader.NameOrOrdinal(), u"");  // no menu
  EXPECT_EQ(reader.NameOrOrdinal(), u"");  // default dialog class
  EXPECT_EQ(reader.Text(), caption);
  reader.Word();  // point size
  reader.Word();  // weight
  reader.Byte();  // italic
  reader.Byte();  // character set
  reader.Text();  // font
  short previous_bottom = 0;
  for (const auto& expected : controls) {
    reader.AlignDword();
    reader.Dword();  // help id
    reader.Dword();  // extended style
    EXPECT_EQ(reader.Dword() & kChildVisible, kChildVisible) << expected.id;
    const short x = reader.Short(), y = reader.Short(), cx = reader.Short(), cy = reader.Short();
    EXPECT_TRUE(x >= 0 && y >= previous_bottom && cx > 0 && cy > 0 && x + cx <= width && y + cy <= height)
        << expected.id << " lies inside the dialog, below the control before it";
    previous_bottom = static_cast<short>(y + cy);
    EXPECT_EQ(reader.Dword(), expected.id);
    EXPECT_EQ(reader.NameOrOrdinal(), expected.window_class) << expected.id;
    EXPECT_EQ(reader.NameOrOrdinal(), expected.text) << expected.id;
    EXPECT_EQ(reader.Word(), 0) << expected.id;  // no creation data
  }
}

TEST_F(StubFile, ProgressDialogOfBothLanguages) {
  for (const auto& [language, texts] :
       {std::pair{kGerman, sfx::test::kGermanTexts}, std::pair{kEnglish, sfx::test::kEnglishTexts}}) {
    SCOPED_TRACE(language);
    CheckDialog(
        pe_->Resource(kDialogType, IDD_PROGRESS, language), texts.dialog_caption,
        {{IDC_PROGRESS_TEXT, u"#130", std::u16string(texts.dialog_text)}, {IDC_PROGRESS_BAR, u"#128", u"Button1"}});
  }
}

// String `id` (0 to 15) of the first string block.
std::u16string StringOf(const std::vector<std::uint8_t>& block, int id) {
  ResourceReader reader(block);
  for (int i = 0;; ++i) {
    const std::uint16_t length = reader.Word();
    std::u16string text;
    for (std::uint16_t k = 0; k < length; ++k) text.push_back(static_cast<char16_t>(reader.Word()));
    if (i == id) return text;
  }
}

TEST_F(StubFile, StringsOfBothLanguages) {
  for (const auto& [language, texts] :
       {std::pair{kGerman, sfx::test::kGermanTexts}, std::pair{kEnglish, sfx::test::kEnglishTexts}}) {
    SCOPED_TRACE(language);
    const auto block = pe_->Resource(kStringType, 1, language);
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(StringOf(block, IDS_CORRUPT_PAYLOAD), texts.corrupt);
    EXPECT_EQ(StringOf(block, IDS_COPY_FAILED_HEAD), texts.copy_failed_head);
    EXPECT_EQ(StringOf(block, IDS_COPY_FAILED_TAIL), texts.copy_failed_tail);
    EXPECT_EQ(StringOf(block, IDS_NO_RESULT), texts.no_result);
  }
}

// Icon 103: a group of two 16-colour images, 16x16 and 32x32, each of which
// exists as an icon resource of the size the group announces.
TEST_F(StubFile, IconHasTwoSixteenColourImages) {
  const auto group = pe_->Resource(kGroupIconType, IDI_STUB);
  ASSERT_FALSE(group.empty());
  ResourceReader reader(group);
  EXPECT_EQ(reader.Word(), 0);  // reserved
  EXPECT_EQ(reader.Word(), 1);  // icons
  ASSERT_EQ(reader.Word(), 2);
  std::set<int> sizes;
  for (int i = 0; i < 2; ++i) {
    const int width = reader.Byte();
    const int height = reader.Byte();
    const int colours = reader.Byte();
    reader.Byte();                // reserved
    EXPECT_EQ(reader.Word(), 1);  // planes
    EXPECT_EQ(reader.Word(), 4);  // bits per pixel
    const std::uint32_t bytes = reader.Dword();
    const std::uint16_t id = reader.Word();
    sizes.insert(width);
    EXPECT_EQ(width, height);
    EXPECT_EQ(colours, 16);
    EXPECT_EQ(pe_->Resource(kIconType, id).size(), bytes) << "icon image " << id;
  }
  EXPECT_EQ(sizes, std::set<int>({16, 32}));
}

}  // namespace
