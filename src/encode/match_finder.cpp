// Hash-chain match finder (see match_finder.h).
#include "encode/match_finder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "encode/stream_symbols.h"

namespace sfx::encode {
namespace {

constexpr int kTripleBits = 14;
// Three-byte matches exist only below this distance (from there on a long
// match is at least four bytes, see MinLongLength).
constexpr std::uint32_t kTripleReach = kBonusDistanceMid;

std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

MatchFinder::MatchFinder(const std::uint8_t* data, std::size_t size, int hash_bits, int hash_bytes, int chain_bits,
                         bool pairs)
    : chain_slots_(chain_bits == 0 ? 0 : std::uint32_t{1} << chain_bits),
      chain_mask_(chain_slots_ == 0 ? 0 : chain_slots_ - 1),
      // Without chains only the heads are followed, and they may be anywhere
      // in the window.
      reach_(chain_bits == 0 ? kMaxDistance : std::min(chain_slots_, kMaxDistance)),
      data_(data),
      size_(size),
      hash_bits_(hash_bits),
      hash_bytes_(hash_bytes),
      head_(std::size_t{1} << hash_bits, 0),
      chain_(chain_slots_ == 0     ? 0
             : size > chain_slots_ ? chain_slots_
                                   : size + 1,
             0),
      pair_(pairs ? 65536 : 0, 0),
      triple_(hash_bytes == 4 ? std::size_t{1} << kTripleBits : 0, 0) {}

std::uint32_t MatchFinder::Hash3(std::uint32_t pos) const {
  const std::uint32_t v = (static_cast<std::uint32_t>(data_[pos]) << 16) |
                          (static_cast<std::uint32_t>(data_[pos + 1]) << 8) | data_[pos + 2];
  return v * 2654435761u;
}

std::uint32_t MatchFinder::ChainHash(std::uint32_t pos) const {
  if (hash_bytes_ == 3) return Hash3(pos) >> (32 - hash_bits_);
  std::uint32_t v;
  std::memcpy(&v, data_ + pos, sizeof v);
  return (v * 2654435761u) >> (32 - hash_bits_);
}

void MatchFinder::Clear() {
  // Chain slots are written when their position is inserted, and only
  // inserted positions are reachable from the heads.
  std::fill(head_.begin(), head_.end(), 0);
  std::fill(pair_.begin(), pair_.end(), 0);
  std::fill(triple_.begin(), triple_.end(), 0);
}

void MatchFinder::Insert(std::uint32_t pos) {
  if (pos + 1 < size_ && !pair_.empty())
    pair_[(static_cast<std::uint32_t>(data_[pos]) << 8) | data_[pos + 1]] = pos + 1;
  if (pos + 2 >= size_) return;
  if (hash_bytes_ == 4) {
    triple_[Hash3(pos) >> (32 - kTripleBits)] = pos + 1;
    if (pos + 3 >= size_) return;
  }
  const std::uint32_t h = ChainHash(pos);
  if (!chain_.empty()) chain_[pos & chain_mask_] = head_[h];
  head_[h] = pos + 1;
}

void MatchFinder::InsertRange(std::uint32_t begin, std::uint32_t end, bool chains_only) {
  // Positions whose four bytes all lie inside the data take the plain path
  // without the end tests; the last few go through Insert.
  const std::uint32_t safe_end = size_ >= 4 ? static_cast<std::uint32_t>(std::min<std::size_t>(end, size_ - 3)) : 0;
  std::uint32_t pos = begin;
  const int shift = 32 - hash_bits_;
  const bool pairs = !pair_.empty() && !chains_only, chains = !chain_.empty();
  const bool triples = hash_bytes_ == 4 && !chains_only;
  for (; pos < safe_end; ++pos) {
    std::uint32_t v;
    std::memcpy(&v, data_ + pos, sizeof v);
    if (pairs) pair_[(static_cast<std::uint32_t>(data_[pos]) << 8) | data_[pos + 1]] = pos + 1;
    if (triples) triple_[Hash3(pos) >> (32 - kTripleBits)] = pos + 1;
    const std::uint32_t h = hash_bytes_ == 3 ? Hash3(pos) >> shift : (v * 2654435761u) >> shift;
    if (chains) chain_[pos & chain_mask_] = head_[h];
    head_[h] = pos + 1;
  }
  for (; pos < end; ++pos) Insert(pos);
}

Match MatchFinder::NearTriple(std::uint32_t pos, std::uint32_t max_length) const {
  if (hash_bytes_ != 4 || pos + 2 >= size_) return {0, 0};
  const std::uint32_t last = triple_[Hash3(pos) >> (32 - kTripleBits)];
  if (last == 0 || last - 1 >= pos) return {0, 0};
  const std::uint32_t distance = pos - (last - 1);
  if (distance >= kTripleReach) return {0, 0};
  const std::uint32_t len = CommonLength(last - 1, pos, max_length);
  return len >= 3 ? Match{len, distance} : Match{0, 0};
}

std::uint32_t MatchFinder::CommonLength(std::size_t a, std::size_t b, std::uint32_t limit) const {
  std::uint32_t n = 0;
  // Eight bytes at a time while both runs have eight bytes left within the
  // limit; the caller's limit never passes the end of the data.
  while (n + 8 <= limit) {
    const std::uint64_t x = Load64(data_ + a + n) ^ Load64(data_ + b + n);
    if (x != 0) {
      if constexpr (std::endian::native == std::endian::little) {
        return n + static_cast<std::uint32_t>(std::countr_zero(x)) / 8;
      } else {
        return n + static_cast<std::uint32_t>(std::countl_zero(x)) / 8;
      }
    }
    n += 8;
  }
  while (n < limit && data_[a + n] == data_[b + n]) ++n;
  return n;
}

template <class Visit>
void MatchFinder::ForEachCandidate(std::uint32_t pos, int max_chain, Visit&& visit) const {
  std::uint32_t cand = head_[ChainHash(pos)];
  for (int steps = 0; cand != 0 && steps < max_chain; ++steps) {
    const std::uint32_t c = cand - 1;
    const std::uint32_t distance = pos - c;
    if (c >= pos || distance > reach_) break;
    // Read the next link before comparing: both loads usually miss the
    // cache, and issued together their latencies overlap.
    const std::uint32_t next = steps + 1 < max_chain && !chain_.empty() ? chain_[c & chain_mask_] : 0;
    if (!visit(c, distance)) break;
    cand = next;
  }
}

Match MatchFinder::Longest(std::uint32_t pos, std::uint32_t max_length, int max_chain, std::uint32_t nice) const {
  if (pos + 2 >= size_ || max_length < 3) return {0, 0};
  Match best = NearTriple(pos, max_length);
  if (best.length >= nice || best.length >= max_length || pos + 3 >= size_) return best;
  ForEachCandidate(pos, max_chain, [&](std::uint32_t c, std::uint32_t distance) {
    // Cheap rejection: the byte that would make this match longer (inside
    // the data, since best.length stays below max_length).
    if (best.length != 0 && data_[c + best.length] != data_[pos + best.length]) return true;
    const std::uint32_t len = CommonLength(c, pos, max_length);
    if (len <= best.length || len < MinLongLength(distance)) return true;
    best = {len, distance};
    return len < nice && len < max_length;
  });
  return best;
}

int MatchFinder::AllMatches(std::uint32_t pos, std::uint32_t max_length, int max_chain, std::uint32_t nice,
                            Match* out) const {
  int count = 0;
  if (pos + 2 >= size_ || max_length < 3) return 0;
  std::uint32_t best = 2;
  if (const Match near = NearTriple(pos, max_length); near.length >= 3) {
    out[count++] = near;
    best = near.length;
    if (best >= nice || best >= max_length) return count;
  }
  if (hash_bytes_ == 4 && pos + 3 >= size_) return count;
  ForEachCandidate(pos, max_chain, [&](std::uint32_t c, std::uint32_t distance) {
    if (data_[c + best] != data_[pos + best]) return true;
    const std::uint32_t len = CommonLength(c, pos, max_length);
    if (len <= best || len < MinLongLength(distance)) return true;
    best = len;
    out[count++] = {len, distance};
    return len < nice && len < max_length;
  });
  return count;
}

std::uint32_t MatchFinder::ShortDistance(std::uint32_t pos) const {
  if (pos + 1 >= size_ || pair_.empty()) return 0;
  const std::uint32_t last = pair_[(static_cast<std::uint32_t>(data_[pos]) << 8) | data_[pos + 1]];
  if (last == 0) return 0;
  const std::uint32_t distance = pos - (last - 1);
  return distance >= 1 && distance <= kMaxShortDistance && last - 1 < pos ? distance : 0;
}

}  // namespace sfx::encode
