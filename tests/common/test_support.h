// Helpers shared by the test executables: scratch folders, whole-file reads
// and writes, child processes and the paths the harness passes in.
#pragma once

#include <stdint.h>
#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

// A new empty folder under the build tree, removed with its contents when the
// object goes out of scope.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

std::vector<uint8_t> ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const void* data, size_t size);
bool WriteWholeFile(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);
void RemoveTree(const std::string& path);

// An environment variable the harness sets (ZIMBRO_TESTDATA, ZIMBRO_STUB,
// ZIMBRO_BUILD), or an empty string.
std::string Environment(const char* name);

// Runs a command line in a folder (empty: the current one), waits at most
// timeoutMs and returns the exit code; -1 when it could not start, -2 on
// timeout (the child is then killed).
int RunProcess(const std::string& commandLine, const std::string& folder = "",
               DWORD timeoutMs = 60000);

// Makes link a symbolic link to target (a folder, a file, or nothing at
// all), as a program that could write in a folder would plant one: through
// the harness's ZIMBRO_LINK_MAKER where it names one, else the system's
// own call. Returns whether the maker reported success.
bool MakeLink(const std::string& link, const std::string& target);

// The full path of the running test executable.
std::string SelfPath();

}  // namespace testing_support
