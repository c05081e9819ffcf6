// Setup and Presetup programs, started as the probe program under various
// names: the command tail, file and parameter splitting, batch files and
// their pause, ".inf" files and their verb, and the Presetup rules.
#include <string>
#include <vector>

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

// Presetup is waited for (the record exists as soon as the pass returns)
// and skipped when its file is not in the destination; Setup, not waited
// for, would find the same program along the search path.
TEST_F(Programs, PresetupWaitedForAndSkippedWhenAbsent) {
  SetEnvironmentVariableA("ZIMBRO_PROBE_DELAY", "1500");
  Run("Presetup=setup.exe pre", ScriptMode::RunPresetup);
  SetEnvironmentVariableA("ZIMBRO_PROBE_DELAY", nullptr);
  std::vector<ProbeRun> seen = ProbeRuns();
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ((Arguments{"pre"}), seen[0].arguments);

  Run("Presetup=cmd /c echo x> presetup.txt", ScriptMode::RunPresetup);
  Run("Setup=cmd /c echo x> setup.txt", ScriptMode::RunSetup);
  for (int i = 0; i < 600 && !testing_support::FileExists(destination_.file("setup.txt")); ++i) Sleep(50);
  EXPECT_TRUE(testing_support::FileExists(destination_.file("setup.txt")));
  EXPECT_FALSE(testing_support::FileExists(destination_.file("presetup.txt")));
}

}  // namespace
