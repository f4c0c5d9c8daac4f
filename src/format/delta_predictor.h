// The multimedia delta predictor: the one model that the decoder runs to
// turn deltas into bytes and the encoder runs to turn bytes into deltas.
//
// In a multimedia block every byte is sent as a delta: the difference
// between a prediction and the real byte. Bytes are dealt in turn to 1 to
// kMaxChannels channels, each with an adaptive linear predictor over its
// recent deltas and the delta of the byte just before (of any channel).
// Every 32nd byte of a channel, the weight whose step down or up would have
// given the smallest summed error over those 32 bytes moves that step.
// DecodeDelta and EncodeByte advance the model in exactly the same way, so
// an encoder and a decoder that start alike stay alike.
#pragma once

#include <cstddef>
#include <cstdint>

// On x86 the error sums have an SSE2 form. Where the compiler may assume
// SSE2 (x86-64, or i686 with -msse2) it is the only one the decoder uses;
// otherwise (the 32-bit stub, which also runs on processors without SSE2)
// it is compiled for SSE2 function by function and chosen at run time.
#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>
#define SFX_SSE2_PATH 1
#if defined(__SSE2__)
#define SFX_SSE2_TARGET
#else
#define SFX_SSE2_TARGET __attribute__((target("sse2")))
#endif
#else
#define SFX_SSE2_PATH 0
#define SFX_SSE2_TARGET
#endif

#include "format/stream_format.h"

namespace sfx {

// True when the decoder should run the SSE2 form of the predictor: the
// processor has SSE2 and ForcePortablePredictor has not asked otherwise.
bool UseSse2Predictor();

// For tests: makes UseSse2Predictor false (force) or back to the processor's
// answer, so that the portable form is exercised on every machine.
void ForcePortablePredictor(bool force);

// The predictors of all channels and the delta they share.
struct DeltaPredictor {
  static constexpr int kWeights = 5;
  static constexpr int kErrorSums = 2 * kWeights + 1;

  // Adaptive predictor state of one channel.
  struct Channel {
    std::int32_t weights[kWeights] = {};  // w0..w4, each -17..16
    std::int32_t history[4] = {};         // h0: previous delta; h1..h3: changes between deltas
    std::int32_t prev_delta = 0;          // signed 8-bit difference of the last two values
    std::int32_t sample_count = 0;
    std::int32_t prev_value = 0;  // last value, -255..255, not reduced to a byte
    // The error sums, laid out for eight-lane loops: minus[t] and plus[t]
    // collect |D - term t| and |D + term t| for the terms h0..h3 and the
    // shared delta (t = 0..4); lane 5 has a zero term, so minus[5] is the
    // sum of |D|. Lanes 6 and 7 are unused. Sixteen bits are enough: the
    // sums restart every 32 bytes of the channel, and one byte adds at most
    // 1024 + 255 (|D| <= 1024, |term| <= 255), so a sum stays below 40960.
    std::uint16_t minus[8] = {};
    std::uint16_t plus[8] = {};

    // Error sum `index` 0..10 in the model's order: |D|, then |D - term|
    // and |D + term| for each term in turn (weight (index - 1) / 2 steps
    // down for odd, up for even indexes).
    std::uint16_t& ErrorSum(int index) {
      return index == 0 ? minus[5] : index % 2 == 1 ? minus[(index - 1) / 2] : plus[(index - 2) / 2];
    }
    std::uint32_t ErrorSum(int index) const {
      return index == 0 ? minus[5] : index % 2 == 1 ? minus[(index - 1) / 2] : plus[(index - 2) / 2];
    }
  };

  // The byte that `delta` (0..255) gives on `channel`; advances the model.
  // Inline: the decoder runs it for every byte of a multimedia block.
  // This one takes the form the compiler may assume; the decoder's loop
  // takes DecodeDeltaSse2 or DecodeDeltaPortable by UseSse2Predictor.
  std::uint8_t DecodeDelta(int channel, std::uint8_t delta) { return Decode<kAssumeSse2>(channel, delta); }
  std::uint8_t DecodeDeltaPortable(int channel, std::uint8_t delta) { return Decode<false>(channel, delta); }
#if SFX_SSE2_PATH
  SFX_SSE2_TARGET std::uint8_t DecodeDeltaSse2(int channel, std::uint8_t delta) { return Decode<true>(channel, delta); }
#endif

  // The delta that makes DecodeDelta give `byte` on `channel`; advances the
  // model exactly as that DecodeDelta does.
  std::uint8_t EncodeByte(int channel, std::uint8_t byte);

  // EncodeByte over `n` bytes dealt to `channel_count` channels from
  // `channel` on: writes the deltas to `deltas`, adds them to
  // counts[channel][delta] and returns the channel of the byte after the last.
  int EncodeRun(int channel_count, int channel, const std::uint8_t* bytes, std::size_t n, std::uint8_t* deltas,
                std::uint32_t (*counts)[kChannelSymbols]);

  Channel channels[kMaxChannels];
  std::int32_t shared_delta = 0;

 private:
#if defined(__SSE2__)
  static constexpr bool kAssumeSse2 = true;
#else
  static constexpr bool kAssumeSse2 = false;
#endif

