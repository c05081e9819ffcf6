#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

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

// The code a run ends with, from the news it met in order: a cancel or a
// folder that could not be entered never hides a failure, a fatal stop
// never hides a damaged file, and every other code is the latest news.
TEST(ExitCodeRule, TheRunEndsWithItsWorstNews) {
  const struct {
    const char* story;
    std::vector<int32_t> codes;
    int32_t exitCode;
  } runs[] = {
      {"nothing to report", {}, 0},
      {"cancelled", {255}, 255},
      {"cancelled, then a folder not entered", {255, 1}, 255},
      {"a folder not entered, then cancelled", {1, 255}, 1},
      {"a fatal stop after a folder not entered", {1, 2}, 2},
      {"a fatal stop after a damaged file", {3, 2}, 3},
      {"a fatal stop after a cancel", {255, 2}, 255},
      {"a file not created, then a cancel and a folder", {9, 1, 255}, 9},
      {"a damaged file, then a file not created", {3, 9}, 9},
      {"a file not created, then a damaged file", {9, 3}, 3},
      {"a damaged file after a cancel", {255, 3}, 3},
      {"a setup program not started after a damaged file", {3, 4}, 4},
  };
  for (const auto& run : runs) {
    SCOPED_TRACE(run.story);
    sfx.exitCode = ExitCodeRecord{0, 0};
    for (const int32_t code : run.codes) SetExitCode(code);
    EXPECT_EQ(run.exitCode, sfx.exitCode.code);
    EXPECT_EQ(static_cast<int32_t>(run.codes.size()), sfx.exitCode.count);
  }
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
