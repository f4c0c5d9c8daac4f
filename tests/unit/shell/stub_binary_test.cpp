// The built sfxstub.exe: what it imports, how it is linked, and its
// resources (dialog 103 and strings 2 to 5 in German and English, icon 103),
// read from the file itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "shell/resource_ids.h"
#include "shell_test_support.h"

namespace {

std::string StubPath() {
  char path[MAX_PATH + 1];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of('\\') + 1) + "sfxstub.exe";
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
  return text;
}

// ---------------------------------------------------------------- PE headers

// The file's bytes with the PE headers located.
class StubImage : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = sfx::test::ReadBytes(StubPath());
    ASSERT_GT(file_.size(), 1024u) << StubPath();
    ASSERT_EQ(file_[0], 'M');
    pe_ = *reinterpret_cast<const LONG*>(&file_[0x3C]);
    std::memcpy(&nt_, &file_[pe_], sizeof(nt_));
    ASSERT_EQ(nt_.Signature, IMAGE_NT_SIGNATURE);
  }

  // File offset of a relative virtual address, through the section table.
  std::size_t Offset(DWORD rva) const {
    const std::size_t table = pe_ + 4 + sizeof(IMAGE_FILE_HEADER) + nt_.FileHeader.SizeOfOptionalHeader;
    for (int i = 0; i < nt_.FileHeader.NumberOfSections; ++i) {
      IMAGE_SECTION_HEADER section;
      std::memcpy(&section, &file_[table + i * sizeof(section)], sizeof(section));
      if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.Misc.VirtualSize) {
        return rva - section.VirtualAddress + section.PointerToRawData;
      }
    }
    ADD_FAILURE() << "RVA outside every section";
    return 0;
  }

  std::vector<std::uint8_t> file_;
  LONG pe_ = 0;
  IMAGE_NT_HEADERS32 nt_{};
};

TEST_F(StubImage, Is32BitGuiProgramAwareOfLargeAddresses) {
  EXPECT_EQ(nt_.FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
  EXPECT_NE(nt_.FileHeader.Characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE, 0);
  EXPECT_EQ(nt_.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

TEST_F(StubImage, ImportsOnlySystemLibraries) {
  const IMAGE_DATA_DIRECTORY directory = nt_.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  ASSERT_NE(directory.VirtualAddress, 0u);
  std::set<std::string> imported;
  for (std::size_t at = Offset(directory.VirtualAddress);; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    IMAGE_IMPORT_DESCRIPTOR descriptor;
    std::memcpy(&descriptor, &file_[at], sizeof(descriptor));
    if (descriptor.Name == 0) break;
    imported.insert(Lower(reinterpret_cast<const char*>(&file_[Offset(descriptor.Name)])));
  }
  const std::set<std::string> allowed = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "msvcrt.dll"};
  for (const auto& name : imported) EXPECT_TRUE(allowed.count(name)) << "unexpected import " << name;
  EXPECT_TRUE(imported.count("kernel32.dll"));
  EXPECT_TRUE(imported.count("user32.dll"));
  EXPECT_FALSE(imported.count("version.dll"));
  EXPECT_EQ(nt_.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].VirtualAddress, 0u);
}

// ---------------------------------------------------------------- resources

// sfxstub.exe loaded as a data file for its resources.
class StubResources : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExA(StubPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr) << StubPath();
  }
  void TearDown() override { FreeLibrary(module_); }

  std::vector<std::uint8_t> Resource(LPCSTR type, LPCSTR name, WORD language) const {
    HRSRC found = FindResourceExA(module_, type, name, language);
    if (found == nullptr) return {};
    const auto* data = static_cast<const std::uint8_t*>(LockResource(LoadResource(module_, found)));
    return {data, data + SizeofResource(module_, found)};
  }

  HMODULE module_ = nullptr;
};

