// Keywords of setup configuration files and the entry flag bits.
//
// Statement keywords are tried first, in the order of `kStatementKeywords`;
// a token that matches none is tried against the file-flag keywords in the
// order of `kFileFlagKeywords` (PELADORDIR, bit 0x200, is tried before
// ORLDIR, bit 0x100). A token that matches no keyword names a file.
#pragma once

#include <array>
#include <cstdint>

namespace sfx {

// Entry flag bits that no file-flag keyword sets directly.
inline constexpr std::uint32_t kEntryUseSubdir = 0x400;
inline constexpr std::uint32_t kEntryRegDword = 0x20000;
inline constexpr std::uint32_t kEntryRegString = 0x40000;

// Bit of the record's `flags` set by UPDATE_TRESSEL, and the field's default.
inline constexpr std::uint32_t kConfigFlagsDefault = 0x1;
inline constexpr std::uint32_t kConfigFlagUpdateTressel = 0x2;

// One file-flag keyword and the bit it adds to the pending flags.
struct FileFlagKeyword {
  const char* keyword;
  std::uint32_t bit;
};

inline constexpr std::array<FileFlagKeyword, 15> kFileFlagKeywords = {{
    {"WIN95", 0x1},
    {"WINNT", 0x2},
    {"WIN31", 0x4},
    {"WIN2000", 0x8},
    {"DRIVERDIR", 0x10},
    {"WINDOWSDIR", 0x20},
    {"SYSTEMDIR", 0x40},
    {"COVERDIR", 0x80},
    {"PELADORDIR", 0x200},
    {"ORLDIR", 0x100},
    {"ONLY_IF_EXISTS", 0x1000},
    {"ONLY_IF_AVAILABLE", 0x2000},
    {"RENAME_OLD", 0x4000},
    {"DELETE", 0x8000},
    {"REGDELETE", 0x10000},
}};

// Statement keywords, in the order in which the parser compares them.
enum class StatementKeyword {
  kUpdateTressel,
  kCheckLanguage,
  kNoReboot,
  kMp3Install,
  kMp3ProInstall,
  kMpeg2Install,
  kNoRegEntries,
  kVersionLo,
  kVersionHi,
  kProductName,
  kProductTitle,
  kUseSubdir,
  kSetRegStr,
  kSetRegDw,
};

inline constexpr std::array<const char*, 14> kStatementKeywordTexts = {
    "UPDATE_TRESSEL", "CHECK_LANGUAGE", "NO_REBOOT",   "MP3_INSTALL", "MP3PRO_INSTALL",
    "MPEG2_INSTALL",  "NO_REGENTRIES",  "VERSION_LO",  "VERSION_HI",  "PRODUCT_NAME",
    "PRODUCT_TITLE",  "USE_SUBDIR",     "SET_REG_STR", "SET_REG_DW",
};

}  // namespace sfx
