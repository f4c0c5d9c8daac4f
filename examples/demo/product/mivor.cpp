// Stand-in for the installed product in the demo's Wine prefix. Only its
// version information matters (the installer reads it to decide whether
// the update applies); run on its own it just says what it is.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  MessageBoxA(nullptr, "Mivor 4.0.3 (demo stand-in for the installed product)", "Mivor", MB_OK);
  return 0;
}
