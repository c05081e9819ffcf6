// The information window, progress bar and fatal stop on the real start
// dialog: the "STARTDLG" template created modeless, its text area replaced
// by the rich edit control, read back through the controls as a user would
// see them (text, bold, colour, bar position, button text).
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/test_support.h"
#include "driver/layer_hooks.h"
#include "common/fresh_run.h"
#include "driver/sfx_state.h"
#include "support/file_object.h"
#include "ui/info_control.h"
#include "ui/info_lines.h"
#include "ui/html_viewer.h"
#include "ui/info_window.h"
#include "ui/resource_ids.h"

namespace {

// ---------------------------------------------------------------------------
// A stand-in for the start dialog: the real template, the real information
// window, and the button handlers of close mode and cancel.
// ---------------------------------------------------------------------------

const UINT_PTR kPressCloseTimer = 1;
const UINT_PTR kSafetyTimer = 2;
const UINT kCountMessage = WM_APP + 1;
const int kChildPassed = 42;

struct HostRecord {
  int countMessages;       // kCountMessage received
  bool pressedClose;       // the press timer fired
  std::string buttonText;  // button 1's text when the press timer fired
  bool visibleAtPress;
  bool enabledAtPress;
  int runStateAtPress;
  bool safetyFired;
};
HostRecord host;

void EndHostDialog(HWND dialog) {
  KillTimer(dialog, kPressCloseTimer);
  KillTimer(dialog, kSafetyTimer);
  DestroyWindow(dialog);
}

INT_PTR CALLBACK HostDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CreateInformationWindow(dialog);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK && (sfx.stage == kStageErrorsShown || sfx.stage == kStageFatalStop)) {
        if (sfx.stage == kStageFatalStop) sfx.runState = kClosing;
        EndHostDialog(dialog);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        if (sfx.stage == kStageExtracting) sfx.runState = kCancelRequested;
        if (sfx.stage != kStageExtracting || sfx.errorCount == 0) {
          sfx.runState = kClosing;
          EndHostDialog(dialog);
        }
        return TRUE;
      }
      return FALSE;
    case WM_TIMER:
      if (wParam == kPressCloseTimer) {
        KillTimer(dialog, kPressCloseTimer);
        char text[64] = "";
        GetDlgItemTextA(dialog, IDOK, text, sizeof(text));
        host.pressedClose = true;
        host.buttonText = text;
        host.visibleAtPress = IsWindowVisible(dialog) != FALSE;
        host.enabledAtPress = IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE;
        host.runStateAtPress = sfx.runState;
        // A click on the button, as the user makes it.
        SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        return TRUE;
      }
      if (wParam == kSafetyTimer) {
        // Never let a wait outlive the test.
        host.safetyFired = true;
        EndHostDialog(dialog);
        return TRUE;
      }
      return FALSE;
    default:
      if (message == kCountMessage) {
        host.countMessages += 1;
        return TRUE;
      }
      return FALSE;
  }
}

void DrainMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void ResetTestRun() {
  ResetRunState();
  host = HostRecord();
}

