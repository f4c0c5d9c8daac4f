// LZ parsers (see lz_parser.h).
//
// Fast levels: at each position the best candidate among the recent
// distances, the hash-chain match and a two-byte match is picked by an
// estimated saving (8 bits per byte covered less the match's estimated
// cost); the lazy levels first look one byte further and send a literal when
// the next position offers a clearly better match.
//
// Best levels: all improving matches of every position of the stretch are
// collected once; then a shortest path over the positions (one node per
// position, edges = literal or any match length each form allows, weights =
// bit prices of the current code estimate) picks the parse. Each node keeps
// the decoder's match history of its best path, so recent-distance forms are
// priced along that path. The parse is repeated with prices from its own
// result to let the parse and the code settle on each other.
#include "encode/lz_parser.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace sfx::encode {

LevelParams ParamsForLevel(int level) {
  using enum ParseStrategy;
  // Levels 1 to 9; fields left out keep the defaults of LevelParams.
  static const LevelParams kLevels[9] = {
      {.max_chain = 1,
       .nice = 16,
       .strategy = kGreedy,
       .hash_bits = 16,
       .sparse_insert = true,
       .skip_literals = true,
       .chain_bits = 0},
      {.max_chain = 2, .nice = 24, .strategy = kGreedy, .hash_bits = 16, .skip_literals = true},
      {.max_chain = 4, .nice = 32, .strategy = kGreedy, .hash_bits = 16, .skip_literals = true},
      {.max_chain = 8, .nice = 32, .strategy = kLazy, .hash_bits = 16, .good = 16, .chain_bits = 18},
      {.max_chain = 8, .nice = 48, .strategy = kLazy, .hash_bits = 17, .good = 16, .chain_bits = 19},
      {.max_chain = 12, .nice = 64, .strategy = kLazy, .hash_bits = 17, .good = 24},
      {.max_chain = 0,
       .nice = 128,
       .strategy = kOptimal,
       .hash_bits = 17,
       .hash_bytes = 3,
       .chain_bits = 0,
       .tree_depth = 12},
      {.max_chain = 0,
       .nice = 192,
       .strategy = kOptimal,
       .hash_bits = 17,
       .hash_bytes = 3,
       .passes = 2,
       .chain_bits = 0,
       .tree_depth = 24},
      {.max_chain = 0,
       .nice = 257,
       .strategy = kOptimal,
       .hash_bits = 17,
       .hash_bytes = 3,
       .passes = 3,
       .chain_bits = 0,
       .tree_depth = 48},
  };
  return kLevels[std::clamp(level, 1, 9) - 1];
}

namespace {

constexpr std::uint32_t kInfinity = 0xFFFFFFFFu;
// Recent-distance slots tried after a match and one literal.
constexpr int kResumeSlots = 2;

std::uint32_t DistanceExtraBits(std::uint32_t distance) { return MapDistance(distance).extra_bits; }

// Estimated bits of each match form for the fast parsers.
int EstimateLongBits(std::uint32_t length, std::uint32_t distance) {
  return 12 + static_cast<int>(DistanceExtraBits(distance)) + (length > 10 ? 2 : 0);
}
int EstimateRecentBits(int slot) { return 7 + slot; }
int EstimateShortBits(std::uint32_t distance) { return 7 + MapShortDistance(distance).extra_bits; }
constexpr int kRepeatPreviousBits = 6;

// A candidate match with its form and estimated saving in bits.
struct Candidate {
  Token token{0, 0, TokenKind::kLiteral, 0};
  int score = 0;  // 8 × length − estimated bits; a literal scores 0
};

bool UsableDistance(std::uint32_t distance, std::uint32_t pos) {
  return distance != 0 && distance <= pos && distance <= kMaxDistance;
}

// Whether recent-distance slot k is worth trying at `pos`: its distance is
// usable there and no nearer slot holds the same distance.
bool UsableRecentSlot(const MatchHistory& history, int k, std::uint32_t pos) {
  const std::uint32_t d = history.Recent(k);
  if (!UsableDistance(d, pos)) return false;
  for (int j = 0; j < k; ++j) {
    if (history.Recent(j) == d) return false;
  }
  return true;
}

// Cuts improving matches (increasing lengths) back to `max_len`: the first
// that reaches it becomes the last. Returns the new count.
int ClipMatches(Match* found, int count, std::uint32_t max_len) {
  for (int k = 0; k < count; ++k) {
    if (found[k].length >= max_len) {
      found[k].length = max_len;
      const bool keep =
          found[k].length >= MinLongLength(found[k].distance) && (k == 0 || found[k - 1].length < max_len);
      return keep ? k + 1 : k;
    }
  }
  return count;
}

}  // namespace

