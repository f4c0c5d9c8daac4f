// A one-line progress bar on the standard error stream, shown only when
// that stream is a terminal, so that logs and pipes stay clean.
#pragma once

#include <cstdint>
#include <string>

namespace sfx {

// Draws "label [#####.....]  50%" and redraws it when the percentage moves.
class ProgressMeter {
 public:
  ProgressMeter(std::string label, std::uint64_t total);
  ~ProgressMeter();
  ProgressMeter(const ProgressMeter&) = delete;
  ProgressMeter& operator=(const ProgressMeter&) = delete;

  void Update(std::uint64_t done);
  // Ends the line (also done by the destructor).
  void Finish();

  bool enabled() const { return enabled_; }

 private:
  std::string label_;
  std::uint64_t total_;
  bool enabled_;
  bool drawn_ = false;
  int last_percent_ = -1;
};

// True when the standard error stream is a terminal.
bool StderrIsTerminal();

}  // namespace sfx
