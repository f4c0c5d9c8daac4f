// Terminal progress bar. The terminal test is the only platform-specific
// call: _isatty on Windows (from <io.h>, no <windows.h> needed), isatty
// elsewhere.
#include "progress_meter.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace sfxpack {

namespace {

constexpr int kBarWidth = 30;

bool StderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(fileno(stderr)) != 0;
#endif
}

const char* StageLabel(sfx::ProgressStage stage) {
  switch (stage) {
    case sfx::ProgressStage::kCompressing:
      return "compressing";
    case sfx::ProgressStage::kDecoding:
      return "decoding";
    case sfx::ProgressStage::kWriting:
      return "writing";
  }
  return "working";
}

}  // namespace

ProgressMeter::ProgressMeter() : enabled_(StderrIsTerminal()) {}

ProgressMeter::~ProgressMeter() { Finish(); }

void ProgressMeter::Update(sfx::ProgressStage stage, std::uint64_t done, std::uint64_t total) {
  if (!enabled_) return;
  if (!has_stage_ || stage != stage_) {
    Finish();
    has_stage_ = true;
    stage_ = stage;
    last_percent_ = -1;
  }
  if (done > total) done = total;
  const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
  if (percent == last_percent_) return;
  last_percent_ = percent;
  char bar[kBarWidth + 1];
  const int filled = percent * kBarWidth / 100;
  for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kBarWidth] = '\0';
  std::fprintf(stderr, "\r%s [%s] %3d%%", StageLabel(stage), bar, percent);
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressMeter::Finish() {
  if (!drawn_) return;
  std::fputc('\n', stderr);
  std::fflush(stderr);
  drawn_ = false;
}

}  // namespace sfxpack
