// Fault injection end to end: installers made by prepare_faults.sh are run
// under Wine with the installer driver (which answers message boxes) while
// the disk fills up, or after the installer itself has been damaged or cut
// short.
//
// A damaged installer may end in exactly two ways: the corrupt-payload
// message and nothing launched, or (for bytes that no check covers) a
// correct extraction. Never a crash, a hang, a launch after a failed check
// or a file outside the working folder. Every case prints one line
// "fault-table: <case> | <expected> | <observed>" for the report.
//
// The installers lie in the folder named by SFX_FAULTS_DIR (a host path);
// the full-disk test expects the 2 MB drive of small_disk.sh.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "installer_driver.h"
#include "payload/payload_locator.h"
#include "support/stub_texts.h"
#include "support/win_test_files.h"

namespace sfx::test {
namespace {

constexpr DWORD kTimeoutMs = 60000;

constexpr char kDiskLetter[] = "Q:";

std::wstring CopyFailedEnglish(const std::string& path) { return CopyFailed(kEnglishTexts, FromUtf8(path)); }

// Names directly inside `folder`.
std::set<std::string> FolderItems(const std::string& folder) {
  std::set<std::string> items;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return items;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") items.insert(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return items;
}

// Every file below `folder`, as relative names with backslashes.
void ListFiles(const std::string& folder, const std::string& prefix, std::set<std::string>* files) {
  for (const std::string& name : FolderItems(folder)) {
    const std::string path = folder + "\\" + name;
    if (FolderExists(path)) {
      ListFiles(path, prefix + name + "\\", files);
    } else {
      files->insert(prefix + name);
    }
  }
}

void Table(const std::string& name, const std::string& expected, const std::string& observed) {
  std::printf("fault-table: %s | %s | %s\n", name.c_str(), expected.c_str(), observed.c_str());
  std::fflush(stdout);
}

// One installer and the files it should produce.
struct Installer {
  std::string file;                  // name in the faults folder
  std::vector<std::string> entries;  // relative names, as in src/<stem>/
  bool setup_runs;                   // Setup.exe is the probe
};

const Installer kSmall = {"small.exe", {"Setup.exe", "a.txt", "b.txt"}, false};
const Installer kLarge = {"large.exe", {"Setup.exe", "data.bin", "docs\\readme.txt"}, true};

class FaultTest : public InstallerRunTest {
 protected:
  FaultTest() : InstallerRunTest("SFX_FAULTS_DIR", "small.exe") {}

  InstallerRun Run(const std::string& installer_path) { return RunInstaller(installer_path, temp_, kTimeoutMs); }

  bool Launched(const InstallerRun& run) const { return run.processes > 1 || FileExists(probe_log_); }