void LoadControlLibraries() {
  LoadLibraryA("riched32.dll");
  LoadLibraryA("riched20.dll");
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

HWND CreateHostDialog() {
  return CreateDialogParamA(GetModuleHandleA(nullptr), "STARTDLG", nullptr, HostDialogProc, 0);
}

// ---------------------------------------------------------------------------
// Reading the information window back
// ---------------------------------------------------------------------------

std::string ClassOf(HWND window) {
  char name[80] = "";
  GetClassNameA(window, name, sizeof(name));
  return name;
}

// The whole text with one character per position, as the selection
// messages count them. Gathered member lines are written first, as the
// message pump would within a moment.
std::string PositionText(HWND control) {
  FlushInfoLines();
  // The window text counts a line end as two characters, the selection
  // positions as one or two: its length is enough for either.
  std::string text(GetWindowTextLengthA(control) + 1, '\0');
  TEXTRANGEA range;
  range.chrg.cpMin = 0;
  range.chrg.cpMax = -1;
  range.lpstrText = &text[0];
  LRESULT length = SendMessageA(control, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
  text.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return text;
}

std::string WindowText(HWND control) {
  FlushInfoLines();
  std::string text(GetWindowTextLengthA(control) + 1, '\0');
  text.resize(GetWindowTextA(control, &text[0], static_cast<int>(text.size())));
  return text;
}

CHARFORMATA FormatOver(HWND control, LONG from, LONG to) {
  SendMessageA(control, EM_SETSEL, from, to);
  CHARFORMATA format;
  ZeroMemory(&format, sizeof(format));
  format.cbSize = sizeof(format);
  SendMessageA(control, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  return format;
}

CHARFORMATA FormatAt(HWND control, LONG position) {
  SendMessageA(control, EM_SETSEL, position, position + 1);
  CHARFORMATA format;
  ZeroMemory(&format, sizeof(format));
  format.cbSize = sizeof(format);
  SendMessageA(control, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  return format;
}

CHARFORMATA DefaultFormat(HWND control) {
  CHARFORMATA format;
  ZeroMemory(&format, sizeof(format));
  format.cbSize = sizeof(format);
  SendMessageA(control, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
  return format;
}

bool IsErrorStyle(const CHARFORMATA& format) {
  return (format.dwEffects & CFE_BOLD) != 0 && (format.dwEffects & CFE_AUTOCOLOR) == 0 &&
         format.crTextColor == 0x0000A0;
}

bool IsDefaultStyle(const CHARFORMATA& format, const CHARFORMATA& defaults) {
  return (format.dwEffects & CFE_BOLD) == (defaults.dwEffects & CFE_BOLD) &&
         ((format.dwEffects & CFE_AUTOCOLOR) != 0 || format.crTextColor == defaults.crTextColor);
}

class StartDialogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { LoadControlLibraries(); }

  void SetUp() override {
    ResetTestRun();
    dialog = CreateHostDialog();
    ASSERT_NE(dialog, nullptr);
    sfx.mainWindow = dialog;
    info = GetDlgItem(dialog, IDC_START_TEXT);
    DrainMessages();
  }

  void TearDown() override {
    if (IsWindow(dialog)) DestroyWindow(dialog);
    DrainMessages();
    ResetTestRun();
  }

  HWND dialog = nullptr;
  HWND info = nullptr;
};

// ---------------------------------------------------------------------------
// The rich edit control in place of the template's edit control
// ---------------------------------------------------------------------------

using InformationWindowControl = StartDialogTest;

TEST_F(InformationWindowControl, TakesThePlaceOrderAndFontOfTheEditControl) {
  // A second dialog that keeps its template edit control, to compare with.
  HWND plain = CreateDialogParamA(GetModuleHandleA(nullptr), "STARTDLG", nullptr, PlainDialogProc, 0);
  ASSERT_NE(plain, nullptr);
  HWND edit = GetDlgItem(plain, IDC_START_TEXT);
  ASSERT_EQ(ClassOf(edit), "Edit");

  ASSERT_NE(info, nullptr);
  EXPECT_NE(ClassOf(info), "Edit");
  EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, ClassOf(info).c_str(), -1, "RichEdit", -1),
            CSTR_EQUAL)
      << ClassOf(info);

  RECT editPlace, richPlace;
  GetWindowRect(edit, &editPlace);
  MapWindowPoints(nullptr, plain, reinterpret_cast<POINT*>(&editPlace), 2);
  GetWindowRect(info, &richPlace);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&richPlace), 2);
  EXPECT_EQ(richPlace.left, editPlace.left);
  EXPECT_EQ(richPlace.top, editPlace.top);
  EXPECT_EQ(richPlace.right - richPlace.left, editPlace.right - editPlace.left + 1);
  EXPECT_EQ(richPlace.bottom - richPlace.top, editPlace.bottom - editPlace.top + 1);

  // Same neighbours in the Z (tab) order: Browse before, the progress label after.
  EXPECT_EQ(GetDlgCtrlID(GetWindow(info, GW_HWNDPREV)), GetDlgCtrlID(GetWindow(edit, GW_HWNDPREV)));
  EXPECT_EQ(GetDlgCtrlID(GetWindow(info, GW_HWNDPREV)), IDC_START_BROWSE);
  HWND next = GetWindow(info, GW_HWNDNEXT);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(WindowText(next), "Installation progress");

  // Only one control 103 is left, with the dialog's font.
  int count = 0;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if (GetDlgCtrlID(child) == IDC_START_TEXT) count += 1;
  }
  EXPECT_EQ(count, 1);
  // The text appears in the dialog's typeface and size.
  LOGFONTA dialogFont;
  ASSERT_NE(GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof(dialogFont),
                       &dialogFont),
            0);
  CHARFORMATA textFont = DefaultFormat(info);
  EXPECT_STREQ(textFont.szFaceName, dialogFont.lfFaceName);
  HDC screen = GetDC(nullptr);
  const LONG pixelsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  const LONG dialogTwips = MulDiv(dialogFont.lfHeight < 0 ? -dialogFont.lfHeight : dialogFont.lfHeight, 1440,
                                  pixelsPerInch);
  EXPECT_NEAR(textFont.yHeight, dialogTwips, 20) << "font height in twips";

  LONG style = GetWindowLongA(info, GWL_STYLE);
  EXPECT_TRUE(style & WS_VISIBLE);
  EXPECT_TRUE(style & ES_READONLY);
  EXPECT_TRUE(style & ES_MULTILINE);
  EXPECT_EQ(SendMessageA(info, EM_GETLIMITTEXT, 0, 0), 4 * 1024 * 1024);
  DestroyWindow(plain);
}