void LzPrices::FromCounts(const LzCounts& counts) {
  auto fill = [](const std::uint32_t* c, int n, std::uint32_t* out) {
    double total = 0;
    for (int i = 0; i < n; ++i) total += c[i];
    total += 0.5 * n;
    for (int i = 0; i < n; ++i) {
      const double bits = std::log2(total / (c[i] + 0.5));
      out[i] = static_cast<std::uint32_t>(std::min(bits, 18.0) * 16.0 + 0.5);
    }
  };
  fill(counts.literal, kLiteralSymbols, literal);
  fill(counts.distance, kDistanceSymbols, distance);
  fill(counts.repeat, kRepeatSymbols, repeat);
}

void LzPrices::Initial() {
  for (int i = 0; i < kLiteralSymbols; ++i) literal[i] = 8 * 16;
  literal[kSymbolRepeatPrevious] = 7 * 16;
  for (int i = kSymbolFirstRecent; i < kSymbolFirstShort; ++i) literal[i] = 6 * 16;
  for (int i = kSymbolFirstShort; i < kSymbolNewTables; ++i) literal[i] = 8 * 16;
  literal[kSymbolNewTables] = 15 * 16;
  for (int i = kSymbolFirstLong; i < kLiteralSymbols; ++i)
    literal[i] = static_cast<std::uint32_t>((6 + (i - kSymbolFirstLong) / 6) * 16);
  for (int i = 0; i < kDistanceSymbols; ++i) distance[i] = 5 * 16;
  for (int i = 0; i < kRepeatSymbols; ++i) repeat[i] = static_cast<std::uint32_t>((2 + i / 4) * 16);
}

LzParser::LzParser(const std::uint8_t* data, std::size_t size, const LevelParams& params, std::uint32_t first)
    : data_(data),
      params_(params),
      finder_(data, size, params.hash_bits, params.hash_bytes, params.chain_bits, !params.sparse_insert),
      tree_(params.tree_depth > 0 ? std::make_unique<MatchTree>(data, size, params.hash_bits) : nullptr),
      indexed_(first) {}

void LzParser::Restart(std::uint32_t first) {
  finder_.Clear();
  if (tree_) tree_->Clear();
  indexed_ = first;
}

void LzParser::SkipIncompressible(std::uint32_t begin, std::uint32_t end) {
  constexpr std::uint32_t kTreeStep = 4;
  IndexUpTo(begin);
  if (indexed_ >= end) return;
  if (tree_) {
    for (std::uint32_t pos = indexed_; pos < end; ++pos) {
      if (pos % kTreeStep == 0) tree_->Insert(pos, kMaxMatch, params_.tree_depth, params_.nice);
    }
  }
  finder_.InsertRange(indexed_, end, true);
  indexed_ = end;
}

void LzParser::IndexUpTo(std::uint32_t pos) {
  if (tree_) {
    for (; indexed_ < pos; ++indexed_) {
      finder_.Insert(indexed_);
      tree_->Insert(indexed_, kMaxMatch, params_.tree_depth, params_.nice);
    }
  }
  if (indexed_ < pos) finder_.InsertRange(indexed_, pos);
  indexed_ = std::max(indexed_, pos);
}

void LzParser::Skip(std::uint32_t begin, std::uint32_t end) {
  IndexUpTo(begin);
  IndexUpTo(end);
}

void LzParser::Parse(std::uint32_t begin, std::uint32_t end, MatchHistory& history, LzPrices& prices,
                     std::vector<Token>& out, bool light) {
  IndexUpTo(begin);
  if (params_.strategy == ParseStrategy::kOptimal) {
    ParseOptimal(begin, end, history, prices, out);
  } else if (light) {
    // Greedy with a short search: enough to tell whether LZ can compete.
    LevelParams p = params_;
    p.max_chain = std::min(p.max_chain, 2);
    p.nice = std::min<std::uint32_t>(p.nice, 32);
    p.strategy = ParseStrategy::kGreedy;
    p.skip_literals = true;
    ParseFast(p, begin, end, history, out);
  } else {
    ParseFast(params_, begin, end, history, out);
  }
  IndexUpTo(end);
}

