// Which names the launcher takes as addresses, and which relative names it
// refuses to look for at all because they leave the folder they are taken in.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/test_support.h"
#include "driver/program_lookup.h"
#include "support/paths.h"

namespace {

TEST(ProgramLookup, AnAddressNeedsASchemeOfTwoCharactersAtLeast) {
  const struct {
    const char* text;
    bool address;
  } cases[] = {
      {"http://example.com/setup", true}, {"zimbro-probe://page", true}, {"a+b.c-9://x", true},
      {"C://dir/setup.exe", false},       {"9p://x", false},             {"http:/x", false},
      {"setup.exe/x", false},             {"://x", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.address, IsAddress(c.text)) << c.text;
}

TEST(ProgramLookup, NamesThatLeaveTheDestinationAreNotLookedFor) {
  testing_support::ScratchFolder outer;
  const std::string inner = outer.file("inner");
  CreateDirectoryA(inner.c_str(), nullptr);
  testing_support::WriteWholeFile(outer.file("tool.exe"), "MZ");
  testing_support::WriteWholeFile(inner + "\\tool.exe", "MZ");
  char saved[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, saved);
  ASSERT_TRUE(SetCurrentDirectoryA(inner.c_str()));
  char found[kPathSize];
  EXPECT_EQ(ProgramPlace::kFound, FindProgram("tool", found));
  EXPECT_EQ(inner + "\\tool.exe", std::string(found));
  EXPECT_EQ(ProgramPlace::kFound, FindProgram(".\\tool.exe", found));
  for (std::string name : {"..\\tool.exe", "\\tool.exe", "inner\\..\\..\\tool.exe", "Z:tool.exe"}) {
    EXPECT_EQ(ProgramPlace::kMissing, FindProgram(name.c_str(), found)) << name;
  }
  // A full path is taken as it is, ".exe" added to a bare name.
  EXPECT_EQ(ProgramPlace::kFound, FindProgram(outer.file("tool").c_str(), found));
  EXPECT_EQ(outer.file("tool.exe"), std::string(found));
  SetCurrentDirectoryA(saved);
}

}  // namespace