constexpr WORD kGerman = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
constexpr WORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// Sequential reader of an extended dialog template.
class TemplateReader {
 public:
  explicit TemplateReader(const std::vector<std::uint8_t>& data) : data_(data) {}
  WORD Word() {
    WORD value;
    std::memcpy(&value, &data_.at(at_ + 1) - 1, 2);
    at_ += 2;
    return value;
  }
  DWORD Dword() {
    DWORD value;
    std::memcpy(&value, &data_.at(at_ + 3) - 3, 4);
    at_ += 4;
    return value;
  }
  short Short() { return static_cast<short>(Word()); }
  BYTE Byte() { return data_.at(at_++); }
  std::wstring Text() {
    std::wstring text;
    for (WORD c = Word(); c != 0; c = Word()) text.push_back(static_cast<wchar_t>(c));
    return text;
  }
  // A name-or-ordinal field: "#<n>" for an ordinal.
  std::wstring NameOrOrdinal() {
    const WORD first = Word();
    if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
    if (first == 0) return L"";
    std::wstring text(1, static_cast<wchar_t>(first));
    return text + Text();
  }
  void AlignDword() { at_ = (at_ + 3) & ~static_cast<std::size_t>(3); }
  std::size_t position() const { return at_; }

 private:
  const std::vector<std::uint8_t>& data_;
  std::size_t at_ = 0;
};

struct ExpectedControl {
  DWORD id, style, ex_style;
  short x, y, cx, cy;
  std::wstring window_class, text;
};

void CheckDialog(const std::vector<std::uint8_t>& data, const std::wstring& caption,
                 const std::vector<ExpectedControl>& controls) {
  ASSERT_FALSE(data.empty());
  TemplateReader reader(data);
  EXPECT_EQ(reader.Word(), 1);       // version
  EXPECT_EQ(reader.Word(), 0xFFFF);  // extended template
  EXPECT_EQ(reader.Dword(), 0u);     // help id
  EXPECT_EQ(reader.Dword(), 0u);     // extended style
  EXPECT_EQ(reader.Dword(), 0x90C808C0u);
  ASSERT_EQ(reader.Word(), controls.size());
  EXPECT_EQ(reader.Short(), 0);
  EXPECT_EQ(reader.Short(), 0);
  EXPECT_EQ(reader.Short(), 202);
  EXPECT_EQ(reader.Short(), 58);
  EXPECT_EQ(reader.NameOrOrdinal(), L"");  // no menu
  EXPECT_EQ(reader.NameOrOrdinal(), L"");  // default dialog class
  EXPECT_EQ(reader.Text(), caption);
  EXPECT_EQ(reader.Word(), 8);  // point size
  EXPECT_EQ(reader.Word(), 0);  // weight
  EXPECT_EQ(reader.Byte(), 0);  // not italic
  EXPECT_EQ(reader.Byte(), 1);  // DEFAULT_CHARSET
  EXPECT_EQ(reader.Text(), L"MS Sans Serif");
  for (const auto& expected : controls) {
    reader.AlignDword();
    EXPECT_EQ(reader.Dword(), 0u);  // help id
    EXPECT_EQ(reader.Dword(), expected.ex_style) << expected.id;
    EXPECT_EQ(reader.Dword(), expected.style) << expected.id;
    EXPECT_EQ(reader.Short(), expected.x) << expected.id;
    EXPECT_EQ(reader.Short(), expected.y) << expected.id;
    EXPECT_EQ(reader.Short(), expected.cx) << expected.id;
    EXPECT_EQ(reader.Short(), expected.cy) << expected.id;
    EXPECT_EQ(reader.Dword(), expected.id);
    EXPECT_EQ(reader.NameOrOrdinal(), expected.window_class) << expected.id;
    EXPECT_EQ(reader.NameOrOrdinal(), expected.text) << expected.id;
    EXPECT_EQ(reader.Word(), 0) << expected.id;  // no creation data
  }
}

