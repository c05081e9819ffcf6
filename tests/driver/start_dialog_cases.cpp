// The whole program as a user meets it: installers made at test time from
// this build's stub are started, their dialogs found by caption and their
// buttons pressed from the outside; what they extract, start and return is
// checked afterwards.
#include <windows.h>
#include <shlobj.h>

#include <memory>
#include <string>

#include "common/test_support.h"
#include "driver/admin_only_folder.h"
#include "driver/running_installer.h"
#include "driver/saved_destination.h"
#include "driver/script_fixture.h"
#include "driver/sfx_state.h"
#include "driver/start_dialog.h"
#include "support/portable/heap.h"
#include "support/paths.h"
#include "support/strings.h"
#include "ui/html_viewer.h"
#include "ui/resource_ids.h"

namespace {

using app_testing::ControlText;
using app_testing::InstallerPath;
using app_testing::IsEnabledControl;
using app_testing::RunningInstaller;
using testing_support::FileExists;

const char kDefaultCaption[] = "Zimbro self-extracting archive";

class StartDialogRun : public script_testing::ScriptTest {
 protected:
  // Starts an installer of the fixture in the destination folder.
  RunningInstaller* Start(const std::string& name, const std::string& arguments = "") {
    std::string path = name.find('\\') != std::string::npos ? name : InstallerPath(name);
    run_.reset(new RunningInstaller(path, arguments, destination()));
    return run_.get();
  }
  bool Extracted() {
    return FileExists(destination_.file("readme.txt")) && FileExists(destination_.file("docs\\guide.txt"));
  }
  // The next run of a table then finds no file to ask about.
  void ClearExtracted() {
    for (const char* name : {"readme.txt", "docs\\guide.txt", "big.bin"}) DeleteFileA(destination_.file(name).c_str());
  }
  // Setup programs start as the installer ends; give a stray one a moment.
  bool NothingStarted() {
    Sleep(500);
    return !FileExists(probeLog());
  }
  std::unique_ptr<RunningInstaller> run_;
};

TEST_F(StartDialogRun, WithoutACommentTheHelpShowsAndInstallExtractsHere) {
  RunningInstaller* run = Start("plain.exe");
  HWND dialog = run->WaitForDialog(kDefaultCaption);
  ASSERT_NE(dialog, nullptr);
  std::string help = ControlText(GetDlgItem(dialog, IDC_START_TEXT));
  EXPECT_NE(help.find("Press Install button to start extraction."), std::string::npos) << help;
  EXPECT_NE(help.find("created automatically before extraction."), std::string::npos) << help;
  EXPECT_EQ(ControlText(GetDlgItem(dialog, IDC_START_DESTINATION)), destination());
  EXPECT_TRUE(IsEnabledControl(dialog, IDC_START_DESTINATION) && IsEnabledControl(dialog, IDC_START_BROWSE));
  RunningInstaller::Press(dialog, IDOK);
  EXPECT_EQ(run->Finish(), 0);
  EXPECT_TRUE(Extracted());
}

TEST_F(StartDialogRun, TitleAndTextThenSetupAfterTheDialog) {
  RunningInstaller* run = Start("texts.exe");
  HWND dialog = run->WaitForDialog("Zimbro Texts Test");
  ASSERT_NE(dialog, nullptr);
  std::string text = ControlText(GetDlgItem(dialog, IDC_START_TEXT));
  EXPECT_NE(text.find("First paragraph.\r\nSecond paragraph."), std::string::npos) << text;
  RunningInstaller::Press(dialog, IDOK);
  EXPECT_EQ(run->Finish(), 0);
  EXPECT_TRUE(Extracted());
  std::vector<script_testing::ProbeRun> runs = ProbeRuns(1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].arguments, std::vector<std::string>{"texts"});
}

TEST_F(StartDialogRun, DeclinedLicenseEndsTheRunAcceptedOneGoesOn) {
  for (bool accept : {false, true}) {
    RunningInstaller* run = Start("license.exe");
    HWND license = run->WaitForDialog("Zimbro Terms");
    ASSERT_NE(license, nullptr);
    EXPECT_NE(ControlText(GetDlgItem(license, IDC_LICENSE_TEXT)).find("Use Zimbro freely."), std::string::npos);
    RunningInstaller::Press(license, accept ? IDOK : IDCANCEL);
    if (!accept) {
      EXPECT_EQ(run->Finish(), 255);
      EXPECT_FALSE(Extracted());
      EXPECT_TRUE(NothingStarted());
      continue;
    }
    HWND dialog = run->WaitForDialog("Zimbro License Test");
    ASSERT_NE(dialog, nullptr);
    RunningInstaller::Press(dialog, IDOK);
    EXPECT_EQ(run->Finish(), 0);
    EXPECT_TRUE(Extracted());
    EXPECT_EQ(ProbeRuns(1).size(), 1u);
  }
}

