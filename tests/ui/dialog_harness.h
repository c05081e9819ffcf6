// Real dialogs from the program's templates, created modeless with a dialog
// procedure that hands every message to LocalizeDialog first, as the
// program's own procedures do; and what a user would see of them, read back
// from the live windows.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "ui/messages.h"

#include <string>
#include <vector>

namespace dialog_harness {

const char* const kDialogNames[] = {"STARTDLG", "LICENSEDLG", "GETPASSWORD1", "REPLACEFILEDLG", "RENAMEDLG"};

struct ChildView {
  HWND window;
  int id;
  std::string className;
  std::string text;
  RECT screen;  // GetWindowRect
};

struct DialogView {
  std::string caption;
  RECT window;  // GetWindowRect
  RECT client;  // GetClientRect
  POINT clientOrigin;
  LONG exStyle;
  std::vector<ChildView> children;
};

inline const char*& CurrentDialogName() {
  static const char* name = nullptr;
  return name;
}

inline INT_PTR CALLBACK LocalizingProcedure(HWND dialog, UINT message, WPARAM, LPARAM) {
  LocalizeDialog(dialog, message, CurrentDialogName());
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

inline void EnsureControlClasses() {
  INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&classes);
}

// A modeless dialog destroyed with the object.
class LiveDialog {
 public:
  explicit LiveDialog(const char* name) {
    EnsureControlClasses();
    CurrentDialogName() = name;
    window_ = CreateDialogParamA(GetModuleHandleA(nullptr), name, nullptr, LocalizingProcedure, 0);
  }
  ~LiveDialog() {
    if (window_ != nullptr) DestroyWindow(window_);
  }
  HWND window() const { return window_; }

 private:
  HWND window_;
};

inline std::string WindowText(HWND window) {
  char text[4096];
  text[0] = '\0';
  GetWindowTextA(window, text, sizeof(text));
  return text;
}

inline DialogView Read(HWND dialog) {
  DialogView view;
  view.caption = WindowText(dialog);
  GetWindowRect(dialog, &view.window);
  GetClientRect(dialog, &view.client);
  view.clientOrigin = POINT{0, 0};
  ClientToScreen(dialog, &view.clientOrigin);
  view.exStyle = GetWindowLongA(dialog, GWL_EXSTYLE);
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    ChildView c;
    c.window = child;
    c.id = GetDlgCtrlID(child);
    char className[128] = "";
    GetClassNameA(child, className, sizeof(className));
    c.className = className;
    c.text = WindowText(child);
    GetWindowRect(child, &c.screen);
    view.children.push_back(c);
  }
  return view;
}

}  // namespace dialog_harness
