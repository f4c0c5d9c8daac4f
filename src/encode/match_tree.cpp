// Binary-tree match finder (see match_tree.h).
//
// The walk keeps two open links: `smaller` is the child slot where the next
// node smaller than `pos` is to hang, `larger` the slot for the next node
// larger than it. Every visited node is smaller or larger than `pos` in
// its following bytes; it is hung on the matching open link and the walk
// continues into its child on the side towards `pos`. The lengths already
// known to agree on each side (len_smaller, len_larger) are not compared
// again: every node further down agrees with `pos` on at least their
// minimum. A node equal to `pos` over the whole compared length hands its
// two subtrees to `pos` and the walk ends; when the depth runs out, both
// open links are closed, dropping the oldest part of that path. The tree's
// order must use the same compared length for every position, so callers
// pass the same `nice` for a whole input (only the end of the data cuts
// it shorter, where positions have fewer bytes to compare).
#include "encode/match_tree.h"

#include <algorithm>

#include "encode/stream_symbols.h"

namespace sfx::encode {
namespace {

constexpr int kSlotBits = 21;
constexpr std::uint32_t kSlotMask = (std::uint32_t{1} << kSlotBits) - 1;

}  // namespace

MatchTree::MatchTree(const std::uint8_t* data, std::size_t size, int hash_bits)
    : data_(data),
      size_(size),
      hash_bits_(hash_bits),
      head_(std::size_t{1} << hash_bits, 0),
      son_(2 * std::min<std::size_t>(std::size_t{kSlotMask} + 1, size + 1), 0) {}

void MatchTree::Clear() { std::fill(head_.begin(), head_.end(), 0); }

int MatchTree::Find(std::uint32_t pos, std::uint32_t max_length, int depth, std::uint32_t nice, Match* out) {
  return Walk<true>(pos, max_length, depth, nice, out);
}

void MatchTree::Insert(std::uint32_t pos, std::uint32_t max_length, int depth, std::uint32_t nice) {
  Walk<false>(pos, max_length, depth, nice, nullptr);
}

template <bool kCollect>
int MatchTree::Walk(std::uint32_t pos, std::uint32_t max_length, int depth, std::uint32_t nice, Match* out) {
  // The tree's order is over the next max_length bytes; they must exist.
  max_length = std::min<std::uint32_t>(max_length, static_cast<std::uint32_t>(size_ - pos));
  if (max_length < 3) return 0;
  const std::uint32_t v = (static_cast<std::uint32_t>(data_[pos]) << 16) |
                          (static_cast<std::uint32_t>(data_[pos + 1]) << 8) | data_[pos + 2];
  const std::uint32_t h = (v * 2654435761u) >> (32 - hash_bits_);
  std::uint32_t cand = head_[h];
  head_[h] = pos + 1;
  const std::uint32_t slot = pos & kSlotMask;
  std::uint32_t* smaller = &son_[2 * slot];
  std::uint32_t* larger = &son_[2 * slot + 1];
  std::uint32_t len_smaller = 0, len_larger = 0;
  std::uint32_t best = 2;
  int count = 0;
  const std::uint8_t* cur = data_ + pos;
  // The tree orders positions by their next `limit` bytes (at most `nice`,
  // so that a walk that reaches that many ends at once).
  const std::uint32_t limit = std::min(max_length, nice);
  for (;;) {
    const std::uint32_t c = cand - 1;
    const std::uint32_t distance = pos - c;
    if (cand == 0 || depth-- <= 0 || distance > kMaxDistance) {
      *smaller = 0;
      *larger = 0;
      break;
    }
    std::uint32_t* pair = &son_[2 * (c & kSlotMask)];
    const std::uint8_t* p = data_ + c;
    std::uint32_t len = std::min(len_smaller, len_larger);
    while (len < limit && p[len] == cur[len]) ++len;
    if constexpr (kCollect) {
      // A match as long as the tree orders may go on up to max_length.
      std::uint32_t full = len;
      if (len >= limit) {
        while (full < max_length && p[full] == cur[full]) ++full;
      }
      if (full > best && full >= MinLongLength(distance)) {
        best = full;
        out[count++] = {full, distance};
      }
    }
    if (len >= limit) {
      // Equal as far as the tree orders: `pos` replaces the node, taking
      // its subtrees.
      *smaller = pair[0];
      *larger = pair[1];
      break;
    }
    if (p[len] < cur[len]) {
      *smaller = cand;
      smaller = &pair[1];
      cand = *smaller;
      len_smaller = len;
    } else {
      *larger = cand;
      larger = &pair[0];
      cand = *larger;
      len_larger = len;
    }
  }
  return count;
}

}  // namespace sfx::encode