TEST_F(StartDialogRun, SilentRunsAreNeverSeen) {
  // The script's Silent=1, and the command line's switch over a script
  // that does not ask for silence; the switch is passed on to Setup.
  struct Case { const char* installer; const char* arguments; const char* setupArgument; } cases[] = {
      {"silent1.exe", "", "silent"},
      {"texts.exe", "/s", "texts"},
  };
  for (const Case& c : cases) {
    DeleteFileA(probeLog().c_str());
    RunningInstaller* run = Start(c.installer, c.arguments);
    EXPECT_EQ(run->Finish(), 0) << c.installer;
    EXPECT_FALSE(run->everVisible()) << c.installer;
    EXPECT_TRUE(Extracted()) << c.installer;
    std::vector<script_testing::ProbeRun> runs = ProbeRuns(1);
    ASSERT_EQ(runs.size(), 1u) << c.installer;
    EXPECT_EQ(runs[0].arguments[0], c.setupArgument);
    if (*c.arguments != '\0') EXPECT_EQ(runs[0].arguments.back(), c.arguments);
    ClearExtracted();
  }
}

TEST_F(StartDialogRun, AutomaticStartShowsTheDialogAndInstallsWithoutAClick) {
  for (const char* installer : {"silent2.exe", "silent5.exe"}) {
    RunningInstaller* run = Start(installer);
    EXPECT_NE(run->WaitForWindow([](HWND) { return true; }), nullptr) << installer;
    EXPECT_EQ(run->Finish(), 0) << installer;  // nobody pressed Install
    EXPECT_TRUE(Extracted()) << installer;
    ClearExtracted();
  }
}

// The moment between the initialisation and the automatic Install, seen in
// this process: Silent=2 fixes the destination, 3 to 9 leave it editable.
TEST_F(StartDialogRun, AutomaticStartFixesTheDestinationOnlyForSilentTwo) {
  for (const char* installer : {"silent2.exe", "silent5.exe"}) {
    HtmlViewer viewers[2] = {};
    sfx.startViewer = &viewers[0];
    sfx.licenseViewer = &viewers[1];
    copyTextCut(sfx.moduleName, InstallerPath(installer).c_str(), sizeof(sfx.moduleName));
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), "STARTDLG", nullptr, StartDialogProcedure, 0);
    ASSERT_NE(dialog, nullptr);
    // The posted Install is never taken: the dialog goes first.
    EXPECT_EQ(IsEnabledControl(dialog, IDC_START_DESTINATION), std::string(installer) == "silent5.exe");
    EXPECT_TRUE(IsWindowVisible(dialog));
    DestroyWindow(dialog);
    release(sfx.scriptText);
    sfx.scriptText = nullptr;
    sfx.scriptLength = 0;
    sfx.silentMode = 0;
    DestroyHtmlViewer(&viewers[0]);
    DestroyHtmlViewer(&viewers[1]);
  }
}

TEST_F(StartDialogRun, TheDialogHidesWhilePresetupRuns) {
  SetEnvironmentVariableA("ZIMBRO_PROBE_DELAY", "1500");
  RunningInstaller* run = Start("presetup.exe");
  SetEnvironmentVariableA("ZIMBRO_PROBE_DELAY", nullptr);
  HWND dialog = run->WaitForDialog("Zimbro Presetup Test");
  ASSERT_NE(dialog, nullptr);
  RunningInstaller::Press(dialog, IDOK);
  bool hidden = false;
  for (int wait = 0; wait < 100 && !hidden; ++wait, Sleep(10)) hidden = !IsWindowVisible(dialog);
  EXPECT_TRUE(hidden) << "the dialog stayed usable while Presetup ran";
  EXPECT_EQ(run->Finish(), 0);
  EXPECT_EQ(ProbeRuns(1).size(), 1u);
  EXPECT_TRUE(Extracted());
}

