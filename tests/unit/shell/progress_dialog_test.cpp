// The progress dialog: label, owner-drawn bar (checked on the pixels of a
// memory device context), initialisation and the commands that end it.
#include "shell/progress_dialog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "payload/worker/stub_run.h"
#include "shell/resource_ids.h"

namespace sfx {
namespace {

// ---------------------------------------------------------------- label and bar

std::string Label(std::uint32_t percent) {
  char label[12];
  const int length = FormatPercentLabel(percent, label);
  EXPECT_EQ(length, static_cast<int>(std::string(label).size()));
  return label;
}

TEST(ProgressLabel, DecimalWithoutLeadingZerosAndPercentSign) {
  EXPECT_EQ(Label(0), "0%");
  EXPECT_EQ(Label(7), "7%");
  EXPECT_EQ(Label(42), "42%");
  EXPECT_EQ(Label(100), "100%");
  EXPECT_EQ(Label(4294967295u), "4294967295%");
}

TEST(ProgressBarWidth, TruncatedShareOfTheItemWidth) {
  const RECT item = {0, 0, 283, 20};
  EXPECT_EQ(ProgressBarRight(item, 0), 0);
  EXPECT_EQ(ProgressBarRight(item, 50), 141);
  EXPECT_EQ(ProgressBarRight(item, 100), 283);
  EXPECT_EQ(ProgressBarRight(item, 1), 2);
}

TEST(ProgressBarWidth, OutOfRangePercentStaysInsideTheItem) {
  const RECT item = {0, 0, 283, 20};
  EXPECT_EQ(ProgressBarRight(item, 101), 283);
  EXPECT_EQ(ProgressBarRight(item, 4294967295u), 283);
}

// ---------------------------------------------------------------- drawing

constexpr int kWidth = 283;
constexpr int kHeight = 24;
constexpr COLORREF kBackground = RGB(1, 2, 3);

// A 32-bit top-down DIB selected into a memory DC, pre-filled with a colour
// that neither the bar nor the label uses, and a hidden window standing in
// for IDC_PROGRESS_BAR.
class DrawItemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dc_ = CreateCompatibleDC(nullptr);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = -kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&pixels_), nullptr, 0);
    ASSERT_NE(bitmap_, nullptr);
    old_bitmap_ = SelectObject(dc_, bitmap_);
    ClearCanvas();
    item_window_ = CreateWindowExA(0, "STATIC", "", 0, 0, 0, kWidth, kHeight, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(item_window_, nullptr);
  }
  void TearDown() override {
    DestroyWindow(item_window_);
    SelectObject(dc_, old_bitmap_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }

  void ClearCanvas() {
    HBRUSH brush = CreateSolidBrush(kBackground);
    const RECT all = {0, 0, kWidth, kHeight};
    FillRect(dc_, &all, brush);
    DeleteObject(brush);
    GdiFlush();
  }

  // Leftmost and rightmost column holding a label pixel; right < left when none.
  void LabelSpan(int* left, int* right, int* count) const {
    const std::uint32_t text = AsPixel(GetSysColor(COLOR_HIGHLIGHTTEXT));
    *left = kWidth;
    *right = -1;
    *count = 0;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        if (Pixel(x, y) != text) continue;
        ++*count;
        if (x < *left) *left = x;
        if (x > *right) *right = x;
      }
    }
  }

  void Draw(LONG_PTR percent) {
    SetWindowLongPtrA(item_window_, GWLP_USERDATA, percent);
    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_BUTTON;
    item.CtlID = IDC_PROGRESS_BAR;
    item.itemAction = ODA_DRAWENTIRE;
    item.hwndItem = item_window_;
    item.hDC = dc_;
    item.rcItem = {0, 0, kWidth, kHeight};
    EXPECT_EQ(ProgressDialogProc(nullptr, WM_DRAWITEM, IDC_PROGRESS_BAR, reinterpret_cast<LPARAM>(&item)), FALSE);
    GdiFlush();
  }

  // COLORREF (0x00BBGGRR) as the DIB stores it (0x00RRGGBB).
  static std::uint32_t AsPixel(COLORREF colour) {
    return (static_cast<std::uint32_t>(GetRValue(colour)) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
  }
  std::uint32_t Pixel(int x, int y) const { return pixels_[y * kWidth + x] & 0xFFFFFFu; }

  // Columns of the bottom row (below the label) in the highlight colour.
  int FilledColumns() const {
    int filled = 0;
    for (int x = 0; x < kWidth; ++x) filled += Pixel(x, kHeight - 1) == AsPixel(GetSysColor(COLOR_HIGHLIGHT));
    return filled;
  }

  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_bitmap_ = nullptr;
  std::uint32_t* pixels_ = nullptr;
  HWND item_window_ = nullptr;
};

TEST_F(DrawItemTest, ZeroPercentFillsNothing) {
  Draw(0);
  EXPECT_EQ(FilledColumns(), 0);
}

TEST_F(DrawItemTest, FiftyPercentFillsTheLeft141Pixels) {
  Draw(50);
  EXPECT_EQ(FilledColumns(), 141);
  const std::uint32_t highlight = AsPixel(GetSysColor(COLOR_HIGHLIGHT));
  EXPECT_EQ(Pixel(0, kHeight - 1), highlight);
  EXPECT_EQ(Pixel(140, kHeight - 1), highlight);
  EXPECT_EQ(Pixel(141, kHeight - 1), AsPixel(kBackground));
}

