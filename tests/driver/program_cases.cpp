// Setup and Presetup programs, started as the probe program under various
// names: the command tail, file and parameter splitting, batch files and
// their pause, ".inf" files and their verb, the Presetup rules, the
// installer's arguments kept as data for batch files, and the places a
// program is taken from.
#include <string.h>

#include <string>
#include <vector>

#include "common/fresh_run.h"
#include "driver/script_fixture.h"
#include "driver/sfx_state.h"

namespace {

using namespace script_testing;
using Arguments = std::vector<std::string>;

class Programs : public ScriptTest {
 protected:
  void SetUp() override {
    ScriptTest::SetUp();
    for (const char* name : {"setup.exe", "my tool.exe", "file.exe"}) {
      ASSERT_TRUE(CopyFileA(ProbePath().c_str(), destination_.file(name).c_str(), FALSE)) << name;
    }
    Put("setup.bat", "@\"" + ProbePath() + "\" batch %*\r\n");
    CreateDirectoryA(destination_.file("bin").c_str(), nullptr);
    Put("bin\\setup.bat", "@\"" + ProbePath() + "\" batch %*\r\n");
  }
  // A program of the same name as the publisher's, put where it must never
  // be taken from.
  std::string Plant(const std::string& folder, const std::string& name) {
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string path = folder + "\\" + name;
    EXPECT_TRUE(CopyFileA(ProbePath().c_str(), path.c_str(), FALSE)) << path;
    return path;
  }
  // Runs one pass and returns how long it took.
  DWORD Timed(const std::string& script, ScriptMode mode) {
    DWORD start = GetTickCount();
    Run(script, mode);
    return GetTickCount() - start;
  }
};

TEST_F(Programs, SetupCommandLines) {
  const struct {
    const char* tail;  // the self-extractor's own arguments
    const char* setup;
    Arguments arguments;
  } cases[] = {
      {"/s", "setup.exe", {"/s"}},
      {" -x \"a b\"", "setup.exe", {"-x", "a b"}},
      {"", "\"my tool.exe\" one \"two three\"", {"one", "two three"}},
      {"", "file.exe/x", {"/x"}},
      {" /s", "\"my tool.exe\"/y", {"/y", "/s"}},
  };
  size_t runs = 0;
  for (const auto& c : cases) {
    strcpy(sfx.commandTail, c.tail);
    Run(std::string("Setup=") + c.setup, ScriptMode::RunSetup);
    std::vector<ProbeRun> seen = ProbeRuns(++runs);
    ASSERT_EQ(runs, seen.size()) << c.setup;
    EXPECT_EQ(c.arguments, seen.back().arguments) << c.setup;
    EXPECT_EQ(destination(), seen.back().folder) << c.setup;
  }
}

// A batch file may leave work to other processes: a pause follows it, a
// second after Setup, a fifth after Presetup (which is waited for).
TEST_F(Programs, BatchFileAndItsPause) {
  // The pauses are Sleep calls; the tick count that measures them may read a
  // few milliseconds short of a sleep, so the bounds leave it that much.
  const DWORD kTickSlack = 20;
  EXPECT_GE(Timed("Presetup=setup.bat pre", ScriptMode::RunPresetup), 200u - kTickSlack);
  EXPECT_EQ(1u, ProbeRuns().size());
  EXPECT_GE(Timed("Setup=setup.bat one", ScriptMode::RunSetup), 1000u - kTickSlack);
  std::vector<ProbeRun> seen = ProbeRuns(2);
  ASSERT_EQ(2u, seen.size());
  EXPECT_EQ((Arguments{"batch", "pre"}), seen[0].arguments);
  EXPECT_EQ((Arguments{"batch", "one"}), seen[1].arguments);
}

// Sets the command of a verb of the ".inf" class for the time of a test.
class InfVerb {
 public:
  InfVerb(const std::string& verb, const std::string& command) : key_("inffile\\shell\\" + verb + "\\command") {
    system_ = RegistryText(HKEY_CLASSES_ROOT, key_.c_str(), "");
    Set(command);
  }
  ~InfVerb() {
    if (system_ == "(none)") {
      RegDeleteKeyA(HKEY_CLASSES_ROOT, key_.c_str());
    } else {
      Set(system_);
    }
  }

 private:
  void Set(const std::string& command) {
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_CLASSES_ROOT, key_.c_str(), REG_SZ, command.c_str(), command.size()));
  }
  std::string key_, system_;
};

