// sfxpack list FILE [--json]
//
// Decodes the payload of an installer or payload block file and lists the
// image: overall status, sizes, and every directory entry with its data
// size, offset, CRC and check result. A corrupt image is listed as far as
// its directory can be read, and the command then exits with 1.
#include <CLI/CLI.hpp>

#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>

#include "cli_support.h"
#include "packer/codepage_1252.h"
#include "packer/host_path.h"
#include "packer/image_listing.h"
#include "packer/payload_block.h"
#include "packer/payload_file.h"
#include "packer/progress_meter.h"
#include "payload/crc32.h"
#include "payload/payload_format.h"

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

// The first problem of the image, or an empty string when it is sound.
std::string FirstProblem(const sfx::ImageListing& listing) {
  if (listing.header_status != sfx::ImageStatus::kOk) return sfx::ImageStatusText(listing.header_status);
  for (const auto& entry : listing.entries) {
    if (!entry.name_safe) return "unsafe entry name";
    if (entry.data_status != sfx::ImageStatus::kOk) return sfx::ImageStatusText(entry.data_status);
  }
  if (listing.walk_status != sfx::ImageStatus::kOk) return sfx::ImageStatusText(listing.walk_status);
  return {};
}

void PrintJson(const std::string& path, const sfx::PayloadFile& file, const sfx::ImageListing& listing) {
  const std::string problem = FirstProblem(listing);
  std::string out = "{";
  out += "\"file\":" + sfxpack::JsonString(path);
  out += ",\"kind\":" + sfxpack::JsonString(file.kind == sfx::PayloadFileKind::kInstaller ? "installer" : "payload");
  out += ",\"payload_offset\":" + std::to_string(file.block_offset);
  out += ",\"packed_size\":" + std::to_string(file.packed_size);
  out += ",\"unpacked_size\":" + std::to_string(file.unpacked_size);
  out += ",\"status\":" + sfxpack::JsonString(listing.ok() ? "ok" : "corrupt");
  out += ",\"problem\":" + (problem.empty() ? std::string("null") : sfxpack::JsonString(problem));
  out += ",\"header_status\":" + sfxpack::JsonString(listing.header_status == sfx::ImageStatus::kOk
                                                ? "ok"
                                                : sfx::ImageStatusText(listing.header_status));
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
    out += "{\"name\":" + sfxpack::JsonString(sfx::Cp1252ToUtf8(entry.name));
    out += ",\"size\":" + std::to_string(entry.fields.data_size);
    out += ",\"offset\":" + std::to_string(entry.fields.data_offset);
    out += ",\"crc\":" + sfxpack::JsonString(Hex32(entry.fields.data_crc));
    out += ",\"status\":" + sfxpack::JsonString(entry.data_status == sfx::ImageStatus::kOk ? "ok"
                                                                                   : sfx::ImageStatusText(entry.data_status));
    out += ",\"name_safe\":" + std::string(entry.name_safe ? "true" : "false") + "}";
  }
  out += "]}\n";
  std::fputs(out.c_str(), stdout);
}

void PrintText(const std::string& path, const sfx::PayloadFile& file, const sfx::ImageListing& listing) {
  std::printf("%s: %s, payload at offset %zu\n", path.c_str(), sfx::PayloadFileKindText(file.kind), file.block_offset);
  std::printf("packed %" PRIu32 " bytes, unpacked %" PRIu32 " bytes\n", file.packed_size, file.unpacked_size);
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
    if (!entry.name_safe) check = "unsafe name; " + check;
    std::printf("%12" PRIu32 "  %10s  %10s  %-6s  %s\n", entry.fields.data_size, Hex32(entry.fields.data_offset).c_str(),
                Hex32(entry.fields.data_crc).c_str(), check.c_str(), sfx::Cp1252ToUtf8(entry.name).c_str());
    total += entry.fields.data_size;
  }
  std::printf("%zu entries, %llu bytes%s\n", listing.entries.size(), static_cast<unsigned long long>(total),
              listing.directory_complete ? "" : " (directory unreadable past this point)");
}

int RunList(const ListOptions& options) {
  const fs::path path(options.file);
  const sfx::PayloadFile file = sfx::ReadPayloadFile(path);
  sfx::ProgressMeter meter("decoding", file.unpacked_size);
  const std::vector<std::uint8_t> image = sfx::DecodePayloadStream(
      file.stream(), file.packed_size, file.unpacked_size, [&meter](std::uint64_t done) { meter.Update(done); });
  meter.Finish();
  sfx::CrcTable table;
  sfx::BuildCrcTable(table);
  const sfx::PayloadImageView view(image.data(), image.size(), table);
  const sfx::ImageListing listing = sfx::ListImage(view);
  if (options.json) {
    PrintJson(sfx::PathToUtf8(path), file, listing);
  } else {
    PrintText(sfx::PathToUtf8(path), file, listing);
  }
  return listing.ok() ? sfxpack::kExitOk : sfxpack::kExitBadInput;
}

std::function<int()> SetupList(CLI::App& app) {
  auto options = std::make_shared<ListOptions>();
  CLI::App* sub = app.add_subcommand("list", "List the entries of an installer or payload block file");
  sub->add_option("FILE", options->file, "Installer or payload block file")->required();
  sub->add_flag("--json", options->json, "Print one JSON object instead of a table");
  return [options] { return RunList(*options); };
}

const sfxpack::CommandRegistrar kRegisterList{{"list", &SetupList}};

}  // namespace
