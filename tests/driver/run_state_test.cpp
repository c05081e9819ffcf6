#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "common/test_support.h"
#include "common/fresh_run.h"
#include "driver/sfx_state.h"
#include "driver/startup.h"
#include "support/chars.h"

using testing_support::ReadWholeFile;
using testing_support::RunProcess;
using testing_support::ScratchFolder;
using testing_support::SelfPath;

namespace {

class ExitCodeRule : public ::testing::Test {
 protected:
  void SetUp() override { sfx.exitCode = ExitCodeRecord{0, 0}; }
  void Start(int32_t code) { sfx.exitCode.code = code; }
  int32_t code() const { return sfx.exitCode.code; }
};

TEST_F(ExitCodeRule, CancelAndFolderCodesOnlyReplaceSuccess) {
  SetExitCode(255);
  EXPECT_EQ(255, code());
  SetExitCode(1);
  EXPECT_EQ(255, code());

  Start(0);
  SetExitCode(1);
  EXPECT_EQ(1, code());
  SetExitCode(255);
  EXPECT_EQ(1, code());

  Start(9);
  SetExitCode(1);
  SetExitCode(255);
  EXPECT_EQ(9, code());
}

TEST_F(ExitCodeRule, FatalReplacesSuccessAndFolderCodeOnly) {
  SetExitCode(2);
  EXPECT_EQ(2, code());
  Start(1);
  SetExitCode(2);
  EXPECT_EQ(2, code());
  Start(3);
  SetExitCode(2);
  EXPECT_EQ(3, code());
  Start(255);
  SetExitCode(2);
  EXPECT_EQ(255, code());
}

TEST_F(ExitCodeRule, OtherCodesAlwaysReplaceAndEveryCallCounts) {
  SetExitCode(3);
  SetExitCode(9);
  EXPECT_EQ(9, code());
  SetExitCode(3);
  EXPECT_EQ(3, code());
  SetExitCode(0);
  EXPECT_EQ(0, code());
  SetExitCode(255);  // not stored over... 0 is stored, so 255 now replaces it
  EXPECT_EQ(255, code());
  EXPECT_EQ(5, sfx.exitCode.count);
}

TEST(RunReset, ClearsTheRunItsAnswersAndItsPassword) {
  sfx.runState = kCancelRequested;
  sfx.errorCount = 3;
  sfx.overwriteAll = 1;
  sfx.skipExisting = 1;
  strcpy(sfx.password, "secret");
  SetExitCode(9);
  ResetRunState();
  EXPECT_EQ(kRunning, sfx.runState);
  EXPECT_EQ(0, sfx.errorCount);
  EXPECT_EQ(0, sfx.overwriteAll);
  EXPECT_EQ(0, sfx.skipExisting);
  EXPECT_EQ(0, sfx.exitCode.code);
  EXPECT_EQ(0, sfx.exitCode.count);
  EXPECT_EQ(std::string(sizeof(sfx.password), '\0'), std::string(sfx.password, sizeof(sfx.password)));
}

TEST(StartUp, RecordsOwnPathAndPublishesItToChildren) {
  ResetRunState();
  PrepareRunState("\"C:\\some where\\setup.exe\" /x -s");
  EXPECT_STREQ(SelfPath().c_str(), sfx.moduleName);
  EXPECT_EQ(1, sfx.silentMode);
  EXPECT_STREQ(" /x -s", sfx.commandTail);

  // A started program sees the variable in its environment.
  ScratchFolder folder;
  std::string out = folder.file("sfxname.txt");
  std::string command = "cmd.exe /c echo %sfxname%>\"" + out + "\"";
  ASSERT_EQ(0, RunProcess(command));
  std::vector<uint8_t> bytes = ReadWholeFile(out);
  std::string seen(bytes.begin(), bytes.end());
  while (!seen.empty() && (seen.back() == '\n' || seen.back() == '\r' || seen.back() == ' ')) seen.pop_back();
  EXPECT_EQ(SelfPath(), seen);
}

TEST(StartUp, BuildsTheLeadByteTableOfTheCodePage) {
  ResetRunState();
  PrepareRunState("setup.exe");
  CPINFO info;
  ASSERT_TRUE(GetCPInfo(CP_ACP, &info));
  EXPECT_EQ(info.MaxCharSize > 1, doubleByte.active);
  for (int c = 0; c < 256; ++c) {
    EXPECT_EQ(IsDBCSLeadByte(static_cast<BYTE>(c)) != 0, doubleByte.lead[c]) << c;
  }
}

}  // namespace
