#include "driver/running_installer.h"

#include <vector>

#include "common/test_support.h"

namespace app_testing {

namespace {

struct Search {
  DWORD processId;
  const std::function<bool(HWND)>* match;
  HWND found;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM context) {
  Search* search = reinterpret_cast<Search*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
  if (search->match == nullptr || (*search->match)(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindVisible(DWORD processId, const std::function<bool(HWND)>* match) {
  Search search = {processId, match, nullptr};
  EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::string ClassOf(HWND window) {
  char name[64] = "";
  GetClassNameA(window, name, sizeof(name));
  return name;
}

}  // namespace

std::string InstallerPath(const std::string& name) {
  return testing_support::Environment("ZIMBRO_TESTDATA") + "\\app\\" + name;
}

std::string ControlText(HWND window) {
  std::vector<char> text(1 << 16);
  LRESULT length = SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  return std::string(text.data(), length > 0 ? static_cast<size_t>(length) : 0);
}

bool IsEnabledControl(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

RunningInstaller::RunningInstaller(const std::string& exe, const std::string& arguments,
                                   const std::string& folder) {
  std::string command = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                      &process_)) {
    process_ = PROCESS_INFORMATION();
    return;
  }
  watcher_ = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
}

RunningInstaller::~RunningInstaller() {
  if (process_.hProcess != nullptr) {
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 99);
    WaitForSingleObject(process_.hProcess, 5000);
  }
  // The watcher reads this object and the process handle: it must be gone
  // before either is. It looks at stop_ every few milliseconds, so waiting
  // for it without a limit only waits for its current pass.
  stop_ = true;
  if (watcher_ != nullptr) {
    WaitForSingleObject(watcher_, INFINITE);
    CloseHandle(watcher_);
  }
  if (process_.hProcess != nullptr) CloseHandle(process_.hProcess);
  if (process_.hThread != nullptr) CloseHandle(process_.hThread);
}

DWORD WINAPI RunningInstaller::Watch(void* self) {
  RunningInstaller* run = static_cast<RunningInstaller*>(self);
  while (!run->stop_ && WaitForSingleObject(run->process_.hProcess, 2) == WAIT_TIMEOUT) {
    if (FindVisible(run->process_.dwProcessId, nullptr) != nullptr) run->everVisible_ = true;
  }
  return 0;
}

HWND RunningInstaller::WaitForWindow(const std::function<bool(HWND)>& match, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (process_.hProcess != nullptr) {
    HWND window = FindVisible(process_.dwProcessId, &match);
    if (window != nullptr) return window;
    if (GetTickCount() - start > timeoutMs || WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0) break;
    Sleep(20);
  }
  return nullptr;
}

HWND RunningInstaller::WaitForDialog(const std::string& caption, DWORD timeoutMs) {
  return WaitForWindow(
      [&](HWND window) {
        char text[512] = "";
        GetWindowTextA(window, text, sizeof(text));
        return ClassOf(window) == "#32770" && caption == text;
      },
      timeoutMs);
}

HWND RunningInstaller::WaitForMessageBox(std::string* text, DWORD timeoutMs) {
  // A message box is a dialog whose text is a static control of id 65535;
  // the program's own dialogs have fields (id 101) beside such labels.
  HWND box = WaitForWindow(
      [](HWND window) {
        return ClassOf(window) == "#32770" && GetDlgItem(window, 0xFFFF) != nullptr &&
               GetDlgItem(window, 101) == nullptr;
      },
      timeoutMs);
  if (box != nullptr && text != nullptr) *text = ControlText(GetDlgItem(box, 0xFFFF));
  return box;
}

void RunningInstaller::Press(HWND dialog, int buttonId) {
  PostMessageA(GetDlgItem(dialog, buttonId), BM_CLICK, 0, 0);
}

int RunningInstaller::Finish(DWORD timeoutMs) {
  if (process_.hProcess == nullptr) return -1;
  if (WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process_.hProcess, 99);
    WaitForSingleObject(process_.hProcess, 5000);
    return -2;
  }
  DWORD code = 0;
  GetExitCodeProcess(process_.hProcess, &code);
  return static_cast<int>(code);
}

}  // namespace app_testing
