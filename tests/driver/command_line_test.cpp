#include <gtest/gtest.h>

#include <string.h>

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

TEST(CommandLine, OverlongTailIsCutToTheBuffer) {
  char line[3000] = "setup.exe ";
  for (int i = 10; i < 2990; ++i) line[i] = 'a';
  line[2990] = '\0';
  SfxState state = Scan(line);
  EXPECT_EQ(1023u, strlen(state.commandTail));
}

}  // namespace