  template <bool kSse2>
  std::uint8_t Decode(int channel, std::uint8_t delta) {
    Channel& c = channels[channel];
    ++c.sample_count;
    const std::int32_t step = PredictStep(c, shared_delta);
    const std::int32_t value = ((c.prev_value + step) & 0xFF) - delta;
    // value - prev_value is step - delta modulo 256. Taken from there, the
    // change that the next byte's prediction needs does not wait for the
    // value: the serial chain from one byte to the next is shorter.
    Update<kSse2>(c, shared_delta, delta, value, ByteChange(step - delta));
    return static_cast<std::uint8_t>(value & 0xFF);
  }

  // A difference of values as a signed byte.
  static std::int32_t ByteChange(std::int32_t difference) {
    return static_cast<std::int8_t>(static_cast<std::uint8_t>(difference & 0xFF));
  }

  // Shifts the channel's history and returns the prediction (0..255).
  static std::int32_t Predict(Channel& c, std::int32_t shared_delta) {
    // ((8 x prev_value + weighted) >> 3) & 0xFF, with C++20's arithmetic
    // shift (floor division by 8) on negative numbers. 8 x prev_value is a
    // multiple of 8, so this is (prev_value + (weighted >> 3)) & 0xFF.
    return (c.prev_value + PredictStep(c, shared_delta)) & 0xFF;
  }

  // Shifts the channel's history and returns the weighted sum of the terms
  // divided by 8 (floor): what the prediction adds to the last value.
  static std::int32_t PredictStep(Channel& c, std::int32_t shared_delta) {
    c.history[3] = c.history[2];
    c.history[2] = c.history[1];
    c.history[1] = c.prev_delta - c.history[0];
    c.history[0] = c.prev_delta;
    const std::int32_t weighted = c.weights[0] * c.history[0] + c.weights[1] * c.history[1] +
                                  c.weights[2] * c.history[2] + c.weights[3] * c.history[3] +
                                  c.weights[4] * shared_delta;
    return weighted >> 3;
  }

  // Adds the byte's errors to the sums, records its value and its change
  // from the last value (as a signed byte) and adapts on every 32nd byte.
  template <bool kSse2>
  static void Update(Channel& c, std::int32_t& shared_delta, std::int32_t delta, std::int32_t value,
                     std::int32_t change) {
    const std::int32_t d = static_cast<std::int8_t>(static_cast<std::uint8_t>(delta & 0xFF)) * 8;
#if SFX_SSE2_PATH
    if constexpr (kSse2)
      AddErrorsSse2(c, d, shared_delta);
    else
      AddErrorsPortable(c, d, shared_delta);
#else
    AddErrorsPortable(c, d, shared_delta);
#endif
    c.prev_delta = change;
    shared_delta = change;
    c.prev_value = value;
    if ((c.sample_count & 31) == 0) Adapt(c);
  }

  // Adds |d - term| and |d + term| for the terms h0..h3, the shared delta
  // and zero to the error sums.
  // Only the eleven sums the model reads: lanes 6 and 7, and plus[5], are
  // left alone here (Adapt clears them with the rest).
  static void AddErrorsPortable(Channel& c, std::int32_t d, std::int32_t shared_delta) {
    const std::int32_t terms[5] = {c.history[0], c.history[1], c.history[2], c.history[3], shared_delta};
    for (int t = 0; t < 5; ++t) {
      const std::int32_t minus = d - terms[t], plus = d + terms[t];
      c.minus[t] = static_cast<std::uint16_t>(c.minus[t] + (minus < 0 ? -minus : minus));
      c.plus[t] = static_cast<std::uint16_t>(c.plus[t] + (plus < 0 ? -plus : plus));
    }
    c.minus[5] = static_cast<std::uint16_t>(c.minus[5] + (d < 0 ? -d : d));
  }
#if SFX_SSE2_PATH
  // The same with SSE2, all eight lanes of a kind in one register of
  // 16-bit lanes: the terms packed from 32 bits (they are within +-255, so
  // the saturating pack is exact), |x| as max(x, -x). Unaligned loads and
  // stores. Run only where UseSse2Predictor (or the compiler) says the
  // processor has SSE2.
  SFX_SSE2_TARGET static void AddErrorsSse2(Channel& c, std::int32_t d, std::int32_t shared_delta) {
    const __m128i terms =
        _mm_packs_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c.history)), _mm_cvtsi32_si128(shared_delta));
    const __m128i dv = _mm_set1_epi16(static_cast<short>(d));
    AddAbs(c.minus, _mm_sub_epi16(dv, terms));
    AddAbs(c.plus, _mm_add_epi16(dv, terms));
  }

  // sums[0..7] += |x| lane by lane.
  SFX_SSE2_TARGET static void AddAbs(std::uint16_t* sums, __m128i x) {
    const __m128i abs = _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x));
    __m128i* p = reinterpret_cast<__m128i*>(sums);
    _mm_storeu_si128(p, _mm_add_epi16(_mm_loadu_si128(p), abs));
  }
#endif

  // Moves the weight whose error sum is smallest and restarts the sums.
  static void Adapt(Channel& c);
};

}  // namespace sfx
