// The setup record parsed from Setup.cfg, and the parser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace sfx {

struct ConfigStorage;  // owns every text the record points at

// One file or registry entry of the configuration; fields in record order.
struct ConfigEntry {
  std::uint32_t flags;
  const char* name;           // null only in the terminating element
  const char* subdir;         // file entries whose flags hold 0x400
  const char* str_value;      // SET_REG_STR entries
  std::uint32_t dword_value;  // SET_REG_DW entries
};

// The setup record; the first twelve fields in record order. Texts stay
// valid for as long as the record lives (they are owned by `storage`).
struct SetupConfig {
  ConfigEntry* entries = nullptr;
  std::uint32_t version_lo = 0;
  std::uint32_t version_hi = 0;
  const char* product_name = nullptr;
  std::uint32_t flags = 0;
  std::uint32_t check_language = 0;
  const char* product_title = nullptr;
  std::uint32_t no_reboot = 0;
  std::uint32_t mp3_install = 0;
  std::uint32_t mp3pro_install = 0;
  std::uint32_t mpeg2_install = 0;
  std::uint32_t no_regentries = 0;

  std::shared_ptr<ConfigStorage> storage;
};

// Parses the file at `path` into `config`. Returns true on success; on
// failure writes the message, unchanged and without a line end, to the
// standard error stream and returns false.
bool ParseSetupConfig(SetupConfig* config, const char* path);

// The same parse of a configuration held in memory: the `size` bytes at
// `bytes`, read as the file's bytes would be.
bool ParseSetupConfigBytes(SetupConfig* config, const std::uint8_t* bytes, std::size_t size);

// The file parse, but the failure message is handed back in `*message`
// instead of being written to the standard error stream.
bool ParseSetupConfigQuiet(SetupConfig* config, const char* path, std::string* message);

// The in-memory parse with the failure message handed back in `*message`.
bool ParseSetupConfigBytesQuiet(SetupConfig* config, const std::uint8_t* bytes, std::size_t size, std::string* message);

}  // namespace sfx