void LzParser::ParseFast(const LevelParams& params, std::uint32_t begin, std::uint32_t end, MatchHistory& history,
                         std::vector<Token>& out) {
  const int recent_slots = params.sparse_insert ? 1 : kRecentDistances;
  auto best_at = [&](std::uint32_t pos) {
    Candidate best;
    const std::uint32_t max_len = std::min<std::uint32_t>(kMaxMatch, end - pos);
    if (max_len < 2) return best;
    auto offer = [&](TokenKind kind, std::uint32_t length, std::uint32_t distance, int slot, int bits) {
      const int score = 8 * static_cast<int>(length) - bits;
      if (score > best.score) {
        best.score = score;
        best.token = {distance, static_cast<std::uint16_t>(length), kind, static_cast<std::uint8_t>(slot)};
      }
    };
    for (int k = 0; k < recent_slots; ++k) {
      if (!UsableRecentSlot(history, k, pos)) continue;
      const std::uint32_t d = history.Recent(k);
      const std::uint32_t len = finder_.CommonLength(pos - d, pos, max_len);
      if (k == 0 && history.prev_length >= 2 && len >= history.prev_length) {
        offer(TokenKind::kRepeatPrevious, history.prev_length, d, 0, kRepeatPreviousBits);
      }
      if (len >= MinRecentLength(d)) offer(TokenKind::kRecent, len, d, k, EstimateRecentBits(k));
    }
    if (max_len >= 3 && best.token.length < params.nice) {
      const Match m = finder_.Longest(pos, max_len, params.max_chain, params.nice);
      if (m.length >= 3) offer(TokenKind::kLong, m.length, m.distance, 0, EstimateLongBits(m.length, m.distance));
    }
    if (best.token.length < 3 && !params.sparse_insert) {
      const std::uint32_t d = finder_.ShortDistance(pos);
      if (d != 0) offer(TokenKind::kShort, 2, d, 0, EstimateShortBits(d));
    }
    return best;
  };

  std::uint32_t pos = begin;
  bool have_next = false;
  Candidate cur;
  std::uint32_t misses = 0;  // searches in a row that found nothing
  while (pos < end) {
    if (params.skip_literals && misses > 32) {
      // Inside a long stretch without matches (compressed or random data)
      // search only every few positions; the bytes between go out as
      // literals and are not indexed.
      const std::uint32_t step = std::min<std::uint32_t>((misses - 32) / 16 + 1, 8);
      for (std::uint32_t k = 1; k < step && pos + 1 < end; ++k) {
        out.push_back({0, 1, TokenKind::kLiteral, data_[pos]});
        ++pos;
      }
      indexed_ = std::max(indexed_, pos);
    }
    IndexUpTo(pos);
    if (!have_next) cur = best_at(pos);
    have_next = false;
    misses = cur.score > 0 ? 0 : misses + 1;
    if (cur.score > 0 && params.strategy == ParseStrategy::kLazy && cur.token.length < params.good && pos + 1 < end) {
      IndexUpTo(pos + 1);
      const Candidate next = best_at(pos + 1);
      // The literal sent first costs about 8 bits; the later match must
      // save more than that to be worth the detour.
      if (next.score > cur.score + 8) {
        out.push_back({0, 1, TokenKind::kLiteral, data_[pos]});
        ++pos;
        cur = next;
        have_next = true;
        continue;
      }
    }
    if (cur.score <= 0) {
      out.push_back({0, 1, TokenKind::kLiteral, data_[pos]});
      ++pos;
      continue;
    }
    out.push_back(cur.token);
    history.Push(cur.token.length, cur.token.distance);
    const std::uint32_t next_pos = pos + cur.token.length;
    if (params.sparse_insert && cur.token.length > 8) {
      // Fastest level: index only the head and tail of a long match.
      IndexUpTo(pos + 4);
      indexed_ = std::max(indexed_, next_pos - 4);
    }
    pos = next_pos;
  }
}

