#include "driver/script_fixture.h"
#include "driver/script_view.h"

#include <shlobj.h>
#include <string.h>
#include <tlhelp32.h>

#include <fstream>
#include <sstream>

#include "driver/layer_hooks.h"
#include "common/fresh_run.h"
#include "driver/sfx_state.h"
#include "support/portable/heap.h"

namespace script_testing {

using testing_support::Environment;
using testing_support::ReadWholeFile;

void ScriptTest::SetUp() {
  ResetRunState();
  char folder[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, folder);
  savedFolder_ = folder;
  ASSERT_TRUE(SetCurrentDirectoryA(destination_.path().c_str()));
  // Started programs report here; temporary folders go to the scratch work
  // folder, away from those of other test processes.
  SetEnvironmentVariableA("ZIMBRO_PROBE_LOG", probeLog().c_str());
  SetEnvironmentVariableA("TMP", work_.path().c_str());
  SetEnvironmentVariableA("TEMP", work_.path().c_str());
}

void ScriptTest::TearDown() {
  SetCurrentDirectoryA(savedFolder_.c_str());
  release(sfx.textBuffer);
  release(sfx.licenseText);
  ResetRunState();
}

void ScriptTest::Run(const std::string& script, ScriptMode mode, HWND window) {
  script_ = script;
  sfx.scriptText = &script_[0];
  RunDialogPass(window, sfx.scriptText, mode);
}

std::string ScriptTest::Put(const std::string& name, const std::string& text) {
  std::string path = destination_.file(name);
  EXPECT_TRUE(testing_support::WriteWholeFile(path, text)) << path;
  return path;
}

std::vector<ProbeRun> ScriptTest::ProbeRuns(size_t count) {
  for (int wait = 0;; ++wait) {
    std::vector<uint8_t> bytes = ReadWholeFile(probeLog());
    std::istringstream log(std::string(bytes.begin(), bytes.end()));
    std::vector<ProbeRun> runs;
    ProbeRun run;
    for (std::string line; std::getline(log, line);) {
      if (line.compare(0, 8, "command=") == 0) run.command = line.substr(8);
      if (line.compare(0, 7, "folder=") == 0) run.folder = line.substr(7);
      if (line.compare(0, 4, "arg=") == 0) run.arguments.push_back(line.substr(4));
      if (line == "end") runs.push_back(run), run = ProbeRun();
    }
    if (runs.size() >= count || wait == 600) return runs;
    Sleep(50);
  }
}

void ScriptTest::WaitForStartedPrograms() {
  const DWORD self = GetCurrentProcessId();
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  ASSERT_NE(INVALID_HANDLE_VALUE, snapshot);
  std::vector<HANDLE> children;
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (entry.th32ParentProcessID != self || entry.th32ProcessID == self) continue;
    HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
    if (child != nullptr) children.push_back(child);
  }
  CloseHandle(snapshot);
  for (HANDLE child : children) {
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child, 30000));
    CloseHandle(child);
  }
}

std::string ProbePath() { return Environment("ZIMBRO_PROBE"); }

// ---------------------------------------------------------------------------
// Message boxes
// ---------------------------------------------------------------------------

MessageBoxHand::MessageBoxHand(int button) : button_(button), threadId_(GetCurrentThreadId()) {
  thread_ = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
}

const MessageBoxHand& MessageBoxHand::Stop() {
  if (thread_ != nullptr) {
    stop_ = true;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  return *this;
}

static BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM found) {
  char className[32] = "";
  GetClassNameA(window, className, sizeof(className));
  if (strcmp(className, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

DWORD WINAPI MessageBoxHand::Watch(void* parameter) {
  MessageBoxHand* self = static_cast<MessageBoxHand*>(parameter);
  while (!self->stop_) {
    HWND box = nullptr;
    EnumThreadWindows(self->threadId_, FindVisibleDialog, reinterpret_cast<LPARAM>(&box));
    if (box == nullptr) {
      Sleep(20);
      continue;
    }
    char text[1024];
    GetWindowTextA(box, text, sizeof(text));
    self->caption_ = text;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
      char className[32] = "";
      GetClassNameA(child, className, sizeof(className));
      GetWindowTextA(child, text, sizeof(text));
      if (_stricmp(className, "Static") == 0 && text[0] != '\0') self->text_ += text;
    }
    self->seen_ = true;
    PostMessageA(box, WM_COMMAND, self->button_, 0);
    break;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// What the system says
// ---------------------------------------------------------------------------

std::string ComboText(HWND dialog, int id) {
  char text[1024] = "";
  GetDlgItemTextA(dialog, id, text, sizeof(text));
  return text;
}

std::vector<std::string> ComboItems(HWND dialog, int id) {
  std::vector<std::string> items;
  LRESULT count = SendDlgItemMessageA(dialog, id, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    char text[1024] = "";
    SendDlgItemMessageA(dialog, id, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    items.push_back(text);
  }
  return items;
}

std::string RegistryText(HKEY root, const char* key, const char* value) {
  HKEY opened;
  if (RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return "(none)";
  char text[1024] = "";
  DWORD size = sizeof(text) - 1;
  DWORD type = 0;
  LONG result = RegQueryValueExA(opened, value, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(opened);
  return result == ERROR_SUCCESS && type == REG_SZ ? std::string(text) : std::string("(none)");
}

void DeleteRegistryValue(HKEY root, const char* key, const char* value) {
  HKEY opened;
  if (RegOpenKeyExA(root, key, 0, KEY_SET_VALUE, &opened) != ERROR_SUCCESS) return;
  RegDeleteValueA(opened, value);
  RegCloseKey(opened);
}

std::string ProgramsFolder() {
  return RegistryText(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir");
}

std::string ShellFolder(int folderId) {
  char path[MAX_PATH] = "";
  SHGetSpecialFolderPathA(nullptr, path, folderId, FALSE);
  return path;
}

}  // namespace script_testing
