// Existing files met during extraction, with the replace and rename prompts
// answered as a user would, and what each answer leaves on disk.
#include <gtest/gtest.h>

#include "common/prompt_driver.h"
#include "driver/sfx_state.h"
#include "extract_fixture.h"
#include "ui/resource_ids.h"

namespace extract_testing {
namespace {

using testing_support::PromptAnswer;
using testing_support::PromptDriver;
using testing_support::ReadWholeFile;

const char kReplace[] = "Confirm file replace";
const char kRename[] = "Rename";
// Where a typed absolute name is rooted (replaced by the scratch folder).
const char kScratch[] = "@";

struct ExistingCase {
  const char* label;
  std::vector<PromptAnswer> answers;
  std::vector<std::string> prompts;  // the captions shown, in order
  std::string after;                 // a, b, c afterwards: N new content, O old
  std::string renamed;               // where "new a" went, when renamed
  int runState;
};

const ExistingCase kCases[] = {
    {"YesReplacesAReadOnlyFile", {{IDC_REPLACE_YES}, {IDC_REPLACE_NO}, {IDC_REPLACE_NO}},
     {kReplace, kReplace, kReplace}, "NOO", "", 0},
    {"YesToAllReplacesTheRestUnasked", {{IDC_REPLACE_YES_ALL}}, {kReplace}, "NNN", "", 0},
    {"NoToAllSkipsTheRestUnasked", {{IDC_REPLACE_NO_ALL}}, {kReplace}, "OOO", "", 0},
    {"RenameThenCancelAsksAgain", {{IDC_REPLACE_RENAME}, {IDCANCEL}, {IDC_REPLACE_YES}, {IDC_REPLACE_NO_ALL}},
     {kReplace, kRename, kReplace, kReplace}, "NOO", "", 0},
    {"RenameToANewName", {{IDC_REPLACE_RENAME}, {IDOK, IDC_RENAME_NEW, "renamed.txt"}, {IDC_REPLACE_NO_ALL}},
     {kReplace, kRename, kReplace}, "OOO", "renamed.txt", 0},
    {"RenameToATypedAbsoluteName",
     {{IDC_REPLACE_RENAME}, {IDOK, IDC_RENAME_NEW, "@\\elsewhere\\deep\\a2.txt"}, {IDC_REPLACE_NO_ALL}},
     {kReplace, kRename, kReplace}, "OOO", "@\\elsewhere\\deep\\a2.txt", 0},
    {"EmptyNewNameAsksAgain", {{IDC_REPLACE_RENAME}, {IDOK, IDC_RENAME_NEW, ""}, {IDC_REPLACE_YES}, {IDC_REPLACE_NO_ALL}},
     {kReplace, kRename, kReplace, kReplace}, "NOO", "", 0},
    {"CancelStopsTheRun", {{IDC_REPLACE_CANCEL}}, {kReplace}, "OOO", "", 1},
    {"CloseBoxCancels", {{IDCANCEL}}, {kReplace}, "OOO", "", 1},
};

void PrintTo(const ExistingCase& c, std::ostream* out) { *out << c.label; }

class ExistingFiles : public ExtractTest, public ::testing::WithParamInterface<ExistingCase> {
 protected:
  std::string Content(const std::string& path) {
    std::vector<uint8_t> data = ReadWholeFile(path);
    return std::string(data.begin(), data.end());
  }
  std::string Rooted(std::string text) {
    if (text.compare(0, 1, kScratch) == 0) text.replace(0, 1, scratch_.path());
    return text;
  }
};

TEST_P(ExistingFiles, AnswerDecides) {
  const ExistingCase& c = GetParam();
  // a and b are read-only: replacing them needs their attributes cleared.
  for (std::string n : {"a", "b", "c"}) {
    ASSERT_TRUE(testing_support::WriteWholeFile(Out(n + ".txt"), "old " + n + "\n"));
    if (n != "c") SetFileAttributesA(Out(n + ".txt").c_str(), FILE_ATTRIBUTE_READONLY);
  }
  std::vector<PromptAnswer> answers = c.answers;
  for (PromptAnswer& answer : answers) answer.text = Rooted(answer.text);
  PromptDriver driver(answers);
  Extract("py-replace.zip");

  ASSERT_EQ(c.prompts, driver.Captions());
  // The first prompt shows the member's path, its size and its date.
  const std::map<int, std::string>& shown = driver.Seen()[0].texts;
  EXPECT_EQ("a.txt", shown.at(IDC_REPLACE_NAME));
  EXPECT_EQ("6 bytes", shown.at(IDC_REPLACE_NEW_SIZE));
  EXPECT_EQ(testing_support::ModifiedOn(SYSTEMTIME{2021, 6, 2, 15, 8, 30, 0, 0}), shown.at(IDC_REPLACE_NEW_DATE));
  EXPECT_EQ("6 bytes", shown.at(IDC_REPLACE_OLD_SIZE));

  for (int i = 0; i < 3; ++i) {
    std::string n(1, static_cast<char>('a' + i));
    EXPECT_EQ((c.after[i] == 'N' ? "new " : "old ") + n + "\n", Content(Out(n + ".txt"))) << n;
  }
  if (!c.renamed.empty()) {
    std::string renamed = Rooted(c.renamed);
    EXPECT_EQ("new a\n", Content(renamed[1] == ':' ? renamed : Out(renamed)));
  }
  EXPECT_EQ(c.runState, sfx.runState);
  EXPECT_EQ(0, errorLines_);
}

INSTANTIATE_TEST_SUITE_P(ReplacePrompt, ExistingFiles, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ExistingCase>& info) { return info.param.label; });

TEST_F(ExtractTest, PromptThatCannotBeShownReplacesNothing) {
  ASSERT_TRUE(testing_support::WriteWholeFile(Out("a.txt"), "old a\n"));
  // No such window: the prompt it would own cannot be created.
  sfx.mainWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFF0));
  Extract("py-replace.zip");
  EXPECT_EQ(1, errorLines_);
  EXPECT_EQ(kRunFilesNotCreated, outcome_);
  std::vector<uint8_t> kept = ReadWholeFile(Out("a.txt"));
  EXPECT_EQ("old a\n", std::string(kept.begin(), kept.end()));
  EXPECT_TRUE(testing_support::FileExists(Out("c.txt")));
}

}  // namespace
}  // namespace extract_testing
