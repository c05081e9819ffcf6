// Damaged archives, files that cannot be written, and names that try to
// leave the destination: each is reported, counted, and never crashes,
// hangs or writes where it must not.
#include <gtest/gtest.h>

#include "common/fresh_run.h"
#include "driver/sfx_state.h"
#include "extract_fixture.h"

namespace extract_testing {
namespace {

using testing_support::FileExists;
using testing_support::ReadWholeFile;

TEST_F(ExtractTest, WrongCrcDeletesTheFileAndSetsExitCode3) {
  Extract("py-badcrc.zip");
  EXPECT_EQ(1, errorLines_);
  EXPECT_EQ(kRunFilesCorrupt, outcome_);
  EXPECT_FALSE(FileExists(Out("badcrc.txt")));
  EXPECT_TRUE(FileExists(Out("after.txt")));
}

class DamagedDeflate : public ExtractTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(DamagedDeflate, IsReportedLeavesNoPartialFileAndTheNextMemberStillComesOut) {
  Extract(std::string(GetParam()) + ".zip");
  EXPECT_GE(errorLines_, 1);
  EXPECT_EQ(kRunFilesCorrupt, outcome_);
  EXPECT_FALSE(FileExists(Out("damaged.bin")));
  std::vector<uint8_t> after = ReadWholeFile(Out("after.txt"));
  EXPECT_EQ(std::string("after the damage\n"), std::string(after.begin(), after.end()));
}

// Deflate and Deflate64 with one byte flipped; Deflate64 with a distance
// before the start of the output.
INSTANTIATE_TEST_SUITE_P(FlippedByte, DamagedDeflate,
                         ::testing::Values("py-flip-text-0", "py-flip-text-10", "py-flip-text-50", "py-flip-text-90",
                                           "py-flip-mixed-0", "py-flip-mixed-10", "py-flip-mixed-50",
                                           "py-flip-mixed-90", "7z-flip-d64-0", "7z-flip-d64-10", "7z-flip-d64-50",
                                           "7z-flip-d64-90", "py-d64-before-start"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           for (char& c : name) c = c == '-' ? '_' : c;
                           return name;
                         });

// LZMA members no encoder writes: each ends as damaged data (the name and
// the damage line; a flipped byte may instead decode into other bytes and
// fail the CRC, one line), leaves no file, marks the installation corrupt,
// and the member after it still comes out.
class DamagedLzma : public ExtractTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(DamagedLzma, IsCorruptLeavesNoFileAndTheNextMemberStillComesOut) {
  const std::string tag = GetParam();
  Extract("lzma-bad-" + tag + ".zip");
  if (tag.compare(0, 5, "flip-") == 0) {
    EXPECT_GE(errorLines_, 1);
    EXPECT_LE(errorLines_, 2);
  } else {
    EXPECT_EQ(2, errorLines_);
  }
  EXPECT_EQ(kRunFilesCorrupt, outcome_);
  EXPECT_FALSE(FileExists(Out("damaged.bin")));
  std::vector<uint8_t> after = ReadWholeFile(Out("after.txt"));
  EXPECT_EQ(std::string("after the damage\n"), std::string(after.begin(), after.end()));
}

INSTANTIATE_TEST_SUITE_P(Hostile, DamagedLzma,
                         ::testing::Values("distance-before-start", "far-distance", "repeat-without-history",
                                           "flip-10", "flip-50", "flip-90", "truncated", "truncated-header",
                                           "beyond-size", "beyond-size-no-marker", "short", "bad-properties",
                                           "bad-properties-size", "coder-first-byte"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name;
                           for (const char* p = info.param; *p != 0; ++p) name += (*p == '-' ? '_' : *p);
                           return name;
                         });

TEST_F(ExtractTest, FolderInTheWayOfAFileIsCannotCreate) {
  ASSERT_TRUE(CreateDirectoryA(Out("text.txt").c_str(), nullptr));
  sfx.overwriteChoice = kOverwriteAll;  // replace it, unasked
  Extract("zip-l6.zip");
  EXPECT_EQ(1, errorLines_);
  EXPECT_EQ(kRunFilesNotCreated, outcome_);
  EXPECT_TRUE(FileExists(Out("random.bin")));
}

TEST_F(ExtractTest, FileOpenWithoutSharingIsCannotCreate) {
  ASSERT_TRUE(testing_support::WriteWholeFile(Out("text.txt"), "busy"));
  HANDLE busy = CreateFileA(Out("text.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, busy);
  sfx.overwriteChoice = kOverwriteAll;
  Extract("zip-l1.zip");
  CloseHandle(busy);
  EXPECT_EQ(1, errorLines_);
  EXPECT_EQ(kRunFilesNotCreated, outcome_);
  std::vector<uint8_t> kept = ReadWholeFile(Out("text.txt"));
  EXPECT_EQ(std::string("busy"), std::string(kept.begin(), kept.end()));
  EXPECT_TRUE(FileExists(Out("mixed.bin")));
}

// A member that is to replace an existing file and then fails (CRC,
// damaged data, short or long output) leaves the original as it was, its
// read-only attribute included, and no temporary file beside it.
TEST_F(ExtractTest, AFailedReplacementKeepsTheOriginal) {
  const struct {
    const char* archive;
    const char* member;
  } cases[] = {{"py-badcrc.zip", "badcrc.txt"},
               {"py-flip-text-50.zip", "damaged.bin"},
               {"py-short.zip", "short.bin"},
               {"py-oversize.zip", "bomb.bin"}};
  for (const auto& c : cases) {
    ResetRunState();
    sfx.overwriteChoice = kOverwriteAll;
    const std::string original = Out(c.member);
    ASSERT_TRUE(testing_support::WriteWholeFile(original, "the user's own\n"));
    SetFileAttributesA(original.c_str(), FILE_ATTRIBUTE_READONLY);
    Extract(c.archive);
    EXPECT_EQ(kRunFilesCorrupt, outcome_) << c.archive;
    std::vector<uint8_t> kept = ReadWholeFile(original);
    EXPECT_EQ("the user's own\n", std::string(kept.begin(), kept.end())) << c.archive;
    EXPECT_TRUE(GetFileAttributesA(original.c_str()) & FILE_ATTRIBUTE_READONLY) << c.archive;
    for (const std::string& entry : ListTree(Out(""))) EXPECT_EQ(std::string::npos, entry.find("~zsfx")) << entry;
  }
}

TEST_F(ExtractTest, NamesLeavingTheDestinationAreNeverWritten) {
  Extract("py-unsafe.zip");
  // Fourteen refused names, one line each; the safe member after them.
  EXPECT_EQ(14, errorLines_);
  EXPECT_EQ(std::vector<std::string>({"safe\\", "safe\\ok.txt"}), ListTree(Out("")));
  // Nothing beside the destination, nothing at the root of its drive.
  EXPECT_EQ(std::vector<std::string>({"dest\\", "dest\\safe\\", "dest\\safe\\ok.txt"}),
            ListTree(scratch_.path()));
  EXPECT_FALSE(FileExists("\\abs1.txt"));
  EXPECT_FALSE(FileExists("\\abs2.txt"));
  EXPECT_FALSE(FileExists("C:evil5.txt"));
  EXPECT_FALSE(FileExists("C:\\evil6.txt"));
}

// Links planted in the destination, to a folder of the archive's and to a
// file it replaces: no member is written through them, the folder's members
// are counted lines, and the rest of the archive comes out. (Wine shows only
// links to folders as links; a link to a file it shows as the file, which
// the replacing move then takes the place of, link and all.)
TEST_F(ExtractTest, MembersNeverPassThroughLinksInTheDestination) {
  const std::string outside = scratch_.file("outside");
  ASSERT_TRUE(CreateDirectoryA(outside.c_str(), nullptr));
  ASSERT_TRUE(testing_support::WriteWholeFile(outside + "\\victim.txt", "the victim's own\n"));
  ASSERT_TRUE(testing_support::MakeLink(Out("sub"), outside));
  ASSERT_TRUE(testing_support::MakeLink(Out("text.txt"), outside + "\\victim.txt"));
  sfx.overwriteChoice = kOverwriteAll;  // replace whatever is there, unasked
  Extract("zip-l6.zip");
  EXPECT_EQ(std::vector<std::string>({"victim.txt"}), ListTree(outside));
  std::vector<uint8_t> kept = ReadWholeFile(outside + "\\victim.txt");
  EXPECT_EQ("the victim's own\n", std::string(kept.begin(), kept.end()));
  // sub/, sub/dir/, sub/dir/nested.txt and sub/emptydir/.
  EXPECT_EQ(4, errorLines_);
  EXPECT_TRUE(FileExists(Out("random.bin")));
}

TEST_F(ExtractTest, NameLongerThanTheBufferIsRefusedNotCut) {
  Extract("py-longname.zip");
  EXPECT_EQ(1, errorLines_);
  EXPECT_EQ(std::vector<std::string>({"ok.txt"}), ListTree(Out("")));
}

TEST_F(ExtractTest, CancelledRunExtractsNothing) {
  sfx.runState = kCancelRequested;
  Extract("zip-l6.zip");
  EXPECT_TRUE(ListTree(Out("")).empty());
}

}  // namespace
}  // namespace extract_testing