  std::string Source(const Installer& installer, const std::string& entry) const {
    const std::string stem = installer.file.substr(0, installer.file.find('.'));
    return root_ + "\\src\\" + stem + "\\" + entry;
  }
};

// ---------------------------------------------------------------- write failures

using WriteFault = FaultTest;

TEST_F(WriteFault, FullDiskNamesThePartlyWrittenFileAndLaunchesNothing) {
  const std::string state = ReadText(root_ + "\\disk.state");
  if (state.rfind("mounted", 0) != 0) {
    Table("full disk (2 MB drive)", "copy-failed message with path, no launch", "skipped: " + state);
    GTEST_SKIP() << "no small drive: " << state;
  }
  const std::string disk_temp = std::string(kDiskLetter) + "\\t";
  RemoveTree(disk_temp);
  ASSERT_TRUE(CreateDirectoryA(disk_temp.c_str(), nullptr)) << "drive " << kDiskLetter << " is not mapped";
  temp_ = disk_temp;
  work_ = temp_ + "\\Mivor.40\\";
  const InstallerRun run = Run(root_ + "\\full.exe");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, kExitWriteFailed);
  const std::string big = work_ + "big.bin";
  ASSERT_EQ(run.messages.size(), 1u);
  EXPECT_EQ(run.messages[0], CopyFailedEnglish(big));
  EXPECT_EQ(run.processes, 1u) << "nothing may be launched";
  EXPECT_FALSE(FileExists(probe_log_));
  // Setup.exe came first and fitted; big.bin stays as far as it was written.
  EXPECT_TRUE(ReadBytes(work_ + "Setup.exe") == ReadBytes(root_ + "\\src\\full\\Setup.exe"));
  const auto partial = ReadBytes(big);
  const auto source = ReadBytes(root_ + "\\src\\full\\big.bin");
  EXPECT_TRUE(FileExists(big));
  EXPECT_LT(partial.size(), source.size());
  EXPECT_TRUE(std::equal(partial.begin(), partial.end(), source.begin())) << "the partial file is a prefix";
  Table(
      "full disk (2 MB drive) while writing big.bin", "copy-failed message with path, no launch, partial file kept",
      std::string(run.messages.size() == 1 && run.messages[0] == CopyFailedEnglish(big) ? "message names " : "other ") +
          big + ", processes " + std::to_string(run.processes) + ", partial " + std::to_string(partial.size()) +
          " of " + std::to_string(source.size()) + " bytes");
  RemoveTree(disk_temp);
}

// ---------------------------------------------------------------- damaged installers

// The result of one damaged run, classified.
enum class Outcome { kCorrupt, kExtracted, kRefused, kBad };

class DamagedInstaller : public FaultTest {
 protected:
  void SetUp() override {
    FaultTest::SetUp();
    if (HasFatalFailure()) return;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    case_file_ = root_ + "\\cases\\" + info->test_suite_name() + "." + info->name();
  }

  // `*overlay` is where the marker "SFXPAYLD" starts and block_end_ where
  // the block ends, in the payload section (zero padding follows).
  std::vector<std::uint8_t> Load(const Installer& installer, std::size_t* overlay) {
    std::vector<std::uint8_t> bytes = ReadBytes(root_ + "\\" + installer.file);
    const std::uint8_t* block = nullptr;
    std::size_t block_size = 0;
    EXPECT_EQ(FindInstallerPayload(bytes.data(), bytes.size(), &block, &block_size), PayloadStatus::kOk);
    *overlay = block == nullptr ? 0 : static_cast<std::size_t>(block - bytes.data()) - sizeof kPayloadMarker;
    block_end_ = block == nullptr ? 0 : static_cast<std::size_t>(block - bytes.data()) + block_size;
    EXPECT_TRUE(FindPeOverlayOffset(bytes.data(), bytes.size(), &sections_end_));
    return bytes;
  }