TEST_F(StartDialogRun, TempModeAsksThenInstallsIntoATemporaryFolderItRemoves) {
  for (bool yes : {false, true}) {
    RunningInstaller* run = Start("tempmode.exe");
    std::string question;
    HWND box = run->WaitForMessageBox(&question);
    ASSERT_NE(box, nullptr);
    EXPECT_NE(question.find("Unpack the Zimbro test and run it?"), std::string::npos) << question;
    RunningInstaller::Press(box, yes ? IDYES : IDNO);
    if (!yes) {
      EXPECT_EQ(run->Finish(), 255);
      EXPECT_TRUE(NothingStarted());
      continue;
    }
    EXPECT_EQ(run->Finish(), 0);
    std::vector<script_testing::ProbeRun> runs = ProbeRuns(1);
    ASSERT_EQ(runs.size(), 1u);
    // Elevated, as every run under Wine: in the system's temporary folder,
    // out of the user's reach.
    char systemTemp[kPathSize];
    ASSERT_TRUE(SystemTempFolder(systemTemp));
    EXPECT_EQ(runs[0].folder.find(std::string(systemTemp) + "QelSFX"), 0u) << runs[0].folder;
    EXPECT_FALSE(FileExists(runs[0].folder + "\\readme.txt")) << "the temporary folder stayed";
    EXPECT_FALSE(Extracted());  // nothing in the current folder
  }
}

TEST_F(StartDialogRun, CancelDuringExtractionRemovesThePartlyWrittenFile) {
  std::string link = script_testing::ShellFolder(CSIDL_DESKTOPDIRECTORY) + "\\Zimbro Cancel E2E.lnk";
  DeleteFileA(link.c_str());
  RunningInstaller* run = Start("big.exe");
  HWND dialog = run->WaitForDialog("Zimbro Big Test");
  ASSERT_NE(dialog, nullptr);
  RunningInstaller::Press(dialog, IDOK);
  HWND info = GetDlgItem(dialog, IDC_START_TEXT);
  for (int wait = 0; wait < 1000 && ControlText(info).find("big.bin") == std::string::npos; ++wait) Sleep(5);
  RunningInstaller::Press(dialog, IDCANCEL);
  EXPECT_EQ(run->Finish(), 255);
  EXPECT_FALSE(FileExists(destination_.file("big.bin")));
  EXPECT_FALSE(FileExists(destination_.file("readme.txt")));
  // The Shortcuts pass ran after the stopped extraction; Setup did not.
  EXPECT_TRUE(FileExists(link));
  DeleteFileA(link.c_str());
  EXPECT_TRUE(NothingStarted());
}

