// Code-length table coding (see table_writer.h).
//
// The run decomposition is chosen by a shortest-path search over the length
// positions (a position moves on by one symbol 0..15, by a zero run
// kShortZeroRun / kLongZeroRun or by a repeat run kRepeatRun), priced first with a flat guess and then with the code
// built from the first plan. The second plan is coded with the code built
// from its own counts, so every symbol it uses has a code. Both the absolute
// and, where the previous read allows it, the kept form are planned and the
// smaller one is written.
#include "encode/table_writer.h"

#include <algorithm>
#include <array>
#include <vector>

#include "encode/prefix_code.h"
#include "format/stream_format.h"

namespace sfx::encode {
namespace {

constexpr int kHeaderLengthBits = kBitLengthSymbols * kBitLengthFieldBits;

// One coded item of the length sequence.
struct LengthItem {
  std::uint8_t symbol;
  std::uint8_t extra;  // run count less its minimum
};

struct LengthPlan {
  std::vector<LengthItem> items;
  std::uint8_t code_lengths[kBitLengthSymbols] = {};
  std::uint32_t bits = 0;  // everything after the block header bits
};

constexpr int ExtraBits(int symbol) {
  for (const CodeLengthRun& run : {kRepeatRun, kShortZeroRun, kLongZeroRun}) {
    if (symbol == run.symbol) return run.extra_bits;
  }
  return 0;
}

// Cheapest item sequence for the lengths under the given symbol prices.
std::vector<LengthItem> PlanItems(const std::uint8_t* lengths, const std::uint8_t* previous, int size,
                                  const std::array<std::uint32_t, kBitLengthSymbols>& price) {
  std::vector<std::uint32_t> zero_run(static_cast<std::size_t>(size) + 1, 0);
  std::vector<std::uint32_t> same_run(static_cast<std::size_t>(size) + 1, 0);
  for (int i = size - 1; i >= 0; --i) {
    zero_run[static_cast<std::size_t>(i)] = lengths[i] == 0 ? zero_run[static_cast<std::size_t>(i) + 1] + 1 : 0;
  }
  // same_run[i]: how many lengths from i on equal lengths[i - 1].
  for (int i = size - 1; i >= 1; --i) {
    same_run[static_cast<std::size_t>(i)] =
        lengths[i] == lengths[i - 1]
            ? (i + 1 < size && lengths[i + 1] == lengths[i] ? same_run[static_cast<std::size_t>(i) + 1] : 0) + 1
            : 0;
  }
  constexpr std::uint32_t kInf = 0xFFFFFFFFu;
  std::vector<std::uint32_t> cost(static_cast<std::size_t>(size) + 1, kInf);
  std::vector<LengthItem> via(static_cast<std::size_t>(size) + 1);
  std::vector<int> from(static_cast<std::size_t>(size) + 1, 0);
  cost[0] = 0;
  auto relax = [&](int i, int j, LengthItem item, std::uint32_t c) {
    if (price[item.symbol] == kInf) return;
    const std::uint32_t total = cost[static_cast<std::size_t>(i)] + c;
    if (total < cost[static_cast<std::size_t>(j)]) {
      cost[static_cast<std::size_t>(j)] = total;
      via[static_cast<std::size_t>(j)] = item;
      from[static_cast<std::size_t>(j)] = i;
    }
  };
  // Every run of `run` from position i that `available` lengths allow.
  auto relax_runs = [&](int i, const CodeLengthRun& run, int available) {
    const std::uint32_t run_price =
        price[static_cast<std::size_t>(run.symbol)] + static_cast<std::uint32_t>(run.extra_bits);
    for (int r = run.min_count; r <= std::min(available, run.MaxCount()); ++r) {
      relax(i, i + r, {static_cast<std::uint8_t>(run.symbol), static_cast<std::uint8_t>(r - run.min_count)}, run_price);
    }
  };
  for (int i = 0; i < size; ++i) {
    if (cost[static_cast<std::size_t>(i)] == kInf) continue;
    const int single = (lengths[i] - (previous != nullptr ? previous[i] : 0)) & 15;
    relax(i, i + 1, {static_cast<std::uint8_t>(single), 0}, price[static_cast<std::size_t>(single)]);
    const int zeros = static_cast<int>(zero_run[static_cast<std::size_t>(i)]);
    relax_runs(i, kShortZeroRun, zeros);
    relax_runs(i, kLongZeroRun, zeros);
    // A repeat needs a previous new length, so never at position 0.
    const int same = i > 0 ? static_cast<int>(same_run[static_cast<std::size_t>(i)]) : 0;
    relax_runs(i, kRepeatRun, same);
  }
  std::vector<LengthItem> items;
  for (int j = size; j > 0; j = from[static_cast<std::size_t>(j)]) items.push_back(via[static_cast<std::size_t>(j)]);
  std::reverse(items.begin(), items.end());
  return items;
}

LengthPlan Plan(const std::uint8_t* lengths, const std::uint8_t* previous, int size) {
  std::array<std::uint32_t, kBitLengthSymbols> price;
  price.fill(4);
  LengthPlan plan;
  for (int round = 0; round < 2; ++round) {
    plan.items = PlanItems(lengths, previous, size, price);
    std::uint32_t counts[kBitLengthSymbols] = {};
    for (const LengthItem& item : plan.items) ++counts[item.symbol];
    BuildCodeLengths(counts, kMaxCodeBits, plan.code_lengths);
    for (int s = 0; s < kBitLengthSymbols; ++s)
      price[static_cast<std::size_t>(s)] = plan.code_lengths[s] != 0 ? plan.code_lengths[s] : 0xFFFFFFFFu;
  }
  plan.bits = kHeaderLengthBits;
  for (const LengthItem& item : plan.items)
    plan.bits += plan.code_lengths[item.symbol] + static_cast<std::uint32_t>(ExtraBits(item.symbol));
  return plan;
}

int HeaderBits(int channels) { return channels > 0 ? 4 : 2; }

// Plans both forms and returns the cheaper; `keep` tells which.
LengthPlan ChoosePlan(const std::uint8_t* lengths, int size, const TableHistory& history, bool& keep) {
  LengthPlan best = Plan(lengths, nullptr, size);
  keep = false;
  if (history.size >= size) {
    LengthPlan kept = Plan(lengths, history.lengths, size);
    if (kept.bits < best.bits) {
      best = std::move(kept);
      keep = true;
    }
  }
  return best;
}

}  // namespace

void WriteCodeTables(BitWriter& out, int channels, const std::uint8_t* lengths, int size, TableHistory& history) {
  bool keep = false;
  const LengthPlan plan = ChoosePlan(lengths, size, history, keep);
  out.Put(channels > 0 ? 1 : 0, 1);
  out.Put(keep ? 1 : 0, 1);
  if (channels > 0) out.Put(static_cast<std::uint32_t>(channels - 1), 2);
  for (int s = 0; s < kBitLengthSymbols; ++s) out.Put(plan.code_lengths[s], kBitLengthFieldBits);
  std::uint16_t codes[kBitLengthSymbols];
  AssignCanonicalCodes(plan.code_lengths, kBitLengthSymbols, codes);
  for (const LengthItem& item : plan.items) {
    out.Put(codes[item.symbol], plan.code_lengths[item.symbol]);
    out.Put(item.extra, ExtraBits(item.symbol));
  }
  std::copy(lengths, lengths + size, history.lengths);
  history.size = size;
  ++history.reads;
  if (keep) ++history.kept_reads;
}

std::uint32_t CodeTablesCostBits(int channels, const std::uint8_t* lengths, int size, const TableHistory& history) {
  bool keep = false;
  return ChoosePlan(lengths, size, history, keep).bits + static_cast<std::uint32_t>(HeaderBits(channels));
}

}  // namespace sfx::encode