TEST_F(InformationWindowControl, HoldsMoreThanAPlainEditControl) {
  // 250,000 characters in 250 lines: beyond the edit control's default.
  std::string line(999, 'x');
  sfx.infoWindowUsed = true;
  for (int i = 0; i < 250; ++i) InfoAppend(line.c_str(), false);
  EXPECT_EQ(PositionText(info).size() >= 250u * 1000u, true);
  EXPECT_EQ(PositionText(info).substr(0, 999), line);
}

// The child half of the test below: a process that never loaded the rich
// edit libraries.
TEST(InformationWindowFallbackChild, KeepsTheEditControl) {
  if (testing_support::Environment("ZIMBRO_INFO_CHILD") != "fallback") GTEST_SKIP();
  ASSERT_EQ(GetModuleHandleA("riched32.dll"), nullptr);
  InitCommonControls();
  ResetTestRun();
  HWND dialog = CreateHostDialog();
  ASSERT_NE(dialog, nullptr);
  sfx.mainWindow = dialog;
  HWND info = GetDlgItem(dialog, IDC_START_TEXT);
  ASSERT_EQ(ClassOf(info), "Edit");
  SetWindowTextA(info, "Descriptive text");
  InfoPrint("Extracting %s", "a.txt");
  ErrorPrint("CRC failed in %s", "b.txt");
  EXPECT_EQ(WindowText(info), "Extracting a.txt\r\nCRC failed in b.txt\r\n");
  EXPECT_EQ(sfx.errorCount, 1);
  DestroyWindow(dialog);
  // A code of its own, so that the parent knows this test really ran.
  if (!::testing::Test::HasFailure()) ExitProcess(kChildPassed);
}

TEST(InformationWindowFallback, WithoutTheRichEditLibraryTheEditControlStays) {
  SetEnvironmentVariableA("ZIMBRO_INFO_CHILD", "fallback");
  int code = testing_support::RunProcess(
      "\"" + testing_support::SelfPath() +
          "\" --gtest_filter=InformationWindowFallbackChild.KeepsTheEditControl",
      "", 60000);
  SetEnvironmentVariableA("ZIMBRO_INFO_CHILD", nullptr);
  EXPECT_EQ(code, kChildPassed);
}

// ---------------------------------------------------------------------------
// Lines
// ---------------------------------------------------------------------------

using InfoLines = StartDialogTest;

TEST_F(InfoLines, FirstLineReplacesTheDescriptiveTextAndItsView) {
  // The view of the descriptive text: a host window over the control.
  HtmlViewer viewer = {};
  viewer.hostWindow = CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, dialog, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(viewer.hostWindow, nullptr);
  HWND view = viewer.hostWindow;
  sfx.startViewer = &viewer;
  SetWindowTextA(info, "Press Install button to start extraction.");
  ShowWindow(info, SW_HIDE);  // as the HTML view leaves it

  InfoAppend("Extracting a.txt", false);
  EXPECT_TRUE(sfx.infoWindowUsed);
  EXPECT_TRUE(GetWindowLongA(info, GWL_STYLE) & WS_VISIBLE);
  EXPECT_FALSE(IsWindow(view));
  EXPECT_EQ(viewer.hostWindow, nullptr);
  EXPECT_EQ(WindowText(info), "Extracting a.txt\r\n");

  // Later lines keep what was written.
  InfoAppend("Extracting b.txt", false);
  EXPECT_EQ(WindowText(info), "Extracting a.txt\r\nExtracting b.txt\r\n");
  sfx.startViewer = nullptr;
}

TEST_F(InfoLines, AControlMadeAnewUnderTheSameIdGetsTheLines) {
  ErrorPrint("Cannot open %s", "a");
  // The information window's control is replaced at run time, under the
  // same id; so is the whole dialog from one test to the next.
  RECT place;
  GetWindowRect(info, &place);
  DestroyWindow(info);
  info = CreateWindowExA(0, "EDIT", "", WS_CHILD | ES_MULTILINE, 0, 0, 100, 100, dialog,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_START_TEXT)), GetModuleHandleA(nullptr),
                         nullptr);
  ASSERT_NE(info, nullptr);
  ErrorPrint("Cannot open %s", "b");
  EXPECT_EQ(WindowText(info), "Cannot open b\r\n");
}

