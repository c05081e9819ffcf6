#include "driver/script_view.h"

#include "driver/sfx_state.h"
#include "support/portable/heap.h"
#include "support/strings.h"
#include "ui/resource_ids.h"

void ShowScriptView(HWND dialog, const ScriptView& view) {
  if (dialog == nullptr) return;
  if (view.hasCaption) SetWindowTextA(dialog, view.caption);
  if (!view.hasDestination) return;
  SetDlgItemTextA(dialog, IDC_START_DESTINATION, view.destination);
  if (!view.listsScriptPath) return;
  // The script's own Path stays on offer beside a destination saved for it.
  SendDlgItemMessageA(dialog, IDC_START_DESTINATION, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(sfx.scriptPath));
  if (sameText(view.destination, sfx.scriptPath) != 0) {
    SendDlgItemMessageA(dialog, IDC_START_DESTINATION, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(view.destination));
  }
}

void RunDialogPass(HWND dialog, const char* script, ScriptMode mode) {
  // A view is two paths and a line: kept off the stack of a dialog procedure.
  ScriptView* view = static_cast<ScriptView*>(allocate(sizeof(ScriptView)));
  if (view == nullptr) {
    RunScript(dialog, script, mode, nullptr);
    return;
  }
  RunScript(dialog, script, mode, view);
  ShowScriptView(dialog, *view);
  release(view);
}
