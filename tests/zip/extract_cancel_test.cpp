// Cancel during extraction: the Cancel button only sets runState, which the
// engine reads at its message pumps. A window that answers the n-th pumped
// message by setting runState stands in for the button. The first line of a
// run looks at the queue at once, whatever the pace.
#include <gtest/gtest.h>

#include "common/fresh_run.h"
#include "driver/sfx_state.h"
#include "extract_fixture.h"
#include "ui/info_window.h"
#include "zip/engine_ui.h"

namespace extract_testing {
namespace {

using testing_support::FileExists;

int pumpsLeft = 0;

LRESULT CALLBACK cancelProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) {
    if (--pumpsLeft <= 0) {
      sfx.runState = kCancelRequested;
    } else {
      PostMessageA(window, WM_APP, 0, 0);
    }
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

class CancelTest : public ExtractTest {
 protected:
  void SetUp() override {
    ExtractTest::SetUp();
    // These cases count the engine's pump points one by one: each looks at
    // the queue here, where the product paces them (tested with the pump).
    ui_.pumpMessage = PumpOneMessage;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = cancelProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "ZimbroCancelAfterPumps";
    RegisterClassA(&windowClass);
    window_ = CreateWindowA("ZimbroCancelAfterPumps", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, window_);
    // Drain whatever the window's creation queued.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }
  void TearDown() override {
    if (window_ != nullptr) DestroyWindow(window_);
    ExtractTest::TearDown();
  }
  void CancelAtPump(int n) {
    pumpsLeft = n;
    PostMessageA(window_, WM_APP, 0, 0);
  }
  HWND window_ = nullptr;
};

TEST_F(CancelTest, StoredMemberIsDeletedAndNothingFollows) {
  // Pump 1 reports the member, pumps 2 and 3 follow the first two windows.
  CancelAtPump(3);
  Extract("py-cancel-stored.zip");
  EXPECT_EQ(1, sfx.runState);
  EXPECT_FALSE(FileExists(Out("big.bin")));
  EXPECT_FALSE(FileExists(Out("small.txt")));
  // A cancel is no damage: no CRC line, no exit code of its own.
  EXPECT_EQ(0, errorLines_);
  EXPECT_EQ(kRunNothingLost, outcome_);
}

TEST_F(CancelTest, DeflateMemberStopsAfterABlockAndIsDeleted) {
  for (const char* archive : {"py-cancel-deflate.zip", "7z-cancel-d64.zip"}) {  // Deflate, Deflate64
    ResetRunState();
    CancelAtPump(3);
    Extract(archive);
    EXPECT_EQ(1, sfx.runState) << archive;
    EXPECT_FALSE(FileExists(Out("big.txt"))) << archive;
    EXPECT_FALSE(FileExists(Out("small.txt"))) << archive;
    // The decoder's stop is not reported as damaged data.
    EXPECT_EQ(0, errorLines_) << archive;
    EXPECT_EQ(kRunNothingLost, outcome_) << archive;
  }
}

// In a solid block the decoder runs on from member to member; a cancel in
// the middle of it stops at once, and the member it stopped in is gone.
TEST_F(CancelTest, SolidBlockStopsInTheMemberItWasCancelledIn) {
  // Pump 1 is the run's first line; pump 2 the decoder's first checkpoint,
  // after 64 KiB of the block's output: past a.txt, before mixed.bin ends.
  CancelAtPump(2);
  Extract("solid-good.zip");
  EXPECT_EQ(1, sfx.runState);
  EXPECT_EQ(0, errorLines_);
  EXPECT_EQ(kRunNothingLost, outcome_);
  EXPECT_TRUE(FileExists(Out("a.txt")));
  EXPECT_FALSE(FileExists(Out("mixed.bin")));
  EXPECT_FALSE(FileExists(Out("last.txt")));
  for (const std::string& file : ListTree(Out(""))) {
    if (file.back() == '\\') continue;
    EXPECT_TRUE(testing_support::ReadWholeFile(TestData("solid-expected\\" + file)) ==
                testing_support::ReadWholeFile(Out(file)))
        << file;
  }
}

TEST_F(CancelTest, CancelAtTheFirstReportExtractsNothing) {
  CancelAtPump(1);
  Extract("zip-l6.zip");
  EXPECT_EQ(0, errorLines_);
  EXPECT_TRUE(ListTree(Out("")).empty());
}

}  // namespace
}  // namespace extract_testing