TEST_F(InfoLines, FirstLineWithoutAViewStillClearsTheText) {
  SetWindowTextA(info, "Plain descriptive text");
  ErrorPrint("Cannot open %s", "x.bin");
  EXPECT_EQ(WindowText(info), "Cannot open x.bin\r\n");
}

TEST_F(InfoLines, ErrorLineIsBoldDarkRedAndEverythingAfterItDefault) {
  InfoPrint("Extracting %s", "a.txt");
  ErrorPrint("CRC failed in %s", "b.txt");
  InfoPrint("Extracting %s", "c.txt");

  EXPECT_EQ(WindowText(info), "Extracting a.txt\r\nCRC failed in b.txt\r\nExtracting c.txt\r\n");
  const std::string text = PositionText(info);
  const CHARFORMATA defaults = DefaultFormat(info);
  const LONG first = static_cast<LONG>(text.find("Extracting a.txt"));
  const LONG error = static_cast<LONG>(text.find("CRC failed in b.txt"));
  const LONG errorEnd = error + static_cast<LONG>(strlen("CRC failed in b.txt"));
  const LONG next = static_cast<LONG>(text.find("Extracting c.txt"));
  ASSERT_GE(first, 0);
  ASSERT_GT(error, first);
  ASSERT_GT(next, errorEnd);

  EXPECT_TRUE(IsDefaultStyle(FormatAt(info, first), defaults));
  EXPECT_TRUE(IsErrorStyle(FormatAt(info, error)));
  EXPECT_TRUE(IsErrorStyle(FormatAt(info, errorEnd - 1)));
  // The line end is one mark: it can only be selected whole.
  EXPECT_TRUE(IsDefaultStyle(FormatOver(info, errorEnd, next), defaults));
  DWORD from = 0, to = 0;
  SendMessageA(info, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
  EXPECT_EQ(from, static_cast<DWORD>(errorEnd));
  EXPECT_EQ(to, static_cast<DWORD>(next));
  EXPECT_TRUE(IsDefaultStyle(FormatAt(info, next), defaults));
  EXPECT_TRUE(IsDefaultStyle(FormatAt(info, next + 10), defaults));
}

TEST_F(InfoLines, AfterAnErrorLineABoldDefaultStaysBold) {
  CHARFORMATA bold;
  ZeroMemory(&bold, sizeof(bold));
  bold.cbSize = sizeof(bold);
  bold.dwMask = CFM_BOLD;
  bold.dwEffects = CFE_BOLD;
  SendMessageA(info, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&bold));
  ErrorPrint("Cannot open %s", "a");
  InfoPrint("Extracting %s", "b");
  const std::string text = PositionText(info);
  const LONG next = static_cast<LONG>(text.find("Extracting b"));
  ASSERT_GT(next, 0);
  EXPECT_TRUE(IsErrorStyle(FormatAt(info, 0)));
  const CHARFORMATA lineEnd = FormatOver(info, next - 2, next);
  EXPECT_TRUE(lineEnd.dwEffects & CFE_BOLD);
  EXPECT_TRUE(lineEnd.dwEffects & CFE_AUTOCOLOR);
  const CHARFORMATA member = FormatAt(info, next);
  EXPECT_TRUE(member.dwEffects & CFE_BOLD);
  EXPECT_TRUE(member.dwEffects & CFE_AUTOCOLOR);
}

TEST_F(InfoLines, ErrorPrintCountsEveryLineButIgnoresAnEmptyFormat) {
  SetWindowTextA(info, "Descriptive text");
  ErrorPrint("");
  EXPECT_EQ(sfx.errorCount, 0);
  EXPECT_FALSE(sfx.infoWindowUsed);
  EXPECT_EQ(WindowText(info), "Descriptive text");

  ErrorPrint("Unexpected end of archive");
  ErrorPrint("Cannot create %s", "d\\e.txt");
  EXPECT_EQ(sfx.errorCount, 2);
  EXPECT_EQ(WindowText(info), "Unexpected end of archive\r\nCannot create d\\e.txt\r\n");

  // ErrorPrint reports even after a cancel.
  sfx.runState = kCancelRequested;
  ErrorPrint("Write error in the file %s. Probably the disk is full", "f");
  EXPECT_EQ(sfx.errorCount, 3);
}