TEST_F(StubResources, GermanDialog) {
  CheckDialog(Resource(RT_DIALOG, MAKEINTRESOURCEA(IDD_PROGRESS), kGerman), L"Bereite Mivor Installation vor",
              {{1003, 0x50020001, 0, 7, 7, 188, 29, L"#130", L"Entpacke Mivor-Installationsdateien nach:\n"},
               {1002, 0x5001000B, 0x00020000, 7, 40, 188, 11, L"#128", L"Button1"}});
}

TEST_F(StubResources, EnglishDialog) {
  CheckDialog(Resource(RT_DIALOG, MAKEINTRESOURCEA(IDD_PROGRESS), kEnglish), L"Preparing Mivor Installation",
              {{1003, 0x50020001, 0, 7, 13, 188, 23, L"#130",
                L"Please wait while decompressing installation files to:\n"},
               {1002, 0x5001000B, 0x00020000, 7, 40, 188, 11, L"#128", L"Button1"}});
}

// String `id` (0 to 15) of the first string block in `language`.
std::wstring StringOf(const std::vector<std::uint8_t>& block, int id) {
  std::size_t at = 0;
  for (int i = 0;; ++i) {
    WORD length;
    std::memcpy(&length, &block.at(at), 2);
    at += 2;
    if (i == id) {
      std::wstring text;
      for (WORD k = 0; k < length; ++k, at += 2) {
        WORD c;
        std::memcpy(&c, &block.at(at), 2);
        text.push_back(static_cast<wchar_t>(c));
      }
      return text;
    }
    at += 2u * length;
  }
}

TEST_F(StubResources, GermanStrings) {
  const auto block = Resource(RT_STRING, MAKEINTRESOURCEA(1), kGerman);
  ASSERT_FALSE(block.empty());
  EXPECT_EQ(StringOf(block, 2),
            L"Fehler in den Installationsdaten\r\nDas Installationsprogramm ist defekt, evtl. wurde es beim Transport "
            L"besch\u00e4digt\r\nInstallation wurde abgebrochen!");
  EXPECT_EQ(StringOf(block, 3), L"Fehler beim Kopieren der Datei: \"");
  EXPECT_EQ(StringOf(block, 4), L"\"\r\nEvtl. ist die Festplatte voll oder es sind keine Schreibrechte vorhanden?");
  EXPECT_EQ(StringOf(block, 5), L"Beim Entpacken der Installationsdaten trat ein fataler Fehler auf");
}

TEST_F(StubResources, EnglishStrings) {
  const auto block = Resource(RT_STRING, MAKEINTRESOURCEA(1), kEnglish);
  ASSERT_FALSE(block.empty());
  EXPECT_EQ(StringOf(block, 2),
            L"Error in installationdata!\r\nThe installprogram is corrupted, maybe it was damaged during "
            L"downloading.\r\nAborting installation");
  EXPECT_EQ(StringOf(block, 3), L"Error copying the file: \"");
  EXPECT_EQ(StringOf(block, 4), L"\"\r\nMaybe the harddisc is full or you haven't got write permission.");
  EXPECT_EQ(StringOf(block, 5), L"There was an error decompressing the files");
}

TEST_F(StubResources, IconHasTwoSixteenColourImages) {
  HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(IDI_STUB), RT_GROUP_ICON);
  ASSERT_NE(found, nullptr);
  const auto* group = static_cast<const std::uint8_t*>(LockResource(LoadResource(module_, found)));
  WORD header[3];
  std::memcpy(header, group, sizeof(header));
  EXPECT_EQ(header[1], 1);  // icons
  ASSERT_EQ(header[2], 2);
  std::set<int> sizes;
  for (int i = 0; i < 2; ++i) {
    const std::uint8_t* entry = group + 6 + 14 * i;
    WORD bit_count;
    std::memcpy(&bit_count, entry + 6, 2);
    sizes.insert(entry[0]);
    EXPECT_EQ(entry[0], entry[1]);
    EXPECT_EQ(entry[2], 16);  // colours
    EXPECT_EQ(bit_count, 4);
  }
  EXPECT_EQ(sizes, std::set<int>({16, 32}));
}

}  // namespace
