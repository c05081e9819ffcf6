// The rich edit control that replaces the template's edit control 103.
//
// The dialog template holds a plain edit control so that the dialog still
// works where the rich edit library is missing. When the library is there,
// its control takes the edit control's place, size, Z order, id and font;
// the template cannot name it directly because its class is registered only
// once the library has been loaded at run time.
#include "ui/info_control.h"

#include "ui/resource_ids.h"

namespace {

const UINT kEmExLimitText = WM_USER + 53;
const LPARAM kTextLimit = kInfoTextLimit;
const DWORD kRichEditStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_TABSTOP |
                             ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY;

}  // namespace

HWND CreateInformationWindow(HWND dialog) {
  HWND edit = GetDlgItem(dialog, IDC_START_TEXT);
  if (edit == nullptr) return nullptr;

  RECT place;
  GetWindowRect(edit, &place);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);

  // The same place, one pixel larger each way.
  HWND rich = CreateWindowExA(0, "RichEdit", "", kRichEditStyle, place.left, place.top,
                              place.right - place.left + 1, place.bottom - place.top + 1, dialog,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_START_TEXT)),
                              GetModuleHandleA(nullptr), nullptr);
  if (rich == nullptr) return edit;

  // Same tab order as the control it replaces.
  SetWindowPos(rich, edit, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  DestroyWindow(edit);
  SendMessageA(rich, WM_SETFONT, SendMessageA(dialog, WM_GETFONT, 0, 0), FALSE);
  SendMessageA(rich, kEmExLimitText, 0, kTextLimit);
  return rich;
}
