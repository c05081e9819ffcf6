#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "driver/command_line.h"

namespace {

SfxState Scan(const char* commandLine) {
  SfxState state;
  memset(&state, 0, sizeof(state));
  ScanCommandLine(commandLine, &state);
  return state;
}

TEST(CommandLine, SilentSwitchForms) {
  EXPECT_EQ(1, Scan("setup.exe -s").silentMode);
  EXPECT_EQ(1, Scan("setup.exe /S").silentMode);
  EXPECT_EQ(1, Scan("setup.exe /x -s").silentMode);
  EXPECT_EQ(1, Scan("setup.exe a/s").silentMode);
  EXPECT_TRUE(Scan("setup.exe a/s").silentSwitch);
}

TEST(CommandLine, NotASilentSwitch) {
  EXPECT_EQ(0, Scan("setup.exe x-s").silentMode);
  EXPECT_EQ(0, Scan("setup.exe /s1").silentMode);
  EXPECT_EQ(0, Scan("setup.exe \"/s\"").silentMode);
  EXPECT_EQ(0, Scan("setup.exe \"a b\" \"c /s d\"").silentMode);
  EXPECT_FALSE(Scan("setup.exe /s1").silentSwitch);
}

TEST(CommandLine, TailKeepsTheArgumentsAndTheSwitch) {
  EXPECT_STREQ(" /x -s", Scan("setup.exe /x -s").commandTail);
  EXPECT_STREQ(" -s", Scan("\"C:\\my dir\\setup.exe\" -s").commandTail);
}

TEST(CommandLine, QuotedPathFollowedOnlyByBlanksGivesEmptyTail) {
  EXPECT_STREQ("", Scan("\"C:\\setup.exe\" ").commandTail);
  EXPECT_STREQ("", Scan("\"C:\\setup.exe\"   ").commandTail);
  EXPECT_STREQ("", Scan("\"C:\\setup.exe\"").commandTail);
}

TEST(CommandLine, UnquotedPathDirectlyFollowedBySlash) {
  SfxState state = Scan("setup.exe/s");
  EXPECT_STREQ("/s", state.commandTail);
  EXPECT_EQ(1, state.silentMode);
}

TEST(CommandLine, UnterminatedQuotedPathRecordsNothing) {
  SfxState state = Scan("\"C:\\setup.exe -s");
  EXPECT_STREQ("", state.commandTail);
  EXPECT_EQ(0, state.silentMode);
}

// A tail longer than its buffer is passed on not at all rather than cut; the
// switch at its end still counts.
TEST(CommandLine, OverlongTailIsPassedOnWholeOrNotAtAll) {
  std::string line = "setup.exe " + std::string(2000, 'a') + " /s";
  SfxState state = Scan(line.c_str());
  EXPECT_STREQ("", state.commandTail);
  EXPECT_EQ(1, state.silentMode);
  line = "setup.exe " + std::string(1022, 'a');  // the blank and 1022 characters fit
  EXPECT_EQ(1023u, strlen(Scan(line.c_str()).commandTail));
}

// The unattended form: silent, a log file (quoted when it holds blanks), and
// both words taken out of what Setup receives.
TEST(CommandLine, UnattendedFormIsTakenOutOfTheTail) {
  const struct {
    const char* line;
    const char* tail;
    const char* log;
    bool unattended;
  } cases[] = {
      {"setup.exe /s /SFX-Unattended /sfx-log=\"C:\\a b\\run.log\" /x", " /s /x", "C:\\a b\\run.log", true},
      {"setup.exe -sfx-unattended", "", "", true},
      {"setup.exe /sfx-log=run.log /x", " /x", "run.log", false},
      {"setup.exe /sfx-unattendedx \"/sfx-unattended\" a/sfx-unattended", " /sfx-unattendedx \"/sfx-unattended\" a/sfx-unattended", "", false},
  };
  for (const auto& c : cases) {
    SfxState state = Scan(c.line);
    EXPECT_STREQ(c.tail, state.commandTail) << c.line;
    EXPECT_STREQ(c.log, state.logPath) << c.line;
    EXPECT_EQ(c.unattended, state.unattended) << c.line;
    if (c.unattended) EXPECT_EQ(1, state.silentMode) << c.line;
  }
}

}  // namespace
