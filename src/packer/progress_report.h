// Progress of the packer's long calls (PackFolder, ListPayloadFile,
// ExtractPayloadFile), reported stage by stage so that a tool can show it.
#pragma once

#include <cstdint>
#include <functional>

namespace sfx {

// The part of a call that a progress report is about.
enum class ProgressStage { kCompressing, kDecoding, kWriting };

// Called now and then with the stage, the bytes done in it so far and the
// stage's total.
using ProgressReport = std::function<void(ProgressStage stage, std::uint64_t done, std::uint64_t total)>;

}  // namespace sfx