TEST_F(StartDialogRun, ErrorsEndInTheSummaryAndCloseWithoutSetup) {
  struct Case { std::string installer; const char* caption; const char* summary; int exitCode; } cases[] = {
      {"crc.exe", "Zimbro CRC Test", "Some installation files are corrupt.", 3},
      {"locked.exe", "Zimbro Locked Test", "Some files could not be created.", 9},
      // No code of its own: a run with errors never ends as a success.
      {"method.exe", "Zimbro Method Test", "Errors encountered while performing the operation", 1},
      // No archive at all: the installation files are damaged.
      {testing_support::Environment("ZIMBRO_STUB"), kDefaultCaption, "Some installation files are corrupt.", 3},
  };
  for (const Case& c : cases) {
    HANDLE held = INVALID_HANDLE_VALUE;
    if (c.installer == "locked.exe") {
      held = CreateFileA(destination_.file("locked.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                         nullptr);
    }
    RunningInstaller* run = Start(c.installer);
    HWND dialog = run->WaitForDialog(c.caption);
    ASSERT_NE(dialog, nullptr) << c.installer;
    RunningInstaller::Press(dialog, IDOK);
    std::string summary;
    HWND box = run->WaitForMessageBox(&summary);
    ASSERT_NE(box, nullptr) << c.installer;
    EXPECT_EQ(summary.find(c.summary), 0u) << summary;
    RunningInstaller::Press(box, IDOK);
    for (int wait = 0; wait < 200 && ControlText(GetDlgItem(dialog, IDOK)) != "Close"; ++wait) Sleep(10);
    EXPECT_EQ(ControlText(GetDlgItem(dialog, IDOK)), "Close") << c.installer;
    std::string report = ControlText(GetDlgItem(dialog, IDC_START_TEXT));
    EXPECT_TRUE(!report.empty() && report.find("Press Install") == std::string::npos) << report;
    RunningInstaller::Press(dialog, IDOK);
    EXPECT_EQ(run->Finish(), c.exitCode) << c.installer;
    EXPECT_TRUE(NothingStarted()) << c.installer;
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  }
}

// The unattended form: errors end the run with their code, no window ever
// shows, the log holds the window's lines in UTF-8, and Setup receives the
// tail without the form's words.
TEST_F(StartDialogRun, UnattendedRunsNeverWaitAndWriteTheirLog) {
  const std::string log = work_.file("run log.txt");
  RunningInstaller* run = Start("unattended.exe", "/sfx-unattended /sfx-log=\"" + log + "\"");
  EXPECT_EQ(run->Finish(30000), 3);
  EXPECT_FALSE(run->everVisible());
  EXPECT_TRUE(NothingStarted());
  std::vector<uint8_t> bytes = testing_support::ReadWholeFile(log);
  EXPECT_EQ(std::string("Extracting readme.txt\r\nExtracting gr\xc3\xbc\xc3\x9f" "e.txt\r\n"
                        "CRC failed in gr\xc3\xbc\xc3\x9f" "e.txt\r\nSome installation files are corrupt.\n"
                        "Please download a fresh copy and retry the installation\r\n"),
            std::string(bytes.begin(), bytes.end()));

  ClearExtracted();
  DeleteFileA(probeLog().c_str());
  run = Start("texts.exe", "/x /sfx-unattended -y");
  EXPECT_EQ(run->Finish(), 0);
  EXPECT_FALSE(run->everVisible());
  std::vector<script_testing::ProbeRun> runs = ProbeRuns(1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].arguments, (std::vector<std::string>{"texts", "/x", "-y"}));
}

// Every run under Wine is elevated: its log is only ever a new file. A
// name that exists is refused before the run starts, in a message box or,
// for an unattended run, with no window at all; the file stays as it was.
TEST_F(StartDialogRun, ElevatedRunRefusesALogThatExists) {
  const std::string log = work_.file("existing.log");
  ASSERT_TRUE(testing_support::WriteWholeFile(log, "the caller's own\n"));
  RunningInstaller* run = Start("unattended.exe", "/sfx-unattended /sfx-log=\"" + log + "\"");
  EXPECT_EQ(run->Finish(30000), 2);
  EXPECT_FALSE(run->everVisible());

  run = Start("texts.exe", "/sfx-log=\"" + log + "\"");
  std::string text;
  HWND box = run->WaitForMessageBox(&text);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(text.find("Cannot create the log file " + log), 0u) << text;
  RunningInstaller::Press(box, IDOK);
  EXPECT_EQ(run->Finish(), 2);
  EXPECT_FALSE(Extracted());
  EXPECT_TRUE(NothingStarted());
  std::vector<uint8_t> kept = testing_support::ReadWholeFile(log);
  EXPECT_EQ("the caller's own\n", std::string(kept.begin(), kept.end()));
}

// An elevated run trusts no SavePath value of the user's hive, which any
// program of the user may write: it installs, and deletes, where the script
// says, and remembers the folder in the machine's hive.
TEST_F(StartDialogRun, ElevatedSavePathTrustsOnlyTheMachinesHive) {
  const char* key = "Software\\Zimbro SFX";
  const std::string chosen = work_.file("secdest");
  const std::string planted = work_.file("planted");
  ASSERT_TRUE(CreateDirectoryA(planted.c_str(), nullptr));
  ASSERT_TRUE(testing_support::WriteWholeFile(planted + "\\stale.old", "x"));
  char name[kPathSize];
  RegistryValueName(chosen.c_str(), name);
  HKEY user;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr, &user, nullptr));
  RegSetValueExA(user, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(planted.c_str()),
                 static_cast<DWORD>(planted.size() + 1));
  RegCloseKey(user);
  SetEnvironmentVariableA("ZIMBRO_SAVEPATH_DEST", chosen.c_str());

  EXPECT_EQ(Start("savepath.exe")->Finish(), 0);
  EXPECT_TRUE(FileExists(chosen + "\\readme.txt"));
  EXPECT_TRUE(FileExists(planted + "\\stale.old"));
  EXPECT_FALSE(FileExists(planted + "\\readme.txt"));
  EXPECT_EQ(chosen, script_testing::RegistryText(HKEY_LOCAL_MACHINE, key, name));
  SetEnvironmentVariableA("ZIMBRO_SAVEPATH_DEST", nullptr);
  script_testing::DeleteRegistryValue(HKEY_LOCAL_MACHINE, key, name);
  script_testing::DeleteRegistryValue(HKEY_CURRENT_USER, key, name);
}

