#include "common/prompt_driver.h"

namespace testing_support {

namespace {

// The thread under test answers only while a dialog runs its message loop.
std::string TextOf(HWND window) {
  char text[1024] = "";
  DWORD_PTR ignored;
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, &ignored);
  return text;
}

// A modal dialog is shown once it is initialised, and its owner disabled.
BOOL CALLBACK FindPrompt(HWND window, LPARAM found) {
  char className[16] = "";
  GetClassNameA(window, className, sizeof(className));
  if (lstrcmpA(className, "#32770") != 0 || !IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

}  // namespace

PromptDriver::PromptDriver(std::vector<PromptAnswer> answers)
    : answers_(std::move(answers)), thread_(GetCurrentThreadId()) {
  helper_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

DWORD WINAPI PromptDriver::Run(void* self) {
  PromptDriver& d = *static_cast<PromptDriver*>(self);
  while (!d.stop_) {
    HWND dialog = nullptr;
    EnumThreadWindows(d.thread_, FindPrompt, reinterpret_cast<LPARAM>(&dialog));
    if (dialog == nullptr) {
      Sleep(10);
      continue;
    }
    PromptSeen seen = {TextOf(dialog), {}};
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
      seen.texts[GetDlgCtrlID(child)] = TextOf(child);
    }
    PromptAnswer answer = d.seen_.size() < d.answers_.size() ? d.answers_[d.seen_.size()] : PromptAnswer{IDCANCEL};
    d.seen_.push_back(seen);
    if (answer.edit != 0) SetDlgItemTextA(dialog, answer.edit, answer.text.c_str());
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(answer.button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, answer.button)));
    // The next prompt is looked for once this one is gone.
    for (int i = 0; i < 1000 && IsWindow(dialog) && IsWindowVisible(dialog); ++i) Sleep(10);
  }
  return 0;
}

const std::vector<PromptSeen>& PromptDriver::Seen() {
  if (helper_ != nullptr) {
    // Without a limit: the helper reads this object, and it ends within
    // its current wait for a prompt to go.
    stop_ = true;
    WaitForSingleObject(helper_, INFINITE);
    CloseHandle(helper_);
    helper_ = nullptr;
  }
  return seen_;
}

std::vector<std::string> PromptDriver::Captions() {
  std::vector<std::string> captions;
  for (const PromptSeen& seen : Seen()) captions.push_back(seen.caption);
  return captions;
}

std::string ModifiedOn(const SYSTEMTIME& time) {
  char date[64] = "";
  char clock[64] = "";
  GetDateFormatA(LOCALE_USER_DEFAULT, 0, &time, nullptr, date, sizeof(date));
  GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &time, nullptr, clock, sizeof(clock));
  return std::string("modified on ") + date + " " + clock;
}

}  // namespace testing_support
