// Length-limited canonical code construction.
//
// Lengths come from an ordinary Huffman tree (two-queue merge over the
// symbols sorted by count). If the tree is deeper than the limit, the deep
// codes are clamped to the limit and the Kraft sum, counted in units of
// 2^-max_bits, is brought back to exactly 1: first by lengthening the
// longest codes still below the limit (each step removes the smallest
// possible amount), then, if that overshot, by shortening the rarest symbols
// of the longest length. Finally lengths are handed out again in count order
// so that no rarer symbol has a shorter code than a more frequent one.
#include "encode/prefix_code.h"

#include <algorithm>
#include <cassert>
#include <vector>

namespace sfx::encode {
namespace {

struct SymbolCount {
  std::uint32_t count;
  int symbol;
};

// Huffman code lengths (unlimited) for the used symbols sorted by ascending
// count; returns depth per entry of `sorted`.
std::vector<int> HuffmanDepths(const std::vector<SymbolCount>& sorted) {
  const std::size_t n = sorted.size();
  // Nodes 0..n-1 are leaves, n.. are internal; parent links give depths.
  std::vector<std::uint64_t> weight(2 * n);
  std::vector<int> parent(2 * n, -1);
  for (std::size_t i = 0; i < n; ++i) weight[i] = sorted[i].count;
  std::size_t leaf = 0, inner = n, next = n;
  auto take = [&]() -> std::size_t {
    if (leaf < n && (inner >= next || weight[leaf] <= weight[inner])) return leaf++;
    return inner++;
  };
  for (std::size_t k = 0; k + 1 < n; ++k) {
    const std::size_t a = take();
    const std::size_t b = take();
    weight[next] = weight[a] + weight[b];
    parent[a] = parent[b] = static_cast<int>(next);
    ++next;
  }
  // Internal nodes are created in order, so a parent always has a higher
  // index than its children: walk from the root down.
  std::vector<int> depth(2 * n, 0);
  for (std::size_t i = next - 1; i-- > 0;) depth[i] = depth[static_cast<std::size_t>(parent[i])] + 1;
  return std::vector<int>(depth.begin(), depth.begin() + static_cast<std::ptrdiff_t>(n));
}

}  // namespace

void BuildCodeLengths(std::span<const std::uint32_t> counts, int max_bits, std::uint8_t* lengths) {
  const int size = static_cast<int>(counts.size());
  assert(size >= 2 && max_bits >= 1 && max_bits <= 15);
  std::vector<SymbolCount> used;
  for (int i = 0; i < size; ++i) {
    lengths[i] = 0;
    if (counts[static_cast<std::size_t>(i)] != 0) used.push_back({counts[static_cast<std::size_t>(i)], i});
  }
  // A code needs two symbols to be complete: add the lowest unused ones.
  for (int i = 0; used.size() < 2 && i < size; ++i) {
    if (counts[static_cast<std::size_t>(i)] == 0) used.push_back({0, i});
  }
  std::stable_sort(used.begin(), used.end(),
                   [](const SymbolCount& a, const SymbolCount& b) { return a.count < b.count; });
  const std::size_t n = used.size();
  if (n > (std::size_t{1} << max_bits)) max_bits = 15;  // cannot happen for our alphabets
  std::vector<int> depth = HuffmanDepths(used);

  const std::int64_t full = std::int64_t{1} << max_bits;
  std::int64_t kraft = 0;
  for (int& d : depth) {
    d = std::min(d, max_bits);
    kraft += full >> d;
  }
  // Entries are sorted by ascending count: the rarest come first, which is
  // where lengthening costs least and shortening gains least.
  while (kraft > full) {
    int best = -1;
    for (std::size_t i = 0; i < n; ++i) {
      if (depth[i] < max_bits && (best < 0 || depth[i] > depth[static_cast<std::size_t>(best)]))
        best = static_cast<int>(i);
    }
    assert(best >= 0);
    kraft -= full >> (depth[static_cast<std::size_t>(best)] + 1);
    ++depth[static_cast<std::size_t>(best)];
  }
  while (kraft < full) {
    // Shorten the most frequent symbol of the greatest length whose gain
    // still fits; the gap is a multiple of the smallest unit present, so
    // one always does.
    int best = -1;
    for (std::size_t i = n; i-- > 0;) {
      const std::int64_t gain = full >> depth[i];
      if (depth[i] > 1 && gain <= full - kraft && (best < 0 || depth[i] > depth[static_cast<std::size_t>(best)])) {
        best = static_cast<int>(i);
      }
    }
    assert(best >= 0);
    kraft += full >> depth[static_cast<std::size_t>(best)];
    --depth[static_cast<std::size_t>(best)];
  }
  // Hand the lengths out again so that rarer symbols never get shorter codes.
  std::vector<int> sorted_depth = depth;
  std::sort(sorted_depth.begin(), sorted_depth.end(), std::greater<int>());
  for (std::size_t i = 0; i < n; ++i) lengths[used[i].symbol] = static_cast<std::uint8_t>(sorted_depth[i]);
}

void AssignCanonicalCodes(const std::uint8_t* lengths, int size, std::uint16_t* codes) {
  int per_length[16] = {};
  for (int i = 0; i < size; ++i) ++per_length[lengths[i]];
  per_length[0] = 0;
  std::uint32_t next[16] = {};
  std::uint32_t code = 0;
  for (int k = 1; k < 16; ++k) {
    code = (code + static_cast<std::uint32_t>(per_length[k - 1])) << 1;
    next[k] = code;
  }
  for (int i = 0; i < size; ++i) {
    codes[i] = lengths[i] != 0 ? static_cast<std::uint16_t>(next[lengths[i]]++) : 0;
  }
}

void BuildPrefixCode(std::span<const std::uint32_t> counts, int max_bits, PrefixCode& code) {
  code.size = static_cast<int>(counts.size());
  BuildCodeLengths(counts, max_bits, code.lengths);
  AssignCanonicalCodes(code.lengths, code.size, code.codes);
}

}  // namespace sfx::encode
