// Dialog procedure of the progress dialog.
//
// The worker publishes a whole percentage (0 to 100) in the user-data word
// of IDC_PROGRESS_BAR and invalidates the control with erase; the system
// then paints the control's background and sends WM_DRAWITEM, and the
// procedure fills the left part of the item with the highlight colour and
// centres the label "<p>%" on top in the highlight-text colour. Only the
// worker ends the dialog: by posting WM_COMMAND IDOK, or directly with
// EndDialog.
#include "shell/progress_dialog.h"

#include <cwchar>

#include "payload/worker/extraction_worker.h"
#include "payload/worker/stub_run.h"
#include "shell/resource_ids.h"

namespace sfx {

LPTHREAD_START_ROUTINE progress_worker_routine = ExtractionWorker;

namespace {

// Size of the buffer for the static text plus the working folder, in
// UTF-16 units.
constexpr int kFolderTextSize = 512;

// Template text of IDC_PROGRESS_TEXT (it ends in a line feed) + the
// working folder.
void ShowWorkFolder(HWND dialog, const wchar_t* work_folder) {
  wchar_t text[kFolderTextSize];
  GetDlgItemTextW(dialog, IDC_PROGRESS_TEXT, text, kFolderTextSize);
  const std::size_t used = std::wcslen(text);
  const std::size_t room = kFolderTextSize - 1 - used;
  std::wcsncat(text, work_folder, room);
  SetDlgItemTextW(dialog, IDC_PROGRESS_TEXT, text);
}

BOOL OnInitDialog(HWND dialog, StubRun& run) {
  ShowWorkFolder(dialog, run.work_folder);
  HICON icon = LoadIconW(run.instance, MAKEINTRESOURCEW(IDI_STUB));
  SetClassLongPtrW(dialog, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
  // The worker reads the dialog and its progress bar from the run without
  // locking, so both are stored before the thread exists.
  run.dialog = dialog;
  run.progress_bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
  HANDLE worker = CreateThread(nullptr, 0, progress_worker_routine, &run, 0, nullptr);
  if (worker == nullptr) {
    // Without a worker nothing would ever end the dialog. Ending it here
    // leaves the run's outcome at 0, which the entry reports with
    // IDS_NO_RESULT.
    EndDialog(dialog, IDOK);
  }
  // The thread runs on its own and is never joined; its handle is not kept.
  return TRUE;
}

void OnDrawItem(const DRAWITEMSTRUCT& item) {
  const auto percent = static_cast<std::uint32_t>(GetWindowLongPtrW(item.hwndItem, GWLP_USERDATA));
  RECT bar = item.rcItem;
  bar.right = ProgressBarRight(item.rcItem, percent);
  // The system colour index + 1 stands for the system brush of that colour.
  FillRect(item.hDC, &bar, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_HIGHLIGHT + 1)));

  char label[12];
  const int length = FormatPercentLabel(percent, label);
  // The label is ASCII digits and '%': each byte is its own UTF-16 unit.
  wchar_t wide_label[12];
  for (int i = 0; i <= length; ++i) wide_label[i] = static_cast<unsigned char>(label[i]);
  SetTextAlign(item.hDC, TA_CENTER | TA_TOP);
  SetTextColor(item.hDC, GetSysColor(COLOR_HIGHLIGHTTEXT));
  SetBkMode(item.hDC, TRANSPARENT);
  TextOutW(item.hDC, (item.rcItem.left + item.rcItem.right) / 2, item.rcItem.top, wide_label, length);
}

}  // namespace

int FormatPercentLabel(std::uint32_t percent, char* label) {
  char digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + percent % 10);
    percent /= 10;
  } while (percent != 0);
  int length = 0;
  while (count > 0) label[length++] = digits[--count];
  label[length++] = '%';
  label[length] = '\0';
  return length;
}

LONG ProgressBarRight(const RECT& item, std::uint32_t percent) {
  // 64-bit product: a width times a percentage never overflows here. The
  // tracker only publishes 0 to 100 for a sound image; anything larger is
  // cut at the item's width.
  const std::int64_t width = static_cast<std::int64_t>(item.right) - item.left;
  std::int64_t right = width * percent / 100;
  if (right > width) right = width;
  return static_cast<LONG>(right);
}

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog(dialog, *reinterpret_cast<StubRun*>(lparam));
    case WM_DRAWITEM:
      OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
      return FALSE;
    case WM_COMMAND:
      // The whole wParam: IDOK with notification code 0.
      if (wparam == IDOK) EndDialog(dialog, IDOK);
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace sfx
