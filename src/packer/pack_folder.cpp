// The pack pipeline (see pack_folder.h). The stub is read and checked first,
// so that nothing is compressed for a stub that cannot be used, and the
// output file is written last, after the block has been decoded again and
// found again in the installer.
#include "packer/pack_folder.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

#include "common/architectures.h"
#include "common/entry_names.h"
#include "config/setup_config.h"
#include "packer/entry_order.h"
#include "packer/folder_scan.h"
#include "packer/host_path.h"
#include "packer/image_builder.h"
#include "packer/installer_writer.h"
#include "packer/pack_error.h"
#include "packer/payload_block.h"
#include "payload/payload_locator.h"
#include "payload/pe_image.h"
#include "payload/sha256.h"

namespace sfx {

namespace fs = std::filesystem;

namespace {

void Warn(const PackOptions& options, const std::string& text) {
  if (options.warn) options.warn(text);
}

// Refuses an output file inside the folder: a later run would pack the old
// output.
void CheckOutputOutsideFolder(const fs::path& folder, const fs::path& output) {
  std::error_code error;
  const fs::path root = fs::weakly_canonical(folder, error);
  if (error) return;
  const fs::path target = fs::weakly_canonical(output, error);
  if (error) return;
  const fs::path relative = target.lexically_relative(root);
  if (!relative.empty() && *relative.begin() != "..") {
    throw PackError("the output file " + QuotedPath(output) + " lies inside the folder being packed");
  }
}

// Parses a top-level Setup.cfg the way the installer will; refuses a bad
// one unless allow_bad_config is set. Refuses a folder without a top-level
// Setup.exe (any ASCII letter case, as the installer matches it) unless
// allow_no_setup is set: the installer would have nothing to launch.
void CheckSetupConfig(const PackOptions& options, const FolderScan& scan) {
  bool has_config = false;
  bool has_program = false;
  for (const ScannedFile& file : scan.files) {
    if (IsSetupProgramName(file.name)) has_program = true;
    if (!IsSetupConfigName(file.name)) continue;
    has_config = true;
    SetupConfig config;
    std::string message;
    if (ParseSetupConfigQuiet(&config, file.source.string().c_str(), &message)) continue;
    const std::string what = "the setup configuration " + QuotedPath(file.source) + " does not parse: " + message;
    if (!options.allow_bad_config) throw PackError(what + " (--allow-bad-config packs it anyway)");
    Warn(options, what);
  }
  if (!has_config) {
    Warn(options, "no Setup.cfg at the top of the folder: the installer will not check the installed product");
  }
  if (!has_program) {
    const std::string what = "no Setup.exe at the top of the folder: the installer will have no setup program to start";
    if (!options.allow_no_setup) throw PackError(what + " (--allow-no-setup packs it anyway)");
    Warn(options, what);
  }
}

std::vector<std::size_t> ChooseOrder(const PackOptions& options, const std::vector<std::string>& names) {
  if (options.order_file.empty()) return DefaultEntryOrder(names);
  const std::vector<std::uint8_t> bytes = ReadWholeFile(options.order_file);
  const std::string text(bytes.begin(), bytes.end());
  std::vector<std::size_t> order = ManifestEntryOrder(names, ParseOrderManifest(text));
  const std::string problem = EarlyStopProblem(names, order);
  if (!problem.empty()) throw PackError(QuotedPath(options.order_file) + ": " + problem);
  return order;
}

std::string Reason() { return std::string(" (") + std::strerror(errno) + ")"; }

// Reads exactly `size` bytes of `source`, the size the scan found.
void LoadFile(const fs::path& source, std::uint8_t* dst, std::size_t size) {
  std::FILE* in = OpenHostFile(source, "rb");
  if (in == nullptr) throw PackError("cannot open " + QuotedPath(source) + Reason());
  const std::size_t got = std::fread(dst, 1, size, in);
  const bool failed = std::ferror(in) != 0;
  const std::string reason = failed ? Reason() : std::string();
  const bool more = !failed && got == size && std::fgetc(in) != EOF;
  std::fclose(in);
  if (failed) throw PackError("cannot read " + QuotedPath(source) + reason);
  if (got != size) throw PackError(QuotedPath(source) + " shrank while packing");
  if (more) throw PackError(QuotedPath(source) + " grew while packing");
}

std::vector<std::uint8_t> BuildImageOf(const PackOptions& options, const FolderScan& scan) {
  std::vector<std::string> names;
  for (const ScannedFile& file : scan.files) names.push_back(file.name);
  ImageBuilder builder;
  for (std::size_t index : ChooseOrder(options, names)) {
    const ScannedFile& file = scan.files[index];
    const fs::path source = file.source;
    builder.AddEntry(file.name, file.size,
                     [source](std::uint8_t* dst, std::size_t size) { LoadFile(source, dst, size); });
  }
  return builder.Build();
}

// Joins stub and block and checks that the installer finds the block
// exactly where it was put.
std::vector<std::uint8_t> BuildCheckedInstaller(const PackOptions& options, const std::vector<std::uint8_t>& stub,
                                                const std::vector<std::uint8_t>& block, PackResult& result) {
  InstallerReport report;
  std::vector<std::uint8_t> installer = BuildInstaller(stub, block, options.execution_level, &report);
  if (report.dropped_bytes != 0) {
    Warn(options, "the stub had " + std::to_string(report.dropped_bytes) +
                      " bytes after its sections (an old payload or a signature); they were left out");
  }
  result.stub_size = report.stub_size;
  result.block_offset = report.block_offset;
  const std::uint8_t* found = nullptr;
  std::size_t found_size = 0;
  if (FindInstallerPayload(installer.data(), installer.size(), &found, &found_size) != PayloadStatus::kOk ||
      found != installer.data() + result.block_offset || found_size != block.size()) {
    throw PackError("internal error: the payload cannot be found again in the installer; nothing written");
  }
  if (report.cleared_certificate_entry) {
    Warn(options, "the stub was signed; its signature does not carry over and was removed");
  }
  return installer;
}

// Creates the file at `path`, which must not exist yet, for writing.
std::FILE* CreateNewFile(const fs::path& path) {
#ifdef _WIN32
  const int fd = _wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
  const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
#endif
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) close(fd);
  return file;
}

// Writes the output file: into a new temporary file next to it, then
// renamed over it, so an existing file is replaced whole or not at all. The
// temporary file is removed when a step fails; nothing else is removed.
void WriteOutput(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::error_code error;
  if (fs::is_directory(path, error)) throw PackError("the output " + QuotedPath(path) + " is a folder");
  static std::atomic<unsigned> counter{0};
  const fs::path target = ExtendedLengthPath(path);
  fs::path temp = target;
  temp += ".sfxpack-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".tmp";
  std::FILE* out = CreateNewFile(temp);
  if (out == nullptr) throw PackError("cannot create " + QuotedPath(temp) + Reason());
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size() && std::fflush(out) == 0;
  const std::string reason = written ? std::string() : Reason();
  const bool closed = std::fclose(out) == 0;
  if (!written || !closed) {
    fs::remove(temp, error);
    throw PackError("cannot write " + QuotedPath(temp) + (written ? Reason() : reason));
  }
  fs::rename(temp, target, error);
  if (error) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    throw PackError("cannot rename " + QuotedPath(temp) + " to " + QuotedPath(path) + " (" + error.message() + ")");
  }
}