TEST_F(InfoLines, LongLinesAreCutNotOverrun) {
  std::string name(3000, 'n');
  ErrorPrint("Cannot open %s", name.c_str());
  ReportFileError("Read error in the file %s", name.c_str());
  EXPECT_EQ(sfx.errorCount, 2);
  std::string text = WindowText(info);
  size_t lineEnd = text.find("\r\n");
  ASSERT_NE(lineEnd, std::string::npos);
  EXPECT_LE(lineEnd, 1023u);
  EXPECT_EQ(text.substr(0, 12), "Cannot open ");
}

// Thousands of member lines, in batches as the message pump writes them.
// Every error line stays; the member lines between two error lines (and
// after the last) are cut only from their oldest end, and at least
// kKeptMemberLines of the newest of them stay, so the lines that led to
// each error are still there to read.
TEST_F(InfoLines, ManyMemberLinesKeepEveryErrorAndTheNewest) {
  const std::vector<std::vector<int>> errorsAt = {{}, {100}, {100, 500}, {990}, {2, 3, 998}};
  const int kMembers = 1000;
  for (const std::vector<int>& errors : errorsAt) {
    SCOPED_TRACE(testing::PrintToString(errors));
    ResetTestRun();
    DestroyWindow(dialog);
    dialog = CreateHostDialog();
    sfx.mainWindow = dialog;
    info = GetDlgItem(dialog, IDC_START_TEXT);
    // The member lines sent between error lines, one list per stretch.
    std::vector<std::vector<std::string>> stretches(1);
    for (int i = 0; i < kMembers; ++i) {
      char line[40];
      wsprintfA(line, "Extracting m%04d", i);
      InfoPrint("%s", line);
      stretches.back().push_back(line);
      if (std::find(errors.begin(), errors.end(), i) != errors.end()) {
        ErrorPrint("CRC failed in m%04d", i);
        stretches.emplace_back();
      }
      if (i % 25 == 24) FlushInfoLines();
    }
    std::vector<std::string> shown;
    std::istringstream text(WindowText(info));
    for (std::string line; std::getline(text, line);) shown.push_back(line.substr(0, line.size() - 1));

    size_t at = 0;
    for (size_t k = 0; k < stretches.size(); ++k) {
      const std::vector<std::string>& sent = stretches[k];
      size_t count = 0;
      while (at + count < shown.size() && shown[at + count].rfind("CRC failed", 0) != 0) count += 1;
      EXPECT_GE(count, std::min<size_t>(sent.size(), kKeptMemberLines)) << "stretch " << k;
      EXPECT_LE(count, static_cast<size_t>(kCutMemberLines));
      ASSERT_LE(count, sent.size());
      EXPECT_TRUE(std::equal(shown.begin() + at, shown.begin() + at + count, sent.end() - count))
          << "stretch " << k << " keeps its newest lines in order";
      at += count;
      if (k + 1 < stretches.size()) {
        ASSERT_LT(at, shown.size());
        EXPECT_EQ(shown[at], "CRC failed in m" + sent.back().substr(12)) << "error line " << k;
        at += 1;
      }
    }
    EXPECT_EQ(at, shown.size());
    EXPECT_EQ(sfx.errorCount, static_cast<int>(errors.size()));
  }
}

TEST_F(InfoLines, GatheredLinesShowBeforeAnErrorAndAtThePump) {
  ShowWindow(dialog, SW_SHOWNA);
  InfoPrint("Extracting %s", "a");
  InfoPrint("Extracting %s", "b");
  ErrorPrint("Cannot open %s", "b");
  EXPECT_EQ(WindowText(info), "Extracting a\r\nExtracting b\r\nCannot open b\r\n");
  // A line that has waited its interval reaches the window at the next pump,
  // without anyone flushing.
  InfoPrint("Extracting %s", "c");
  Sleep(kLineBatchInterval + 20);
  PumpOneMessage();
  std::string direct(GetWindowTextLengthA(info) + 1, '\0');
  direct.resize(GetWindowTextA(info, &direct[0], static_cast<int>(direct.size())));
  EXPECT_EQ(direct, "Extracting a\r\nExtracting b\r\nCannot open b\r\nExtracting c\r\n");
}

std::string DirectText(HWND control) {
  std::string text(GetWindowTextLengthA(control) + 1, '\0');
  text.resize(GetWindowTextA(control, &text[0], static_cast<int>(text.size())));
  return text;
}

