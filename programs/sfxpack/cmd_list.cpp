// sfxpack list FILE [--json]
//
// Decodes the payload of an installer or payload block file and lists the
// image: overall status, sizes, and every directory entry with its data
// size, offset, CRC and check result. A corrupt image is listed as far as
// its directory can be read, and the command then exits with 1. Names are
// printed through sfx::PrintableName, so a name cannot send escape
// sequences to the terminal; entries named like Windows devices and entries
// that share data bytes are marked in the check column, the latter also
// counted in a note. The listing is sfx::ListPayloadFile's; this file
// prints it.
#include <CLI/CLI.hpp>

#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>

#include "cli_support.h"
#include "packer/codepage_1252.h"
#include "packer/entry_name_text.h"
#include "packer/host_path.h"
#include "packer/payload_file_listing.h"
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

constexpr const char* kSharedDataText = "entries share data bytes";

// The first problem of the image, or an empty string when it is sound.
std::string FirstProblem(const sfx::ImageListing& listing) {
  if (listing.header_status != sfx::ImageStatus::kOk) return sfx::ImageStatusText(listing.header_status);
  for (const auto& entry : listing.entries) {
    if (!entry.name_safe) return sfx::ImageStatusText(sfx::ImageStatus::kUnsafeName);
    if (entry.device_name) return sfx::ImageStatusText(sfx::ImageStatus::kDeviceName);
    if (entry.data_status != sfx::ImageStatus::kOk) return sfx::ImageStatusText(entry.data_status);
  }
  if (listing.sharing_entries != 0) return kSharedDataText;
  if (listing.walk_status != sfx::ImageStatus::kOk) return sfx::ImageStatusText(listing.walk_status);
  return {};
}

void PrintJson(const std::string& path, const sfx::PayloadFileListing& payload) {
  const sfx::ImageListing& listing = payload.image;
  const std::string problem = FirstProblem(listing);
  std::string out = "{";
  out += "\"file\":" + JsonString(path);
  out += ",\"kind\":" + JsonString(payload.kind == sfx::PayloadFileKind::kInstaller ? "installer" : "payload");
  out += ",\"payload_offset\":" + std::to_string(payload.block_offset);
  out += ",\"packed_size\":" + std::to_string(payload.packed_size);
  out += ",\"unpacked_size\":" + std::to_string(payload.unpacked_size);
  out += ",\"stub_sha256\":" + (payload.stub_sha256.empty() ? std::string("null") : JsonString(payload.stub_sha256));
  out += ",\"status\":" + JsonString(listing.ok() ? "ok" : "corrupt");
  out += ",\"problem\":" + (problem.empty() ? std::string("null") : JsonString(problem));
  out +=
      ",\"header_status\":" +
      JsonString(listing.header_status == sfx::ImageStatus::kOk ? "ok" : sfx::ImageStatusText(listing.header_status));
  if (listing.has_header) {
    out += ",\"dir_offset\":" + std::to_string(listing.header.dir_offset);
    out += ",\"dir_crc_length\":" + std::to_string(listing.header.dir_crc_length);
    out += ",\"data_end\":" + std::to_string(listing.header.data_end);
  }
  out += ",\"directory_complete\":" + std::string(listing.directory_complete ? "true" : "false");
  out += ",\"entries\":[";
  for (std::size_t i = 0; i < listing.entries.size(); ++i) {
    const auto& entry = listing.entries[i];
    if (i != 0) out += ",";
    out += "{\"name\":" + JsonString(sfx::Cp1252ToUtf8(entry.name));
    out += ",\"size\":" + std::to_string(entry.fields.data_size);
    out += ",\"offset\":" + std::to_string(entry.fields.data_offset);
    out += ",\"crc\":" + JsonString(Hex32(entry.fields.data_crc));
    out += ",\"status\":" +
           JsonString(entry.data_status == sfx::ImageStatus::kOk ? "ok" : sfx::ImageStatusText(entry.data_status));
    out += ",\"name_safe\":" + std::string(entry.name_safe ? "true" : "false");
    out += ",\"device_name\":" + std::string(entry.device_name ? "true" : "false");
    out += ",\"shares_data\":" + std::string(entry.shares_data ? "true" : "false") + "}";
  }
  out += "]}\n";
  std::fputs(out.c_str(), stdout);
}

void PrintText(const std::string& path, const sfx::PayloadFileListing& payload) {
  const sfx::ImageListing& listing = payload.image;
  std::printf("%s: %s, payload at offset %zu\n", sfx::PrintableText(path).c_str(),
              sfx::PayloadFileKindText(payload.kind), payload.block_offset);
  std::printf("packed %" PRIu32 " bytes, unpacked %" PRIu32 " bytes\n", payload.packed_size, payload.unpacked_size);
  if (!payload.stub_sha256.empty()) std::printf("stub SHA-256: %s\n", payload.stub_sha256.c_str());
  const std::string problem = FirstProblem(listing);
  std::printf("image: %s%s\n", listing.ok() ? "ok" : "CORRUPT: ", problem.c_str());
  if (listing.entries.empty()) {
    if (listing.directory_complete) std::printf("no entries\n");
    return;
  }
  std::printf("%12s  %10s  %10s  %-6s  %s\n", "size", "offset", "crc", "check", "name");
  std::uint64_t total = 0;
  for (const auto& entry : listing.entries) {
    std::string check = entry.data_status == sfx::ImageStatus::kOk ? "ok" : sfx::ImageStatusText(entry.data_status);
    if (entry.shares_data) check = "shares data; " + check;
    if (entry.device_name) check = "device name; " + check;
    if (!entry.name_safe) check = "unsafe name; " + check;
    std::printf("%12" PRIu32 "  %10s  %10s  %-6s  %s\n", entry.fields.data_size,
                Hex32(entry.fields.data_offset).c_str(), Hex32(entry.fields.data_crc).c_str(), check.c_str(),
                sfx::PrintableName(entry.name).c_str());
    total += entry.fields.data_size;
  }
  std::printf("%zu entries, %llu bytes%s\n", listing.entries.size(), static_cast<unsigned long long>(total),
              listing.directory_complete ? "" : " (directory unreadable past this point)");
  if (listing.sharing_entries != 0) {
    std::printf("note: %zu entries share data bytes with another entry; extract and the installer refuse them\n",
                listing.sharing_entries);
  }
}

int RunList(const ListOptions& options) {
  const fs::path path(options.file);
  ProgressMeter meter;
  const sfx::PayloadFileListing payload = sfx::ListPayloadFile(path, meter.Report());
  meter.Finish();
  if (options.json) {
    PrintJson(sfx::PathToUtf8(path), payload);
  } else {
    PrintText(sfx::PathToUtf8(path), payload);
  }
  return payload.image.ok() ? kExitOk : kExitBadInput;
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
