// Keeps Wine's desktop process alive while the tests run.
//
// Every test executable links user32, so each one needs the desktop; when the
// last program on it ends, Wine ends the desktop too, and the next test start
// pays a second or more to bring it back. This program holds one hidden
// top-level window for a while (argument: seconds, default 1200) so that the
// desktop stays up between test processes. A named mutex keeps it single.
#include <stdlib.h>
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
  HANDLE single = CreateMutexA(nullptr, TRUE, "ZimbroDesktopKeeper");
  if (single == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) return 0;
  int seconds = atoi(arguments);
  if (seconds <= 0) seconds = 1200;
  HWND window = CreateWindowA("STATIC", "zimbro desktop keeper", WS_POPUP, 0, 0, 1, 1, nullptr,
                              nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  SetTimer(window, 1, static_cast<UINT>(seconds) * 1000u, nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER) break;
    DispatchMessageA(&message);
  }
  DestroyWindow(window);
  return 0;
}
