#include "common/test_support.h"

#include <stdio.h>

namespace testing_support {

ScratchFolder::ScratchFolder() {
  static int counter = 0;
  std::string base = Environment("ZIMBRO_BUILD");
  if (base.empty()) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    base = temp;
  }
  base += "\\scratch";
  CreateDirectoryA(base.c_str(), nullptr);
  for (;;) {
    char name[64];
    snprintf(name, sizeof(name), "\\t%lu_%d", GetCurrentProcessId(), ++counter);
    path_ = base + name;
    if (CreateDirectoryA(path_.c_str(), nullptr)) break;
  }
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::vector<uint8_t> data;
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return data;
  uint8_t buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0) data.insert(data.end(), buffer, buffer + n);
  fclose(f);
  return data;
}

bool WriteWholeFile(const std::string& path, const void* data, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = fwrite(data, 1, size, f) == size;
  return fclose(f) == 0 && ok;
}

bool WriteWholeFile(const std::string& path, const std::string& text) {
  return WriteWholeFile(path, text.data(), text.size());
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string full = path + "\\" + name;
      SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(full);
      } else {
        DeleteFileA(full.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryA(path.c_str());
}

std::string Environment(const char* name) {
  char value[4096];
  DWORD n = GetEnvironmentVariableA(name, value, sizeof(value));
  if (n == 0 || n >= sizeof(value)) return std::string();
  return std::string(value, n);
}

int RunProcess(const std::string& commandLine, const std::string& folder, DWORD timeoutMs) {
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process;
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
    return -1;
  }
  int result;
  if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, 5000);
    result = -2;
  } else {
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result = static_cast<int>(code);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

bool MakeLink(const std::string& link, const std::string& target) {
  const std::string maker = Environment("ZIMBRO_LINK_MAKER");
  if (!maker.empty()) {
    // The maker's process handle may not be one that can be waited for (a
    // host program under Wine): its verdict comes as a file beside the link.
    const std::string verdict = link + ".made";
    if (RunProcess(maker + " \"" + link + "\" \"" + target + "\"") == -1) return false;
    for (int waited = 0; waited < 10000 && !FileExists(verdict); waited += 10) Sleep(10);
    std::vector<uint8_t> said = ReadWholeFile(verdict);
    DeleteFileA(verdict.c_str());
    return std::string(said.begin(), said.end()) == "done\n";
  }
  const DWORD attributes = GetFileAttributesA(target.c_str());
  const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  // Looked up: the headers offer it only to programs for version 6 on.
  typedef BOOLEAN(WINAPI * MakeLinkFunction)(const char*, const char*, DWORD);
  MakeLinkFunction makeLink = reinterpret_cast<MakeLinkFunction>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA"));
  const DWORD kFolderLink = 1;  // SYMBOLIC_LINK_FLAG_DIRECTORY
  return makeLink != nullptr && makeLink(link.c_str(), target.c_str(), folder ? kFolderLink : 0) != FALSE;
}

std::string SelfPath() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

}  // namespace testing_support
