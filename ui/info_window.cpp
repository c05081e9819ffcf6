// The information window, the progress bar and the fatal stop.
//
// During an installation the start dialog is the only window, so every report
// of the run goes into its text control (103): one line per member, one bold
// dark-red line per error. The control starts out showing the descriptive
// text; the first line written replaces it for the rest of the run. There is
// one thread: long work keeps the dialog alive only by calling
// PumpOneMessage between its pieces, and the Cancel button reaches the work
// only through the run state the driver keeps (ui/run_view.h).
//
// The few rich-edit and progress-bar messages are declared here with the
// first, 60-byte character format record: every version of the rich edit
// control understands that layout, whatever the headers' version would make
// CHARFORMAT.
#include "ui/info_window.h"

#include <stdarg.h>
#include <windows.h>

#include "support/strings.h"
#include "ui/html_viewer.h"
#include "ui/info_lines.h"
#include "ui/message_ids.h"
#include "ui/messages.h"
#include "ui/resource_ids.h"
#include "ui/run_log.h"
#include "ui/run_view.h"
#include "ui/start_controls.h"

// ---------------------------------------------------------------------------
// Rich-edit and progress-bar vocabulary
// ---------------------------------------------------------------------------

namespace {

const UINT kEmGetCharFormat = WM_USER + 58;
const UINT kEmSetCharFormat = WM_USER + 68;
const UINT kPbmSetPos = WM_USER + 2;
const UINT kPbmGetPos = WM_USER + 8;
const WPARAM kScfDefault = 0;
const WPARAM kScfSelection = 1;
const DWORD kCfmBold = 0x00000001;
const DWORD kCfmColor = 0x40000000;
const DWORD kCfeBold = 0x00000001;
const DWORD kCfeAutoColor = 0x40000000;

// The first rich-edit character format: every version of the control
// understands this 60-byte layout.
struct CharFormat {
  UINT size;
  DWORD mask;
  DWORD effects;
  LONG height;
  LONG offset;
  COLORREF textColor;
  BYTE charSet;
  BYTE pitchAndFamily;
  char faceName[32];
};
static_assert(sizeof(CharFormat) == 60, "the control expects a 60-byte CHARFORMAT");

const COLORREF kErrorColor = 0x0000A0;  // dark red
// Beyond any text the control can hold (4 MiB): selects the end.
const LPARAM kPastTheEnd = 100000000;
// The longest line InfoPrint and ErrorPrint format.
const size_t kLineSize = 1024;

void fillZero(void* data, size_t size) { fillBytes(data, 0, size); }

}  // namespace

// ---------------------------------------------------------------------------
// Lines
// ---------------------------------------------------------------------------