// An ".inf" file is started with the verb Install, not the default one.
TEST_F(Programs, InfFileStartedWithTheVerbInstall) {
  InfVerb install("Install", "\"" + ProbePath() + "\" verb-install \"%1\"");
  InfVerb open("open", "\"" + ProbePath() + "\" verb-open \"%1\"");
  Put("driver.inf", "[Version]\r\n");
  Run("Setup=driver.inf", ScriptMode::RunSetup);
  std::vector<ProbeRun> seen = ProbeRuns(1);
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ((Arguments{"verb-install", destination_.file("driver.inf")}), seen[0].arguments);
}

// Presetup is waited for (the record exists as soon as the pass returns),
// and a system program is found for Presetup as for Setup.
TEST_F(Programs, PresetupWaitedForAndSystemProgramsFound) {
  SetEnvironmentVariableA("ZIMBRO_PROBE_DELAY", "1500");
  Run("Presetup=setup.exe pre", ScriptMode::RunPresetup);
  SetEnvironmentVariableA("ZIMBRO_PROBE_DELAY", nullptr);
  std::vector<ProbeRun> seen = ProbeRuns();
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ((Arguments{"pre"}), seen[0].arguments);

  Run("Presetup=cmd /c echo x> presetup.txt", ScriptMode::RunPresetup);
  EXPECT_TRUE(testing_support::FileExists(destination_.file("presetup.txt")));
  Run("Setup=cmd /c echo x> setup.txt", ScriptMode::RunSetup);
  for (int i = 0; i < 600 && !testing_support::FileExists(destination_.file("setup.txt")); ++i) Sleep(50);
  EXPECT_TRUE(testing_support::FileExists(destination_.file("setup.txt")));
}

// The installer's arguments come from whoever started it: a batch file
// (and the interpreter named itself) receives them as data, each argument as
// it was given, or not at all, with a counted error line. The publisher's
// own parameters stay as written.
TEST_F(Programs, BatchFilesReceiveTheArgumentsAsData) {
  const std::string injected = Plant(work_.path(), "injected.exe");
  const struct {
    const char* script;
    std::string tail;
    Arguments arguments;  // what the batch file passed on; empty: refused
  } cases[] = {
      {"Setup=bin\\setup.bat", "/s & " + injected + " pwned", {"batch", "/s", "&", injected, "pwned"}},
      {"Presetup=bin\\setup.bat", "/s & " + injected + " pwned", {"batch", "/s", "&", injected, "pwned"}},
      {"Setup=bin\\setup.bat", " \"a b\" c|d (x) ^y <z> e,f;g=h", {"batch", "a b", "c|d", "(x)", "^y", "<z>", "e,f;g=h"}},
      {"Setup=bin\\setup.bat one \"two three\"", "x&y", {"batch", "one", "two three", "x&y"}},
      {"Setup=cmd /c bin\\setup.bat", "/s -y", {"batch", "/s", "-y"}},
      {"Setup=bin\\setup.bat", "/s %ZIMBRO_PROBE%", {}},
      {"Presetup=bin\\setup.bat", "!x! & " + injected, {}},
      {"Setup=bin\\setup.bat", "\"a\\\"b\" & " + injected, {}},
      {"Setup=cmd /c bin\\setup.bat", "/s & " + injected, {}},
  };
  for (const auto& c : cases) {
    ResetRunState();
    sfx.unattended = true;
    DeleteFileA(probeLog().c_str());
    strcpy(sfx.commandTail, c.tail.c_str());
    const bool presetup = strncmp(c.script, "Presetup", 8) == 0;
    Run(c.script, presetup ? ScriptMode::RunPresetup : ScriptMode::RunSetup);
    WaitForStartedPrograms();
    std::vector<ProbeRun> seen = ProbeRuns();
    const bool refused = c.arguments.empty();
    EXPECT_EQ(refused ? 0u : 1u, seen.size()) << c.script << " " << c.tail;
    if (!refused && !seen.empty()) EXPECT_EQ(c.arguments, seen[0].arguments) << c.script << " " << c.tail;
    EXPECT_EQ(refused ? 1 : 0, sfx.errorCount) << c.script << " " << c.tail;
    EXPECT_EQ(refused && !presetup ? kExitSetupNotStarted : kExitSuccess, sfx.exitCode.code) << c.script;
  }
}

