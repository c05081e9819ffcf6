// The engine through its own user-interface table, with no window at all:
// lines are counted, prompts answered and re-entry attempted by the test's
// own functions. Also the damage the engine must stop on: output beyond the
// declared size, hostile offsets and a nested extraction.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "driver/layer_hooks.h"
#include "driver/sfx_state.h"
#include "extract_fixture.h"
#include "ui/message_ids.h"
#include "zip/engine.h"
#include "zip/engine_ui.h"

namespace extract_testing {
namespace {

using testing_support::FileExists;

// What the engine said, and how the test answers.
struct Seam {
  std::vector<std::pair<int, std::string>> errors;  // message number, argument
  std::vector<std::string> members;
  char overwriteAnswer = kAnswerSkip;
  EngineUi ui = {};           // the table the run was handed
  std::string nestedArchive;  // extracted from inside the first member line
  bool nestedRefused = false;
};
Seam seam;

bool fakeReportMember(const char* name) {
  seam.members.push_back(name);
  if (seam.members.size() == 1 && !seam.nestedArchive.empty()) {
    const size_t linesBefore = seam.members.size() + seam.errors.size();
    const RunOutcome nested = ExtractArchive(seam.nestedArchive.c_str(), seam.ui);
    seam.nestedRefused = nested == kRunNothingLost && seam.members.size() + seam.errors.size() == linesBefore;
  }
  return sfx.runState == kRunning;
}
void fakeErrorLine(int id, const char* argument) { seam.errors.emplace_back(id, argument ? argument : ""); }
void fakeProgress(uint32_t, uint32_t) {}
void fakePump() {}
void fakeAskOverwrite(char* answer, char*, uint64_t, uint32_t) { *answer = seam.overwriteAnswer; }
bool fakeAskPassword(char* out, int, const char*) {
  out[0] = '\0';
  return false;
}
bool fakeStopRequested() { return sfx.runState != kRunning; }

class EngineSeam : public ExtractTest {
 protected:
  void SetUp() override {
    ExtractTest::SetUp();
    seam = Seam();
    ui_ = EngineUi{fakeReportMember, fakeErrorLine, fakeProgress, fakePump, fakeAskOverwrite, fakeAskPassword,
                   fakeStopRequested};
    seam.ui = ui_;
  }
  using Lines = std::vector<std::pair<int, std::string>>;
};

TEST_F(EngineSeam, OutputBeyondTheDeclaredSizeIsDamageAndLeavesNoFile) {
  Extract("py-oversize.zip");
  EXPECT_EQ((Lines{{kPlainLine, "bomb.bin"}, {kMsgUnknownFormat, ""},
                   {kPlainLine, "stored-over.txt"}, {kMsgUnknownFormat, ""}}),
            seam.errors);
  EXPECT_FALSE(FileExists(Out("bomb.bin")));
  EXPECT_FALSE(FileExists(Out("stored-over.txt")));
  EXPECT_TRUE(FileExists(Out("after.txt")));
}

// The CRC matches what came, but data is missing: damage, no file, exit 3.
TEST_F(EngineSeam, OutputShortOfTheDeclaredSizeIsDamageAndLeavesNoFile) {
  Extract("py-short.zip");
  EXPECT_EQ((Lines{{kPlainLine, "short.bin"}, {kMsgUnknownFormat, ""},
                   {kPlainLine, "stored-short.txt"}, {kMsgUnknownFormat, ""}}),
            seam.errors);
  EXPECT_EQ(kRunFilesCorrupt, outcome_);
  EXPECT_FALSE(FileExists(Out("short.bin")));
  EXPECT_FALSE(FileExists(Out("stored-short.txt")));
  EXPECT_TRUE(FileExists(Out("after.txt")));
}

TEST_F(EngineSeam, AnOffsetNear2GiBPlusTheShiftDoesNotWrapRound) {
  Extract("prefixed-hostile-offset.exe");
  EXPECT_EQ((Lines{{kMsgUnknownFormat, ""}}), seam.errors);
  EXPECT_FALSE(FileExists(Out("first.txt")));
  EXPECT_TRUE(FileExists(Out("second.txt")));
}

TEST_F(EngineSeam, ANestedExtractionIsRefusedAndTouchesNothing) {
  seam.nestedArchive = TestData("zip-l6.zip");
  Extract("py-attrs.zip");
  EXPECT_TRUE(seam.nestedRefused);
  EXPECT_EQ((std::vector<std::string>{"readonly.txt", "hidden.txt", "plain.txt"}), seam.members);
  EXPECT_TRUE(seam.errors.empty());
  EXPECT_EQ((std::vector<std::string>{"hidden.txt", "plain.txt", "readonly.txt"}), ListTree(destination_));
}

TEST_F(EngineSeam, PromptsAreAnsweredThroughTheTable) {
  ASSERT_TRUE(testing_support::WriteWholeFile(Out("plain.txt"), "kept"));
  seam.overwriteAnswer = kAnswerSkip;
  Extract("py-attrs.zip");
  std::vector<uint8_t> kept = testing_support::ReadWholeFile(Out("plain.txt"));
  EXPECT_EQ("kept", std::string(kept.begin(), kept.end()));
  EXPECT_TRUE(seam.errors.empty());
}

TEST(LayerHooks, EveryServiceIsThereAndAMissingOneIsNamed) {
  EXPECT_EQ(nullptr, MissingLayerHook());
  EngineUi services = EngineServices();
  EXPECT_EQ(nullptr, MissingEngineService(services));
  services.progress = nullptr;
  ASSERT_NE(nullptr, MissingEngineService(services));
  EXPECT_EQ(std::string("EngineUi.progress"), MissingEngineService(services));
}

}  // namespace
}  // namespace extract_testing