TEST_F(InfoLines, AHiddenDialogGetsItsLinesWhenTheyMustShowAndOnlyTheNewest) {
  ASSERT_FALSE(IsWindowVisible(dialog));  // as a silent run keeps it
  ErrorPrint("Cannot open %s", "first");
  const int kMembers = 3000;  // several batches' worth
  for (int i = 0; i < kMembers; ++i) InfoPrint("Extracting m%04d", i);
  Sleep(kLineBatchInterval + 20);
  PumpOneMessage();
  EXPECT_EQ(DirectText(info), "Cannot open first\r\n") << "nobody can see a line yet";

  ErrorPrint("Cannot open %s", "last");
  std::vector<std::string> shown;
  std::istringstream text(DirectText(info));
  for (std::string line; std::getline(text, line);) shown.push_back(line.substr(0, line.size() - 1));
  ASSERT_GE(shown.size(), kKeptMemberLines + 2);
  EXPECT_LE(shown.size(), kCutMemberLines + 2);
  EXPECT_EQ(shown.front(), "Cannot open first");
  EXPECT_EQ(shown.back(), "Cannot open last");
  for (size_t k = 1; k + 1 < shown.size(); ++k) {
    char expected[40];
    wsprintfA(expected, "Extracting m%04d", kMembers - static_cast<int>(shown.size() - 1 - k));
    EXPECT_EQ(shown[k], expected) << "the newest lines, in order";
  }
  EXPECT_EQ(sfx.errorCount, 2);
}

TEST_F(InfoLines, WithoutTheDialogNothingIsWrittenButErrorsCount) {
  sfx.mainWindow = nullptr;
  InfoPrint("Extracting %s", "a");
  ErrorPrint("Cannot open %s", "b");
  EXPECT_FALSE(sfx.infoWindowUsed);
  EXPECT_EQ(sfx.errorCount, 1);
}

// ---------------------------------------------------------------------------
// File errors and member lines
// ---------------------------------------------------------------------------

using FileErrorReports = StartDialogTest;

TEST_F(FileErrorReports, WritesOneErrorLineAndKeepsTheLastErrorCode) {
  SetLastError(1234);
  ReportFileError("Read error in the file %s", "C:\\archive.exe");
  EXPECT_EQ(GetLastError(), 1234u);
  EXPECT_EQ(sfx.errorCount, 1);
  EXPECT_EQ(WindowText(info), "Read error in the file C:\\archive.exe\r\n");
  EXPECT_TRUE(IsErrorStyle(FormatAt(info, 0)));

  // The close error has no name in it and may come without one.
  SetLastError(ERROR_INVALID_HANDLE);
  ReportFileError("File close error", nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(sfx.errorCount, 2);
  EXPECT_EQ(WindowText(info), "Read error in the file C:\\archive.exe\r\nFile close error\r\n");
}

TEST_F(FileErrorReports, SilentOnceTheRunIsStoppingOrWithoutFormat) {
  SetWindowTextA(info, "Descriptive text");
  for (RunState state : {kCancelRequested, kClosing}) {
    sfx.runState = state;
    SetLastError(1234);
    ReportFileError("Read error in the file %s", "a");
    EXPECT_EQ(GetLastError(), 1234u);
  }
  sfx.runState = kRunning;
  SetLastError(1234);
  ReportFileError("", "a");
  EXPECT_EQ(GetLastError(), 1234u);
  EXPECT_EQ(sfx.errorCount, 0);
  EXPECT_FALSE(sfx.infoWindowUsed);
  EXPECT_EQ(WindowText(info), "Descriptive text");
}

using MemberReports = StartDialogTest;

TEST_F(MemberReports, WritesTheMemberLineAndGoesOnWhileRunning) {
  EXPECT_TRUE(ReportMember("docs/readme.txt"));
  EXPECT_EQ(WindowText(info), "Extracting docs/readme.txt\r\n");
  EXPECT_TRUE(IsDefaultStyle(FormatAt(info, 0), DefaultFormat(info)));
}

TEST_F(MemberReports, CancelPressedDuringTheLineStopsTheRun) {
  sfx.stage = kStageExtracting;
  sfx.errorCount = 1;  // with errors reported the dialog stays for Close
  PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);  // the user presses Cancel
  EXPECT_FALSE(ReportMember("a.txt"));
  EXPECT_EQ(sfx.runState, kCancelRequested);
  EXPECT_TRUE(IsWindow(dialog));
  EXPECT_FALSE(ReportMember("b.txt"));
  EXPECT_EQ(WindowText(info), "Extracting a.txt\r\nExtracting b.txt\r\n");
}