// The stub's architecture by its PE machine field.
std::string StubArchitecture(const std::vector<std::uint8_t>& stub) {
  const std::optional<PeImage> headers = PeImage::Parse(stub.data(), stub.size());
  if (!headers) return {};
  const std::uint16_t machine = headers->machine();
  if (const Architecture* architecture = ArchitectureOfMachine(machine)) return architecture->name;
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(machine));
  return text;
}

}  // namespace

PackResult PackFolder(const PackOptions& options) {
  CheckOutputOutsideFolder(options.folder, options.output);
  std::vector<std::uint8_t> stub;
  if (!options.stub.empty()) {
    stub = ReadWholeFile(options.stub);
    BuildInstaller(stub, {}, options.execution_level, nullptr);  // throws for a stub it cannot use
  }

  const FolderScan scan = ScanFolder(options.folder, options.excludes);
  for (const std::string& warning : scan.warnings) Warn(options, warning);
  CheckSetupConfig(options, scan);
  const std::vector<std::uint8_t> image = BuildImageOf(options, scan);

  EncodeOptions encode;
  encode.level = options.level;
  encode.threads = options.threads;
  if (options.progress) {
    encode.progress = [&options, &image](std::uint64_t done, std::uint64_t) {
      options.progress(ProgressStage::kCompressing, done, image.size());
    };
  }
  const std::vector<std::uint8_t> block = BuildPayloadBlock(image, encode);
  VerifyPayloadBlock(block, image);

  PackResult result;
  result.file_count = scan.files.size();
  for (const ScannedFile& file : scan.files) result.file_bytes += file.size;
  result.image_size = image.size();
  result.packed_size = block.size() - kEmbeddedHeaderSize;
  result.excluded = scan.excluded;
  auto write = [&result, &options](const std::vector<std::uint8_t>& bytes) {
    WriteOutput(options.output, bytes);
    result.output_size = bytes.size();
    result.output_sha256 = Sha256Hex(Sha256Of(bytes.data(), bytes.size()));
  };
  if (options.stub.empty()) {
    result.kind = PayloadFileKind::kPayloadBlock;
    write(block);
  } else {
    result.kind = PayloadFileKind::kInstaller;
    result.stub_sha256 = Sha256Hex(Sha256Of(stub.data(), stub.size()));
    result.architecture = StubArchitecture(stub);
    write(BuildCheckedInstaller(options, stub, block, result));
  }
  return result;
}

}  // namespace sfx
