// Encrypted members of archives made by independent packers, with the
// password prompt answered as a user would: how often it is shown, the
// "Wrong password" lines, and what comes out.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/prompt_driver.h"
#include "driver/sfx_state.h"
#include "extract_fixture.h"
#include "ui/resource_ids.h"

namespace extract_testing {
namespace {

using testing_support::PromptAnswer;
using testing_support::ReadWholeFile;

PromptAnswer Typed(const std::string& password) { return {IDOK, IDC_PASSWORD_EDIT, password}; }

std::string Times(const std::string& text, int n) { return n == 0 ? "" : text + Times(text, n - 1); }
const std::string kAlphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_";

struct PasswordCase {
  const char* label;
  const char* archive;
  std::vector<PromptAnswer> answers;
  size_t prompts;
  std::vector<std::string> wrong;      // members with a "Wrong password for %s" line
  std::vector<std::string> extracted;  // identical to their sources ("*": every source)
  int runState;
  std::string sources = "src";  // the folder of the test data they are compared with
};
void PrintTo(const PasswordCase& c, std::ostream* out) { *out << c.label; }

const PasswordCase kCases[] = {
    {"RightPasswordOnceForAllZip", "crypt-zip.zip", {Typed("secret")}, 1, {}, {"*"}, 0},
    {"RightPasswordOnceForAllStreamed", "crypt-stream.zip", {Typed("secret")}, 1, {}, {"*"}, 0},
    {"RightPasswordOnceForAll7z", "crypt-7z.zip", {Typed("secret")}, 1, {}, {"*"}, 0},
    {"RightPasswordOnceForAllLzma", "crypt-lzma.zip", {Typed("secret")}, 1, {}, {"*"}, 0},
    {"WrongPasswordFailsEveryMemberAskedOnce", "crypt-zip.zip", {Typed("wrong")}, 1,
     {"empty.txt", "exact32k.bin", "mixed.bin", "random.bin", "sub/dir/nested.txt", "text.txt"}, {}, 0},
    {"EmptyPasswordAsksAgainForTheNext", "crypt-7z.zip", {Typed(""), Typed("secret")}, 2, {"empty.txt"},
     {"exact32k.bin", "mixed.bin", "random.bin", "sub/dir/nested.txt", "text.txt"}, 0},
    {"CancelStopsTheRun", "crypt-zip.zip", {{IDCANCEL}}, 1, {}, {}, 1},
    {"HundredCharacters", "crypt-100.zip", {Typed(Times("0123456789", 10))}, 1, {}, {"text.txt"}, 0},
    {"HundredTwentySevenCharacters", "crypt-127.zip", {Typed(Times(kAlphabet, 2).substr(0, 127))}, 1, {},
     {"text.txt"}, 0},
    {"StoredMemberLosesOnlyItsHeader", "crypt-stored.zip", {Typed("secret")}, 1, {}, {"random.bin"}, 0},
    // AES members, from 7-Zip at each key strength and over each method,
    // from bsdtar (the first version, streamed), and from our writer (the
    // first version with a 192-bit key and a stored member).
    {"Aes128", "crypt-aes128.zip", {Typed("secret")}, 1, {}, {"*"}, 0},
    {"Aes192", "crypt-aes192.zip", {Typed("secret")}, 1, {}, {"*"}, 0},
    {"Aes256", "crypt-aes256.zip", {Typed("secret")}, 1, {}, {"*"}, 0},
    {"AesStored", "crypt-aes-stored.zip", {Typed("secret")}, 1, {}, {"*"}, 0},
    {"AesLzma", "crypt-aes-lzma.zip", {Typed("secret")}, 1, {}, {"*"}, 0},
    {"AesDeflate64", "crypt-aes-d64.zip", {Typed("secret")}, 1, {}, {"*"}, 0},
    {"AesFromBsdtar", "crypt-aes-bsdtar.zip", {Typed("secret")}, 1, {}, {"*"}, 0},
    {"AesFirstVersion", "crypt-ae1.zip", {Typed("secret")}, 1, {}, {"first.txt", "second.txt"}, 0, "aes"},
    {"AesWrongPasswordFailsEveryMemberAskedOnce", "crypt-aes256.zip", {Typed("wrong")}, 1,
     {"empty.txt", "exact32k.bin", "mixed.bin", "random.bin", "sub/dir/nested.txt", "text.txt"}, {}, 0},
    {"AesEmptyPasswordAsksAgain", "crypt-aes128.zip", {Typed(""), Typed("secret")}, 2, {"empty.txt"},
     {"exact32k.bin", "mixed.bin", "random.bin", "sub/dir/nested.txt", "text.txt"}, 0},
    {"AesCancelStopsTheRun", "crypt-aes256.zip", {{IDCANCEL}}, 1, {}, {}, 1},
    // The same bytes are other letters in the ANSI and the OEM code page.
    {"TypedPasswordFitsInItsOemForm", "crypt-oem.zip", {Typed("M\xFCller")}, 1, {}, {"oem.txt"}, 0, "codepage"},
    {"TypedPasswordFitsReadAsOem", "crypt-fromoem.zip", {Typed("\x81" "ber")}, 1, {}, {"fromoem.txt"}, 0,
     "codepage"},
    // An AES key comes from the password's UTF-8 bytes, as the writers take
    // them; or from its code-page bytes, as a writer that knows no UTF-8 did.
    {"AesPasswordTypedInAnsiIsTakenAsUtf8", "crypt-aes-utf8.zip", {Typed("caf\xE9")}, 1, {}, {"utf8.txt"}, 0,
     "codepage"},
    {"AesPasswordInCodePageBytes", "crypt-aes-ansi.zip", {Typed("caf\xE9")}, 1, {}, {"ansi.txt"}, 0, "codepage"},
};

class Password : public ExtractTest, public ::testing::WithParamInterface<PasswordCase> {};

TEST_P(Password, FlowOverTheRun) {
  const PasswordCase& c = GetParam();
  if (c.sources == "codepage") {
    ASSERT_TRUE(GetACP() == 1252 && GetOEMCP() == 437) << "archives made for code pages 1252 and 437";
  }
  OpenReport();
  testing_support::PromptDriver driver(c.answers);
  Extract(c.archive);

  EXPECT_EQ(std::vector<std::string>(c.prompts, "Enter password"), driver.Captions());
  std::vector<std::string> wrong;
  for (const std::string& line : ReportLines()) {
    if (line.compare(0, 19, "Wrong password for ") == 0) wrong.push_back(line.substr(19));
  }
  std::sort(wrong.begin(), wrong.end());
  EXPECT_EQ(c.wrong, wrong);
  EXPECT_EQ(static_cast<int>(c.wrong.size()), errorLines_);
  EXPECT_EQ(c.runState, sfx.runState);
  if (c.extracted == std::vector<std::string>{"*"}) return ExpectSourcesExtracted();
  std::vector<std::string> files = ListTree(Out(""));
  files.erase(std::remove_if(files.begin(), files.end(), [](const std::string& f) { return f.back() == '\\'; }),
              files.end());
  EXPECT_EQ(c.extracted.size(), files.size());
  for (const std::string& name : c.extracted) {
    EXPECT_TRUE(ReadWholeFile(TestData(c.sources + "\\" + name)) == ReadWholeFile(Out(name))) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(PasswordPrompt, Password, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<PasswordCase>& info) { return info.param.label; });

// AES members whose data changed after they were encrypted: the first
// member of each archive is damaged data (no file under its name, nor under
// a temporary one; a file it was to replace kept as it was; its counted
// lines, and the run ends as corrupt), the second comes out and replaces.
struct AesDamageCase {
  const char* archive;
  int errorLines;
  const char* line;  // one of them
};

class AesDamage : public ExtractTest, public ::testing::WithParamInterface<AesDamageCase> {};

TEST_P(AesDamage, LosesTheMemberAndKeepsTheOriginal) {
  const AesDamageCase& c = GetParam();
  for (bool existing : {false, true}) {
    for (const std::string& file : ListTree(Out(""))) DeleteFileA(Out(file).c_str());
    if (existing) {
      ASSERT_TRUE(testing_support::WriteWholeFile(Out("first.txt"), "the user's own\n"));
      ASSERT_TRUE(testing_support::WriteWholeFile(Out("second.txt"), "the user's own\n"));
      sfx.overwriteChoice = kOverwriteAll;
    }
    OpenReport();
    testing_support::PromptDriver driver({Typed("secret")});
    Extract(c.archive);
    EXPECT_EQ(c.errorLines, errorLines_) << existing;
    EXPECT_EQ(kRunFilesCorrupt, outcome_) << existing;
    const std::vector<std::string> lines = ReportLines();
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), c.line)) << existing;
    const std::vector<std::string> expected =
        existing ? std::vector<std::string>{"first.txt", "second.txt"} : std::vector<std::string>{"second.txt"};
    EXPECT_EQ(expected, ListTree(Out(""))) << existing;
    EXPECT_TRUE(ReadWholeFile(TestData("aes\\second.txt")) == ReadWholeFile(Out("second.txt"))) << existing;
    if (existing) {
      const std::vector<uint8_t> kept = ReadWholeFile(Out("first.txt"));
      EXPECT_EQ("the user's own\n", std::string(kept.begin(), kept.end()));
    }
  }
}

const char kDamaged[] = "The archive is either in unknown format or damaged";
INSTANTIATE_TEST_SUITE_P(AesMembers, AesDamage,
                         ::testing::Values(AesDamageCase{"crypt-aes-flip.zip", 2, kDamaged},
                                           AesDamageCase{"crypt-aes-code.zip", 2, kDamaged},
                                           AesDamageCase{"crypt-aes-cut.zip", 2, kDamaged},
                                           // The code fits: the CRC failed, not the password.
                                           AesDamageCase{"crypt-ae1-badcrc.zip", 1, "CRC failed in first.txt"}),
                         [](const ::testing::TestParamInfo<AesDamageCase>& info) {
                           std::string name = info.param.archive + 6;  // past "crypt-"
                           name = name.substr(0, name.size() - 4);
                           name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                           return name;
                         });

}  // namespace
}  // namespace extract_testing
