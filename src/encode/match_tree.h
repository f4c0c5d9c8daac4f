// Binary-tree match finder over the whole 1 MiB window, for the optimal
// parse of the best levels.
//
// Positions with the same three-byte hash form a binary search tree ordered
// by the bytes that follow them, the newest position at the root. Looking
// up a position walks from the root towards where the position belongs,
// collecting ever longer matches on the way, and re-links the tree so that
// the position becomes the new root: search and insertion are one walk.
// Unlike a hash chain, which visits candidates in age order whatever their
// length, the walk only descends towards longer common prefixes, so a few
// dozen steps find the longest matches in the whole window. Each position
// has two child slots (indexed by position mod 2^21, twice the window, so a
// slot is reused only long after its position is out of reach).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "encode/match_finder.h"

namespace sfx::encode {

// Finds all improving matches of each position and indexes it at once.
class MatchTree {
 public:
  MatchTree(const std::uint8_t* data, std::size_t size, int hash_bits);

  // Inserts `pos` and writes the improving matches at `pos` (strictly
  // increasing lengths of at least MinLongLength for their distance, at
  // most `max_length`, each the nearest of its length on the walk) to
  // `out`; returns how many. Visits at most `depth` tree nodes and stops
  // at a match of `nice` bytes. Positions must be given in increasing
  // order, each once (through Find or Insert).
  int Find(std::uint32_t pos, std::uint32_t max_length, int depth, std::uint32_t nice, Match* out);

  // Forgets every inserted position (child slots are written when their
  // position is inserted, so clearing the heads is enough).
  void Clear();

  // Inserts `pos` without collecting matches (with the same `nice` as Find).
  void Insert(std::uint32_t pos, std::uint32_t max_length, int depth, std::uint32_t nice);

 private:
  template <bool kCollect>
  int Walk(std::uint32_t pos, std::uint32_t max_length, int depth, std::uint32_t nice, Match* out);

  const std::uint8_t* data_;
  std::size_t size_;
  int hash_bits_;
  std::vector<std::uint32_t> head_;  // newest position + 1 per hash, 0 = none
  std::vector<std::uint32_t> son_;   // per position slot: smaller and larger child + 1
};

}  // namespace sfx::encode