// A program is taken only from the destination (relative names), from the
// system's folders, or from the full path the script gives; never along
// PATH, from App Paths or from beside the destination. A Setup program not
// found ends the run with its own code and an error line, and a watched run
// tells of it in a box of its own; Presetup is skipped, as optional.
TEST_F(Programs, ProgramsAreTakenOnlyFromTheDestinationAndTheSystem) {
  const std::string planted = work_.file("planted");
  Plant(planted, "zimbro-tool.exe");
  const std::string appPath = Plant(planted, "zimbro-app.exe");
  Plant(destination_.path(), "zimbro-here.exe");
  Plant(destination_.file("bin"), "zimbro-here.exe");
  Put("broken.exe", "MZ this is no program");
  std::string path = testing_support::Environment("PATH");
  SetEnvironmentVariableA("PATH", (planted + ";" + path).c_str());
  const char* const appKey = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\zimbro-app.exe";
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    RegSetValueA(root, appKey, REG_SZ, appPath.c_str(), appPath.size());
  }
  const std::string beside = "..\\" + work_.path().substr(work_.path().rfind('\\') + 1) + "\\planted\\zimbro-tool.exe";
  RegSetValueA(HKEY_CLASSES_ROOT, "zimbro-probe", REG_SZ, "URL:Zimbro probe", 16);
  HKEY scheme;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, "zimbro-probe", 0, KEY_SET_VALUE, &scheme));
  RegSetValueExA(scheme, "URL Protocol", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
  RegCloseKey(scheme);
  const std::string opener = "\"" + ProbePath() + "\" url \"%1\"";
  RegSetValueA(HKEY_CLASSES_ROOT, "zimbro-probe\\shell\\open\\command", REG_SZ, opener.c_str(), opener.size());

  const struct {
    std::string script;
    bool watched;
    Arguments arguments;  // of the program started; empty: none started
    std::string started;  // the full path it was started by
    int32_t exitCode;
  } cases[] = {
      {"Setup=zimbro-tool /x", false, {}, "", kExitSetupNotStarted},
      {"Setup=zimbro-tool.exe /x", false, {}, "", kExitSetupNotStarted},
      {"Setup=zimbro-app.exe /x", false, {}, "", kExitSetupNotStarted},
      {"Setup=" + beside + " /x", false, {}, "", kExitSetupNotStarted},
      {"Setup=broken.exe /x", false, {}, "", kExitSetupNotStarted},
      {"Setup=zimbro-tool /x", true, {}, "", kExitSetupNotStarted},
      {"Presetup=zimbro-tool.exe /x", false, {}, "", kExitSuccess},
      {"Setup=zimbro-here /x", false, {"/x"}, destination_.file("zimbro-here.exe"), kExitSuccess},
      {"Setup=bin\\zimbro-here.exe /y", false, {"/y"}, destination_.file("bin\\zimbro-here.exe"), kExitSuccess},
      {"Setup=\"" + ProbePath() + "\" full", false, {"full"}, ProbePath(), kExitSuccess},
      {"Setup=zimbro-probe://page/x", false, {"url", "zimbro-probe://page/x"}, "", kExitSuccess},
  };
  for (const auto& c : cases) {
    ResetRunState();
    sfx.unattended = !c.watched;
    DeleteFileA(probeLog().c_str());
    const bool presetup = c.script.compare(0, 8, "Presetup") == 0;
    MessageBoxHand hand(IDOK);
    Run(c.script, presetup ? ScriptMode::RunPresetup : ScriptMode::RunSetup);
    WaitForStartedPrograms();
    std::vector<ProbeRun> seen = ProbeRuns(c.arguments.empty() ? 0 : 1);
    EXPECT_EQ(c.arguments.empty() ? 0u : 1u, seen.size()) << c.script;
    if (!seen.empty() && !c.arguments.empty()) {
      EXPECT_EQ(c.arguments, seen[0].arguments) << c.script;
      EXPECT_NE(std::string::npos, seen[0].command.find(c.started)) << c.script << ": " << seen[0].command;
    }
    EXPECT_EQ(c.exitCode, sfx.exitCode.code) << c.script;
    EXPECT_EQ(c.exitCode == kExitSuccess ? 0 : 1, sfx.errorCount) << c.script;
    EXPECT_EQ(c.watched, hand.seen()) << c.script;
    if (c.watched) EXPECT_EQ("Cannot start zimbro-tool", hand.text()) << c.script;
  }

  SetEnvironmentVariableA("PATH", path.c_str());
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) RegDeleteKeyA(root, appKey);
  RegDeleteKeyA(HKEY_CLASSES_ROOT, "zimbro-probe\\shell\\open\\command");
  RegDeleteKeyA(HKEY_CLASSES_ROOT, "zimbro-probe\\shell\\open");
  RegDeleteKeyA(HKEY_CLASSES_ROOT, "zimbro-probe\\shell");
  RegDeleteKeyA(HKEY_CLASSES_ROOT, "zimbro-probe");
}

}  // namespace