  // Runs `bytes` as an installer and classifies what it did. `why` names
  // the first broken property for the table.
  Outcome RunDamaged(const Installer& installer, const std::vector<std::uint8_t>& bytes, std::string* why) {
    UseTemp(temp_);
    // A file of its own per run: the installer run before may still have
    // its file mapped while its process ends, and a running program's file
    // is not to be replaced.
    const std::string file = case_file_ + "." + std::to_string(++runs_) + ".exe";
    WriteBytes(file, bytes);
    const InstallerRun run = Run(file);
    DeleteFileA(file.c_str());
    if (!run.started) {
      // Only a file cut inside its PE sections (the payload section
      // included) may be refused by the system's loader; the stub's code
      // never runs then.
      if (bytes.size() < sections_end_) return *why = "refused by the loader", Outcome::kRefused;
      return *why = "installer could not be started (error " + std::to_string(run.start_error) + ")", Outcome::kBad;
    }
    if (!run.finished) return *why = "hang (no end within the time limit)", Outcome::kBad;
    // A correct extraction starts the probe (0); small.exe's Setup.exe is no
    // program, so there the launch fails (5) with its message.
    const DWORD extracted_exit = installer.setup_runs ? 0 : kExitLaunchFailed;
    if (run.exit_code != kExitCorrupt && run.exit_code != extracted_exit)
      return *why = "exit code " + std::to_string(run.exit_code), Outcome::kBad;
    // Nothing but the working folder (and the probe's log) in the temp folder.
    for (const std::string& item : FolderItems(temp_)) {
      if (item != "Mivor.40" && item != "probe.log")
        return *why = "file outside the working folder: " + item, Outcome::kBad;
    }
    std::set<std::string> written;
    ListFiles(work_.substr(0, work_.size() - 1), "", &written);
    std::set<std::string> known(installer.entries.begin(), installer.entries.end());
    for (const std::string& name : written) {
      if (known.count(name) == 0) return *why = "unexpected file " + name, Outcome::kBad;
    }
    if (run.exit_code == kExitCorrupt) {
      if (run.messages.size() != 1 || run.messages[0] != W(kEnglishTexts.corrupt)) {
        return *why = "message: " + (run.messages.empty() ? std::string("none") : ToUtf8(run.messages[0])),
               Outcome::kBad;
      }
      if (Launched(run)) return *why = "launch after the corrupt-payload message", Outcome::kBad;
      return *why = "corrupt-payload message", Outcome::kCorrupt;
    }
    if (run.messages.size() != (installer.setup_runs ? 0u : 1u) ||
        (!run.messages.empty() && run.messages[0].rfind(W(kEnglishTexts.launch_failed_head), 0) != 0)) {
      return *why = "message: " + ToUtf8(run.messages[0]), Outcome::kBad;
    }
    for (const std::string& entry : installer.entries) {
      if (ReadBytes(work_ + entry) != ReadBytes(Source(installer, entry)) || !FileExists(work_ + entry)) {
        return *why = "no message but " + entry + " differs", Outcome::kBad;
      }
    }
    if (installer.setup_runs && !Launched(run))
      return *why = "extracted without message but not launched", Outcome::kBad;
    return *why = "correct extraction", Outcome::kExtracted;
  }

  // Runs every variant and tallies the outcomes for one table line.
  void RunVariants(const std::string& label, const Installer& installer,
                   const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& variants) {
    std::map<Outcome, int> tally;
    std::string extracted;
    for (const auto& [name, bytes] : variants) {
      std::string why;
      const Outcome outcome = RunDamaged(installer, bytes, &why);
      ++tally[outcome];
      if (outcome == Outcome::kExtracted) extracted += (extracted.empty() ? " (" : ", ") + name;
      EXPECT_NE(outcome, Outcome::kBad) << label << ", " << name << ": " << why;
      if (outcome == Outcome::kBad) Table(label + ", " + name, "corrupt message or correct extraction", why);
    }
    Table(label + " (" + std::to_string(variants.size()) + " runs)",
          "corrupt message, no launch; or correct extraction",
          std::to_string(tally[Outcome::kCorrupt]) + " corrupt message, " + std::to_string(tally[Outcome::kExtracted]) +
              " correct extraction" + (extracted.empty() ? "" : extracted + ")") + ", " +
              (tally[Outcome::kRefused] ? std::to_string(tally[Outcome::kRefused]) + " refused by the loader, " : "") +
              std::to_string(tally[Outcome::kBad]) + " faulty");
  }

