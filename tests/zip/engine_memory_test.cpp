// The engine on a full heap: each of its allocations failing in turn, while
// the others succeed. A run never crashes and never leaves a partial file;
// what it could not do is in its lines.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "extract_fixture.h"
#include "support/portable/heap.h"
#include "ui/message_ids.h"
#include "zip/engine_state.h"

namespace extract_testing {
namespace {

using testing_support::FileExists;
using Lines = std::vector<std::pair<int, std::string>>;

Lines lines;
void recordLine(int id, const char* argument) { lines.emplace_back(id, argument != nullptr ? argument : ""); }

class FullHeap : public ExtractTest {
 protected:
  void SetUp() override {
    ExtractTest::SetUp();
    lines.clear();
    ui_.errorLine = recordLine;
  }
  void TearDown() override {
    failAllocationsFrom = 0;
    failAllocationsBelow = 0;
    ExtractTest::TearDown();
  }
  // Allocations of from to below - 1 bytes fail during the run.
  void ExtractFailing(const std::string& archive, size_t from, size_t below) {
    failAllocationsFrom = from;
    failAllocationsBelow = below;
    Extract(archive);
    failAllocationsFrom = 0;
    failAllocationsBelow = 0;
  }
};

TEST_F(FullHeap, NoRoomForTheRunIsOneLineAndTouchesNothing) {
  ExtractFailing("zip-l6.zip", 1, 0);
  EXPECT_EQ((Lines{{kMsgNoMemory, ""}}), lines);
  EXPECT_EQ(kRunNothingLost, outcome_);
  EXPECT_TRUE(ListTree(destination_).empty());
}

TEST_F(FullHeap, NoRoomForTheInputBufferIsOneLineAndTouchesNothing) {
  const size_t buffer = kInputBlockSize + kHoldSize;
  ExtractFailing("zip-l6.zip", buffer, buffer + 1);
  EXPECT_EQ((Lines{{kMsgNoMemory, ""}}), lines);
  EXPECT_EQ(kRunNothingLost, outcome_);
  EXPECT_TRUE(ListTree(destination_).empty());
}

// The decoder's tables (some KiB) cannot be had, the engine's own record
// (more than the 32 KiB window) can: every Deflate member fails with its
// name and "Not enough memory", and leaves no file.
TEST_F(FullHeap, NoRoomForTheDecoderTablesFailsEachDeflateMember) {
  ExtractFailing("py-cancel-deflate.zip", kInputBlockSize + kHoldSize + 1, kWindowSize);
  EXPECT_EQ((Lines{{kPlainLine, "big.txt"}, {kMsgNoMemory, ""}, {kPlainLine, "small.txt"}, {kMsgNoMemory, ""}}),
            lines);
  EXPECT_TRUE(ListTree(destination_).empty());
}

TEST_F(FullHeap, StoredMembersNeedNoDecoderTables) {
  ExtractFailing("py-65.zip", kInputBlockSize + kHoldSize + 1, kWindowSize);
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(kRunNothingLost, outcome_);
  EXPECT_EQ(66u, ListTree(destination_).size());  // the folder and its 65 members
}

// An LZMA member's dictionary is as large as its output, up to the
// properties' size: those of 100,000 bytes or more cannot be had, the
// smaller ones can. Each that fails is its name and "Not enough memory",
// and leaves no file.
TEST_F(FullHeap, NoRoomForAnLzmaDictionaryFailsThatMemberOnly) {
  ExtractFailing("py-lzma.zip", 100000, 0);
  EXPECT_EQ((Lines{{kPlainLine, "mixed.bin"}, {kMsgNoMemory, ""}, {kPlainLine, "random.bin"}, {kMsgNoMemory, ""},
                   {kPlainLine, "text.txt"}, {kMsgNoMemory, ""}}),
            lines);
  EXPECT_FALSE(FileExists(Out("text.txt")));
  EXPECT_TRUE(FileExists(Out("exact32k.bin")));
  EXPECT_TRUE(FileExists(Out("sub\\dir\\nested.txt")));
}

// A dictionary past the engine's limit is one that cannot be had, whatever
// the heap holds.
TEST_F(FullHeap, DictionaryPastTheLimitIsNotEnoughMemory) {
  Extract("lzma-huge-dictionary.zip");
  EXPECT_EQ((Lines{{kPlainLine, "huge.bin"}, {kMsgNoMemory, ""}}), lines);
  EXPECT_FALSE(FileExists(Out("huge.bin")));
  EXPECT_TRUE(FileExists(Out("after.txt")));
}

// Small blocks (the paths of a name, the password's copy) cannot be had:
// nothing is created, and the run still ends.
TEST_F(FullHeap, NoRoomForTheNamePathsCreatesNothing) {
  ExtractFailing("zip-l6.zip", 1, kNameSize + 1);
  EXPECT_TRUE(ListTree(destination_).empty());
}

}  // namespace
}  // namespace extract_testing
