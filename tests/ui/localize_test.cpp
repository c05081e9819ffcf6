// LocalizeDialog on the five real dialogs: translated texts, the size entry
// with its integer arithmetic, and the right-to-left layout, read back from
// the live windows.
#include <gtest/gtest.h>
#include <string.h>

#include "tests/ui/block_file.h"
#include "tests/ui/dialog_harness.h"
#include "ui/messages.h"

using block_file::Block;
using block_file::Entry;
using block_file::Key;
using block_file::LoadedBlock;
using dialog_harness::ChildView;
using dialog_harness::DialogView;
using dialog_harness::LiveDialog;
using dialog_harness::Read;
using dialog_harness::WindowText;

namespace {

class EachDialog : public ::testing::TestWithParam<const char*> {
 protected:
  // The dialog as the template makes it, without a block.
  DialogView Plain() {
    FreeMessagesBlock();
    LiveDialog dialog(GetParam());
    EXPECT_NE(nullptr, dialog.window());
    return Read(dialog.window());
  }
  DialogView WithBlock(const std::string& entries) {
    LoadedBlock block(Block(entries));
    EXPECT_NE(nullptr, messagesBlock.text);
    LiveDialog dialog(GetParam());
    EXPECT_NE(nullptr, dialog.window());
    return Read(dialog.window());
  }
  std::string SizeEntry(const std::string& value) { return Entry(Key("$", GetParam(), ""), value); }
};

void ExpectSameLayout(const DialogView& a, const DialogView& b) {
  EXPECT_TRUE(EqualRect(&a.window, &b.window));
  EXPECT_TRUE(EqualRect(&a.client, &b.client));
  ASSERT_EQ(a.children.size(), b.children.size());
  for (size_t i = 0; i < a.children.size(); ++i) {
    EXPECT_TRUE(EqualRect(&a.children[i].screen, &b.children[i].screen)) << "control " << a.children[i].id;
    EXPECT_EQ(a.children[i].text, b.children[i].text);
  }
}

// ---------------------------------------------------------------------------
// Texts
// ---------------------------------------------------------------------------

TEST_P(EachDialog, CaptionAndControlTextsAreTranslated) {
  DialogView plain = Plain();
  std::string entries = Entry(Key("$", GetParam(), plain.caption), "T:" + plain.caption);
  int texts = 0;
  for (const ChildView& child : plain.children) {
    if (child.text.empty()) continue;
    entries += Entry(Key("$", GetParam(), child.text), "T:" + child.text);
    ++texts;
  }
  EXPECT_GT(texts, 0);
  DialogView translated = WithBlock(entries);
  EXPECT_EQ("T:" + plain.caption, translated.caption);
  ASSERT_EQ(plain.children.size(), translated.children.size());
  for (size_t i = 0; i < plain.children.size(); ++i) {
    const std::string& english = plain.children[i].text;
    EXPECT_EQ(english.empty() ? "" : "T:" + english, translated.children[i].text) << plain.children[i].id;
  }
  ExpectSameLayout(plain, WithBlock(Entry(Key("$", "OTHERDLG", plain.caption), "x")));
}

TEST_P(EachDialog, OverlongCaptionIsCutTo1023) {
  DialogView plain = Plain();
  DialogView translated = WithBlock(Entry(Key("$", GetParam(), plain.caption), std::string(5000, 'C')));
  EXPECT_EQ(std::string(1023, 'C'), translated.caption);
}

// ---------------------------------------------------------------------------
// Size entry
// ---------------------------------------------------------------------------

// Where the arithmetic of LocalizeDialog puts each control, from the plain
// layout (the rectangles LocalizeDialog measures before it resizes).
void ExpectScaledLayout(const DialogView& plain, const DialogView& scaled, int w, int h) {
  const RECT& d = plain.window;
  int frameW = (d.right - d.left + 1) - plain.client.right;
  int frameH = (d.bottom - d.top + 1) - plain.client.bottom;
  EXPECT_EQ(d.left, scaled.window.left);
  EXPECT_EQ(d.top, scaled.window.top);
  EXPECT_EQ(plain.client.right * w / 100 + frameW, scaled.window.right - scaled.window.left);
  EXPECT_EQ(plain.client.bottom * h / 100 + frameH, scaled.window.bottom - scaled.window.top);
  int topOffset = frameH - GetSystemMetrics(SM_CYDLGFRAME);
  ASSERT_EQ(plain.children.size(), scaled.children.size());
  for (size_t i = 0; i < plain.children.size(); ++i) {
    const RECT& r = plain.children[i].screen;
    const RECT& s = scaled.children[i].screen;
    int x = (r.left - d.left - frameW / 2) * w / 100;
    int y = (r.top - d.top - topOffset) * h / 100;
    int width = (r.right - r.left + 1) * w / 100;
    int height = (r.bottom - r.top + 1) * h / 100;
    SCOPED_TRACE("control " + std::to_string(plain.children[i].id) + " " + plain.children[i].className);
    EXPECT_EQ(scaled.clientOrigin.x + x, s.left);
    EXPECT_EQ(scaled.clientOrigin.y + y, s.top);
    EXPECT_EQ(width, s.right - s.left);
    // A drop-down combo box keeps the height of its edit field; the height
    // given is that of its list.
    if (plain.children[i].className != "ComboBox") EXPECT_EQ(height, s.bottom - s.top);
  }
}

TEST_P(EachDialog, SizeEntryScalesDialogAndEveryControl) {
  DialogView plain = Plain();
  DialogView scaled = WithBlock(SizeEntry("120*110"));
  ExpectScaledLayout(plain, scaled, 120, 110);
  // Wider and taller by about the percentages.
  int plainWidth = plain.window.right - plain.window.left;
  int scaledWidth = scaled.window.right - scaled.window.left;
  EXPECT_NEAR(plainWidth * 1.2, scaledWidth, 8);
  // Empty control texts are not looked up (their key is the size entry's).
  for (size_t i = 0; i < plain.children.size(); ++i) EXPECT_EQ(plain.children[i].text, scaled.children[i].text);
}

TEST_P(EachDialog, SizeEntryShrinks) {
  DialogView plain = Plain();
  ExpectScaledLayout(plain, WithBlock(SizeEntry("90*75")), 90, 75);
}

TEST_P(EachDialog, SizeEntryWithTrailingTextAndOverlongValue) {
  DialogView plain = Plain();
  ExpectScaledLayout(plain, WithBlock(SizeEntry("130*105 percent")), 130, 105);
  ExpectScaledLayout(plain, WithBlock(SizeEntry("115*125;" + std::string(3000, 'x'))), 115, 125);
}

TEST_P(EachDialog, HundredPercentOrNoStarChangesNothing) {
  DialogView plain = Plain();
  ExpectSameLayout(plain, WithBlock(SizeEntry("100*100")));
  ExpectSameLayout(plain, WithBlock(SizeEntry("120x110")));
  ExpectSameLayout(plain, WithBlock(SizeEntry("150")));
  ExpectSameLayout(plain, WithBlock(Entry(Key("$", "OTHERDLG", ""), "150*150")));
}

// ---------------------------------------------------------------------------
// Direction
// ---------------------------------------------------------------------------

TEST_P(EachDialog, DirectionEntryRtlMirrorsTheDialog) {
  DialogView plain = Plain();
  EXPECT_EQ(0, plain.exStyle & WS_EX_LAYOUTRTL);
  DialogView mirrored = WithBlock(Entry("50a17ae8", "RTL"));
  EXPECT_NE(0, mirrored.exStyle & WS_EX_LAYOUTRTL);
  // What a user sees: the control nearest the left edge now sits at the right.
  ASSERT_EQ(plain.children.size(), mirrored.children.size());
  for (size_t i = 0; i < plain.children.size(); ++i) {
    int plainLeftGap = plain.children[i].screen.left - plain.clientOrigin.x;
    int mirroredRightGap = mirrored.window.right - mirrored.children[i].screen.right;
    EXPECT_NEAR(plainLeftGap, mirroredRightGap - (plain.window.right - plain.clientOrigin.x - plain.client.right), 2)
        << "control " << plain.children[i].id;
  }
  ExpectSameLayout(plain, WithBlock(Entry("50a17ae8", "rtl")));
  EXPECT_EQ(0, WithBlock(Entry("50a17ae8", "rtl")).exStyle & WS_EX_LAYOUTRTL);
}

INSTANTIATE_TEST_SUITE_P(Dialogs, EachDialog, ::testing::ValuesIn(dialog_harness::kDialogNames),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

TEST(LocalizeDialog, WorkedKeysOnTheStartDialog) {
  DialogView plain;
  {
    FreeMessagesBlock();
    LiveDialog dialog("STARTDLG");
    plain = Read(dialog.window());
  }
  LoadedBlock block(Block(Entry("3478d231", "120*110") + Entry("077e53df", "&Installieren")));
  LiveDialog dialog("STARTDLG");
  DialogView view = Read(dialog.window());
  EXPECT_EQ("&Installieren", WindowText(GetDlgItem(dialog.window(), IDOK)));
  EXPECT_EQ("Cancel", WindowText(GetDlgItem(dialog.window(), IDCANCEL)));
  ExpectScaledLayout(plain, view, 120, 110);
}

TEST(LocalizeDialog, OtherMessagesAreIgnored) {
  LoadedBlock block(Block(Entry("50a17ae8", "RTL") + Entry("3478d231", "150*150")));
  LiveDialog dialog("STARTDLG");
  RECT before;
  GetWindowRect(dialog.window(), &before);
  LocalizeDialog(dialog.window(), WM_COMMAND, "STARTDLG");
  LocalizeDialog(dialog.window(), WM_PAINT, "STARTDLG");
  RECT after;
  GetWindowRect(dialog.window(), &after);
  EXPECT_TRUE(EqualRect(&before, &after));
}

}  // namespace

namespace {

// Both entries: the mirrored dialog is scaled like the plain one, seen in a
// mirror; every control stays inside the dialog.
TEST_P(EachDialog, MirroredDialogScalesLikeThePlainOne) {
  DialogView scaled = WithBlock(SizeEntry("120*110"));
  DialogView both = WithBlock(SizeEntry("120*110") + Entry("50a17ae8", "RTL"));
  EXPECT_NE(0, both.exStyle & WS_EX_LAYOUTRTL);
  EXPECT_TRUE(EqualRect(&scaled.window, &both.window));
  int border = scaled.clientOrigin.x - scaled.window.left;
  ASSERT_EQ(scaled.children.size(), both.children.size());
  for (size_t i = 0; i < scaled.children.size(); ++i) {
    const RECT& a = scaled.children[i].screen;
    const RECT& b = both.children[i].screen;
    SCOPED_TRACE("control " + std::to_string(scaled.children[i].id));
    EXPECT_NEAR(a.left - scaled.window.left, both.window.right - b.right, 1);
    EXPECT_EQ(a.right - a.left, b.right - b.left);
    EXPECT_EQ(a.top, b.top);
    // Inside the dialog when the left-to-right one has it inside.
    if (a.left >= scaled.window.left + border && a.right <= scaled.window.right - border) {
      EXPECT_GE(b.left, both.window.left + border - 1);
      EXPECT_LE(b.right, both.window.right - border + 1);
    }
  }
}

}  // namespace

namespace {

// The translators' template (zimbro-pack --messages-template --pseudo) reaches
// every caption, control text and message.
TEST(TranslatorsTemplate, ReachesEveryText) {
  std::string path = testing_support::Environment("ZIMBRO_TESTDATA") + "\\ui\\pseudo-block.txt";
  std::vector<uint8_t> block = testing_support::ReadWholeFile(path);
  ASSERT_FALSE(block.empty()) << path;
  std::vector<DialogView> plain;
  FreeMessagesBlock();
  for (const char* name : dialog_harness::kDialogNames) {
    LiveDialog dialog(name);
    plain.push_back(Read(dialog.window()));
  }
  LoadedBlock loaded(block);
  ASSERT_NE(nullptr, messagesBlock.text);
  EXPECT_FALSE(messagesBlock.rightToLeft);
  for (size_t d = 0; d < plain.size(); ++d) {
    SCOPED_TRACE(dialog_harness::kDialogNames[d]);
    LiveDialog dialog(dialog_harness::kDialogNames[d]);
    DialogView view = Read(dialog.window());
    EXPECT_EQ("[" + plain[d].caption + "]", view.caption);
    EXPECT_TRUE(EqualRect(&plain[d].window, &view.window)) << "100*100 keeps the size";
    ASSERT_EQ(plain[d].children.size(), view.children.size());
    for (size_t i = 0; i < view.children.size(); ++i) {
      const std::string& english = plain[d].children[i].text;
      EXPECT_EQ(english.empty() ? "" : "[" + english + "]", view.children[i].text);
    }
  }
  for (int id = 100; id <= 155; ++id) {
    char english[256] = "";
    if (LoadStringA(GetModuleHandleA(nullptr), id, english, sizeof(english)) == 0) continue;
    EXPECT_EQ("[" + std::string(english) + "]", MessageText(id)) << id;
  }
}

}  // namespace