// ---------------------------------------------------------------------------
// Progress
// ---------------------------------------------------------------------------

TEST(ProgressPercent, FollowsTheRatioWithoutOverflow) {
  EXPECT_EQ(ProgressPercent(0, 0), 0u);
  EXPECT_EQ(ProgressPercent(5, 0), 0u);
  EXPECT_EQ(ProgressPercent(7, 5), 100u);
  EXPECT_EQ(ProgressPercent(1, 3), 33u);
  EXPECT_EQ(ProgressPercent(1000000, 2000000), 50u);
  EXPECT_EQ(ProgressPercent(4000000, 4000000), 100u);
  // Near 4 GiB: done * 100 would overflow without the shift.
  EXPECT_EQ(ProgressPercent(4000000000u, 4294967295u), 93u);
  EXPECT_EQ(ProgressPercent(4294967295u, 4294967295u), 100u);
  EXPECT_EQ(ProgressPercent(2147483648u, 4294967295u), 50u);
  // After the shift a small total may become 0.
  EXPECT_EQ(ProgressPercent(1000001, 255), 0u);
}

using ProgressBar = StartDialogTest;

TEST_F(ProgressBar, MovesToThePercentage) {
  HWND bar = GetDlgItem(dialog, IDC_START_PROGRESS);
  ASSERT_NE(bar, nullptr);
  SetProgress(1, 3);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 33);
  SetProgress(3000000000u, 4000000000u);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 75);
  SetProgress(9, 5);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 100);
}

// ---------------------------------------------------------------------------
// Message pump
// ---------------------------------------------------------------------------

using MessagePump = StartDialogTest;

TEST_F(MessagePump, DispatchesAtMostOneMessagePerCall) {
  PostMessageA(dialog, kCountMessage, 0, 0);
  PostMessageA(dialog, kCountMessage, 0, 0);
  PumpOneMessage();
  EXPECT_EQ(host.countMessages, 1);
  PumpOneMessage();
  EXPECT_EQ(host.countMessages, 2);
  DrainMessages();
  PumpOneMessage();  // nothing waiting: returns at once
  EXPECT_EQ(host.countMessages, 2);
}

TEST_F(MessagePump, WorkLooksAtTheQueueAtOnceThenAtMostOncePerPace) {
  for (int i = 0; i < 200; ++i) PostMessageA(dialog, kCountMessage, 0, 0);
  PumpWhileWorking();
  EXPECT_EQ(host.countMessages, 1) << "the first look of a run comes at once";
  // However often work asks, a message goes through only once the pace has
  // passed since the last one.
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 6 * kPumpPace) PumpWhileWorking();
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(host.countMessages, 2);
  EXPECT_LE(host.countMessages, static_cast<int>(elapsed / kPumpPace) + 1);
  DrainMessages();
}

// ---------------------------------------------------------------------------
// Fatal stop
// ---------------------------------------------------------------------------

using FatalStop = StartDialogTest;

TEST_F(FatalStop, WithNothingToReadTheDialogClosesItself) {
  sfx.stage = kStageExtracting;
  SetTimer(dialog, kSafetyTimer, 10000, nullptr);
  FatalStopWait();
  EXPECT_FALSE(host.safetyFired);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(sfx.runState, kClosing);
  EXPECT_EQ(sfx.stage, kStageFatalStop);
}

