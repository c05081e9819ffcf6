// Answers the program's modal prompts as a user would. A helper thread
// waits for each dialog the thread under test shows, notes its texts, types
// into an edit control when told to and presses a button by posting the
// button's command, as a click does. A prompt beyond the answers is
// cancelled (and noted), so a test never hangs on an unexpected one.
#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

struct PromptAnswer {
  int button;    // the control id pressed
  int edit = 0;  // the edit control typed into first; 0 for none
  std::string text = "";
};

// One prompt as it was shown: its caption and the text of every control.
struct PromptSeen {
  std::string caption;
  std::map<int, std::string> texts;
};

class PromptDriver {
 public:
  explicit PromptDriver(std::vector<PromptAnswer> answers);
  ~PromptDriver() { Seen(); }
  // Stops the helper and waits for it to end; what it saw, one entry per
  // prompt (read only once the helper, which writes it, is gone).
  const std::vector<PromptSeen>& Seen();
  std::vector<std::string> Captions();

 private:
  static DWORD WINAPI Run(void* self);

  std::vector<PromptAnswer> answers_;
  std::vector<PromptSeen> seen_;
  DWORD thread_;  // the thread whose prompts are answered
  HANDLE helper_;
  std::atomic<bool> stop_{false};  // shared with the helper
};

// "modified on", the date and the time, as the replace prompt shows a time.
std::string ModifiedOn(const SYSTEMTIME& time);

}  // namespace testing_support
