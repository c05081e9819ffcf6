// Whole archives made by independent packers come out byte-identical, with
// their folders, times and attributes.
#include <gtest/gtest.h>

#include "driver/sfx_state.h"
#include "extract_fixture.h"

namespace extract_testing {
namespace {

using testing_support::FileExists;
using testing_support::ReadWholeFile;

class PackerArchive : public ExtractTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PackerArchive, EveryMemberComesOutIdentical) {
  Extract(GetParam());
  EXPECT_EQ(0, errorLines_);
  EXPECT_EQ(kRunNothingLost, outcome_);
  ExpectSourcesExtracted();
}

INSTANTIATE_TEST_SUITE_P(
    Packers, PackerArchive,
    ::testing::Values("zip-l0.zip", "zip-l1.zip", "zip-l6.zip", "zip-l9.zip", "zip-stream.zip",
                      "7z-mx1.zip", "7z-mx9.zip", "7z-fb258.zip", "7z-deflate64.zip", "py-stored.zip", "py-deflate1.zip",
                      "py-deflate9.zip", "py-descriptor.zip",
                      // Zip64 on small files: forced by zip -fz, and by zipfile's force_zip64.
                      "zip-fz.zip", "py-zip64.zip",
                      // LZMA: with and without the end marker, lc 8, a dictionary
                      // that turns round; zipfile's, streamed too.
                      "7z-lzma.zip", "7z-lzma-noeos.zip", "7z-lzma-lc8.zip", "7z-lzma-d4k.zip", "py-lzma.zip",
                      "py-lzma-descriptor.zip"),
    [](const ::testing::TestParamInfo<const char*>& info) {
      std::string name;
      for (const char* p = info.param; *p != '.'; ++p) name += (isalnum(static_cast<unsigned char>(*p)) ? *p : '_');
      return name;
    });

TEST_F(ExtractTest, FileTimeIsTheArchiveTimeAsLocalTime) {
  Extract("zip-l6.zip");
  // The fixture script dated every source 2020-02-29 13:37:42 local time.
  SYSTEMTIME t = LocalWriteTime(Out("text.txt"));
  EXPECT_EQ(2020, t.wYear);
  EXPECT_EQ(2, t.wMonth);
  EXPECT_EQ(29, t.wDay);
  EXPECT_EQ(13, t.wHour);
  EXPECT_EQ(37, t.wMinute);
  EXPECT_EQ(42, t.wSecond);

  Extract("py-attrs.zip");
  t = LocalWriteTime(Out("plain.txt"));
  EXPECT_EQ(2001, t.wYear);
  EXPECT_EQ(2, t.wMonth);
  EXPECT_EQ(3, t.wDay);
  EXPECT_EQ(4, t.wHour);
  EXPECT_EQ(5, t.wMinute);
  EXPECT_EQ(6, t.wSecond);
}

TEST_F(ExtractTest, ReadOnlyAndHiddenAttributesAreApplied) {
  Extract("py-attrs.zip");
  EXPECT_EQ(0, errorLines_);
  DWORD readOnly = GetFileAttributesA(Out("readonly.txt").c_str());
  DWORD hidden = GetFileAttributesA(Out("hidden.txt").c_str());
  DWORD plain = GetFileAttributesA(Out("plain.txt").c_str());
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, readOnly);
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, hidden);
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, plain);
  EXPECT_TRUE(readOnly & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(hidden & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(plain & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  // The read-only file still got its time: it was set before the attribute.
  SYSTEMTIME t = LocalWriteTime(Out("readonly.txt"));
  EXPECT_EQ(2019, t.wYear);
  EXPECT_EQ(58, t.wSecond);
}

TEST_F(ExtractTest, ReadOnlyFileFromAnEarlierRunIsReplaced) {
  Extract("py-attrs.zip");
  ASSERT_TRUE(GetFileAttributesA(Out("readonly.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
  sfx.overwriteChoice = kOverwriteAll;  // as after Yes to All: no prompt, the read-only file is replaced
  Extract("py-attrs.zip");
  EXPECT_EQ(0, errorLines_);
  EXPECT_EQ(kRunNothingLost, outcome_);
  std::vector<uint8_t> content = ReadWholeFile(Out("readonly.txt"));
  EXPECT_EQ(std::string("read only\n"), std::string(content.begin(), content.end()));
}

TEST_F(ExtractTest, SixtyFiveMembersSpanTwoBatches) {
  Extract("py-65.zip");
  EXPECT_EQ(0, errorLines_);
  for (int i = 0; i < 65; ++i) {
    char name[32];
    snprintf(name, sizeof(name), "many\\m%02d.txt", i);
    std::vector<uint8_t> content = ReadWholeFile(Out(name));
    std::string expected;
    for (int j = 0; j < 300 + i; ++j) expected += "member " + std::to_string(i) + "\n";
    EXPECT_EQ(expected, std::string(content.begin(), content.end())) << name;
  }
}

TEST_F(ExtractTest, EmptyFileAndFolderEntries) {
  Extract("zip-l9.zip");
  EXPECT_EQ(0, errorLines_);
  EXPECT_TRUE(FileExists(Out("empty.txt")));
  EXPECT_TRUE(ReadWholeFile(Out("empty.txt")).empty());
  DWORD folder = GetFileAttributesA(Out("sub\\emptydir").c_str());
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, folder);
  EXPECT_TRUE(folder & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace
}  // namespace extract_testing
