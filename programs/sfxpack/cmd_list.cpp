// sfxpack list FILE [--json]
//
// Decodes the payload of an installer or payload block file and lists the
// image: overall status, sizes, and every directory entry with its data
// size, offset, CRC and check result, each row printed as the walk reaches
// it. A corrupt image is listed as far as its directory can be read, and
// the command then exits with 1. Names are printed through
// sfx::PrintableName, so a name cannot send escape sequences to the
// terminal; what the readers refuse (see sfx::ListedEntry) is marked in the
// check column, and entries that share their data are counted in a note.
// The listing is sfx::ListPayloadFile's; this file prints it.
#include <CLI/CLI.hpp>

#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>

#include "cli_support.h"
#include "packer/sfxpack.h"
#include "progress_meter.h"

namespace sfxpack {
namespace {

namespace fs = std::filesystem;

struct ListOptions {
  std::string file;
  bool json = false;
};

std::string Hex32(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08" PRIX32, value);
  return text;
}

const char* Bool(bool value) { return value ? "true" : "false"; }

std::string DataStatusText(sfx::ImageStatus status) {
  return status == sfx::ImageStatus::kOk ? "ok" : sfx::ImageStatusText(status);
}

// Prints the listing as one JSON object; the entries are written as the
// walk hands them over.
class JsonPrinter {
 public:
  explicit JsonPrinter(const std::string& path) : path_(path) {}

  void Summary(const sfx::PayloadFileListing& payload) {
    const sfx::ImageListing& listing = payload.image;
    const std::string problem = payload.problem();
    std::string out = "{";
    out += "\"file\":" + JsonString(path_);
    out += ",\"kind\":" + JsonString(payload.kind == sfx::PayloadFileKind::kInstaller ? "installer" : "payload");
    out += ",\"payload_offset\":" + std::to_string(payload.block_offset);
    out += ",\"packed_size\":" + std::to_string(payload.packed_size);
    out += ",\"unpacked_size\":" + std::to_string(payload.unpacked_size);
    out += ",\"stub_sha256\":" + (payload.stub_sha256.empty() ? std::string("null") : JsonString(payload.stub_sha256));
    out += ",\"status\":" + JsonString(problem.empty() ? "ok" : "corrupt");
    out += ",\"problem\":" + (problem.empty() ? std::string("null") : JsonString(problem));
    out += ",\"header_status\":" + JsonString(DataStatusText(listing.header_status));
    if (listing.has_header) {
      out += ",\"dir_offset\":" + std::to_string(listing.header.dir_offset);
      out += ",\"dir_crc_length\":" + std::to_string(listing.header.dir_crc_length);
      out += ",\"data_end\":" + std::to_string(listing.header.data_end);
    }
    out += ",\"directory_complete\":" + std::string(Bool(listing.directory_complete));
    out += ",\"entry_count\":" + std::to_string(listing.entry_count);
    out += ",\"sharing_entries\":" + std::to_string(listing.sharing_entries);
    out += ",\"entries\":[";
    std::fputs(out.c_str(), stdout);
  }

  void Entry(const sfx::ListedEntry& entry) {
    std::string out = entry.index == 0 ? "{" : ",{";
    out += "\"name\":" + JsonString(sfx::Cp1252ToUtf8(entry.fields.name));
    out += ",\"size\":" + std::to_string(entry.fields.data_size);
    out += ",\"offset\":" + std::to_string(entry.fields.data_offset);
    out += ",\"crc\":" + JsonString(Hex32(entry.fields.data_crc));
    out += ",\"status\":" + JsonString(DataStatusText(entry.data_status));
    out += ",\"name_safe\":" + std::string(Bool(entry.name_safe));
    out += ",\"device_name\":" + std::string(Bool(entry.device_name));
    out += ",\"windows_forbidden\":" + std::string(Bool(entry.windows_forbidden));
    out += ",\"repeated_name\":" + std::string(Bool(entry.repeated_name));
    out += ",\"shares_data\":" + std::string(Bool(entry.shares_data));
    out += ",\"partly_overlaps\":" + std::string(Bool(entry.partly_overlaps)) + "}";
    std::fputs(out.c_str(), stdout);
  }

  void Finish() { std::fputs("]}\n", stdout); }

