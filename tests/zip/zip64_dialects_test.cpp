// What current writers make: Zip64 records from independent packers, the
// version needed to extract, and the Unicode Path extra field.
#include <gtest/gtest.h>

#include "driver/sfx_state.h"
#include "extract_fixture.h"

namespace extract_testing {
namespace {

using testing_support::FileExists;
using testing_support::ReadWholeFile;

std::string Content(const std::string& path) {
  std::vector<uint8_t> data = ReadWholeFile(path);
  return std::string(data.begin(), data.end());
}

// One member of an archive and the file it must equal.
struct SingleMember {
  const char* archive;
  const char* member;
  const char* source;  // below testdata\src
};

TEST_F(ExtractTest, ZipSixtyFourMembersFromOtherWritersComeOutIdentical) {
  const SingleMember cases[] = {
      // Zip64 sizes in the local header only, from a stream.
      {"7z-stdin.zip", "mixed.bin", "mixed.bin"},
  };
  for (const SingleMember& c : cases) {
    Extract(c.archive);
    EXPECT_EQ(0, errorLines_) << c.archive;
    EXPECT_EQ(kRunNothingLost, outcome_) << c.archive;
    EXPECT_EQ(ReadWholeFile(TestData(std::string("src\\") + c.source)), ReadWholeFile(Out(c.member))) << c.archive;
  }
}

TEST_F(ExtractTest, ZipSixtyFourBehindAPrefixIsShiftedByItsOwnEndRecord) {
  Extract("prefixed-zip64.exe");
  EXPECT_EQ(0, errorLines_);
  ExpectSourcesExtracted();
}

TEST_F(ExtractTest, MoreThan65535MembersAreCountedByTheZipSixtyFourEndRecord) {
  Extract("py-many-zip64.zip");
  // Every member but the last has an unknown method: one line each.
  EXPECT_EQ(65599, errorLines_);
  EXPECT_EQ("the last of 65600 members\n", Content(Out("last.txt")));
}

TEST_F(ExtractTest, MembersAreRefusedForWhatTheyUseNotForTheVersionNeeded) {
  Extract("py-version.zip");
  // Strong encryption and patched data: one "Unknown method" line each.
  EXPECT_EQ(2, errorLines_);
  for (const char* name : {"v21.txt", "v42os2.txt", "v45.txt", "v63.txt", "ok.txt"}) {
    EXPECT_TRUE(FileExists(Out(name))) << name;
  }
  EXPECT_FALSE(FileExists(Out("strong.txt")));
  EXPECT_FALSE(FileExists(Out("patched.txt")));
}

TEST_F(ExtractTest, UnicodePathFieldNamesTheFileWhenItsCrcMatchesTheHeaderName) {
  Extract("py-unicode-path.zip");
  EXPECT_EQ(0, errorLines_);
  wchar_t wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, Out("").c_str(), -1, wide, MAX_PATH);
  std::wstring named = std::wstring(wide) + L"caf\u00e9\\\u65e5\u672c.txt";
  HANDLE file = CreateFileW(named.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file) << "the name of the Unicode Path field";
  char text[64] = {};
  DWORD got = 0;
  ReadFile(file, text, sizeof(text) - 1, &got, nullptr);
  CloseHandle(file);
  EXPECT_EQ("caf\xC3\xA9/\xE6\x97\xA5\xE6\x9C\xAC.txt\n", std::string(text, got));
  EXPECT_FALSE(FileExists(Out("hdr-name.txt")));
  // A field written for another name: the header's own name stays.
  EXPECT_EQ("ignored.txt\n", Content(Out("kept-name.txt")));
  EXPECT_FALSE(FileExists(Out("ignored.txt")));
}

}  // namespace
}  // namespace extract_testing
