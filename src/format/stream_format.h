// The compressed stream's alphabets, symbols and code tables, shared by the
// decoder (unpack/) and the encoder (encode/).
//
// A block starts with its code lengths (see the code-length code below),
// then its symbols. In an LZ block each literal-table symbol is a literal
// byte (0..255), a repeat of the previous match (kSymbolRepeatPrevious), a
// match at one of the kRecentDistances most recent distances with a length
// from the repeat table (kSymbolFirstRecent + k, k = 0 the most recent), a
// two-byte match at a short distance (kSymbolFirstShort + short code), new
// code tables (kSymbolNewTables), or a match with a length code and a
// distance-table symbol (kSymbolFirstLong + length code). In a multimedia
// block each channel-table symbol is a delta of the current channel (see
// format/delta_predictor.h) or kChannelSymbolNewTables. Every match, of any form, becomes the most
// recent distance and the previous match.
#pragma once

#include <cstdint>

namespace sfx {

// --- Window ---

// The decoder's window; a match reaches at most this far back.
inline constexpr std::uint32_t kWindowSize = 0x100000;
inline constexpr std::uint32_t kMaxDistance = kWindowSize;

// --- Symbols ---

inline constexpr int kSymbolRepeatPrevious = 256;
inline constexpr int kSymbolFirstRecent = 257;
inline constexpr int kSymbolFirstShort = 261;
inline constexpr int kSymbolNewTables = 269;
inline constexpr int kSymbolFirstLong = 270;
inline constexpr int kChannelSymbolNewTables = 256;

inline constexpr int kRecentDistances = 4;
inline constexpr int kMaxChannels = 4;

// --- Lengths ---

// Length code c stands for the value kLengthBase[c] plus kLengthBits[c]
// extra bits, 0..kMaxLengthValue. A long match is its value plus
// kLongMatchBase bytes long, a recent-distance match its value plus
// kRecentMatchBase, each plus its LongLengthBonus / RecentLengthBonus.
inline constexpr int kLengthCodes = 28;
inline constexpr std::uint32_t kLengthBase[kLengthCodes] = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 12, 14, 16, 20, 24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
inline constexpr std::uint8_t kLengthBits[kLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                                           2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
inline constexpr std::uint32_t kMaxLengthValue =
    kLengthBase[kLengthCodes - 1] + (1u << kLengthBits[kLengthCodes - 1]) - 1;  // 255
inline constexpr std::uint32_t kLongMatchBase = 3;
inline constexpr std::uint32_t kRecentMatchBase = 2;
inline constexpr std::uint32_t kShortMatchLength = 2;

// --- Distances ---

// Distance code d stands for distance - 1 = kDistanceBase[d] plus
// kDistanceBits[d] extra bits.
inline constexpr int kDistanceCodes = 48;
inline constexpr std::uint32_t kDistanceBase[kDistanceCodes] = {
    0,      1,      2,      3,      4,      6,      8,      12,     16,     24,     32,     48,
    64,     96,     128,    192,    256,    384,    512,    768,    1024,   1536,   2048,   3072,
    4096,   6144,   8192,   12288,  16384,  24576,  32768,  49152,  65536,  98304,  131072, 196608,
    262144, 327680, 393216, 458752, 524288, 589824, 655360, 720896, 786432, 851968, 917504, 983040};
inline constexpr std::uint8_t kDistanceBits[kDistanceCodes] = {
    0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,  7,  7,  8,  8,  9,  9,  10, 10,
    11, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};

// Short code c (symbol kSymbolFirstShort + c) stands for distance - 1 =
// kShortBase[c] plus kShortBits[c] extra bits, distances 1..kMaxShortDistance.
inline constexpr int kShortCodes = 8;
inline constexpr std::uint32_t kShortBase[kShortCodes] = {0, 4, 8, 16, 32, 64, 128, 192};
inline constexpr std::uint8_t kShortBits[kShortCodes] = {2, 2, 3, 4, 5, 6, 6, 6};
inline constexpr std::uint32_t kMaxShortDistance =
    kShortBase[kShortCodes - 1] + (1u << kShortBits[kShortCodes - 1]);  // 256

// --- Length bonuses at long distances ---

// A long match at kBonusDistanceMid or farther is one byte longer than its
// length code says, and one more at kBonusDistanceFar or farther. A
// recent-distance match gains those bytes and one more from
// kBonusDistanceNear on.
inline constexpr std::uint32_t kBonusDistanceNear = 0x101;
inline constexpr std::uint32_t kBonusDistanceMid = 0x2000;
inline constexpr std::uint32_t kBonusDistanceFar = 0x40000;

constexpr std::uint32_t LongLengthBonus(std::uint32_t distance) {
  return (distance >= kBonusDistanceMid ? 1u : 0u) + (distance >= kBonusDistanceFar ? 1u : 0u);
}

constexpr std::uint32_t RecentLengthBonus(std::uint32_t distance) {
  return (distance >= kBonusDistanceNear ? 1u : 0u) + LongLengthBonus(distance);
}

// --- Alphabets and code tables of a block ---

inline constexpr int kLiteralSymbols = kSymbolFirstLong + kLengthCodes;  // 298
inline constexpr int kDistanceSymbols = kDistanceCodes;                  // 48
inline constexpr int kRepeatSymbols = kLengthCodes;                      // 28
inline constexpr int kChannelSymbols = 257;                              // deltas 0..255 and new tables
// Code lengths that an LZ block carries (literal, distance, repeat code)
// and the most that any block carries (kChannelSymbols per channel).
inline constexpr int kLzTableSize = kLiteralSymbols + kDistanceSymbols + kRepeatSymbols;  // 374
inline constexpr int kMaxTableSize = kMaxChannels * kChannelSymbols;                      // 1028
inline constexpr int kMaxCodeBits = 15;

// --- The code-length code ---

// A block header is a multimedia flag bit, a keep flag bit (the lengths are
// added mod 16 to those of the previous table read) and, for multimedia,
// two bits of channel count - 1. Then come kBitLengthSymbols lengths of
// kBitLengthFieldBits bits each for the code-length code, and the block's
// code lengths in that code: a symbol 0..15 is a length (or a difference),
// and the three runs below stand for several lengths. Runs always give
// new absolute lengths, also when the keep flag is set.
inline constexpr int kBitLengthSymbols = 19;
inline constexpr int kBitLengthFieldBits = 4;

// A run symbol of the code-length code, followed by extra_bits bits of run
// count - min_count.
struct CodeLengthRun {
  int symbol;
  int extra_bits;
  int min_count;
  constexpr int MaxCount() const { return min_count + (1 << extra_bits) - 1; }
};

// The previous new length 3..6 times (a length of 0 at the first position).
inline constexpr CodeLengthRun kRepeatRun{16, 2, 3};
// 3..10 zero lengths.
inline constexpr CodeLengthRun kShortZeroRun{17, 3, 3};
// 11..138 zero lengths.
inline constexpr CodeLengthRun kLongZeroRun{18, 7, 11};

}  // namespace sfx
