// Hash-chain match finder over a sliding window of 1 MiB.
//
// Positions are chained by a hash of their first three or four bytes. With
// four, a small table of the last position per three-byte hash still finds
// three-byte matches nearby (the only distances where such a match can pay),
// while the chains hold far fewer false candidates on data with many short
// repeats, such as audio. The chain array has one slot per position within
// the chains' reach (indexed by position mod 2^chain_bits, at most the 1 MiB
// window), so memory stays fixed however large the input is; a slot is
// reused exactly when its position falls out of reach. A shorter reach keeps
// the array in the cache for the fast levels, whose few chain steps rarely
// get far anyway. A second table remembers the last
// position of every two-byte pair for two-byte matches at distance <= 256.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sfx::encode {

// One match candidate: `length` bytes at `distance` back.
struct Match {
  std::uint32_t length;
  std::uint32_t distance;
};

// Finds earlier occurrences of the bytes at a position.
class MatchFinder {
 public:
  // hash_bytes: 3 or 4, the number of leading bytes the chains are keyed on;
  // chain_bits: log2 of the chains' reach in bytes (at most 20), or 0 for
  // no chains: one candidate per hash, the last position that had it.
  // pairs: keep the two-byte table (ShortDistance always finds none without).
  MatchFinder(const std::uint8_t* data, std::size_t size, int hash_bits, int hash_bytes, int chain_bits = 20,
              bool pairs = true);

  // Forgets every inserted position.
  void Clear();

  // Adds `pos` to the chains; positions must be inserted in increasing order.
  void Insert(std::uint32_t pos);

  // Insert for every position of [begin, end), in one tight loop. With
  // `chains_only`, the two- and three-byte tables are left alone (for data
  // without short repeats worth a match).
  void InsertRange(std::uint32_t begin, std::uint32_t end, bool chains_only = false);

  // The longest match at `pos` (0 length if none of at least 3 bytes),
  // looking at up to `max_chain` candidates and stopping early at `nice`.
  // Does not insert `pos`.
  Match Longest(std::uint32_t pos, std::uint32_t max_length, int max_chain, std::uint32_t nice) const;

  // All improving matches at `pos` (strictly increasing lengths, each the
  // nearest of its length among the candidates seen), written to `out`;
  // returns how many. Does not insert `pos`.
  int AllMatches(std::uint32_t pos, std::uint32_t max_length, int max_chain, std::uint32_t nice, Match* out) const;

  // Distance (1..256) of the last earlier two-byte occurrence at `pos`, or 0.
  std::uint32_t ShortDistance(std::uint32_t pos) const;

  // Length of the common run of data[a..] and data[b..], at most `limit`.
  std::uint32_t CommonLength(std::size_t a, std::size_t b, std::uint32_t limit) const;

 private:
  // Calls visit(candidate, distance) for the chain candidates of `pos`,
  // nearest first, at most max_chain of them and only within reach, until
  // visit returns false.
  template <class Visit>
  void ForEachCandidate(std::uint32_t pos, int max_chain, Visit&& visit) const;

  std::uint32_t Hash3(std::uint32_t pos) const;
  std::uint32_t ChainHash(std::uint32_t pos) const;
  // A three-byte match from the small table when the chains key on four
  // bytes; 0 length if none.
  Match NearTriple(std::uint32_t pos, std::uint32_t max_length) const;

  std::uint32_t chain_slots_;
  std::uint32_t chain_mask_;
  std::uint32_t reach_;  // farthest distance the chains can follow
  const std::uint8_t* data_;
  std::size_t size_;
  int hash_bits_;
  int hash_bytes_;
  std::vector<std::uint32_t> head_;    // last position + 1 per hash, 0 = none
  std::vector<std::uint32_t> chain_;   // previous position + 1 with the same hash
  std::vector<std::uint32_t> pair_;    // last position + 1 per two-byte value
  std::vector<std::uint32_t> triple_;  // last position + 1 per three-byte hash (four-byte chains only)
};

}  // namespace sfx::encode
