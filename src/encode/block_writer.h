// Writes finished blocks: the code tables built from the block's own symbol
// counts, then the block's symbols, then (when another block follows) the
// symbol that announces new tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "encode/bit_writer.h"
#include "encode/lz_counts.h"
#include "encode/lz_token.h"
#include "encode/table_writer.h"

namespace sfx::encode {

// Writes an LZ block of `tokens` (whose symbols `counts` counted). With
// `followed`, kSymbolNewTables ends the block.
void WriteLzBlock(BitWriter& out, const std::vector<Token>& tokens, const LzCounts& counts, bool followed,
                  TableHistory& history);

// Writes an LZ block that sends `size` bytes as literals only, with codes
// from `counts` (their literal counts); for data that does not repeat
// (compressed or random), where a parse would find nothing to match.
void WriteLiteralBlock(BitWriter& out, const std::uint8_t* bytes, std::size_t size, const LzCounts& counts,
                       bool followed, TableHistory& history);

// Writes a multimedia block of `channels` (1..4) channels whose first delta
// belongs to `start_channel`. With `followed`, kChannelSymbolNewTables of
// the channel after the last delta ends the block.
void WriteMultimediaBlock(BitWriter& out, int channels, int start_channel, const std::vector<std::uint8_t>& deltas,
                          bool followed, TableHistory& history);

}  // namespace sfx::encode
