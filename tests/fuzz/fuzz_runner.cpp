// Runs the stub over many archives from one Windows process, so that a
// single Wine start covers thousands of runs.
//
// Usage: fuzz_runner STUB LIST WORK RESULTS [LIMIT_MS]
//   STUB     the stub executable
//   LIST     a text file, one archive path per line
//   WORK     a folder of its own (created); every run gets WORK\run-N.exe (the
//            stub with the archive appended, a new name for every run) and
//            the empty destination WORK\dest, entered by the run
//   RESULTS  one line per archive: path, exit code (hex), verdict, time (ms),
//            detail; verdicts: ok, crash, hang, escape, skipped (not run)
//
// Each run is silent (/s). A run that counted errors shows its summary and
// waits for Close, like any silent run with errors; this answers the summary
// box and presses Close, and cancels any other prompt (password, replace),
// as a user would. A run that does not end within the limit, with nothing
// left to answer, is a hang: it is ended and counted; no run is tried twice. An exit code outside the program's own (0, 1, 2,
// 3, 9, 255) is a crash. Any entry that appears beside the destination, in
// the folder above WORK or at the root of WORK's drive is an escape; the
// script that starts this looks over the rest of the drive between lists.
#include <windows.h>

#include <stdio.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<char> readFile(const std::string& path) {
  std::vector<char> data;
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return data;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0) data.insert(data.end(), buffer, buffer + n);
  fclose(f);
  return data;
}

// Every run gets a file of its own: Wine keeps an ended process's image
// mapped for a moment, so a file of the same name could not be written, nor
// started, right after the run before.
bool writeRun(const std::string& path, const std::vector<char>& stub, const std::vector<char>& archive) {
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = fwrite(stub.data(), 1, stub.size(), f) == stub.size() &&
            (archive.empty() || fwrite(archive.data(), 1, archive.size(), f) == archive.size());
  return fclose(f) == 0 && ok;
}

bool isRunFile(const std::string& name) { return name.rfind("run-", 0) == 0 && name.size() > 8; }

std::set<std::string> listFolder(const std::string& folder) {
  std::set<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = found.cFileName;
    if (name != "." && name != "..") names.insert(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

// Removes a tree whatever the attributes the run gave its files; wide calls
// so that names made with the wide calls go as well.
void removeTree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring full = path + L"\\" + name;
      SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        removeTree(full);
      } else {
        DeleteFileW(full.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryW(path.c_str());
}

std::wstring widen(const std::string& text) {
  wchar_t buffer[2048];
  int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, buffer, 2048);
  return n > 0 ? std::wstring(buffer) : std::wstring();
}

void removeEntry(const std::string& path) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!DeleteFileA(path.c_str())) removeTree(widen(path));
}

// An empty folder at path (emptied or made); false when there is none.
bool makeEmptyFolder(const std::string& path) {
  removeTree(widen(path));
  CreateDirectoryA(path.c_str(), nullptr);
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         listFolder(path).empty();
}

std::string classOf(HWND window) {
  char name[64] = "";
  GetClassNameA(window, name, sizeof(name));
  return name;
}

struct Answering {
  DWORD processId;
  int answered;
};

// Answers what a silent run with errors, or a damaged archive, puts in
// front of a user: the start dialog in Close mode gets Close; anything else
// (the summary box, the replace and password prompts) gets the close box,
// which every one of them takes as its way out.
BOOL CALLBACK answerWindow(HWND window, LPARAM context) {
  Answering* answering = reinterpret_cast<Answering*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != answering->processId || classOf(window) != "#32770" || !IsWindowVisible(window)) return TRUE;
  // The start dialog is the one with the progress bar (control 104); the
  // prompts use small numbers for their controls too.
  HWND progress = GetDlgItem(window, 104);
  bool startDialog = progress != nullptr && classOf(progress) == "msctls_progress32";
  if (startDialog) {
    char text[64] = "";
    GetWindowTextA(GetDlgItem(window, IDOK), text, sizeof(text));
    if (lstrcmpA(text, "Close") != 0) return TRUE;  // still at work
    PostMessageA(window, WM_COMMAND, IDOK, 0);
  } else {
    PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
  }
  answering->answered += 1;
  return TRUE;
}

struct Outcome {
  DWORD code;
  bool hung;
  DWORD milliseconds;
  int answered;  // windows answered on the run's behalf
  bool notStarted;
};

Outcome runOnce(const std::string& exe, const std::string& folder, DWORD limit) {
  Outcome outcome = {0, false, 0, 0, false};
  std::string command = "\"" + exe + "\" /s";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  DWORD start = GetTickCount();
  const bool started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                                      &startup, &process) != FALSE;
  if (!started) {
    outcome.notStarted = true;
    return outcome;
  }
  Answering answering = {process.dwProcessId, 0};
  DWORD lastAnswer = start;
  for (;;) {
    if (WaitForSingleObject(process.hProcess, 15) == WAIT_OBJECT_0) break;
    int before = answering.answered;
    EnumWindows(answerWindow, reinterpret_cast<LPARAM>(&answering));
    DWORD now = GetTickCount();
    if (answering.answered != before) lastAnswer = now;
    // The limit counts from the last answer: a run that keeps asking is
    // still being used, one that neither ends nor asks is stuck.
    if (now - lastAnswer > limit || now - start > limit * 4) {
      TerminateProcess(process.hProcess, 0xDEAD);
      WaitForSingleObject(process.hProcess, 10000);
      outcome.hung = true;
      break;
    }
  }
  GetExitCodeProcess(process.hProcess, &outcome.code);
  outcome.milliseconds = GetTickCount() - start;
  outcome.answered = answering.answered;
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return outcome;
}

