// Terminal progress bar. The terminal test is the only platform-specific
// call: _isatty on Windows (from <io.h>, no <windows.h> needed), isatty
// elsewhere.
#include "packer/progress_meter.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace sfx {

namespace {

constexpr int kBarWidth = 30;

}  // namespace

bool StderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(fileno(stderr)) != 0;
#endif
}

ProgressMeter::ProgressMeter(std::string label, std::uint64_t total)
    : label_(std::move(label)), total_(total), enabled_(StderrIsTerminal()) {}

ProgressMeter::~ProgressMeter() { Finish(); }

void ProgressMeter::Update(std::uint64_t done) {
  if (!enabled_) return;
  if (done > total_) done = total_;
  const int percent = total_ == 0 ? 100 : static_cast<int>(done * 100 / total_);
  if (percent == last_percent_) return;
  last_percent_ = percent;
  char bar[kBarWidth + 1];
  const int filled = percent * kBarWidth / 100;
  for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kBarWidth] = '\0';
  std::fprintf(stderr, "\r%s [%s] %3d%%", label_.c_str(), bar, percent);
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressMeter::Finish() {
  if (!drawn_) return;
  std::fputc('\n', stderr);
  std::fflush(stderr);
  drawn_ = false;
}

}  // namespace sfx
