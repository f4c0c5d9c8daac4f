// The setup configuration parser: turns the tokens of Setup.cfg into the
// SetupConfig record and its array of file and registry entries.
//
// Each step takes one token. Statement keywords are tried first (switches,
// versions, product texts, USE_SUBDIR and the two registry statements), then
// the file-flag keywords, which only collect bits in the pending flags; any
// other token names a file and closes an entry with the pending flags (and
// the pending sub-folder when USE_SUBDIR set 0x400). Within a step the checks
// come in this order: missing argument, storage for the entry, pending flags
// at a statement that must not follow file flags, and finally whether the
// step's last token was quoted as required.
//
// Errors are thrown as a ConfigError with their message text and caught only
// here: the record keeps its defaults and every field set before the error,
// `entries` keeps its previous value, and the entries collected so far are
// dropped.
#include <cstdio>
#include <list>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "config/config_error.h"
#include "config/config_keywords.h"
#include "config/config_number.h"
#include "config/config_reader.h"
#include "config/setup_config.h"

namespace sfx {

// Owns every text and entry array that a record points at. Storage is only
// ever appended to, so pointers handed out earlier stay valid while the
// record (or any copy of it) lives.
struct ConfigStorage {
  std::list<std::string> texts;  // list nodes never move, so c_str() stays put
  std::list<std::vector<ConfigEntry>> entry_arrays;
};

namespace {

constexpr const char* kMsgOpen = "open config file";
constexpr const char* kMsgFlagsWithoutName = "file flags without filename";
constexpr const char* kMsgKeywordQuoted =
    "A keyword was quoted as if it was a filename.\nSorry, no file can have the name of a keyword.";
constexpr const char* kMsgNotQuoted = "A string was not quoted: might be a misspelled keyword.";
constexpr std::uint32_t kFirstDwordDefault = 42;

// Closes the configuration file when the parse ends, however it ends.
struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// The state of one parse.
class Parser {
 public:
  Parser(SetupConfig* config, ConfigStorage* storage) : config_(config), storage_(storage) {}

  // Parses the file at `path`, or the `size` bytes at `bytes` when `path`
  // is null.
  void Run(const char* path, const std::uint8_t* bytes, std::size_t size);

 private:
  bool Step();
  void RunStatement(StatementKeyword keyword, bool quoted);
  void RunNumberStatement(const char* missing_message, std::uint32_t* target);
  void RunTextStatement(const char* missing_message, const char** target);
  std::string TakeArgument(const char* missing_message, bool* quoted);
  const char* KeepForRecord(std::string text);
  const char* KeepForEntries(std::string text);
  void AppendEntry(const ConfigEntry& entry);
  void CheckNoPendingFlags() const;
  static void RequireQuoted(bool quoted);
  static void RequireUnquoted(bool quoted);

