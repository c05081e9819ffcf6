// Finding the archive behind an executable: the end record search, the
// archive shift and its repairs, and the script in the archive comment.
#include <gtest/gtest.h>

#include "common/fresh_run.h"
#include "driver/sfx_state.h"
#include "extract_fixture.h"
#include "support/portable/heap.h"
#include "zip/engine.h"

namespace extract_testing {
namespace {

using testing_support::FileExists;
using testing_support::ReadWholeFile;

// ---------------------------------------------------------------------------
// Archive shift
// ---------------------------------------------------------------------------

TEST_F(ExtractTest, OffsetsThatIgnoreThePrefixAreShifted) {
  Extract("prefixed-plain.exe");
  EXPECT_EQ(0, errorLines_);
  ExpectSourcesExtracted();
}

TEST_F(ExtractTest, OffsetsAdjustedForThePrefixNeedNoShift) {
  Extract("prefixed-adjusted.exe");
  EXPECT_EQ(0, errorLines_);
  ExpectSourcesExtracted();
}

TEST_F(ExtractTest, DirectoryOffsetWithoutPrefixLocalOffsetsWithIt) {
  // The first member is missed once (one line), then the shift is put aside
  // and every member is found.
  Extract("prefixed-retry.exe");
  EXPECT_EQ(1, errorLines_);
  EXPECT_EQ(kRunNothingLost, outcome_);
  ExpectSourcesExtracted();
}

// Only other bytes where a local header should be make the shift doubtful;
// a position beyond the file is a damaged entry: message 120, next member.
TEST_F(ExtractTest, NoShiftRetryWhenTheFirstTryLiesBeyondTheFile) {
  Extract("prefixed-retry-small.exe");
  EXPECT_EQ(3, errorLines_);
  EXPECT_FALSE(FileExists(Out("readonly.txt")));
  EXPECT_FALSE(FileExists(Out("hidden.txt")));
  EXPECT_FALSE(FileExists(Out("plain.txt")));
}

TEST_F(ExtractTest, DirectoryOffsetZeroBehindAPrefixIsRepaired) {
  Extract("prefixed-zerooffset.exe");
  EXPECT_EQ(1, errorLines_);
  ExpectSourcesExtracted();
}

TEST_F(ExtractTest, NegativeShiftIsReportedAndRecovered) {
  // One line for the shift, one for the first member's missed header.
  Extract("negative-shift.zip");
  EXPECT_EQ(2, errorLines_);
  ExpectSourcesExtracted();
}

// ---------------------------------------------------------------------------
// End record
// ---------------------------------------------------------------------------

class StraddlingEndRecord : public ExtractTest, public ::testing::WithParamInterface<int> {};

TEST_P(StraddlingEndRecord, IsFoundAcrossTheBlockBoundary) {
  Extract("py-straddle-" + std::to_string(GetParam()) + ".zip");
  // No line: the record was found and the member's CRC matched.
  EXPECT_EQ(0, errorLines_);
  EXPECT_GT(ReadWholeFile(Out("pad.bin")).size(), 7000u);
}

INSTANTIATE_TEST_SUITE_P(ByOneTwoThreeBytes, StraddlingEndRecord, ::testing::Values(1, 2, 3));

TEST_F(ExtractTest, EndRecordBeyondTheSearchedTailIsNotFound) {
  Extract("py-farend.bin");
  // "unknown format or damaged", then "Cannot open" with the path.
  EXPECT_EQ(2, errorLines_);
  EXPECT_TRUE(ListTree(Out("")).empty());
}

TEST_F(ExtractTest, TruncatedArchiveExtractsNothing) {
  Extract("py-truncated.zip");
  EXPECT_EQ(2, errorLines_);
  EXPECT_TRUE(ListTree(Out("")).empty());
}

TEST_F(ExtractTest, EmptyArchiveIsOneLine) {
  Extract("py-empty.zip");
  EXPECT_EQ(1, errorLines_);
  EXPECT_TRUE(ListTree(Out("")).empty());
}

TEST_F(ExtractTest, CommentTooLongForTheScriptSearchStillExtracts) {
  Extract("py-bigcomment.zip");
  EXPECT_EQ(0, errorLines_);
  EXPECT_TRUE(FileExists(Out("a.txt")));
}

TEST_F(ExtractTest, MissingOrFolderArchiveIsCannotOpen) {
  Extract("no-such-archive.zip");
  EXPECT_EQ(1, errorLines_);
  ResetRunState();
  ExtractPath(scratch_.path());
  EXPECT_EQ(1, errorLines_);
}

// ---------------------------------------------------------------------------
// The archive comment (the script)
// ---------------------------------------------------------------------------

struct Comment {
  char* text = nullptr;
  int32_t length = 0;
  ~Comment() {
    if (text != nullptr) release(text);
  }
  std::string str() const { return text == nullptr ? std::string("<none>") : std::string(text, length); }
};

static void readComment(const std::string& name, Comment* comment) {
  ReadArchiveComment(TestData(name).c_str(), &comment->text, &comment->length);
}

TEST(ArchiveComment, IsFound) {
  if (testing_support::Environment("ZIMBRO_TESTDATA").empty()) GTEST_SKIP();
  // Classic, and Zip64 behind a prefix (its own end record and locator in
  // front of the classic one).
  const std::pair<const char*, const char*> cases[] = {{"py-comment.zip", "Title=Test\r\nPath=Here\r\n"},
                                                       {"prefixed-zip64.exe", "Title=Zip64\r\nPath=Here"}};
  for (const auto& c : cases) {
    Comment comment;
    readComment(c.first, &comment);
    EXPECT_EQ(c.second, comment.str()) << c.first;
    ASSERT_NE(nullptr, comment.text);
    EXPECT_EQ('\0', comment.text[comment.length]);
  }
}

TEST(ArchiveComment, ZeroLengthCommentGoesOnSearchingBackwards) {
  if (testing_support::Environment("ZIMBRO_TESTDATA").empty()) GTEST_SKIP();
  Comment comment;
  readComment("py-twocomments.bin", &comment);
  EXPECT_EQ("EARLIER", comment.str());
}

TEST(ArchiveComment, NoneLeavesTheOutputsAlone) {
  if (testing_support::Environment("ZIMBRO_TESTDATA").empty()) GTEST_SKIP();
  Comment comment;
  readComment("py-nocomment.zip", &comment);
  EXPECT_EQ(nullptr, comment.text);
  EXPECT_EQ(0, comment.length);
  readComment("no-such-file.zip", &comment);
  EXPECT_EQ(nullptr, comment.text);
}

TEST(ArchiveComment, LengthClaimingMoreThanTheFileIsCut) {
  if (testing_support::Environment("ZIMBRO_TESTDATA").empty()) GTEST_SKIP();
  Comment comment;
  readComment("py-longclaim.zip", &comment);
  EXPECT_EQ("short comment", comment.str());
}

TEST(ArchiveComment, CommentOutsideTheLast32KiBIsNotFound) {
  if (testing_support::Environment("ZIMBRO_TESTDATA").empty()) GTEST_SKIP();
  Comment comment;
  readComment("py-bigcomment.zip", &comment);
  EXPECT_EQ(nullptr, comment.text);
}

TEST(ArchiveComment, PrefixedArchiveWithoutComment) {
  if (testing_support::Environment("ZIMBRO_TESTDATA").empty()) GTEST_SKIP();
  Comment comment;
  readComment("prefixed-plain.exe", &comment);
  EXPECT_EQ(nullptr, comment.text);
}

}  // namespace
}  // namespace extract_testing
