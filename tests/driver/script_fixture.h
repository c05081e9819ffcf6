// Shared ground of the script tests: a clean run state in a scratch
// destination that is the current folder, the probe program that stands in
// for Setup programs, a hand for message boxes, and what the system itself
// says about folders, for the expectations.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "driver/script.h"

namespace script_testing {

// One start of the probe program, as it recorded it.
struct ProbeRun {
  std::string command;
  std::string folder;
  std::vector<std::string> arguments;
};

class ScriptTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // One pass of script, with sfx.scriptText pointing at it as a run has it.
  void Run(const std::string& script, ScriptMode mode, HWND window = nullptr);
  // The runs of the probe so far; waits until there are at least count.
  std::vector<ProbeRun> ProbeRuns(size_t count = 0);
  // Waits until the programs this process started have ended. The command
  // interpreter waits for whatever a batch file or "/c" starts, so a batch
  // file's whole work is over then, and what it did not start never will be.
  static void WaitForStartedPrograms();

  std::string destination() const { return destination_.path(); }
  std::string probeLog() const { return work_.file("probe.log"); }
  std::string Put(const std::string& name, const std::string& text = "x");

  testing_support::ScratchFolder work_;         // the probe log, the temporary folder
  testing_support::ScratchFolder destination_;  // the current folder
  std::string script_;
  std::string savedFolder_;
};

// The probe program's path (Windows form).
std::string ProbePath();

// Answers the message box that this thread will show, from another thread,
// with the button given, and records what the box said. What it recorded is
// read only once its thread has ended: seen(), caption() and text() stop the
// watch first (a box not shown by then counts as not seen).
class MessageBoxHand {
 public:
  explicit MessageBoxHand(int button);
  ~MessageBoxHand() { Stop(); }
  bool seen() { return Stop().seen_; }
  std::string caption() { return Stop().caption_; }
  std::string text() { return Stop().text_; }

 private:
  static DWORD WINAPI Watch(void* self);
  const MessageBoxHand& Stop();
  int button_;
  DWORD threadId_;
  std::atomic<bool> stop_{false};
  bool seen_ = false;
  std::string caption_, text_;
  HANDLE thread_;
};

std::string ComboText(HWND dialog, int id);
std::vector<std::string> ComboItems(HWND dialog, int id);
// A string value, or "(none)".
std::string RegistryText(HKEY root, const char* key, const char* value);
void DeleteRegistryValue(HKEY root, const char* key, const char* value);
// The programs folder as this process reads it from the registry (a 32-bit
// and a 64-bit process read different ones).
std::string ProgramsFolder();
// The special folder of a CSIDL value, as the shell tells this process.
std::string ShellFolder(int folderId);

}  // namespace script_testing
