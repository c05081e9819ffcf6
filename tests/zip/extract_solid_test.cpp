// Solid blocks, from the independent writer of the fixture script
// (tests/common/solid_writer.py): every member comes out right, a member that is not
// written keeps its block in step, and damage loses the rest of its block
// only, each lost member with its lines. Whatever the case, no file ever
// holds other bytes than its member's.
#include <gtest/gtest.h>

#include "common/fresh_run.h"
#include "driver/sfx_state.h"
#include "extract_fixture.h"

namespace extract_testing {
namespace {

using testing_support::FileExists;
using testing_support::ReadWholeFile;

const int kAtLeastTwoLines = -1;

class SolidTest : public ExtractTest {
 protected:
  // Every file that came out is its member's, byte for byte.
  void ExpectOnlyRightFiles(const std::string& tag) {
    for (const std::string& file : ListTree(Out(""))) {
      if (file.back() == '\\') continue;
      EXPECT_TRUE(ReadWholeFile(TestData("solid-expected\\" + file)) == ReadWholeFile(Out(file)))
          << tag << ": " << file;
    }
  }
};

struct SolidCase {
  const char* tag;
  int errorLines;  // kAtLeastTwoLines where the encoder decides how a flipped byte derails the stream
  bool filesLost;  // the run ends as corrupt
  std::vector<const char*> present;
  std::vector<const char*> absent;
};

TEST_F(SolidTest, EveryCaseLosesExactlyWhatItMust) {
  const SolidCase cases[] = {
      // The decoder's stream fails: the member it fails in and every one
      // after it in the block, two lines each; the next block is sound.
      {"flip", kAtLeastTwoLines, true, {"a.txt", "plain.txt", "second\\x.txt", "second\\y.bin"}, {"last.txt"}},
      {"cut", 4, true, {"a.txt", "plain.txt"}, {"mixed.bin", "last.txt"}},
      // A CRC that fails loses that member only: the stream is still in step.
      {"badcrc", 1, true, {"a.txt", "last.txt", "plain.txt"}, {"second\\x.txt"}},
      // A member not where the block stands, and every one after it.
      {"place", 4, true, {"a.txt", "plain.txt"}, {"second\\x.txt", "last.txt"}},
      // A dictionary past the limit: each member its name and the memory line.
      {"dictionary", 4, false, {"plain.txt"}, {"a.txt", "last.txt"}},
      // A transform of the stream the engine does not undo: unknown method.
      {"filter", 2, false, {"plain.txt"}, {"a.txt", "last.txt"}},
      // A refused name in the middle: still decoded, the members after it right.
      {"refused", 1, true, {"a.txt", "last.txt", "plain.txt"}, {}},
  };
  for (const SolidCase& c : cases) {
    ResetRunState();
    for (const std::string& file : ListTree(Out(""))) DeleteFileA(Out(file).c_str());
    Extract(std::string("solid-") + c.tag + ".zip");
    if (c.errorLines == kAtLeastTwoLines) {
      EXPECT_GE(errorLines_, 2) << c.tag;
    } else {
      EXPECT_EQ(c.errorLines, errorLines_) << c.tag;
    }
    if (c.filesLost) EXPECT_EQ(kRunFilesCorrupt, outcome_) << c.tag;
    for (const char* file : c.present) EXPECT_TRUE(FileExists(Out(file))) << c.tag << ": " << file;
    for (const char* file : c.absent) EXPECT_FALSE(FileExists(Out(file))) << c.tag << ": " << file;
    ExpectOnlyRightFiles(c.tag);
  }
  // The refused name wrote nothing beside the destination.
  for (const std::string& entry : ListTree(scratch_.path())) EXPECT_EQ(std::string::npos, entry.find("evil"));
}

TEST_F(SolidTest, EveryMemberComesOutAcrossBlocksAndBatches) {
  Extract("solid-good.zip");
  EXPECT_EQ(0, errorLines_);
  EXPECT_EQ(kRunNothingLost, outcome_);
  std::vector<std::string> expected;
  for (const std::string& file : ListTree(TestData("solid-expected"))) expected.push_back(file);
  EXPECT_EQ(expected, ListTree(Out("")));
  ExpectOnlyRightFiles("good");
}

// The block's head is kept as the user's file: it is decoded all the same,
// and the 76 members after it come out right.
TEST_F(SolidTest, AMemberNotWrittenKeepsTheBlockInStep) {
  ASSERT_TRUE(testing_support::WriteWholeFile(Out("a.txt"), "the user's own\n"));
  sfx.overwriteChoice = kOverwriteSkip;
  Extract("solid-good.zip");
  EXPECT_EQ(0, errorLines_);
  std::vector<uint8_t> kept = ReadWholeFile(Out("a.txt"));
  EXPECT_EQ("the user's own\n", std::string(kept.begin(), kept.end()));
  DeleteFileA(Out("a.txt").c_str());
  EXPECT_EQ(ListTree(TestData("solid-expected")).size() - 1, ListTree(Out("")).size());
  ExpectOnlyRightFiles("skip");
}

}  // namespace
}  // namespace extract_testing
