// An installer made at test time, started as a user starts it, and its
// windows found and pressed from the outside as a user would: by their
// captions and buttons, through messages to the other process.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

namespace app_testing {

// The installer of this name, made by the test fixture for this build's stub.
std::string InstallerPath(const std::string& name);

class RunningInstaller {
 public:
  // Starts exe with arguments in folder. Watches, from the start, whether
  // any window of the process becomes visible.
  RunningInstaller(const std::string& exe, const std::string& arguments, const std::string& folder);
  ~RunningInstaller();

  // The first visible top-level window of the process that matches, or
  // null after timeoutMs.
  HWND WaitForWindow(const std::function<bool(HWND)>& match, DWORD timeoutMs = 20000);
  HWND WaitForDialog(const std::string& caption, DWORD timeoutMs = 20000);
  // A message box: its text, and the box for pressing one of its buttons.
  HWND WaitForMessageBox(std::string* text, DWORD timeoutMs = 20000);

  // A click on a dialog's button; a disabled button ignores it, as it
  // ignores the mouse.
  static void Press(HWND dialog, int buttonId);

  // The exit code, or -2 when the process has not ended within timeoutMs
  // (it is then killed).
  int Finish(DWORD timeoutMs = 60000);
  bool everVisible() const { return everVisible_.load(); }
  DWORD processId() const { return process_.dwProcessId; }

 private:
  static DWORD WINAPI Watch(void* self);
  PROCESS_INFORMATION process_ = {};
  HANDLE watcher_ = nullptr;
  // Shared with the watcher thread.
  std::atomic<bool> stop_{false};
  std::atomic<bool> everVisible_{false};
};

// A window's text, read through the window itself (works across processes
// for controls too).
std::string ControlText(HWND window);
bool IsEnabledControl(HWND dialog, int id);

}  // namespace app_testing