  SetupConfig* config_;
  ConfigStorage* storage_;
  ConfigReader reader_;
  std::vector<ConfigEntry> entries_;
  std::list<std::string> entry_texts_;  // moved into storage only on success
  std::uint32_t pending_flags_ = 0;
  const char* pending_subdir_ = nullptr;
  std::uint32_t pending_dword_ = kFirstDwordDefault;
};

// Runs `action`, turning an allocation failure into the "mem" message.
template <typename Action>
auto OrMem(Action action) -> decltype(action()) {
  try {
    return action();
  } catch (const std::bad_alloc&) {
    throw ConfigError(kMsgMem);
  }
}

void Parser::Run(const char* path, const std::uint8_t* bytes, std::size_t size) {
  std::unique_ptr<std::FILE, FileCloser> file;
  if (path != nullptr) {
    file.reset(std::fopen(path, "rb"));
    if (!file) throw ConfigError(kMsgOpen);
    reader_.stream = file.get();
  } else {
    reader_.bytes = bytes;
    reader_.size = size;
  }
  while (Step()) {
  }
  OrMem([&] {
    std::vector<ConfigEntry> array;
    array.reserve(entries_.size() + 1);
    array.assign(entries_.begin(), entries_.end());
    array.push_back(ConfigEntry{0, nullptr, nullptr, nullptr, 0});
    storage_->texts.splice(storage_->texts.end(), entry_texts_);
    storage_->entry_arrays.push_back(std::move(array));
    return 0;
  });
  config_->entries = storage_->entry_arrays.back().data();
}

bool Parser::Step() {
  bool quoted = false;
  std::optional<std::string> token = NextConfigToken(reader_, &quoted);
  if (!token) {
    CheckNoPendingFlags();
    return false;
  }
  const KeywordMatch match = MatchKeyword(*token);
  if (match.kind == KeywordMatch::kStatement) {
    token.reset();  // the keyword is released before its first argument is read
    RunStatement(match.statement, quoted);
    return true;
  }
  if (match.kind == KeywordMatch::kFileFlag) {
    pending_flags_ |= match.bit;
    RequireUnquoted(quoted);
    return true;
  }
  ConfigEntry entry{pending_flags_, nullptr, nullptr, nullptr, 0};
  entry.name = KeepForEntries(std::move(*token));
  if ((pending_flags_ & kEntryUseSubdir) != 0) {
    entry.subdir = pending_subdir_;
    pending_subdir_ = nullptr;
  }
  AppendEntry(entry);
  pending_flags_ = 0;
  CheckNoPendingFlags();  // the entry took the flags, so this always passes
  RequireQuoted(quoted);
  return true;
}

void Parser::RunStatement(StatementKeyword keyword, bool quoted) {
  switch (keyword) {
    case StatementKeyword::kUpdateTressel:
      config_->flags |= kConfigFlagUpdateTressel;
      break;
    case StatementKeyword::kCheckLanguage:
      config_->check_language = 1;
      break;
    case StatementKeyword::kNoReboot:
      config_->no_reboot = 1;
      break;
    case StatementKeyword::kMp3Install:
      config_->mp3_install = 1;
      break;
    case StatementKeyword::kMp3ProInstall:
      config_->mp3pro_install = 1;
      break;
    case StatementKeyword::kMpeg2Install:
      config_->mpeg2_install = 1;
      break;
    case StatementKeyword::kNoRegEntries:
      config_->no_regentries = 1;
      break;
    case StatementKeyword::kVersionLo:
      RunNumberStatement("no argument for VERSION_LO", &config_->version_lo);
      return;
    case StatementKeyword::kVersionHi:
      RunNumberStatement("no argument for VERSION_HI", &config_->version_hi);
      return;
    case StatementKeyword::kProductName:
      RunTextStatement("no argument for PRODUCT_NAME", &config_->product_name);
      return;
    case StatementKeyword::kProductTitle:
      RunTextStatement("no argument for PRODUCT_TITLE", &config_->product_title);
      return;
    case StatementKeyword::kUseSubdir:
      pending_subdir_ = KeepForEntries(TakeArgument("no argument for USE_SUBDIR", &quoted));
      pending_flags_ |= kEntryUseSubdir;
      RequireQuoted(quoted);
      return;
    case StatementKeyword::kSetRegStr: {
      bool name_quoted = false;
      std::string name = TakeArgument("no argument for SET_REG_STR", &name_quoted);
      std::string value = TakeArgument("no 2nd argument for SET_REG_STR", &quoted);
      // The pending sub-folder is not used by a registry entry and stays pending.
      ConfigEntry entry{pending_flags_ | kEntryRegString, nullptr, nullptr, nullptr, 0};
      entry.name = KeepForEntries(std::move(name));
      entry.str_value = KeepForEntries(std::move(value));
      AppendEntry(entry);
      pending_flags_ = 0;
      RequireQuoted(quoted);
      return;
    }
    case StatementKeyword::kSetRegDw: {
      bool name_quoted = false;
      std::string name = TakeArgument("no argument for SET_REG_DW", &name_quoted);
      {
        const std::string number = TakeArgument("no 2nd argument for SET_REG_DW", &quoted);
        ConvertConfigNumber(number.c_str(), &pending_dword_);
      }
      ConfigEntry entry{pending_flags_ | kEntryRegDword, nullptr, nullptr, nullptr, pending_dword_};
      entry.name = KeepForEntries(std::move(name));
      pending_dword_ = 0;
      AppendEntry(entry);
      pending_flags_ = 0;
      RequireUnquoted(quoted);
      return;
    }
  }
  // The seven switches: no argument, so the keyword itself must be unquoted.
  CheckNoPendingFlags();
  RequireUnquoted(quoted);
}

// VERSION_LO and VERSION_HI: one unquoted number, not after file flags.
void Parser::RunNumberStatement(const char* missing_message, std::uint32_t* target) {
  bool quoted = false;
  const std::string number = TakeArgument(missing_message, &quoted);
  ConvertConfigNumber(number.c_str(), target);
  CheckNoPendingFlags();
  RequireUnquoted(quoted);
}

// PRODUCT_NAME and PRODUCT_TITLE: one quoted text, not after file flags.
void Parser::RunTextStatement(const char* missing_message, const char** target) {
  bool quoted = false;
  *target = KeepForRecord(TakeArgument(missing_message, &quoted));
  CheckNoPendingFlags();
  RequireQuoted(quoted);
}

std::string Parser::TakeArgument(const char* missing_message, bool* quoted) {
  std::optional<std::string> token = NextConfigToken(reader_, quoted);
  if (!token) throw ConfigError(missing_message);
  return std::move(*token);
}

const char* Parser::KeepForRecord(std::string text) {
  return OrMem([&] { return storage_->texts.emplace_back(std::move(text)).c_str(); });
}

const char* Parser::KeepForEntries(std::string text) {
  return OrMem([&] { return entry_texts_.emplace_back(std::move(text)).c_str(); });
}

void Parser::AppendEntry(const ConfigEntry& entry) {
  OrMem([&] {
    entries_.push_back(entry);
    return 0;
  });
}

void Parser::CheckNoPendingFlags() const {
  if (pending_flags_ != 0) throw ConfigError(kMsgFlagsWithoutName);
}

void Parser::RequireQuoted(bool quoted) {
  if (!quoted) throw ConfigError(kMsgNotQuoted);
}

void Parser::RequireUnquoted(bool quoted) {
  if (quoted) throw ConfigError(kMsgKeywordQuoted);
}

// Sets the defaults, then parses the file at `path` (or, when it is null,
// the `size` bytes at `bytes`). Returns null on success, otherwise the
// message text of the ConfigError that ended the parse (a constant string,
// see ConfigError, so it outlives the error object).
const char* ParseInto(SetupConfig* config, const char* path, const std::uint8_t* bytes = nullptr,
                      std::size_t size = 0) {
  config->version_lo = 0;
  config->version_hi = 0xFFFFFFFF;
  config->product_name = nullptr;
  config->flags = kConfigFlagsDefault;
  config->check_language = 0;
  config->product_title = nullptr;
  config->no_reboot = 0;
  config->mp3_install = 0;
  config->mp3pro_install = 0;
  config->mpeg2_install = 0;
  config->no_regentries = 0;
  try {
    // Storage is only appended to: texts of an earlier parse into the same
    // record (its `entries`, for instance) stay valid.
    if (!config->storage) config->storage = OrMem([] { return std::make_shared<ConfigStorage>(); });
    Parser parser(config, config->storage.get());
    parser.Run(path, bytes, size);
    return nullptr;
  } catch (const ConfigError& error) {
    return error.what();
  }
}

}  // namespace

bool ParseSetupConfig(SetupConfig* config, const char* path) {
  const char* message = ParseInto(config, path);
  if (message == nullptr) return true;
  std::fputs(message, stderr);
  return false;
}

bool ParseSetupConfigBytes(SetupConfig* config, const std::uint8_t* bytes, std::size_t size) {
  const char* message = ParseInto(config, nullptr, bytes, size);
  if (message == nullptr) return true;
  std::fputs(message, stderr);
  return false;
}

bool ParseSetupConfigQuiet(SetupConfig* config, const char* path, std::string* message) {
  const char* text = ParseInto(config, path);
  if (text == nullptr) return true;
  if (message != nullptr) *message = text;
  return false;
}

bool ParseSetupConfigBytesQuiet(SetupConfig* config, const std::uint8_t* bytes, std::size_t size,
                                std::string* message) {
  const char* text = ParseInto(config, nullptr, bytes, size);
  if (text == nullptr) return true;
  if (message != nullptr) *message = text;
  return false;
}

}  // namespace sfx
