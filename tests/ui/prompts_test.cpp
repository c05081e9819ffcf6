// The prompts on their own: numbers with the user's thousands separator,
// what the replace prompt shows of the two files, and the messages block
// reaching every prompt.
#include <gtest/gtest.h>

#include "block_file.h"
#include "common/prompt_driver.h"
#include "driver/sfx_state.h"
#include "support/paths.h"
#include "support/strings.h"
#include "ui/prompts.h"
#include "ui/resource_ids.h"

namespace {

using testing_support::ModifiedOn;
using testing_support::PromptDriver;
using Answers = std::vector<testing_support::PromptAnswer>;

// Wine's sThousand set to "." for the test, and the separator read again.
class DotSeparator {
 public:
  DotSeparator() { Set("."); }
  ~DotSeparator() { Set(","); }
  static void Set(const char* separator) {
    SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, separator);
    numberSeparator[0] = '\0';
  }
};

char Ask(std::string path, uint64_t newSize, uint32_t dosDateTime) {
  char name[kPathSize];
  copyTextCut(name, path.c_str(), sizeof(name));
  char decision = 0;
  AskOverwrite(&decision, name, newSize, dosDateTime);
  return decision;
}

TEST(Prompts, NumbersAreGroupedWithTheLocaleSeparator) {
  DotSeparator dot;
  const std::pair<uint64_t, const char*> cases[] = {
      {0, "0"}, {999, "999"}, {1000, "1.000"}, {5368709120ull, "5.368.709.120"},
      {18446744073709551615ull, "18.446.744.073.709.551.615"}};
  for (const auto& c : cases) {
    char text[kNumberTextSize];
    FormatNumber(c.first, text);
    EXPECT_STREQ(c.second, text);
  }
}

TEST(Prompts, ReplacePromptShowsNameSizesAndDates) {
  DotSeparator dot;
  testing_support::ScratchFolder scratch;
  std::string file = scratch.file("big.bin");
  ASSERT_TRUE(testing_support::WriteWholeFile(file, std::string(1234567, 'x')));
  SYSTEMTIME old = {2024, 3, 0, 9, 14, 25, 0, 0};  // local time
  FILETIME local, written;
  SystemTimeToFileTime(&old, &local);
  LocalFileTimeToFileTime(&local, &written);
  HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  SetFileTime(handle, nullptr, nullptr, &written);
  CloseHandle(handle);
  CreateDirectoryA(scratch.file("folder").c_str(), nullptr);
  // The new file's DOS time, 2021-06-15 08:30, is shown as it is.
  const uint32_t dosTime = (((2021 - 1980) << 9 | 6 << 5 | 15) << 16) | (8 << 11 | 30 << 5);
  struct {
    std::string path;
    uint64_t newSize;
    std::string oldSize, newSize_;
  } cases[] = {{scratch.path() + "/big.bin", 7654321, "1.234.567 bytes", "7.654.321 bytes"},
               // A member beyond 4 GiB shows its whole size.
               {scratch.path() + "/big.bin", 5368709121ull, "1.234.567 bytes", "5.368.709.121 bytes"},
               // A folder of the name and an empty new file: no size for either.
               {scratch.file("folder"), 0, "", ""}};
  for (const auto& c : cases) {
    PromptDriver driver(Answers{{IDC_REPLACE_NO}});
    EXPECT_EQ(kDecisionSkip, Ask(c.path, c.newSize, dosTime));
    ASSERT_EQ(1u, driver.Seen().size());
    std::map<int, std::string> shown = driver.Seen()[0].texts;
    std::string shownName = c.path;  // with backslashes
    for (char& ch : shownName) ch = ch == '/' ? '\\' : ch;
    EXPECT_EQ(shownName, shown[IDC_REPLACE_NAME]);
    EXPECT_EQ(c.oldSize, shown[IDC_REPLACE_OLD_SIZE]);
    EXPECT_EQ(c.newSize_, shown[IDC_REPLACE_NEW_SIZE]);
    EXPECT_EQ(ModifiedOn(SYSTEMTIME{2021, 6, 2, 15, 8, 30, 0, 0}), shown[IDC_REPLACE_NEW_DATE]);
    if (!c.oldSize.empty()) {
      EXPECT_EQ(ModifiedOn(old), shown[IDC_REPLACE_OLD_DATE]);
    }
  }
}

TEST(Prompts, EveryPromptIsLocalisedAndRenameGivesTheTypedName) {
  using block_file::Entry;
  using block_file::Key;
  block_file::LoadedBlock block(block_file::Block(
      Entry(Key("$", "REPLACEFILEDLG", "Confirm file replace"), "Ersetzen") +
      Entry(Key("$", "RENAMEDLG", "Rename"), "Umbenennen") +
      Entry(Key("$", "GETPASSWORD1", "Enter password"), "Kennwort") + Entry(Key("s", "", "bytes"), "Byte")));
  testing_support::ScratchFolder scratch;
  ASSERT_TRUE(testing_support::WriteWholeFile(scratch.file("old.txt"), "old"));
  char name[kPathSize];
  copyTextCut(name, scratch.file("old.txt").c_str(), sizeof(name));
  sfx.password[0] = '\0';
  PromptDriver driver(Answers{{IDC_REPLACE_RENAME}, {IDOK, IDC_RENAME_NEW, "new.txt"}, {IDOK, IDC_PASSWORD_EDIT, "pw"}});
  char decision = 0;
  AskOverwrite(&decision, name, 3, 0);
  char password[kPasswordSize];
  EXPECT_TRUE(AskPassword(password, sizeof(password), "new.txt"));
  EXPECT_EQ(kDecisionRename, decision);
  EXPECT_STREQ("new.txt", name);
  EXPECT_STREQ("pw", password);
  EXPECT_EQ(std::vector<std::string>({"Ersetzen", "Umbenennen", "Kennwort"}), driver.Captions());
  EXPECT_EQ("3 Byte", driver.Seen()[0].texts.at(IDC_REPLACE_OLD_SIZE));
}

}  // namespace
