// The prompts the extraction engine raises while it works: the password of
// an encrypted member, and what to do with a file that already exists
// (replace, skip, or extract under a new name). Each is a modal dialog owned
// by the start dialog. The answers that hold for the rest of the run (the
// password, Yes to All, No to All) are kept with the run (ui/run_view.h), so a later member is
// answered without a dialog.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "ui/portable/password_size.h"

// A new name typed at the rename prompt: up to 259 characters, all that a
// member name can hold, so that a typed name is never cut.
const int kNewNameSize = 260;
// FormatNumber's text: the largest 64-bit number with its separators.
const int kNumberTextSize = 32;

// The letters AskOverwrite answers with.
enum OverwriteDecision : char {
  kDecisionReplace = 'Y',  // the existing file's attributes are already cleared
  kDecisionSkip = 'N',
  kDecisionRename = 'R',   // the name buffer holds the new name
  kDecisionCancel = 'C',   // the run is cancelled
};

// Copies the remembered password into out (outSize bytes), asking for it
// first when none is remembered. True when out holds a password; false for
// an empty entry, and for Cancel, which also cancels the run.
bool AskPassword(char* out, int outSize, const char* fileName);

// Asks whether the existing file `name` (a buffer of kPathSize bytes) is to
// be replaced by a member of newSize bytes dated newDosDateTime (DOS date in
// the high 16 bits, time in the low 16). Writes one of the letters above to
// *decision; leaves it unchanged when the prompt could not be shown.
void AskOverwrite(char* decision, char* name, uint64_t newSize, uint32_t newDosDateTime);

// Decimal with the user's thousands separator; out holds kNumberTextSize
// bytes and is empty when formatting fails.
void FormatNumber(uint64_t value, char* out);
// The separator FormatNumber read from the locale on first use; empty until
// then (clearing it makes the next call read the locale again).
extern char numberSeparator[2];

// The dialog procedures: "GETPASSWORD1" (parameter: the member name),
// "REPLACEFILEDLG" (parameter: the path) and "RENAMEDLG" (parameter: the
// name buffer, which OK overwrites with the new name).
INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ReplaceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK RenameDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