void LzParser::ParseOptimal(std::uint32_t begin, std::uint32_t end, MatchHistory& history, LzPrices& prices,
                            std::vector<Token>& out) {
  const std::uint32_t n = end - begin;
  match_start_.assign(n + 1, 0);
  short_distance_.assign(n, 0);
  matches_.clear();
  Match found[kMaxMatch + 1];
  std::uint32_t skip_until = begin;
  for (std::uint32_t p = begin; p < end; ++p) {
    IndexUpTo(p);
    match_start_[p - begin] = static_cast<std::uint32_t>(matches_.size());
    short_distance_[p - begin] = finder_.ShortDistance(p);
    if (p >= skip_until) {
      const std::uint32_t max_len = std::min<std::uint32_t>(kMaxMatch, end - p);
      int count;
      if (tree_) {
        // The tree orders by bytes past the stretch's end too (the same
        // length for every position); matches are cut back to the stretch.
        finder_.Insert(p);
        count = ClipMatches(found, tree_->Find(p, kMaxMatch, params_.tree_depth, params_.nice, found), max_len);
        indexed_ = p + 1;
      } else {
        count = finder_.AllMatches(p, max_len, params_.max_chain, params_.nice, found);
      }
      matches_.insert(matches_.end(), found, found + count);
      // A very long match is taken as it is: positions inside it are only
      // indexed, which keeps long runs from costing quadratic time.
      if (count > 0 && found[count - 1].length >= params_.nice) skip_until = p + found[count - 1].length;
    }
  }
  match_start_[n] = static_cast<std::uint32_t>(matches_.size());
  IndexUpTo(end);

  nodes_.resize(n + 1);
  std::vector<Token> tokens;
  // Price of each length value with its extra bits, per match form, under
  // the current prices (refreshed each pass).
  std::uint32_t long_length_price[kMaxLengthValue + 1];
  std::uint32_t recent_length_price[kMaxLengthValue + 1];
  for (int pass = 0; pass < params_.passes; ++pass) {
    for (std::uint32_t v = 0; v <= kMaxLengthValue; ++v) {
      const LengthCode lc = MapLengthValue(v);
      long_length_price[v] = prices.literal[kSymbolFirstLong + lc.code] + 16u * lc.extra_bits;
      recent_length_price[v] = prices.repeat[lc.code] + 16u * lc.extra_bits;
    }
    for (std::uint32_t i = 0; i <= n; ++i) nodes_[i].cost = kInfinity;
    nodes_[0].cost = 0;
    nodes_[0].history = history;
    for (std::uint32_t i = 0; i < n; ++i) {
      const Node& node = nodes_[i];
      if (node.cost == kInfinity) continue;
      const std::uint32_t pos = begin + i;
      const std::uint32_t base = node.cost;
      const MatchHistory h = node.history;
      auto relax = [&](std::uint32_t length, std::uint32_t cost, const Token& token) {
        Node& target = nodes_[i + length];
        if (cost < target.cost) {
          target.cost = cost;
          target.from = i;
          target.token = token;
          target.leads = 0;
          target.history = h;
          if (token.kind != TokenKind::kLiteral) target.history.Push(length, token.distance);
        }
      };
      // A match (`lead`, costing `price` from the start), one differing
      // byte, then the same distance again as the most recent one: a path
      // that the nodes alone cannot see, as the node after the literal may
      // keep a cheaper history without that distance.
      auto resume = [&](std::uint32_t length, std::uint32_t price, const Token& lead) {
        const std::uint32_t j = i + length;  // the differing byte
        if (j + 1 >= n) return;
        const std::uint32_t at = pos + length + 1;
        const std::uint32_t rest = std::min<std::uint32_t>(kMaxMatch, n - j - 1);
        const std::uint8_t byte = data_[pos + length];
        MatchHistory after = h;
        after.Push(length, lead.distance);
        for (int k = 0; k < kResumeSlots; ++k) {
          if (!UsableRecentSlot(after, k, at)) continue;
          const std::uint32_t d = after.Recent(k);
          const std::uint32_t len = finder_.CommonLength(at - d, at, rest);
          if (len < MinRecentLength(d)) continue;
          const std::uint32_t cost = price + prices.literal[byte] + prices.literal[kSymbolFirstRecent + k] +
                                     recent_length_price[len - kRecentMatchBase - RecentLengthBonus(d)];
          Node& target = nodes_[j + 1 + len];
          if (cost >= target.cost) continue;
          target.cost = cost;
          target.from = i;
          target.token = {d, static_cast<std::uint16_t>(len), TokenKind::kRecent, static_cast<std::uint8_t>(k)};
          target.leads = 2;
          target.lead[0] = lead;
          target.lead[1] = {0, 1, TokenKind::kLiteral, byte};
          target.history = after;
          target.history.Push(len, d);
        }
      };
      relax(1, base + prices.literal[data_[pos]], {0, 1, TokenKind::kLiteral, data_[pos]});
      const std::uint32_t max_len = std::min<std::uint32_t>(kMaxMatch, n - i);
      if (max_len < 2) continue;

      if (h.prev_length >= 2 && h.prev_length <= max_len && UsableDistance(h.prev_distance, pos) &&
          finder_.CommonLength(pos - h.prev_distance, pos, h.prev_length) == h.prev_length) {
        relax(h.prev_length, base + prices.literal[kSymbolRepeatPrevious],
              {h.prev_distance, static_cast<std::uint16_t>(h.prev_length), TokenKind::kRepeatPrevious, 0});
      }
      for (int k = 0; k < kRecentDistances; ++k) {
        if (!UsableRecentSlot(h, k, pos)) continue;
        const std::uint32_t d = h.Recent(k);
        const std::uint32_t len = finder_.CommonLength(pos - d, pos, max_len);
        const std::uint32_t bonus = RecentLengthBonus(d);
        const std::uint32_t symbol_price = base + prices.literal[kSymbolFirstRecent + k];
        const std::uint32_t first = len >= params_.nice ? len : MinRecentLength(d);
        for (std::uint32_t l = first; l <= len; ++l) {
          relax(l, symbol_price + recent_length_price[l - kRecentMatchBase - bonus],
                {d, static_cast<std::uint16_t>(l), TokenKind::kRecent, static_cast<std::uint8_t>(k)});
        }
        if (len >= first) {
          resume(len, symbol_price + recent_length_price[len - kRecentMatchBase - bonus],
                 {d, static_cast<std::uint16_t>(len), TokenKind::kRecent, static_cast<std::uint8_t>(k)});
        }
      }
      if (const std::uint32_t d = short_distance_[i]; d != 0) {
        const ShortCode sc = MapShortDistance(d);
        relax(2, base + prices.literal[kSymbolFirstShort + sc.code] + 16u * sc.extra_bits,
              {d, 2, TokenKind::kShort, 0});
      }
      const std::uint32_t m_begin = match_start_[i];
      const std::uint32_t m_end = match_start_[i + 1];
      std::uint32_t covered = 2;
      for (std::uint32_t m = m_begin; m < m_end; ++m) {
        const Match match = matches_[m];
        const std::uint32_t d = match.distance;
        const DistanceCode dc = MapDistance(d);
        const std::uint32_t dist_price = prices.distance[dc.code] + 16u * dc.extra_bits;
        const std::uint32_t bonus = LongLengthBonus(d);
        std::uint32_t first = std::max(covered + 1, MinLongLength(d));
        if (match.length >= params_.nice) first = match.length;
        for (std::uint32_t l = first; l <= match.length; ++l) {
          relax(l, base + long_length_price[l - kLongMatchBase - bonus] + dist_price,
                {d, static_cast<std::uint16_t>(l), TokenKind::kLong, 0});
        }
        covered = std::max(covered, match.length);
        if (match.length >= MinLongLength(d)) {
          resume(match.length, base + long_length_price[match.length - kLongMatchBase - bonus] + dist_price,
                 {d, static_cast<std::uint16_t>(match.length), TokenKind::kLong, 0});
        }
      }
    }
    tokens.clear();
    for (std::uint32_t j = n; j > 0; j = nodes_[j].from) {
      tokens.push_back(nodes_[j].token);
      for (int k = nodes_[j].leads; k > 0; --k) tokens.push_back(nodes_[j].lead[k - 1]);
    }
    std::reverse(tokens.begin(), tokens.end());
    LzCounts counts;
    for (const Token& t : tokens) counts.Add(t);
    prices.FromCounts(counts);
  }
  history = nodes_[n].history;
  out.insert(out.end(), tokens.begin(), tokens.end());
}

}  // namespace sfx::encode
