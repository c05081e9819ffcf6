// Member names on their way to output paths: folder entries, a file where a
// folder is needed, a component the platform refuses, the OEM character set
// of MS-DOS names, and volume labels.
#include <gtest/gtest.h>

#include <algorithm>

#include "driver/sfx_state.h"
#include "extract_fixture.h"

namespace extract_testing {
namespace {

using testing_support::FileExists;

std::string Content(const std::string& path) {
  std::vector<uint8_t> data = testing_support::ReadWholeFile(path);
  return std::string(data.begin(), data.end());
}

TEST_F(ExtractTest, FolderEntriesBlockedFoldersRefusedComponentsAndDosNames) {
  ASSERT_EQ(437u, GetOEMCP()) << "the archive's byte 0x81 is u umlaut in OEM code page 437";
  ASSERT_TRUE(CreateDirectoryA(Out("exists").c_str(), nullptr));
  ASSERT_TRUE(testing_support::WriteWholeFile(Out("blocked"), "a file, not a folder"));
  Extract("py-names.zip");
  // "Cannot create folder blocked" (no exit code of its own) and "Cannot
  // create dir/" for the refused file name "bad*.txt" (exit code 9); the
  // folder entries, made or found, write no line.
  EXPECT_EQ(2, errorLines_);
  EXPECT_EQ(kRunFilesNotCreated, outcome_);
  std::vector<std::string> tree = ListTree(Out(""));
  std::sort(tree.begin(), tree.end());
  EXPECT_EQ(std::vector<std::string>({"blocked", "dir\\", "exists\\", "made\\", "\x81nix.txt", "\xFC" "ber.txt"}), tree);
  EXPECT_EQ("dos\n", Content(Out("\xFC" "ber.txt")));
  EXPECT_EQ("unix\n", Content(Out("\x81nix.txt")));
}

TEST_F(ExtractTest, VolumeLabelIsSetOnADriveNamedInLowerCaseOnly) {
  // q: is Wine's link to a folder of the test data, never a real drive;
  // Wine keeps the label of such a drive in a file at its root.
  ASSERT_EQ(static_cast<UINT>(DRIVE_FIXED), GetDriveTypeA("q:\\")) << "the fixture script links q:";
  DeleteFileA("q:\\.windows-label");
  for (const char* root : {"Q:\\", "q:\\"}) {
    ASSERT_TRUE(SetCurrentDirectoryA(root));
    DeleteFileA("after.txt");
    Extract("py-label.zip");
    EXPECT_EQ(0, errorLines_);
    EXPECT_EQ("after the label\n", Content("after.txt"));
    EXPECT_FALSE(FileExists("ZIMBROVOL")) << "a label is no file";
    EXPECT_EQ(root[0] == 'q' ? "ZIMBROVOL\n" : "", Content("q:\\.windows-label")) << root;
  }
  DeleteFileA("q:\\after.txt");
}

}  // namespace
}  // namespace extract_testing
