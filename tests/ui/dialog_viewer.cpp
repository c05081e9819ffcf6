// dialog_viewer DIALOGNAME [BLOCKFILE|-] [SECONDS]
//
// Shows one of the program's dialogs, localised through LocalizeDialog by
// the messages block in BLOCKFILE (a full path), filled with sample content
// as during an installation, for SECONDS seconds (default 5); then exits.
// The three prompts are shown by the program's own code, about a file this
// viewer makes in a folder of its own. Used to photograph the dialogs; not a
// test.
#include <windows.h>
#include <commctrl.h>
#include <stdlib.h>
#include <string.h>

#include "support/paths.h"
#include "ui/messages.h"
#include "ui/prompts.h"
#include "ui/resource_ids.h"

namespace {

const char* dialogName = "STARTDLG";
HBITMAP logo;
HICON icon;

void FillSampleContent(HWND dialog) {
  SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  const char* folder = "C:\\Program Files\\Zimbro Demo";
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

// ---------------------------------------------------------------------------
// The prompts, run by their own procedures
// ---------------------------------------------------------------------------

const char kSampleMember[] = "data/catalogue.dat";

BOOL CALLBACK FindShownDialog(HWND window, LPARAM found) {
  if (!IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

HWND ShownDialog() {
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindShownDialog, reinterpret_cast<LPARAM>(&dialog));
  return dialog;
}

// What a user has typed by the time the picture is taken.
VOID CALLBACK TypeSample(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  HWND dialog = ShownDialog();
  if (strcmp(dialogName, "GETPASSWORD1") == 0) SetDlgItemTextA(dialog, IDC_PASSWORD_EDIT, "juniper-2026");
  if (strcmp(dialogName, "RENAMEDLG") == 0) SetDlgItemTextA(dialog, IDC_RENAME_NEW, "data/catalogue-2026.dat");
}

VOID CALLBACK CloseShownDialog(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  HWND dialog = ShownDialog();
  int button = strcmp(dialogName, "REPLACEFILEDLG") == 0 ? IDC_REPLACE_NO : IDCANCEL;
  PostMessageA(dialog, WM_COMMAND, button, reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

// The existing file the replace prompt describes: 1 MiB, written a week
// before the member in the archive.
void MakeSampleFile(char* folder) {
  GetTempPathA(MAX_PATH, folder);
  strcat(folder, "zimbro-screenshots");
  CreateDirectoryA(folder, nullptr);
  SetCurrentDirectoryA(folder);
  CreateDirectoryA("data", nullptr);
  HANDLE file = CreateFileA(kSampleMember, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  SetFilePointer(file, 1048576, nullptr, FILE_BEGIN);
  SetEndOfFile(file);
  SYSTEMTIME local = {2026, 12, 2, 1, 10, 42, 0, 0};
  FILETIME localTime;
  FILETIME written;
  SystemTimeToFileTime(&local, &localTime);
  LocalFileTimeToFileTime(&localTime, &written);
  SetFileTime(file, nullptr, nullptr, &written);
  CloseHandle(file);
}

void RunPrompt(int seconds) {
  char folder[MAX_PATH];
  MakeSampleFile(folder);
  SetTimer(nullptr, 0, 300, TypeSample);
  SetTimer(nullptr, 0, seconds * 1000, CloseShownDialog);
  HINSTANCE module = GetModuleHandleA(nullptr);
  char name[kPathSize];
  strcpy(name, kSampleMember);
  if (strcmp(dialogName, "GETPASSWORD1") == 0) {
    DialogBoxParamA(module, dialogName, nullptr, PasswordDialogProc, reinterpret_cast<LPARAM>(name));
  } else if (strcmp(dialogName, "RENAMEDLG") == 0) {
    DialogBoxParamA(module, dialogName, nullptr, RenameDialogProc, reinterpret_cast<LPARAM>(name));
  } else {
    // The member: 1,052,912 bytes dated 8 December 2026, 9:15.
    char decision = 0;
    AskOverwrite(&decision, name, 1052912, (((2026 - 1980) << 9 | 12 << 5 | 8) << 16) | (9 << 11 | 15 << 5));
  }
  DeleteFileA(kSampleMember);
  RemoveDirectoryA("data");
  SetCurrentDirectoryA("..");
  RemoveDirectoryA(folder);
}

bool IsPrompt(const char* name) {
  return strcmp(name, "GETPASSWORD1") == 0 || strcmp(name, "REPLACEFILEDLG") == 0 || strcmp(name, "RENAMEDLG") == 0;
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
  if (IsPrompt(dialogName)) {
    RunPrompt(seconds);
    FreeMessagesBlock();
    return 0;
  }

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
