// The passes against the real start and license dialogs (created hidden):
// flags, caption, texts, destination, saved destination, temporary folder.
#include <string>
#include <vector>

#include "driver/saved_destination.h"
#include "driver/script_fixture.h"
#include "common/fresh_run.h"
#include "driver/sfx_state.h"
#include "driver/start_dialog.h"
#include "driver/startup.h"
#include "driver/temp_folder.h"
#include "driver/script_reader.h"
#include "support/portable/heap.h"
#include "ui/dialog_harness.h"
#include "ui/resource_ids.h"

namespace {

using namespace script_testing;
using dialog_harness::LiveDialog;
using dialog_harness::WindowText;

class Passes : public ScriptTest {
 protected:
  HWND dialog() const { return start_.window(); }
  std::string destinationShown() const { return ComboText(dialog(), IDC_START_DESTINATION); }
  LiveDialog start_{"STARTDLG"};
};

// Silent and Overwrite act in every pass; the other flags in Prescan only.
TEST_F(Passes, FlagsFromEveryPass) {
  const struct {
    const char* script;
    int32_t silentBefore;
    int32_t silent;       // after Prescan
    int32_t silentLater;  // after any other pass
    OverwriteChoice overwrite;
    bool tempMode, savePath;
  } cases[] = {
      {"Silent", 0, 2, 2, kOverwriteAsk, false, false},
      {"Silent=1", 0, 1, 1, kOverwriteAsk, false, false},
      {"Silent=0\r\nsilent=7", 0, 7, 7, kOverwriteAsk, false, false},
      {"Silent=0", 1, 1, 1, kOverwriteAsk, false, false},  // the command-line switch stays
      {"TempMode", 0, 2, 0, kOverwriteAsk, true, false},
      {"Silent=1\r\nTempMode=Go?", 0, 1, 1, kOverwriteAsk, true, false},
      {"TempMode\r\nSilent=0", 0, 0, 0, kOverwriteAsk, true, false},
      {"Overwrite", 0, 0, 0, kOverwriteAll, false, false},
      {"Overwrite=2\r\nOverwrite=x", 0, 0, 0, kOverwriteSkip, false, false},
      {"Overwrite=1\r\nOverwrite=0", 0, 0, 0, kOverwriteAsk, false, false},
      {"SavePath\r\nExtSign=1\r\nTitle=T\r\nText=t\r\nPath=C:\\x", 0, 0, 0, kOverwriteAsk, false, true},
  };
  for (const ScriptMode mode : {ScriptMode::Prescan, ScriptMode::Shortcuts}) {
    for (const auto& c : cases) {
      const bool prescan = mode == ScriptMode::Prescan;
      ResetRunState();
      sfx.silentMode = c.silentBefore;
      Run(c.script, mode, dialog());
      SCOPED_TRACE(std::string(c.script) + (prescan ? " (Prescan)" : " (Shortcuts)"));
      EXPECT_EQ(prescan ? c.silent : c.silentLater, sfx.silentMode);
      EXPECT_EQ(c.overwrite, sfx.overwriteChoice);
      EXPECT_EQ(prescan && c.tempMode, sfx.tempMode);
      EXPECT_EQ(prescan && c.savePath, sfx.savePath);
      EXPECT_EQ("Zimbro self-extracting archive", WindowText(dialog()));
      EXPECT_EQ("", destinationShown());
      EXPECT_EQ(nullptr, sfx.textBuffer);
    }
  }
}

TEST_F(Passes, CaptionAndTextsJoinedByLineBreaks) {
  Run("Title=Tool setup\r\nText=first\r\nText\r\n{\r\n<b>second</b>  \r\n}\r\nText=third", ScriptMode::DialogInit,
      dialog());
  EXPECT_EQ("Tool setup", WindowText(dialog()));
  ASSERT_NE(nullptr, sfx.textBuffer);
  EXPECT_STREQ("first<br><b>second</b>\r\n<br>third", sfx.textBuffer);
}

TEST_F(Passes, DestinationFromPath) {
  std::string programs = ProgramsFolder();
  ASSERT_NE("(none)", programs);
  if (programs.back() != '\\') programs += '\\';
  const struct {
    const char* value;
    std::string destination;
  } cases[] = {
      {"C:\\Apps", "C:\\Apps"},
      {"\\Apps", "\\Apps"},
      {".\\Apps", "Apps"},
      {"Apps\\X", programs + "Apps\\X"},
      {"\"C:\\My Apps\\Tool\"", "C:\\My Apps\\Tool"},
      {"\"My Apps\"", programs + "My Apps"},
  };
  for (const auto& c : cases) {
    Run(std::string("Path=") + c.value, ScriptMode::DialogInit, dialog());
    EXPECT_EQ(c.destination, destinationShown()) << c.value;
    EXPECT_EQ(c.destination, sfx.scriptPath) << c.value;
    EXPECT_EQ(c.destination, ComboItems(dialog(), IDC_START_DESTINATION).back()) << c.value;
  }
}

TEST_F(Passes, SavePathRemembersTheChosenFolderForTheNextRun) {
  const char* key = "Software\\Zimbro SFX";
  DeleteRegistryValue(HKEY_CURRENT_USER, key, "C%%Apps%Tool");
  const std::string script = "SavePath\r\nPath=C:\\Apps\\Tool";
  Run(script, ScriptMode::Prescan, dialog());
  Run(script, ScriptMode::DialogInit, dialog());
  EXPECT_EQ("C:\\Apps\\Tool", destinationShown());

  SaveDestination(destination().c_str());
  EXPECT_EQ(destination(), RegistryText(HKEY_CURRENT_USER, key, "C%%Apps%Tool"));

  // The next run offers the saved folder, and the script's own in the list.
  LiveDialog next("STARTDLG");
  ResetRunState();
  Run(script, ScriptMode::Prescan, next.window());
  Run(script, ScriptMode::DialogInit, next.window());
  EXPECT_EQ(destination(), ComboText(next.window(), IDC_START_DESTINATION));
  EXPECT_EQ((std::vector<std::string>{"C:\\Apps\\Tool", destination()}),
            ComboItems(next.window(), IDC_START_DESTINATION));
  EXPECT_STREQ("C:\\Apps\\Tool", sfx.scriptPath);

  // Without SavePath nothing is stored or offered.
  ResetRunState();
  Run("Path=C:\\Apps\\Tool", ScriptMode::DialogInit, next.window());
  EXPECT_EQ("C:\\Apps\\Tool", ComboText(next.window(), IDC_START_DESTINATION));
  SaveDestination("C:\\elsewhere");
  EXPECT_EQ(destination(), RegistryText(HKEY_CURRENT_USER, key, "C%%Apps%Tool"));
  DeleteRegistryValue(HKEY_CURRENT_USER, key, "C%%Apps%Tool");
}

TEST_F(Passes, LicenseCaptionAndText) {
  LiveDialog license("LICENSEDLG");
  Run("License=Terms of use\r\n{\r\nUse it well.\r\n}\r\nPath=x", ScriptMode::LicenseInit, license.window());
  EXPECT_EQ("Terms of use", WindowText(license.window()));
  EXPECT_STREQ("Use it well.\r\n", sfx.licenseText);

  LiveDialog plain("LICENSEDLG");
  Run("Text=t\r\nLicense\r\n{\r\nA\r\n\r\nB\r\n}", ScriptMode::LicenseInit, plain.window());
  EXPECT_EQ("License", WindowText(plain.window()));
  EXPECT_STREQ("A\r\n\r\nB\r\n", sfx.licenseText);
}

// The temporary folder takes the first free number; the question is asked
// unless the command line had the silent switch, even when the script says
// Silent=1.
TEST_F(Passes, TempFolderAndItsQuestion) {
  CreateDirectoryA(work_.file("QelSFX0").c_str(), nullptr);
  testing_support::WriteWholeFile(work_.file("QelSFX1"), "a file takes the name too");
  const struct {
    const char* script;
    bool silentSwitch;
    bool asked;
    const char* caption;
    const char* question;
  } cases[] = {
      {"TempMode=Install now?,Setup", false, true, "Setup", "Install now?"},
      {"TempMode=Install now?@Setup", false, true, "Setup", "Install now?"},
      {"TempMode=Sure?,T@x", false, true, "T@x", "Sure?"},
      {"TempMode=Line one\\nLine two", false, true, "", "Line one\nLine two"},
      {"Silent=1\r\nTempMode=Go?,Tool", false, true, "Tool", "Go?"},
      {"TempMode=Go?,Tool", true, false, "", ""},
      {"TempMode", false, false, "", ""},
  };
  for (const auto& c : cases) {
    LiveDialog start("STARTDLG");
    ResetRunState();
    sfx.silentSwitch = c.silentSwitch;
    Run(c.script, ScriptMode::Prescan, start.window());
    MessageBoxHand hand(IDYES);
    Run(c.script, ScriptMode::TempFolder, start.window());
    SCOPED_TRACE(c.script);
    EXPECT_EQ(c.asked, hand.seen());
    EXPECT_EQ(c.caption, hand.caption());
    EXPECT_EQ(c.question, hand.text());
    EXPECT_EQ(work_.file("QelSFX2"), ComboText(start.window(), IDC_START_DESTINATION));
    EXPECT_EQ(kRunning, sfx.runState);
    // Made with its name, so that no other run takes it; removed by the run.
    EXPECT_TRUE(testing_support::FileExists(work_.file("QelSFX2")));
    RemoveTempFolder();
    EXPECT_FALSE(testing_support::FileExists(work_.file("QelSFX2")));
  }
}

// Answering No cancels the run: exit code 255, and not even a folder of the
// temporary naming scheme is removed.
TEST_F(Passes, DeclinedTempQuestionCancelsAndRemovesNothing) {
  std::string folder = work_.file("QelSFX5");
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
  Run("TempMode=Install?,Tool\r\nSetup=\"" + ProbePath() + "\"", ScriptMode::Prescan, dialog());
  {
    MessageBoxHand hand(IDNO);
    Run(script_, ScriptMode::TempFolder, dialog());
    EXPECT_TRUE(hand.seen());
  }
  EXPECT_TRUE(sfx.tempDeclined);
  EXPECT_EQ(kCancelRequested, sfx.runState);
  StartupServices none = {};
  EXPECT_EQ(255, FinishRun(&none));
  EXPECT_TRUE(testing_support::FileExists(folder));
  EXPECT_TRUE(ProbeRuns().empty());  // no Setup after a cancel
}

// The exit code a run ends with: counted errors never end as a success; a
// code set during the run keeps the update rule over the general 1.
TEST_F(Passes, ARunWithCountedErrorsNeverEndsWithZero) {
  const struct {
    int32_t errors;
    int32_t codeSet;  // during the run, through SetExitCode; 0 for none
    RunState runState;
    int32_t exitCode;
  } cases[] = {
      {0, 0, kRunning, 0},  {1, 0, kRunning, 1},          {2, 3, kRunning, 3},  {1, 9, kRunning, 9},
      {1, 2, kRunning, 2},  {0, 0, kCancelRequested, 255}, {1, 0, kCancelRequested, 255},
      {1, 3, kCancelRequested, 3},
  };
  for (const auto& c : cases) {
    memset(&sfx, 0, sizeof(sfx));
    sfx.errorCount = c.errors;
    if (c.codeSet != 0) SetExitCode(c.codeSet);
    sfx.runState = c.runState;
    StartupServices none = {};
    EXPECT_EQ(c.exitCode, FinishRun(&none)) << c.errors << " errors, code " << c.codeSet;
  }
}

// Text lines without '=' each read the rest of the script as their block:
// the text stays within what the text area holds, the first block whole.
TEST_F(Passes, ManyTextBlocksStayWithinTheTextArea) {
  std::string script;
  for (int i = 0; i < 300; ++i) script += "Text\r\n";
  const std::string filler = std::string(98, 'x') + "\r\n";
  for (int i = 0; i < 600; ++i) script += filler;
  Run(script, ScriptMode::DialogInit, dialog());
  ASSERT_NE(nullptr, sfx.textBuffer);
  const std::string text = sfx.textBuffer;
  EXPECT_LE(text.size(), 4u * 1024 * 1024);
  EXPECT_EQ(0u, text.find("Text\r\nText\r\n"));
}

// A start dialog that cannot be created (here: no template to make it
// from, as no desktop leaves none to show it on) ran nothing: the run fails
// with the fatal code and starts no Setup.
TEST_F(Passes, AStartDialogThatCannotBeCreatedFailsTheRun) {
  Run("Setup=\"" + ProbePath() + "\"", ScriptMode::Prescan);
  RunStartDialog(GetModuleHandleA("kernel32.dll"));
  StartupServices none = {};
  EXPECT_EQ(2, FinishRun(&none));
  EXPECT_TRUE(ProbeRuns().empty());
}

// A license whose text cannot be read (no room on the heap for it) was
// never agreed to; a script without a License has nothing to agree to.
TEST_F(Passes, ALicenseThatCannotBeReadCountsAsDeclined) {
  for (bool withLicense : {true, false}) {
    ResetRunState();
    Run(withLicense ? "License=Terms\r\n{\r\nUse freely.\r\n}" : "Title=No license", ScriptMode::Prescan);
    failAllocationsFrom = kTextBlockSize;
    const bool accepted = RunLicenseDialog(dialog());
    failAllocationsFrom = 0;
    EXPECT_EQ(!withLicense, accepted) << withLicense;
  }
}

// The temporary folder is made when its name is chosen, so two runs never
// share one, and a run removes only the folder it made: never the current
// folder of a run that made none (a TempMode installer started as the
// Setup of another, then cancelled).
TEST_F(Passes, OnlyTheTemporaryFolderThisRunMadeIsRemoved) {
  const std::string parent = work_.file("QelSFX0");
  ASSERT_TRUE(CreateDirectoryA(parent.c_str(), nullptr));
  ASSERT_TRUE(SetCurrentDirectoryA(parent.c_str()));
  Run("TempMode", ScriptMode::Prescan, dialog());
  Run(script_, ScriptMode::TempFolder, dialog());
  EXPECT_EQ(work_.file("QelSFX1"), destinationShown());
  EXPECT_TRUE(testing_support::FileExists(work_.file("QelSFX1")));
  Run(script_, ScriptMode::TempFolder, dialog());  // as a second installer started alongside
  EXPECT_EQ(work_.file("QelSFX2"), destinationShown());
  sfx.runState = kCancelRequested;
  StartupServices none = {};
  EXPECT_EQ(255, FinishRun(&none));
  EXPECT_TRUE(testing_support::FileExists(parent));
  EXPECT_TRUE(testing_support::FileExists(work_.file("QelSFX1")));
  EXPECT_FALSE(testing_support::FileExists(work_.file("QelSFX2")));
}

}  // namespace
