// Entry ordering: a rank (Setup.cfg 0, Setup.exe 1, everything else 2), then
// the case-folded Windows-1252 bytes as unsigned values, then the raw bytes.
#include "packer/entry_order.h"

#include <algorithm>
#include <map>
#include <numeric>

#include "common/entry_names.h"
#include "packer/codepage_1252.h"
#include "packer/entry_name.h"
#include "packer/pack_error.h"

namespace sfx {

namespace {

int Rank(std::string_view name) {
  if (IsSetupConfigName(name)) return 0;
  if (IsSetupProgramName(name)) return 1;
  return 2;
}

// std::string compares char, which is signed here; names compare as bytes.
bool BytesLess(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  });
}

void SortDefault(const std::vector<std::string>& names, std::vector<std::size_t>& order) {
  std::vector<std::string> folded(names.size());
  for (std::size_t i : order) folded[i] = FoldName1252(names[i]);
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const int ra = Rank(names[a]);
    const int rb = Rank(names[b]);
    if (ra != rb) return ra < rb;
    if (folded[a] != folded[b]) return BytesLess(folded[a], folded[b]);
    if (names[a] != names[b]) return BytesLess(names[a], names[b]);
    return a < b;
  });
}

}  // namespace

std::vector<std::size_t> DefaultEntryOrder(const std::vector<std::string>& names) {
  std::vector<std::size_t> order(names.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  SortDefault(names, order);
  return order;
}

std::vector<std::size_t> ManifestEntryOrder(const std::vector<std::string>& names,
                                            const std::vector<std::string>& manifest) {
  std::map<std::string, std::size_t> by_folded;
  for (std::size_t i = 0; i < names.size(); ++i) by_folded.emplace(FoldName1252(names[i]), i);

  std::vector<bool> placed(names.size(), false);
  std::vector<std::size_t> order;
  for (const std::string& wanted : manifest) {
    const auto it = by_folded.find(FoldName1252(wanted));
    if (it == by_folded.end()) {
      throw PackError("order file names \"" + Cp1252ToUtf8(wanted) + "\", which is not in the folder");
    }
    if (placed[it->second]) throw PackError("order file names \"" + Cp1252ToUtf8(wanted) + "\" twice");
    placed[it->second] = true;
    order.push_back(it->second);
  }
  std::vector<std::size_t> rest;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!placed[i]) rest.push_back(i);
  }
  SortDefault(names, rest);
  order.insert(order.end(), rest.begin(), rest.end());
  return order;
}

std::vector<std::string> ParseOrderManifest(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string> names;
  std::size_t line_number = 0;
  while (!text.empty()) {
    ++line_number;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    std::string name;
    std::string problem;
    if (!RelativePathToEntryName(line, &name, &problem)) {
      throw PackError("order file, line " + std::to_string(line_number) + ": the name " + problem);
    }
    names.push_back(std::move(name));
  }
  return names;
}

std::string EarlyStopProblem(const std::vector<std::string>& names, const std::vector<std::size_t>& order) {
  std::size_t config_at = order.size();
  std::size_t program_at = order.size();
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (config_at == order.size() && IsSetupConfigName(names[order[i]])) config_at = i;
    if (program_at == order.size() && IsSetupProgramName(names[order[i]])) program_at = i;
  }
  if (config_at == order.size() || program_at == order.size()) return {};
  if (program_at < config_at) {
    return "the order puts Setup.exe before Setup.cfg; the installer decides whether the update applies only after "
           "Setup.cfg and stops after Setup.exe, so it would write every file on every machine. List Setup.cfg "
           "first and Setup.exe second";
  }
  for (std::size_t i = 0; i < program_at; ++i) {
    if (i == config_at) continue;
    return "the order puts \"" + Cp1252ToUtf8(names[order[i]]) +
           "\" before Setup.exe; the installer writes every file up to Setup.exe before it can stop, so this file "
           "would be written even where the update does not apply. List Setup.cfg first and Setup.exe second";
  }
  return {};
}

}  // namespace sfx