 private:
  std::string path_;
};

// Prints the listing as a table, a row per entry as the walk hands it over.
class TextPrinter {
 public:
  explicit TextPrinter(const std::string& path) : path_(path) {}

  void Summary(const sfx::PayloadFileListing& payload) {
    const sfx::ImageListing& listing = payload.image;
    std::printf("%s: %s, payload at offset %zu\n", sfx::PrintableText(path_).c_str(),
                sfx::PayloadFileKindText(payload.kind), payload.block_offset);
    std::printf("packed %" PRIu32 " bytes, unpacked %" PRIu32 " bytes\n", payload.packed_size, payload.unpacked_size);
    if (!payload.stub_sha256.empty()) std::printf("stub SHA-256: %s\n", payload.stub_sha256.c_str());
    const std::string problem = payload.problem();
    std::printf("image: %s%s\n", problem.empty() ? "ok" : "CORRUPT: ", sfx::PrintableText(problem).c_str());
    if (listing.entry_count == 0) {
      if (listing.directory_complete) std::printf("no entries\n");
      return;
    }
    std::printf("%12s  %10s  %10s  %-6s  %s\n", "size", "offset", "crc", "check", "name");
  }

  void Entry(const sfx::ListedEntry& entry) {
    std::string check = DataStatusText(entry.data_status);
    if (entry.partly_overlaps) check = "overlaps other data";
    if (entry.shares_data) check = "shared; " + check;
    if (entry.repeated_name) check = "repeated name; " + check;
    if (entry.windows_forbidden) check = "name Windows cannot create; " + check;
    if (entry.device_name) check = "device name; " + check;
    if (!entry.name_safe) check = "unsafe name; " + check;
    std::printf("%12" PRIu32 "  %10s  %10s  %-6s  %s\n", entry.fields.data_size,
                Hex32(entry.fields.data_offset).c_str(), Hex32(entry.fields.data_crc).c_str(), check.c_str(),
                sfx::PrintableName(entry.fields.name).c_str());
  }

  void Finish(const sfx::ImageListing& listing) {
    if (listing.entry_count == 0) return;
    const char* rest = "";
    if (listing.too_many_entries) {
      rest = " (more entries follow; they are not examined)";
    } else if (!listing.directory_complete) {
      rest = " (directory unreadable past this point)";
    }
    std::printf("%" PRIu32 " entries, %llu bytes%s\n", listing.entry_count,
                static_cast<unsigned long long>(listing.data_bytes), rest);
    if (listing.sharing_entries != 0) {
      std::printf("note: %" PRIu32 " entries share their data with another entry (identical files stored once)\n",
                  listing.sharing_entries);
    }
  }

 private:
  std::string path_;
};

// Lists the file through `printer`: the summary once everything is
// checked, then each entry as the walk reaches it.
template <typename Printer>
sfx::PayloadFileListing ListWith(const fs::path& path, ProgressMeter& meter, Printer& printer) {
  return sfx::ListPayloadFile(
      path, meter.Report(),
      [&](const sfx::PayloadFileListing& summary) {
        meter.Finish();
        printer.Summary(summary);
      },
      [&](const sfx::ListedEntry& entry) { printer.Entry(entry); });
}

int RunList(const ListOptions& options) {
  const fs::path path(options.file);
  const std::string shown = sfx::PathToUtf8(path);
  ProgressMeter meter;
  sfx::PayloadFileListing payload;
  if (options.json) {
    JsonPrinter printer(shown);
    payload = ListWith(path, meter, printer);
    printer.Finish();
  } else {
    TextPrinter printer(shown);
    payload = ListWith(path, meter, printer);
    printer.Finish(payload.image);
  }
  return payload.ok() ? kExitOk : kExitBadInput;
}

}  // namespace

std::function<int()> SetupList(CLI::App& app) {
  auto options = std::make_shared<ListOptions>();
  CLI::App* sub = app.add_subcommand("list", "List the entries of an installer or payload block file");
  sub->add_option("FILE", options->file, "Installer or payload block file")->required();
  sub->add_flag("--json", options->json, "Print one JSON object instead of a table");
  return [options] { return RunList(*options); };
}

}  // namespace sfxpack
