// A one-line progress bar on the standard error stream for the packer's
// progress reports, shown only when that stream is a terminal, so that logs
// and pipes stay clean.
#pragma once

#include <cstdint>

#include "packer/sfxpack.h"

namespace sfxpack {

// Draws "label [#####.....]  50%" for the current stage of a packer call.
class ProgressMeter {
 public:
  ProgressMeter();
  ~ProgressMeter();
  ProgressMeter(const ProgressMeter&) = delete;
  ProgressMeter& operator=(const ProgressMeter&) = delete;

  // Redraws the bar when the percentage moves; a new stage ends the line of
  // the previous one and starts its own, labelled "compressing", "decoding"
  // or "writing".
  void Update(sfx::ProgressStage stage, std::uint64_t done, std::uint64_t total);

  // Ends the line, if one is drawn (also done by the destructor). Call it
  // before anything else is written to the standard error stream.
  void Finish();

  // A report function that updates this meter, for the packer's calls.
  sfx::ProgressReport Report() {
    return [this](sfx::ProgressStage stage, std::uint64_t done, std::uint64_t total) { Update(stage, done, total); };
  }

 private:
  bool enabled_;
  bool drawn_ = false;
  bool has_stage_ = false;
  sfx::ProgressStage stage_ = sfx::ProgressStage::kCompressing;
  int last_percent_ = -1;
};

}  // namespace sfxpack