void InfoAppend(const char* text, bool errorStyle) {
  // The caller's log, when there is one, gets every line, window or not.
  LogLine(text);
  HWND control = StartDialogControl(IDC_START_TEXT);
  // Without the start dialog (before it exists, or after it has closed)
  // there is nowhere to write, and nothing counts as written.
  if (control == nullptr) return;

  if (!InfoWindowUsed()) {
    // The descriptive text gives way to the report: its HTML view goes, and
    // the control itself is shown and emptied.
    if (RunStartViewer() != nullptr) HideHtmlView(RunStartViewer());
    ShowWindow(control, SW_SHOW);
    SendMessageA(control, EM_SETSEL, 0, -1);
    SendMessageA(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
    MarkInfoWindowUsed();
  }

  if (!errorStyle) {
    // Member lines go in batches (ui/info_lines.cpp); the message pump
    // writes a batch that has waited long enough.
    QueueInfoLine(text);
    if (InfoLinesDue()) FlushInfoLines();
    return;
  }
  // Whatever came before the error line shows before it.
  FlushInfoLines();
  SendMessageA(control, EM_SETSEL, kPastTheEnd, kPastTheEnd);

  CharFormat format;
  fillZero(&format, sizeof(format));
  format.size = sizeof(format);
  SendMessageA(control, kEmGetCharFormat, kScfDefault, reinterpret_cast<LPARAM>(&format));
  const DWORD defaultEffects = format.effects;
  format.mask = kCfmBold | kCfmColor;
  format.effects = (format.effects & ~kCfeAutoColor) | kCfeBold;
  format.textColor = kErrorColor;
  SendMessageA(control, kEmSetCharFormat, kScfSelection, reinterpret_cast<LPARAM>(&format));
  SendMessageA(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
  SendMessageA(control, EM_SETSEL, kPastTheEnd, kPastTheEnd);

  // Back to the default look for the line end and whatever follows: the
  // automatic colour, and the default's own boldness.
  format.effects = (format.effects | kCfeAutoColor) & ~kCfeBold;
  format.effects |= defaultEffects & kCfeBold;
  SendMessageA(control, kEmSetCharFormat, kScfSelection, reinterpret_cast<LPARAM>(&format));
  SendMessageA(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("\r\n"));
  KeepInfoLinesSoFar(control);
}

void SelectEndInPlainLook(HWND control) {
  SendMessageA(control, EM_SETSEL, kPastTheEnd, kPastTheEnd);
  CharFormat format;
  fillZero(&format, sizeof(format));
  format.size = sizeof(format);
  SendMessageA(control, kEmGetCharFormat, kScfDefault, reinterpret_cast<LPARAM>(&format));
  format.mask = kCfmBold;
  SendMessageA(control, kEmSetCharFormat, kScfSelection, reinterpret_cast<LPARAM>(&format));
}

void InfoPrint(const char* format, ...) {
  char line[kLineSize];
  va_list arguments;
  va_start(arguments, format);
  formatTextV(line, format, arguments);
  va_end(arguments);
  InfoAppend(line, false);
}

void ErrorPrint(const char* format, ...) {
  if (format == nullptr || format[0] == '\0') return;
  char line[kLineSize];
  va_list arguments;
  va_start(arguments, format);
  formatTextV(line, format, arguments);
  va_end(arguments);
  InfoAppend(line, true);
  CountErrorLine();
}

void ReportFileError(const char* format, const char* argument) {
  // After a cancel the file layer's failures are the consequence of the
  // stop, not news for the user.
  if (!RunGoingOn() || format == nullptr || format[0] == '\0') return;
  // The caller may still want to look at the cause after the report, and
  // the window calls below overwrite it.
  const DWORD savedError = GetLastError();
  char line[4096];
  formatText(line, format, argument != nullptr ? argument : "");
  ErrorPrint("%s", line);
  SetLastError(savedError);
}

bool ReportMember(const char* name) {
  InfoPrint(MessageText(kMsgExtracting), name);
  PumpWhileWorking();
  return RunGoingOn();
}

// ---------------------------------------------------------------------------
// Progress
// ---------------------------------------------------------------------------

uint32_t ProgressPercent(uint32_t done, uint32_t total) {
  // Beyond a million, both drop their low byte so that done * 100 cannot
  // overflow 32 bits; the ratio barely changes.
  if (done > 1000000) {
    done >>= 8;
    total >>= 8;
  }
  if (total == 0) return 0;
  if (done > total) return 100;
  return done * 100 / total;
}

void SetProgress(uint32_t done, uint32_t total) {
  // The bar moves in whole percents; an archive of many small members asks
  // thousands of times for the position it already shows.
  const uint32_t percent = ProgressPercent(done, total);
  HWND bar = StartDialogControl(IDC_START_PROGRESS);
  if (bar == nullptr || static_cast<uint32_t>(SendMessageA(bar, kPbmGetPos, 0, 0)) == percent) return;
  SendMessageA(bar, kPbmSetPos, percent, 0);
}

// ---------------------------------------------------------------------------
// Message pump
// ---------------------------------------------------------------------------

void PumpOneMessage() {
  // Long work calls this between its pieces: the place where gathered
  // member lines reach the screen while a large member is decoded.
  if (InfoLinesDue()) FlushInfoLines();
  MSG message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) return;
  if (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

namespace {

// When PumpWhileWorking last looked at the queue; nothing before the first.
struct PumpPace {
  bool looked;
  DWORD lastLook;
};
PumpPace pace;

}  // namespace

void PumpWhileWorking() {
  // Every look at the queue is a trip to the window system. An archive of
  // thousands of small members asked for two per member, thousands a
  // second, far more than a dialog needs to stay alive: at one look per
  // tick of the system clock (10 to 16 ms) it is still redrawn, and Cancel
  // still answered, some sixty times a second.
  const DWORD now = GetTickCount();
  if (pace.looked && now - pace.lastLook < kPumpPace) return;
  pace.looked = true;
  pace.lastLook = now;
  PumpOneMessage();
}

void RestartPumpPace() { pace.looked = false; }

// ---------------------------------------------------------------------------
// Fatal stop
// ---------------------------------------------------------------------------

void FatalStopWait() {
  FlushInfoLines();
  HWND dialog = RunWindow();
  if (dialog != nullptr && !IsWindow(dialog)) dialog = nullptr;

  EnterFatalStop();
  if (dialog != nullptr) {
    SetDlgItemTextA(dialog, IDOK, MessageText(kMsgClose));
    // The install flow disables the button while it extracts and would
    // enable it again only after the extraction, which a fatal error never
    // returns to: the user must be able to press Close.
    EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
  }

  // An unattended run has nobody to press Close: it ends at once.
  if (dialog != nullptr && !RunUnattended()) {
    ShowWindow(dialog, SW_SHOWNORMAL);
    // Nothing to read in the dialog (no script text, no report line):
    // close it at once instead of making the user press Close.
    if (!RunHasScript() && !InfoWindowUsed()) SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    // The Close handler of the start dialog sets runState to 2. A dialog that
    // went away some other way can never do that, so its end ends the wait.
    while (!RunClosing() && IsWindow(dialog)) {
      MSG message;
      if (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        PumpOneMessage();
      } else {
        // Sleep until input arrives rather than spin; the timeout keeps the
        // loop checking the window even if no message ever comes.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
      }
    }
  }

  if (RunInTempMode()) RemoveRunTempFolder();
}