TEST_F(FatalStop, AfterALineItWaitsForTheUserToPressClose) {
  sfx.stage = kStageExtracting;
  EnableWindow(GetDlgItem(dialog, IDOK), FALSE);  // as during an extraction
  ErrorPrint("Read error in the file %s", "a");
  SetTimer(dialog, kPressCloseTimer, 300, nullptr);
  SetTimer(dialog, kSafetyTimer, 10000, nullptr);
  FatalStopWait();

  EXPECT_FALSE(host.safetyFired);
  ASSERT_TRUE(host.pressedClose);
  EXPECT_EQ(host.buttonText, "Close");
  EXPECT_TRUE(host.visibleAtPress);
  EXPECT_TRUE(host.enabledAtPress);
  EXPECT_EQ(host.runStateAtPress, kRunning);
  EXPECT_EQ(sfx.runState, kClosing);
  EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(FatalStop, WithAScriptItWaitsEvenWithoutALine) {
  sfx.scriptLength = 10;
  SetTimer(dialog, kPressCloseTimer, 300, nullptr);
  SetTimer(dialog, kSafetyTimer, 10000, nullptr);
  FatalStopWait();
  EXPECT_TRUE(host.pressedClose);
  EXPECT_FALSE(host.safetyFired);
  EXPECT_EQ(sfx.runState, kClosing);
}

TEST_F(FatalStop, StopsWaitingWhenTheDialogIsGone) {
  sfx.infoWindowUsed = true;
  SetTimer(dialog, kSafetyTimer, 300, nullptr);  // destroys without Close
  FatalStopWait();
  EXPECT_TRUE(host.safetyFired);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(sfx.runState, kRunning);
}

TEST_F(FatalStop, WithoutADialogReturnsAtOnce) {
  DestroyWindow(dialog);
  sfx.infoWindowUsed = true;
  FatalStopWait();  // a stale handle
  sfx.mainWindow = nullptr;
  FatalStopWait();  // no handle at all
  EXPECT_EQ(sfx.stage, kStageFatalStop);
}

TEST_F(FatalStop, RemovesTheTemporaryFolderOnlyInTempMode) {
  testing_support::ScratchFolder scratch;
  const std::string folder = scratch.file("QelSFX1");
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(testing_support::WriteWholeFile(folder + "\\setup.ini", std::string("x")));
  strcpy(sfx.tempFolder, folder.c_str());
  sfx.mainWindow = nullptr;
  FatalStopWait();
  EXPECT_NE(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
  char current[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, current);
  sfx.tempMode = true;
  FatalStopWait();  // steps out of the folder to remove it: the current folder is put back below
  SetCurrentDirectoryA(current);
  EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}

// ---------------------------------------------------------------------------
// The whole fatal exit, in a child process: the fatal stop, the wait for
// Close, the temporary folder, the end of the process with code 2.
// ---------------------------------------------------------------------------

// Runs last in the fatal exit, after the wait: writes what the user saw
// into the marker file the parent reads.
void RecordFatalExit() {
  std::ofstream marker(testing_support::Environment("ZIMBRO_INFO_MARKER"));
  marker << "pressed=" << host.pressedClose << " button=" << host.buttonText
         << " safety=" << host.safetyFired << " runState=" << sfx.runState
         << " exitCode=" << sfx.exitCode.code << "\n";
}

TEST(FatalExitChild, EndsTheProcessAfterTheDialog) {
  const std::string mode = testing_support::Environment("ZIMBRO_INFO_CHILD");
  if (mode != "fatal-line" && mode != "fatal-quiet") GTEST_SKIP();
  LoadControlLibraries();
  ResetTestRun();
  HWND dialog = CreateHostDialog();
  ASSERT_NE(dialog, nullptr);
  sfx.mainWindow = dialog;
  sfx.tempMode = true;
  sfx.stage = kStageExtracting;
  if (mode == "fatal-line") {
    ReportFileError("Read error in the file %s", "archive.exe");
    SetTimer(dialog, kPressCloseTimer, 300, nullptr);
  }
  SetTimer(dialog, kSafetyTimer, 10000, nullptr);
  static const FatalHooks hooks = {FatalServices().reportFailure, FatalServices().recordExitCode, [] {
                                     FatalStopWait();
                                     RecordFatalExit();
                                   }};
  fatalExit(&hooks, kExitFatal);
}

class FatalExit : public ::testing::Test {
 protected:
  std::string RunChild(const char* mode) {
    testing_support::ScratchFolder folder;
    const std::string marker = folder.file("marker.txt");
    SetEnvironmentVariableA("ZIMBRO_INFO_CHILD", mode);
    SetEnvironmentVariableA("ZIMBRO_INFO_MARKER", marker.c_str());
    exitCode = testing_support::RunProcess(
        "\"" + testing_support::SelfPath() + "\" --gtest_filter=FatalExitChild.EndsTheProcessAfterTheDialog", "",
        60000);
    SetEnvironmentVariableA("ZIMBRO_INFO_CHILD", nullptr);
    SetEnvironmentVariableA("ZIMBRO_INFO_MARKER", nullptr);
    std::ifstream in(marker);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  int exitCode = 0;
};

TEST_F(FatalExit, WithALineWaitsForCloseThenEndsWithCode2) {
  EXPECT_EQ(RunChild("fatal-line"), "pressed=1 button=Close safety=0 runState=2 exitCode=2\n");
  EXPECT_EQ(exitCode, kExitFatal);
}

TEST_F(FatalExit, WithNothingToReadClosesByItselfAndEndsWithCode2) {
  EXPECT_EQ(RunChild("fatal-quiet"), "pressed=0 button= safety=0 runState=2 exitCode=2\n");
  EXPECT_EQ(exitCode, kExitFatal);
}

}  // namespace