  std::string case_file_;  // the damaged installers' files start with this
  int runs_ = 0;
  std::size_t sections_end_ = 0;
  std::size_t block_end_ = 0;
};

// Flips all bits of the byte at each position.
std::vector<std::pair<std::string, std::vector<std::uint8_t>>> Flipped(const std::vector<std::uint8_t>& bytes,
                                                                       const std::vector<std::size_t>& positions,
                                                                       std::size_t overlay) {
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> variants;
  for (std::size_t position : positions) {
    std::vector<std::uint8_t> copy = bytes;
    copy[position] ^= 0xFF;
    variants.emplace_back("overlay byte " + std::to_string(position - overlay), std::move(copy));
  }
  return variants;
}

std::vector<std::size_t> Range(std::size_t from, std::size_t to, std::size_t step) {
  std::vector<std::size_t> positions;
  for (std::size_t p = from; p < to; p += step) positions.push_back(p);
  return positions;
}

TEST_F(DamagedInstaller, EveryMarkerAndHeaderByteOfTheSmallInstaller) {
  std::size_t overlay = 0;
  const auto bytes = Load(kSmall, &overlay);
  RunVariants("small.exe, marker and header bytes flipped", kSmall,
              Flipped(bytes, Range(overlay, overlay + 16, 1), overlay));
}

TEST_F(DamagedInstaller, EveryStreamByteOfTheSmallInstaller) {
  std::size_t overlay = 0;
  const auto bytes = Load(kSmall, &overlay);
  ASSERT_LT(block_end_ - overlay, 400u) << "small.exe is meant to be small";
  RunVariants("small.exe, every stream byte flipped", kSmall,
              Flipped(bytes, Range(overlay + 16, block_end_, 1), overlay));
}

TEST_F(DamagedInstaller, MarkerHeaderAndSampledStreamBytesOfTheLargeInstaller) {
  std::size_t overlay = 0;
  const auto bytes = Load(kLarge, &overlay);
  // Every marker and header byte, the first stream bytes (the first code
  // tables), then a spread over the rest and the very last bytes.
  std::vector<std::size_t> positions = Range(overlay, overlay + 16, 1);
  for (std::size_t p : Range(overlay + 16, overlay + 48, 4)) positions.push_back(p);
  const std::size_t stream_size = block_end_ - overlay - 16;
  for (std::size_t p : Range(overlay + 48, block_end_ - 8, stream_size / 24)) positions.push_back(p);
  for (std::size_t p : Range(block_end_ - 4, block_end_, 1)) positions.push_back(p);
  RunVariants("large.exe, marker, header and sampled stream bytes flipped", kLarge, Flipped(bytes, positions, overlay));
}

std::vector<std::pair<std::string, std::vector<std::uint8_t>>> Truncated(const std::vector<std::uint8_t>& bytes,
                                                                         const std::vector<std::size_t>& lengths,
                                                                         std::size_t overlay) {
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> variants;
  for (std::size_t length : lengths) {
    const std::string where = length < overlay ? "cut inside the PE image at byte " + std::to_string(length)
                                               : "cut at overlay byte " + std::to_string(length - overlay);
    variants.emplace_back(where, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + length));
  }
  return variants;
}

TEST_F(DamagedInstaller, SmallInstallerCutShort) {
  std::size_t overlay = 0;
  const auto bytes = Load(kSmall, &overlay);
  // Inside the sections, at the overlay start, in the marker and header,
  // and every fourth byte of the stream up to one byte short.
  std::vector<std::size_t> lengths = {overlay / 2, overlay};
  for (std::size_t p : Range(overlay + 1, overlay + 16, 3)) lengths.push_back(p);
  for (std::size_t p : Range(overlay + 16, block_end_, 4)) lengths.push_back(p);
  lengths.push_back(block_end_ - 1);
  RunVariants("small.exe cut short", kSmall, Truncated(bytes, lengths, overlay));
}

TEST_F(DamagedInstaller, LargeInstallerCutShort) {
  std::size_t overlay = 0;
  const auto bytes = Load(kLarge, &overlay);
  std::vector<std::size_t> lengths = {overlay, overlay + 8, overlay + 12};
  const std::size_t stream_size = block_end_ - overlay - 16;
  for (std::size_t p : Range(overlay + 16, block_end_, stream_size / 10)) lengths.push_back(p);
  lengths.push_back(block_end_ - 1);
  RunVariants("large.exe cut short", kLarge, Truncated(bytes, lengths, overlay));
}

}  // namespace
}  // namespace sfx::test
