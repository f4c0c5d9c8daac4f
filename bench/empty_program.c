/* An empty Windows program: it starts and ends at once. scripts/bench-stub
 * times two starts of it to subtract Wine's process start-up from an
 * installer's run (one start for the installer, one for the Setup.exe that
 * it launches, which is this program too). */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  (void)instance;
  (void)previous;
  (void)command_line;
  (void)show;
  return 0;
}
