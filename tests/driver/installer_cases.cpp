// Whole installations from archives made by Python's zipfile, their scripts
// run pass by pass at the moments the start dialog runs them.
#include <shlobj.h>

#include <string>
#include <vector>

#include "driver/layer_hooks.h"
#include "driver/saved_destination.h"
#include "driver/script_fixture.h"
#include "driver/script_view.h"
#include "driver/sfx_state.h"
#include "driver/startup.h"
#include "support/paths.h"
#include "ui/dialog_harness.h"
#include "ui/resource_ids.h"
#include "zip/engine.h"

namespace {

using namespace script_testing;
using dialog_harness::LiveDialog;
using dialog_harness::WindowText;
using testing_support::FileExists;
using Arguments = std::vector<std::string>;

class Installer : public ScriptTest {
 protected:
  // The start dialog's initialisation: the script and its first passes.
  void Open(const char* archiveName) {
    archive_ = testing_support::Environment("ZIMBRO_TESTDATA") + "\\driver\\" + archiveName;
    ReadArchiveComment(archive_.c_str(), &sfx.scriptText, &sfx.scriptLength);
    ASSERT_GT(sfx.scriptLength, 0) << archive_;
    sfx.mainWindow = start_.window();
    RunScript(start_.window(), sfx.scriptText, ScriptMode::Prescan);
    RunDialogPass(start_.window(), sfx.scriptText, ScriptMode::DialogInit);
    RunDialogPass(license_.window(), sfx.scriptText, ScriptMode::LicenseInit);
    RunDialogPass(start_.window(), sfx.scriptText, ScriptMode::TempFolder);
  }
  // The Install button: into the destination, the passes around extraction.
  void Install(const std::string& destination) {
    createPath(destination.c_str(), nullptr, false);
    ASSERT_TRUE(SetCurrentDirectoryA(destination.c_str())) << destination;
    SaveDestination(destination.c_str());
    RunScript(start_.window(), sfx.scriptText, ScriptMode::RunPresetup);
    presetupRuns_ = ProbeRuns().size();  // not waiting: the pass did
    RunScript(start_.window(), sfx.scriptText, ScriptMode::DeleteFiles);
    RecordExtraction(ExtractArchive(archive_.c_str(), EngineServices()));
    RunScript(start_.window(), sfx.scriptText, ScriptMode::Shortcuts);
  }
  std::string Destination() const { return ComboText(start_.window(), IDC_START_DESTINATION); }

  LiveDialog start_{"STARTDLG"};
  LiveDialog license_{"LICENSEDLG"};
  std::string archive_;
  size_t presetupRuns_ = 0;
};

TEST_F(Installer, RealisticScriptFromStartToFinish) {
  strcpy(sfx.commandTail, " /lang=en");
  SetEnvironmentVariableA("ZIMBRO_PROBE_DELAY", "500");
  Open("installer.zip");
  EXPECT_EQ("Zimbro Tool 1.0 Setup", WindowText(start_.window()));
  EXPECT_STREQ("<b>Zimbro Tool</b> will be installed on this computer.\r\n", sfx.textBuffer);
  EXPECT_EQ("Zimbro Tool license", WindowText(license_.window()));
  EXPECT_STREQ("You may use Zimbro Tool freely.\r\n", sfx.licenseText);
  EXPECT_TRUE(sfx.savePath);
  EXPECT_EQ(kOverwriteAll, sfx.overwriteChoice);
  const std::string programs = ProgramsFolder();
  const std::string destination = Destination();
  EXPECT_EQ(programs + "\\Zimbro Test\\Tool", destination);

  createPath((destination + "\\").c_str(), nullptr, false);
  testing_support::WriteWholeFile(destination + "\\stale.old", "from an earlier version");
  Install(destination);
  SetEnvironmentVariableA("ZIMBRO_PROBE_DELAY", nullptr);
  EXPECT_EQ(1u, presetupRuns_);
  EXPECT_FALSE(FileExists(destination + "\\stale.old"));
  for (const char* name : {"tool.exe", "readme.txt", "setup.bat"}) EXPECT_TRUE(FileExists(destination + "\\" + name));
  EXPECT_EQ(0, sfx.errorCount);

  std::string desktopLink = ShellFolder(CSIDL_DESKTOPDIRECTORY) + "\\Zimbro Tool E2E.lnk";
  std::string programsGroup = ShellFolder(CSIDL_PROGRAMS) + "\\Zimbro Tool E2E";
  EXPECT_TRUE(FileExists(desktopLink));
  EXPECT_TRUE(FileExists(programsGroup + "\\readme.txt.lnk"));
  std::string valueName = programs + "\\Zimbro Test\\Tool";
  for (char& c : valueName) c = (c == ':' || c == '\\') ? '%' : c;
  EXPECT_EQ(destination, RegistryText(HKEY_CURRENT_USER, "Software\\Zimbro SFX", valueName.c_str()));

  StartupServices none = {};
  EXPECT_EQ(0, FinishRun(&none));
  std::vector<ProbeRun> runs = ProbeRuns(2);
  ASSERT_EQ(2u, runs.size());
  EXPECT_EQ((Arguments{"presetup", "/lang=en"}), runs[0].arguments);
  EXPECT_EQ((Arguments{"setup", "/quiet", "/lang=en"}), runs[1].arguments);
  EXPECT_EQ(destination, runs[1].folder);

  DeleteFileA(desktopLink.c_str());
  testing_support::RemoveTree(programsGroup);
  SetCurrentDirectoryA(work_.path().c_str());
  testing_support::RemoveTree(programs + "\\Zimbro Test");
  DeleteRegistryValue(HKEY_CURRENT_USER, "Software\\Zimbro SFX", valueName.c_str());
}

// TempMode: the question, an automatic start into "QelSFX<n>" of the
// temporary folder, Setup waited for and followed by a pause, then the
// folder removed.
TEST_F(Installer, TempModeRunRemovesItsFolderAfterSetup) {
  {
    MessageBoxHand hand(IDYES);
    Open("tempmode.zip");
    EXPECT_EQ("Unpack and run Zimbro Tool?", hand.text());
  }
  EXPECT_EQ(2, sfx.silentMode);
  const std::string folder = work_.file("QelSFX0");
  EXPECT_EQ(folder, Destination());
  Install(folder);
  EXPECT_TRUE(FileExists(folder + "\\tool.exe"));

  StartupServices none = {};
  DWORD start = GetTickCount();
  EXPECT_EQ(0, FinishRun(&none));
  EXPECT_GE(GetTickCount() - start, 7000u - 20);  // the tick count may read a little short of the sleep
  std::vector<ProbeRun> runs = ProbeRuns();  // waited for: there already
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(folder, runs[0].folder);
  EXPECT_FALSE(FileExists(folder));
}

}  // namespace