// A Setup program is taken only from where the publisher put it: one of the
// same name beside the installer or in the caller's folder never starts. A
// run whose Setup did not start ends with 4; unattended, it waits for
// nobody (no box of the system's), and its log says why.
TEST_F(StartDialogRun, SetupFoundNowhereElseEndsWithItsOwnCode) {
  const std::string home = work_.file("home"), caller = work_.file("caller");
  CreateDirectoryA(home.c_str(), nullptr);
  CreateDirectoryA(caller.c_str(), nullptr);
  const std::string installer = home + "\\lookup.exe";
  ASSERT_TRUE(CopyFileA(InstallerPath("lookup.exe").c_str(), installer.c_str(), FALSE));
  const struct {
    const char* where;
    std::string folder;  // where a program of the Setup's name lies
  } cases[] = {{"beside the installer", home}, {"in the caller's folder", caller}, {"nowhere", ""}};
  int runs = 0;
  for (const auto& c : cases) {
    const std::string tool = c.folder.empty() ? "" : c.folder + "\\zimbro-tool.exe";
    if (!tool.empty()) ASSERT_TRUE(CopyFileA(script_testing::ProbePath().c_str(), tool.c_str(), FALSE));
    const std::string target = work_.file("lookup" + std::to_string(++runs));
    // A new log each time: an elevated run (every run under Wine) writes
    // none over a file that exists.
    const std::string log = target + ".log";
    SetEnvironmentVariableA("ZIMBRO_LOOKUP_DEST", target.c_str());
    run_.reset(new RunningInstaller(installer, "/sfx-unattended /sfx-log=\"" + log + "\"", caller));
    EXPECT_EQ(run_->Finish(30000), 4) << c.where;
    EXPECT_FALSE(run_->everVisible()) << c.where;
    EXPECT_TRUE(NothingStarted()) << c.where;
    EXPECT_TRUE(FileExists(target + "\\readme.txt")) << c.where;
    std::vector<uint8_t> bytes = testing_support::ReadWholeFile(log);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("Cannot start zimbro-tool\r\nCannot start zimbro-tool.exe\r\n"), std::string::npos) << text;
    if (!tool.empty()) DeleteFileA(tool.c_str());
  }
  SetEnvironmentVariableA("ZIMBRO_LOOKUP_DEST", nullptr);
}

TEST_F(StartDialogRun, DestinationThatCannotBeCreated) {
  Put("file.txt");
  RunningInstaller* run = Start("plain.exe");
  HWND dialog = run->WaitForDialog(kDefaultCaption);
  ASSERT_NE(dialog, nullptr);
  std::string blocked = destination_.file("file.txt\\sub");
  SendMessageA(GetDlgItem(dialog, IDC_START_DESTINATION), WM_SETTEXT, 0,
               reinterpret_cast<LPARAM>(blocked.c_str()));
  RunningInstaller::Press(dialog, IDOK);
  std::string message;
  HWND box = run->WaitForMessageBox(&message);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(message, "\"" + blocked + "\"\nfolder is not accessible");
  RunningInstaller::Press(box, IDOK);
  EXPECT_EQ(run->Finish(), 1);
  EXPECT_FALSE(Extracted());
}

TEST_F(StartDialogRun, MessagesBlockTranslatesScalesAndMirrorsTheDialog) {
  RECT plainSize = {};
  {
    RunningInstaller* run = Start("plain.exe");
    HWND dialog = run->WaitForDialog(kDefaultCaption);
    ASSERT_NE(dialog, nullptr);
    GetWindowRect(dialog, &plainSize);
    RunningInstaller::Press(dialog, IDCANCEL);
    EXPECT_EQ(run->Finish(), 255);
  }
  RunningInstaller* run = Start("localised.exe");
  HWND dialog = run->WaitForDialog("Zimbro Selbstentpacker");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(ControlText(GetDlgItem(dialog, IDOK)), "Installieren");
  EXPECT_EQ(ControlText(GetDlgItem(dialog, IDCANCEL)), "Abbrechen");
  EXPECT_NE(ControlText(GetDlgItem(dialog, IDC_START_TEXT)).find("Klicken Sie auf Installieren."),
            std::string::npos);
  RECT size;
  GetWindowRect(dialog, &size);
  double widthRatio = double(size.right - size.left) / (plainSize.right - plainSize.left);
  EXPECT_NEAR(widthRatio, 1.2, 0.05);
  RunningInstaller::Press(dialog, IDCANCEL);
  EXPECT_EQ(run->Finish(), 255);

  run = Start("mirrored.exe");
  dialog = run->WaitForDialog(kDefaultCaption);
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(GetWindowLongPtrA(dialog, GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
  RunningInstaller::Press(dialog, IDCANCEL);
  EXPECT_EQ(run->Finish(), 255);
}

}  // namespace