TEST_F(DrawItemTest, HundredPercentFillsEverything) {
  Draw(100);
  EXPECT_EQ(FilledColumns(), kWidth);
}

TEST_F(DrawItemTest, LabelIsCentredInHighlightTextColour) {
  Draw(0);
  int left, right, count;
  LabelSpan(&left, &right, &count);
  ASSERT_GT(count, 10) << "no label drawn";
  // "0%" is a few characters wide and centred on x = 141.
  EXPECT_GT(left, 100);
  EXPECT_LT(right, 183);
  EXPECT_LE(std::abs((left + right) / 2 - kWidth / 2), 4);
}

TEST_F(DrawItemTest, LabelIsDrawnOverTheBarToo) {
  Draw(100);
  int left, right, count;
  LabelSpan(&left, &right, &count);
  ASSERT_GT(count, 10) << "no label over the filled bar";
  int narrow_left, narrow_right, narrow_count;
  ClearCanvas();
  Draw(7);
  LabelSpan(&narrow_left, &narrow_right, &narrow_count);
  EXPECT_GT(right - left, narrow_right - narrow_left);  // "100%" is wider than "7%"
}

// ---------------------------------------------------------------- WM_INITDIALOG

struct InitObservation {
  std::atomic<bool> worker_ran{false};
  HWND dialog_seen_by_worker = nullptr;
};
InitObservation* observation = nullptr;

DWORD WINAPI RecordingWorker(LPVOID run) {
  observation->dialog_seen_by_worker = static_cast<StubRun*>(run)->dialog;
  observation->worker_ran = true;
  return 0;
}

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcA(window, message, wparam, lparam);
}

TEST(ProgressDialogInit, ShowsFolderSetsIconStoresHandleThenStartsWorker) {
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = PlainWindowProc;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.lpszClassName = "SfxInitDialogHost";
  RegisterClassA(&window_class);
  HWND host = CreateWindowExA(0, "SfxInitDialogHost", "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(host, nullptr);
  CreateWindowExA(0, "STATIC", "Please wait:\n", WS_CHILD, 0, 0, 50, 20, host,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PROGRESS_TEXT)), nullptr, nullptr);

  InitObservation seen;
  observation = &seen;
  const auto saved_routine = progress_worker_routine;
  progress_worker_routine = RecordingWorker;
  StubRun run;
  run.instance = GetModuleHandleA(nullptr);
  lstrcpyW(run.work_folder, L"D:\\TEMP\\Mivor.40\\");

  EXPECT_EQ(ProgressDialogProc(host, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(&run)), TRUE);
  for (int i = 0; i < 1000 && !seen.worker_ran; ++i) Sleep(10);
  progress_worker_routine = saved_routine;

  char text[512];
  GetDlgItemTextA(host, IDC_PROGRESS_TEXT, text, sizeof(text));
  EXPECT_STREQ(text, "Please wait:\nD:\\TEMP\\Mivor.40\\");
  EXPECT_EQ(run.dialog, host);
  ASSERT_TRUE(seen.worker_ran);
  EXPECT_EQ(seen.dialog_seen_by_worker, host);
  EXPECT_NE(GetClassLongPtrA(host, GCLP_HICON), 0);
  DestroyWindow(host);
  observation = nullptr;
}

// ---------------------------------------------------------------- the modal run

struct ModalObservation {
  std::string text;
  bool icon_set = false;
  bool visible_after_other_commands = false;
  bool visible_after_idok = true;
};
ModalObservation* modal = nullptr;

DWORD WINAPI CommandingWorker(LPVOID run) {
  HWND dialog = static_cast<StubRun*>(run)->dialog;
  char text[512] = {};
  GetDlgItemTextA(dialog, IDC_PROGRESS_TEXT, text, sizeof(text));
  modal->text = text;
  modal->icon_set = GetClassLongPtrA(dialog, GCLP_HICON) != 0;
  // Sent, not posted: each command has been handled when the call returns.
  SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  SendMessageA(dialog, WM_COMMAND, IDC_PROGRESS_BAR, 0);
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 1), 0);  // IDOK with a notification code
  modal->visible_after_other_commands = IsWindowVisible(dialog) != FALSE;
  SendMessageA(dialog, WM_COMMAND, IDOK, 0);
  modal->visible_after_idok = IsWindowVisible(dialog) != FALSE;
  return 0;
}

TEST(ProgressDialogModal, OnlyIdOkEndsTheDialog) {
  ModalObservation seen;
  modal = &seen;
  const auto saved_routine = progress_worker_routine;
  progress_worker_routine = CommandingWorker;
  StubRun run;
  run.instance = GetModuleHandleA(nullptr);
  lstrcpyW(run.work_folder, L"C:\\users\\Temp\\Mivor.40\\");

  const INT_PTR result = DialogBoxParamW(run.instance, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr, ProgressDialogProc,
                                         reinterpret_cast<LPARAM>(&run));
  progress_worker_routine = saved_routine;
  modal = nullptr;

  EXPECT_EQ(result, 1);
  EXPECT_TRUE(seen.icon_set);
  EXPECT_TRUE(seen.visible_after_other_commands);
  EXPECT_FALSE(seen.visible_after_idok);
  const std::string english = "Please wait while decompressing installation files to:\n";
  const std::string german = "Entpacke Mivor-Installationsdateien nach:\n";
  const std::string folder = "C:\\users\\Temp\\Mivor.40\\";
  EXPECT_TRUE(seen.text == english + folder || seen.text == german + folder) << seen.text;
}

}  // namespace
}  // namespace sfx
