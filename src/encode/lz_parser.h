// LZ parsing of a stretch of input into tokens: greedy or lazy matching for
// the fast levels, a price-driven shortest-path parse for the best ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "encode/lz_counts.h"
#include "encode/lz_token.h"
#include "encode/match_finder.h"
#include "encode/match_history.h"
#include "encode/match_tree.h"

namespace sfx::encode {

// How a parse picks its matches.
enum class ParseStrategy {
  kGreedy,   // the best match at each position
  kLazy,     // a literal first when the next position has a clearly better match
  kOptimal,  // the cheapest path under bit prices, refined over `passes` rounds
};

// Search effort and parse strategy of one compression level.
struct LevelParams {
  int max_chain;       // candidates looked at per position
  std::uint32_t nice;  // a match this long is taken without looking further
  ParseStrategy strategy;
  int hash_bits;
  int hash_bytes = 4;          // 3 or 4: bytes the match finder's chains are keyed on
  int passes = 1;              // optimal parse: price refinement rounds
  bool sparse_insert = false;  // fastest level: skip indexing the inside of long matches, no two-byte matches
  std::uint32_t good = 0;      // lazy: a match this long is taken without looking one byte ahead
  bool skip_literals = false;  // greedy: search less often inside long literal stretches
  int chain_bits = 20;         // log2 of the hash chains' reach (20 = the whole window, 0 = no chains)
  int tree_depth = 0;          // optimal parse: nodes a MatchTree walk visits (0 = hash chains instead)
};

LevelParams ParamsForLevel(int level);

// Bit prices (in 1/16 bit) of the LZ alphabets for the optimal parse.
struct LzPrices {
  std::uint32_t literal[kLiteralSymbols];
  std::uint32_t distance[kDistanceSymbols];
  std::uint32_t repeat[kRepeatSymbols];

  // Prices from counts with a little weight on unseen symbols.
  void FromCounts(const LzCounts& counts);
  // A neutral start: eight bits a literal, matches by their extra bits.
  void Initial();
};

// Parses input stretches in order; owns the match finder, which sees every
// position of the input (also those sent as multimedia) so that later
// matches can reach them.
class LzParser {
 public:
  // Positions below `first` are never indexed: a parser that starts inside
  // the input sees matches from `first` on (the window before its stretch).
  LzParser(const std::uint8_t* data, std::size_t size, const LevelParams& params, std::uint32_t first = 0);

  // Parses [begin, end) into `out` (appended), starting from `history`, which
  // is advanced. Matches never reach past `end`. `prices` steers the optimal
  // parse (and is refined by it); other strategies ignore it. Positions are
  // indexed as they are passed; a stretch may be parsed only once. `light`
  // asks the fast strategies for a quick greedy parse (for stretches that
  // will most likely be sent as multimedia).
  void Parse(std::uint32_t begin, std::uint32_t end, MatchHistory& history, LzPrices& prices, std::vector<Token>& out,
             bool light = false);

  // Forgets every indexed position and starts over as if newly made with
  // `first`, keeping the memory (a parser reused for the next segment).
  void Restart(std::uint32_t first);

  // Indexes [begin, end) without parsing it.
  void Skip(std::uint32_t begin, std::uint32_t end);

  // Skip for a stretch of compressed or random data: only the positions'
  // chains learn it, for long matches (the tables of two- and three-byte
  // matches nearby do not), and the tree only every few positions: a later
  // copy of such data is still found, a few bytes into it at most, and a
  // tree walk costs several cache misses a position.
  void SkipIncompressible(std::uint32_t begin, std::uint32_t end);

 private:
  void ParseFast(const LevelParams& params, std::uint32_t begin, std::uint32_t end, MatchHistory& history,
                 std::vector<Token>& out);
  void ParseOptimal(std::uint32_t begin, std::uint32_t end, MatchHistory& history, LzPrices& prices,
                    std::vector<Token>& out);
  void IndexUpTo(std::uint32_t pos);

  const std::uint8_t* data_;
  LevelParams params_;
  MatchFinder finder_;
  std::unique_ptr<MatchTree> tree_;  // the long matches of the optimal parse, when params_.tree_depth > 0
  std::uint32_t indexed_ = 0;        // positions below this are in the finder

  // Cheapest known way to reach a position in the optimal parse.
  // The step into a node is `token`, preceded by `leads` tokens (a match
  // and a literal, when the step resumes that match's distance after one
  // differing byte).
  struct Node {
    std::uint32_t cost;
    std::uint32_t from;
    Token token;
    std::uint8_t leads;
    Token lead[2];
    MatchHistory history;
  };

  // Optimal parse scratch, kept between calls to avoid reallocation.
  std::vector<Node> nodes_;
  std::vector<std::uint32_t> match_start_;
  std::vector<Match> matches_;
  std::vector<std::uint32_t> short_distance_;
};

}  // namespace sfx::encode
