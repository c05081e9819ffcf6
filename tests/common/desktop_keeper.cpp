// Keeps Wine's desktop process alive while a command of scripts/with-wine.sh
// runs.
//
// Every test executable links user32, so each one needs the desktop; when the
// last program on it ends, Wine ends the desktop too, and the next test start
// pays a second or more to bring it back. This program holds one hidden
// top-level window for as long as the file named by its argument exists
// (with-wine.sh makes it before its command and removes it after), so the
// desktop stays up from the first test to the last, however long the run.
// A fixed lifetime would end in the middle of a long run.
//
// Once its window exists, the desktop is up (Wine starts it for the first
// window and waits for it): the keeper then makes "<hold file>.up", and
// with-wine.sh starts its command only after that, so that no test process
// starts at the same moment as the desktop itself.
#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
  if (arguments == nullptr || arguments[0] == '\0') return 2;
  HWND window = CreateWindowA("STATIC", "zimbro desktop keeper", WS_POPUP, 0, 0, 1, 1, nullptr,
                              nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  HANDLE up = CreateFileA((std::string(arguments) + ".up").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  if (up != INVALID_HANDLE_VALUE) CloseHandle(up);
  // The hold file is looked at twice a second.
  SetTimer(window, 1, 500, nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && GetFileAttributesA(arguments) == INVALID_FILE_ATTRIBUTES) break;
    DispatchMessageA(&message);
  }
  DestroyWindow(window);
  return 0;
}
