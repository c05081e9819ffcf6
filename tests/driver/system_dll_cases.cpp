// Where an installer's DLLs come from, through whole runs of installers made
// from this build's stub. DLLs planted beside an installer, under the names
// of system DLLs that the stub loads or that system DLLs load on its behalf,
// with the loader told to take such names from the program's folder first
// (as Windows does for every DLL that is not a known one; the harness
// arranges it for the installer's name): none of them may run, in a silent
// run or a run with the dialog. And a system DLL that cannot be loaded at
// all ends the run with the code of a fatal error, never a crash.
#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "driver/running_installer.h"
#include "driver/script_fixture.h"

namespace {

using app_testing::InstallerPath;
using app_testing::RunningInstaller;
using testing_support::Environment;
using testing_support::FileExists;

class SystemDll : public script_testing::ScriptTest {
 protected:
  // The installer texts.exe under the name the harness gives, in a folder of
  // its own.
  std::string Installer(const char* nameVariable) {
    std::string installer = beside_.file(Environment(nameVariable));
    EXPECT_TRUE(CopyFileA(InstallerPath("texts.exe").c_str(), installer.c_str(), FALSE)) << installer;
    return installer;
  }

  testing_support::ScratchFolder beside_;  // the installer's own folder
};

TEST_F(SystemDll, NonePlantedBesideTheInstallerRunsInASilentOrADialogRun) {
  const std::string installer = Installer("ZIMBRO_PLANTED_INSTALLER");
  std::vector<std::string> names;
  std::istringstream list(Environment("ZIMBRO_PLANTED_DLLS"));
  for (std::string name; list >> name;) names.push_back(name + ".dll");
  ASSERT_FALSE(names.empty()) << "the harness names no DLLs to plant";
  for (const std::string& name : names) {
    ASSERT_TRUE(CopyFileA(Environment("ZIMBRO_PLANTED_DLL").c_str(), beside_.file(name).c_str(), FALSE)) << name;
  }
  for (bool silent : {true, false}) {
    const char* runKind = silent ? " (silent)" : " (dialog)";
    // A destination of its own: no file of the other run to ask about.
    std::string folder = destination() + (silent ? "\\silent" : "\\dialog");
    CreateDirectoryA(folder.c_str(), nullptr);
    RunningInstaller run(installer, silent ? "/s" : "", folder);
    if (!silent) {
      HWND dialog = run.WaitForDialog("Zimbro Texts Test");
      EXPECT_NE(dialog, nullptr);
      if (dialog != nullptr) RunningInstaller::Press(dialog, IDOK);
    }
    // A planted DLL that ran has none of the functions the system expects
    // of it: the process then ends or hangs in the crash handler.
    EXPECT_EQ(run.Finish(20000), 0) << runKind;
    EXPECT_TRUE(FileExists(folder + "\\readme.txt")) << runKind;
    for (const std::string& name : names) {
      std::string marker = beside_.file(name + ".loaded");
      EXPECT_FALSE(FileExists(marker)) << name << runKind;
      DeleteFileA(marker.c_str());
    }
  }
}

TEST_F(SystemDll, OneThatCannotBeLoadedEndsTheRunWithTheFatalCode) {
  RunningInstaller run(Installer("ZIMBRO_NO_COMCTL32_INSTALLER"), "/s", destination());
  EXPECT_EQ(run.Finish(20000), 2);
  EXPECT_FALSE(FileExists(destination_.file("readme.txt")));
  EXPECT_FALSE(FileExists(probeLog()));
}

}  // namespace