bool isProgramCode(DWORD code) {
  return code == 0 || code == 1 || code == 2 || code == 3 || code == 9 || code == 255;
}

std::string joined(const std::set<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : " ") + name;
  return text;
}

// Entries of `now` that `before` did not have.
std::set<std::string> added(const std::set<std::string>& before, const std::set<std::string>& now) {
  std::set<std::string> result;
  std::set_difference(now.begin(), now.end(), before.begin(), before.end(), std::inserter(result, result.end()));
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    fprintf(stderr, "usage: fuzz_runner STUB LIST WORK RESULTS [LIMIT_MS]\n");
    return 2;
  }
  // A crash must end the child with its exception code, not open a
  // debugger or an error box that waits for a user.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  std::vector<char> stub = readFile(argv[1]);
  FILE* list = fopen(argv[2], "r");
  std::string work = argv[3];
  FILE* results = fopen(argv[4], "w");
  // One run, one limit: generous enough for a loaded machine (the limit
  // counts from the last window answered, so a run that keeps asking is
  // never cut short).
  DWORD limit = argc > 5 ? static_cast<DWORD>(atoi(argv[5])) : 60000;
  if (stub.empty() || list == nullptr || results == nullptr) {
    fprintf(stderr, "fuzz_runner: cannot read the stub or the list, or write the results\n");
    return 2;
  }
  CreateDirectoryA(work.c_str(), nullptr);
  std::string destination = work + "\\dest";
  char full[MAX_PATH];
  GetFullPathNameA(work.c_str(), MAX_PATH, full, nullptr);
  std::string parent = full;
  parent = parent.substr(0, parent.find_last_of('\\'));
  std::string root = parent.substr(0, 3);  // "C:\"

  removeTree(widen(destination));
  std::set<std::string> parentBefore = listFolder(parent);
  std::set<std::string> rootBefore = listFolder(root);
  const std::set<std::string> workExpected = {"dest"};
  // The root's folder of every runner (other runners come and go there).
  std::string runnersFolder = parent.substr(3, parent.find('\\', 3) - 3);

  char line[4096];
  int runs = 0;
  while (fgets(line, sizeof(line), list) != nullptr) {
    std::string path = line;
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
    if (path.empty()) continue;
    std::vector<char> archive = readFile(path);
    const std::string exe = work + "\\run-" + std::to_string(runs) + ".exe";
    if (!writeRun(exe, stub, archive)) {
      fprintf(results, "%s\t-\tskipped\t0\tcannot write %s\n", path.c_str(), exe.c_str());
      runs += 1;
      continue;
    }
    // Without its destination a run would start in another folder, which
    // the system picks: no run then.
    if (!makeEmptyFolder(destination)) {
      fprintf(results, "%s\t-\tskipped\t0\tno empty destination\n", path.c_str());
      continue;
    }
    Outcome outcome = runOnce(exe, destination, limit);
    std::string verdict = "ok";
    std::string detail = "answered " + std::to_string(outcome.answered);
    if (outcome.notStarted) {
      verdict = "skipped";
      detail = "the run could not be started";
    } else if (outcome.hung) {
      verdict = "hang";
    } else if (!isProgramCode(outcome.code)) {
      verdict = "crash";
    }
    std::set<std::string> beside = added(workExpected, listFolder(work));
    for (auto it = beside.begin(); it != beside.end();) it = isRunFile(*it) ? beside.erase(it) : std::next(it);
    std::set<std::string> aboveNew = added(parentBefore, listFolder(parent));
    std::set<std::string> rootNow = listFolder(root);
    std::set<std::string> rootNew = added(rootBefore, rootNow);
    rootNew.erase(runnersFolder);
    if (!beside.empty() || !aboveNew.empty() || !rootNew.empty()) {
      verdict = "escape";
      detail += "; new: " + joined(beside) + " | " + joined(aboveNew) + " | " + joined(rootNew);
      // Our own folders are cleared, so that the next run is judged on its
      // own; what appeared at the root stays for a person to see and is
      // counted once.
      for (const std::string& name : beside) removeEntry(work + "\\" + name);
      for (const std::string& name : aboveNew) removeEntry(parent + "\\" + name);
      rootBefore = rootNow;
    }
    removeTree(widen(destination));
    // Its image may still be mapped: what cannot go now goes with the folder.
    DeleteFileA(exe.c_str());
    fprintf(results, "%s\t%08lx\t%s\t%lu\t%s\n", path.c_str(), static_cast<unsigned long>(outcome.code),
            verdict.c_str(), static_cast<unsigned long>(outcome.milliseconds), detail.c_str());
    fflush(results);
    runs += 1;
  }
  fclose(list);
  fclose(results);
  removeTree(widen(work));
  return 0;
}
