// The extraction worker thread.
//
// Road: put the working folder into target_path, find the payload in the
// stub's own image, make the tracker for the progress bar and publish it,
// allocate the image (U bytes), decode the stream into it, check signature,
// header CRC and directory CRC, then walk the directory (image_walk.h).
// Every path stores StubRun::outcome before it ends the dialog: success
// posts WM_COMMAND IDOK; an early finish ends the dialog and posts
// WM_COMMAND IDOK; a fatal error shows a message box owned by the dialog,
// stores -1 and ends the dialog.
// Any payload the stub cannot read (no payload section, an image buffer or decoder
// window that cannot be had, a failed check) is reported as a corrupt
// installer (IDS_CORRUPT_PAYLOAD).
#include "payload/worker/extraction_worker.h"

#include <cstdlib>
#include <cwchar>

#include "payload/crc32.h"
#include "payload/payload_format.h"
#include "payload/worker/file_ops.h"
#include "payload/worker/image_walk.h"
#include "payload/worker/own_payload.h"
#include "payload/worker/progress_tracker.h"
#include "payload/worker/worker_messages.h"
#include "payload/worker/write_entry_file.h"
#include "unpack/unpack.h"
#include "update/update_decision.h"

namespace sfx {
namespace {

// Size of the buffer for one string-table text, terminator included.
constexpr int kStringSize = 256;

void ReportCorruptPayload(StubRun& run) {
  wchar_t text[kStringSize];
  LoadStringW(run.instance, IDS_CORRUPT_PAYLOAD, text, kStringSize);
  ReportFatalError(run, text, kExitCorruptPayload);
}

void ReportWriteFailure(StubRun& run, const wchar_t* target_path) {
  wchar_t message[kFailureMessageSize];
  LoadWriteFailureMessage(run.instance, target_path, message);
  ReportFatalError(run, message, kExitWriteFailed);
}

// Decodes the stream into the image, counting on `tracker`; false when the
// decoder cannot run.
bool DecodeImage(const EmbeddedPayload& payload, std::uint8_t* image, ProgressTracker& tracker) {
  UnpackStatePtr state = NewUnpackState();
  if (!state) return false;
  SetProgressSink(*state, ReportProgressSink, &tracker);
  return UnpackImage(*state, payload.stream, payload.stream + payload.packed_size, image,
                     image + payload.unpacked_size);
}

// Appends at most what still fits into `message` (used units in `*used`).
void AppendBounded(wchar_t* message, std::size_t* used, const wchar_t* text) {
  const std::size_t room = kFailureMessageSize - 1 - *used;
  std::size_t length = std::wcslen(text);
  if (length > room) length = room;
  std::wmemcpy(message + *used, text, length);
  *used += length;
  message[*used] = L'\0';
}

}  // namespace

void ComposeWriteFailureMessage(wchar_t* message, const wchar_t* head, const wchar_t* path, const wchar_t* tail) {
  std::size_t used = 0;
  message[0] = L'\0';
  AppendBounded(message, &used, head);
  AppendBounded(message, &used, path);
  AppendBounded(message, &used, tail);
}

void LoadWriteFailureMessage(HINSTANCE instance, const wchar_t* path, wchar_t* message) {
  wchar_t head[kStringSize];
  wchar_t tail[kStringSize];
  LoadStringW(instance, IDS_COPY_FAILED_HEAD, head, kStringSize);
  LoadStringW(instance, IDS_COPY_FAILED_TAIL, tail, kStringSize);
  ComposeWriteFailureMessage(message, head, path, tail);
}

void ReportFatalError(StubRun& run, const wchar_t* text, StubExitCode failure) {
  MessageBoxW(run.dialog, text, kMessageCaption, MB_OK | MB_ICONERROR);
  run.failure = failure;  // published by the interlocked exchange below
  InterlockedExchange(&run.outcome, -1);
  EndDialog(run.dialog, IDOK);
}

DWORD WINAPI ExtractionWorker(LPVOID run_record) {
  StubRun& run = *static_cast<StubRun*>(run_record);
  wchar_t target_path[kTargetPathSize];
  std::wcscpy(target_path, run.work_folder);  // work_folder is shorter than kTargetPathSize
  const std::size_t name_position = std::wcslen(target_path);
  // Every file and folder is made below the held working folder, never
  // through a link (file_ops.h).
  if (run.work_folder_handle != INVALID_HANDLE_VALUE) SetFileRoot(run.work_folder_handle, run.work_folder);

  EmbeddedPayload payload;
  if (!FindOwnPayload(payload)) {
    ReportCorruptPayload(run);
    return 0;
  }

  ProgressTracker tracker = MakeProgressTracker(payload.unpacked_size, run.progress_bar);

  // A (corrupt) U of 0 still gets a non-empty allocation. U itself is never
  // increased: U + 1 would wrap to 0 in a 32-bit size for U = 0xFFFFFFFF.
  const std::size_t image_size = payload.unpacked_size != 0 ? payload.unpacked_size : 1;
  auto* image = static_cast<std::uint8_t*>(std::malloc(image_size));
  if (image == nullptr || !DecodeImage(payload, image, tracker)) {
    ReportCorruptPayload(run);
    return 0;
  }

  CrcTable table;
  BuildCrcTable(table);
  const PayloadImageView view(image, payload.unpacked_size, table);
  if (view.CheckHeader() != ImageStatus::kOk) {
    ReportCorruptPayload(run);
    return 0;
  }

  switch (WalkImage(view, target_path, name_position, tracker, DecideUpdate, PlatformFileOps(), &run.setup_file)) {
    case WalkResult::kSuccess:
      InterlockedExchange(&run.outcome, 1);
      std::free(image);
      PostMessageW(run.dialog, WM_COMMAND, IDOK, 0);
      return 0;
    case WalkResult::kEarlyFinish:
      InterlockedExchange(&run.outcome, 1);
      std::free(image);
      EndDialog(run.dialog, IDOK);
      PostMessageW(run.dialog, WM_COMMAND, IDOK, 0);
      return 0;
    case WalkResult::kCorrupt:
      ReportCorruptPayload(run);
      return 0;
    case WalkResult::kWriteFailed:
      ReportWriteFailure(run, target_path);
      return 0;
  }
  return 0;
}

}  // namespace sfx
