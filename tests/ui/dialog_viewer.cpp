// dialog_viewer DIALOGNAME [BLOCKFILE|-] [SECONDS]
//
// Shows one of the program's dialogs, localised through LocalizeDialog by
// the messages block in BLOCKFILE (a full path), filled with sample content
// as during an installation, for SECONDS seconds (default 5); then exits.
// Used to photograph the dialogs; not a test.
#include <windows.h>
#include <commctrl.h>
#include <stdlib.h>
#include <string.h>

#include "ui/messages.h"
#include "ui/resource_ids.h"

namespace {

const char* dialogName = "STARTDLG";
HBITMAP logo;
HICON icon;

void FillSampleContent(HWND dialog) {
  SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  const char* folder = "C:\\Program Files\\Zimbro Demo";
  const char* file = "C:\\Program Files\\Zimbro Demo\\data\\catalogue.dat";
  if (strcmp(dialogName, "STARTDLG") == 0) {
    SendDlgItemMessageA(dialog, IDC_START_LOGO, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(logo));
    SetDlgItemTextA(dialog, IDC_START_DESTINATION, folder);
    SetDlgItemTextA(dialog, IDC_START_TEXT,
                    "Press Install to start extraction.\r\n\r\n"
                    "Use Browse to select the destination folder from the folders tree. It can also be entered "
                    "manually.\r\n\r\nIf the destination folder does not exist, it will be created "
                    "automatically before extraction.");
    SendDlgItemMessageA(dialog, IDC_START_PROGRESS, PBM_SETPOS, 40, 0);
  } else if (strcmp(dialogName, "LICENSEDLG") == 0) {
    SendDlgItemMessageA(dialog, IDC_LICENSE_LOGO, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(logo));
    SetDlgItemTextA(dialog, IDC_LICENSE_TEXT,
                    "SAMPLE LICENSE\r\n\r\nPermission is granted to use this sample program for any purpose. "
                    "It comes without any warranty.");
  } else if (strcmp(dialogName, "GETPASSWORD1") == 0) {
    SetDlgItemTextA(dialog, IDC_PASSWORD_FILE, file);
  } else if (strcmp(dialogName, "REPLACEFILEDLG") == 0) {
    SetDlgItemTextA(dialog, IDC_REPLACE_NAME, file);
    SendDlgItemMessageA(dialog, IDC_REPLACE_OLD_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    SendDlgItemMessageA(dialog, IDC_REPLACE_NEW_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    SetDlgItemTextA(dialog, IDC_REPLACE_OLD_SIZE, "1,048,576 bytes");
    SetDlgItemTextA(dialog, IDC_REPLACE_OLD_DATE, "modified on 12/1/2026 10:42 AM");
    SetDlgItemTextA(dialog, IDC_REPLACE_NEW_SIZE, "1,052,912 bytes");
    SetDlgItemTextA(dialog, IDC_REPLACE_NEW_DATE, "modified on 12/8/2026 9:15 AM");
  } else if (strcmp(dialogName, "RENAMEDLG") == 0) {
    SetDlgItemTextA(dialog, IDC_RENAME_OLD, file);
    SetDlgItemTextA(dialog, IDC_RENAME_NEW, file);
  }
}

INT_PTR CALLBACK ViewerProcedure(HWND dialog, UINT message, WPARAM, LPARAM) {
  LocalizeDialog(dialog, message, dialogName);
  switch (message) {
    case WM_INITDIALOG: {
      FillSampleContent(dialog);
      // Focus on the default button, as after a click: no selected text.
      LRESULT defaultId = SendMessageA(dialog, DM_GETDEFID, 0, 0);
      if (HIWORD(defaultId) == DC_HASDEFID) SetFocus(GetDlgItem(dialog, LOWORD(defaultId)));
      return FALSE;
    }
    case WM_CLOSE:
    case WM_TIMER:
      DestroyWindow(dialog);
      return TRUE;
    case WM_DESTROY:
      PostQuitMessage(0);
      return TRUE;
  }
  return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE module, HINSTANCE, LPSTR, int) {
  if (__argc > 1) dialogName = __argv[1];
  if (__argc > 2 && strcmp(__argv[2], "-") != 0) LoadMessagesBlock(__argv[2]);
  int seconds = __argc > 3 ? atoi(__argv[3]) : 5;

  INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&classes);
  logo = LoadBitmapA(module, MAKEINTRESOURCEA(IDB_LOGO));
  icon = LoadIconA(module, MAKEINTRESOURCEA(IDI_APP));

  HWND dialog = CreateDialogParamA(module, dialogName, nullptr, ViewerProcedure, 0);
  if (dialog == nullptr) return 1;
  ShowWindow(dialog, SW_SHOW);
  SetTimer(dialog, 1, seconds * 1000, nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageA(dialog, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  FreeMessagesBlock();
  return 0;
}
