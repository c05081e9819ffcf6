// The file layer: the engine's file calls, folders, the directory search and
// the file object. Compiled into two executables: support_tests (an NT
// system, the UTF-16 calls run) and support_win98_tests, which Wine starts as
// Windows 98 so that the ANSI calls of the same operations run.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "support/directory_search.h"
#include "support/file_calls.h"
#include "support/file_object.h"
#include "support/os_version.h"
#include "support/paths.h"

using testing_support::FileExists;
using testing_support::ReadWholeFile;
using testing_support::ScratchFolder;
using testing_support::WriteWholeFile;

namespace {

// The Windows 98 copies carry their own suite names, so that the cases of
// the two executables stay apart in ctest.
#ifdef ZIMBRO_EXPECT_9X
const bool kNtSystem = false;
#define FAMILY_SUITE(suite) Win98##suite
#else
const bool kNtSystem = true;
#define FAMILY_SUITE(suite) suite
#endif
#define FAMILY_TEST_(suite, name) TEST(suite, name)
#define FAMILY_TEST(suite, name) FAMILY_TEST_(FAMILY_SUITE(suite), name)
#define FAMILY_TEST_F_(fixture, name) TEST_F(fixture, name)
#define FAMILY_TEST_F(fixture, name) FAMILY_TEST_F_(FAMILY_SUITE(fixture), name)

std::wstring Wide(const std::string& text) {
  wchar_t buffer[1024];
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, buffer, 1024);
  return buffer;
}

bool IsFolder(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A file named with a character code page 1252 lacks (Greek capital omega).
std::wstring MakeOmegaFile(const ScratchFolder& folder) {
  std::wstring name = Wide(folder.path()) + L"\\\u03A9.txt";
  HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, file);
  CloseHandle(file);
  return name;
}

FAMILY_TEST(FileLayer, SystemFamily) {
  EXPECT_EQ(kNtSystem, NtMajorVersion() != 0);
}

// ---------------------------------------------------------------------------
// The engine's file calls
// ---------------------------------------------------------------------------

FAMILY_TEST(FileCalls, WriteTruncatesReadCountsItemsSeekAndTell) {
  ScratchFolder folder;
  std::string name = folder.file("data.bin");
  ASSERT_TRUE(WriteWholeFile(name, std::string(100, 'x')));
  FileBox* out = fileOpen(name.c_str(), "wb");
  ASSERT_NE(nullptr, out);
  EXPECT_EQ(2u, fileWrite("0123456789", 5, 2, out));
  EXPECT_EQ(0, fileClose(out));
  EXPECT_EQ(10u, ReadWholeFile(name).size());

  FileBox* in = fileOpen(name.c_str(), "rb");
  ASSERT_NE(nullptr, in);
  char buffer[16] = {};
  EXPECT_EQ(2u, fileRead(buffer, 4, 3, in));  // 10 bytes: two whole items of 4
  EXPECT_EQ(0u, fileRead(buffer, 1, 4, in));
  EXPECT_EQ(0, fileSeek(in, -2, FILE_END));
  EXPECT_EQ(8, fileTell(in));
  // Beyond 4 GiB through the high part: the whole position, not its low bits.
  EXPECT_EQ(0, fileSeek(in, 0x140000010LL, FILE_BEGIN));
  EXPECT_EQ(0x140000010LL, fileTell(in));
  EXPECT_EQ(1, fileSeek(in, -100, FILE_BEGIN));
  EXPECT_EQ(0u, fileWrite("x", 1, 1, in));  // opened for reading only
  EXPECT_EQ(0, fileClose(in));
  EXPECT_EQ(nullptr, fileOpen(folder.file("missing").c_str(), "rb"));
}

// size * count beyond 32 bits would reach ReadFile cut to its low bits (two
// items of 0x80000001 bytes as 2 bytes): such a call does nothing.
FAMILY_TEST(FileCalls, ByteCountBeyond32BitsIsRefused) {
  ScratchFolder folder;
  std::string name = folder.file("data.bin");
  ASSERT_TRUE(WriteWholeFile(name, std::string(16, 'x')));
  FileBox* in = fileOpen(name.c_str(), "rb");
  ASSERT_NE(nullptr, in);
  char buffer[16] = {};
  EXPECT_EQ(0u, fileRead(buffer, 0x80000001u, 2, in));
  EXPECT_EQ(0u, fileRead(buffer, 2, 0x80000001u, in));
  EXPECT_EQ(0, fileTell(in));  // nothing was read
  EXPECT_EQ(0, fileClose(in));
}

// ---------------------------------------------------------------------------
// Folders
// ---------------------------------------------------------------------------

FAMILY_TEST(Folders, MakeDirectoryResults) {
  ScratchFolder folder;
  std::string made = folder.file("made");
  EXPECT_EQ(0, makeDirectory(made.c_str(), nullptr, FILE_ATTRIBUTE_HIDDEN));
  EXPECT_TRUE(GetFileAttributesA(made.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(1, makeDirectory(made.c_str(), nullptr, 0));  // exists
  EXPECT_EQ(2, makeDirectory(folder.file("no\\such").c_str(), nullptr, 0));
}

FAMILY_TEST(Folders, CreatePath) {
  ScratchFolder folder;
  createPath(folder.file("a\\b\\c.txt").c_str(), nullptr, true);
  EXPECT_TRUE(IsFolder(folder.file("a\\b")));
  EXPECT_FALSE(FileExists(folder.file("a\\b\\c.txt")));
  createPath(folder.file("a\\b\\c.txt").c_str(), nullptr, false);
  EXPECT_TRUE(IsFolder(folder.file("a\\b\\c.txt")));
  createPath(folder.file("x\\y\\").c_str(), nullptr, false);
  EXPECT_TRUE(IsFolder(folder.file("x\\y")));

  std::string ansi = folder.file("caf\xE9\\leaf");
  createPath(ansi.c_str(), Wide(ansi).c_str(), false);
  EXPECT_TRUE(IsFolder(ansi));
  // Without an ANSI path the ANSI names are made from the UTF-16 one.
  std::string other = folder.file("n\xE9w\\x");
  createPath("", Wide(other).c_str(), false);
  EXPECT_TRUE(IsFolder(other));
}

// ---------------------------------------------------------------------------
// Directory search
// ---------------------------------------------------------------------------

std::vector<std::string> ListAll(DirectorySearch* search) {
  std::vector<std::string> names;
  FoundFile found;
  while (search->next(&found)) names.push_back(found.name);
  std::sort(names.begin(), names.end());
  return names;
}

FAMILY_TEST(DirectorySearch, ListsOneFolderWithItsPrefixAndNeverDots) {
  ScratchFolder folder;
  ASSERT_TRUE(WriteWholeFile(folder.file("one.txt"), "1"));
  ASSERT_TRUE(WriteWholeFile(folder.file("two.dat"), "2"));
  CreateDirectoryA(folder.file("sub").c_str(), nullptr);
  ASSERT_TRUE(WriteWholeFile(folder.file("sub\\deep.txt"), "3"));
  DirectorySearch search;
  search.setMask(folder.file("*").c_str());
  std::vector<std::string> all = {folder.file("one.txt"), folder.file("sub"),
                                  folder.file("two.dat")};
  EXPECT_EQ(all, ListAll(&search));

  // A new mask starts a new search, of the new folder.
  search.setMask(folder.file("sub\\*").c_str());
  EXPECT_EQ(std::vector<std::string>{folder.file("sub\\deep.txt")}, ListAll(&search));

  FoundFile found;
  DirectorySearch none;
  none.setMask(folder.file("*.none").c_str());
  EXPECT_FALSE(none.next(&found));
  DirectorySearch missing;
  missing.setMask(folder.file("absent\\*").c_str());
  EXPECT_FALSE(missing.next(&found));
  DirectorySearch empty;
  EXPECT_FALSE(empty.next(&found));
}

FAMILY_TEST(DirectorySearch, NonAsciiNames) {
  ScratchFolder folder;
  ASSERT_TRUE(WriteWholeFile(folder.file("caf\xE9.txt"), "x"));
  DirectorySearch search;
  search.setMask(folder.file("*.txt").c_str());
  FoundFile found;
  ASSERT_TRUE(search.next(&found));
  EXPECT_EQ(folder.file("caf\xE9.txt"), found.name);
  EXPECT_EQ(Wide(found.name), found.wideName);
  DeleteFileA(found.name);

  std::wstring omega = MakeOmegaFile(folder);
  search.setMask(folder.file("*").c_str());
  ASSERT_TRUE(search.next(&found));
  if (kNtSystem) {
    EXPECT_EQ(omega, found.wideName);  // the ANSI name cannot reach it
    EXPECT_TRUE(fileExists(found.name, found.wideName));
  } else {
    // The ANSI search sees the name only as the code page renders it.
    EXPECT_TRUE(isPlainAscii(found.name)) << found.name;
    EXPECT_STREQ(L"", found.wideName);
  }
}

// ---------------------------------------------------------------------------
// Calls by name: UTF-16 names only on NT
// ---------------------------------------------------------------------------

FAMILY_TEST(CallsByName, Utf16NameIsUsedOnlyOnNt) {
  ScratchFolder folder;
  std::wstring omega = MakeOmegaFile(folder);
  // A wrong ANSI name with the right UTF-16 one shows which of them is used.
  const char* wrong = "Z:\\no-such-file";
  EXPECT_EQ(kNtSystem, fileExists(wrong, omega.c_str()));
  EXPECT_EQ(kNtSystem, setAttributes(wrong, omega.c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(kNtSystem, deleteByName(wrong, omega.c_str()));
  std::wstring wideFolder = Wide(folder.path()) + L"\\\u03A9-dir";
  EXPECT_EQ(0, makeDirectory(folder.file("ansi-dir").c_str(), wideFolder.c_str(), 0));
  EXPECT_EQ(!kNtSystem, IsFolder(folder.file("ansi-dir")));

  // An empty UTF-16 name means the ANSI one everywhere.
  std::string ansi = folder.file("caf\xE9.txt");
  ASSERT_TRUE(WriteWholeFile(ansi, "x"));
  EXPECT_TRUE(fileExists(ansi.c_str(), L""));
  EXPECT_TRUE(deleteByName(ansi.c_str(), L""));
  EXPECT_FALSE(fileExists(ansi.c_str(), nullptr));
}

// ---------------------------------------------------------------------------
// The file object
// ---------------------------------------------------------------------------

class FileObjectCase : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = folder_.file("digits.bin");
    std::string data;
    for (int i = 0; i < 100; ++i) data += static_cast<char>('0' + i % 10);
    ASSERT_TRUE(WriteWholeFile(name_, data));
  }
  ScratchFolder folder_;
  std::string name_;
};
using FAMILY_SUITE(FileObjectTest) = FileObjectCase;

FAMILY_TEST_F(FileObjectTest, OpenMissingReadSeekTellLength) {
  FileObject file;
  EXPECT_FALSE(file.open(folder_.file("missing").c_str(), nullptr, false, false));
  EXPECT_EQ(kFileErrorNotFound, file.lastError);
  ASSERT_TRUE(file.open(name_.c_str(), nullptr, false, false));
  EXPECT_EQ(kFileErrorNone, file.lastError);
  char buffer[16] = {};
  EXPECT_EQ(5, file.read(buffer, 5));
  EXPECT_EQ(5, file.tell());
  file.seek(-10, kSeekEnd);
  EXPECT_EQ(90, file.tell());
  file.seek(-10, kSeekCurrent);
  EXPECT_EQ(80, file.tell());
  file.seek(7, kSeekCurrent);
  EXPECT_EQ(100, file.length());
  EXPECT_EQ(87, file.tell());  // length kept the position
  EXPECT_EQ(13, file.read(buffer, 16));
  EXPECT_EQ('7', buffer[0]);
  EXPECT_EQ(0, file.read(buffer, 16));  // the end is not an error
  file.seek(0x100000005LL, kSeekBegin);  // the high part is passed on
  EXPECT_EQ(0x100000005LL, file.tell());
}

FAMILY_TEST_F(FileObjectTest, CloseCountsEveryCallAndRemoveDeletes) {
  FileObject file;
  EXPECT_TRUE(file.close());
  ASSERT_TRUE(file.open(name_.c_str(), nullptr, false, false));
  EXPECT_TRUE(file.close());
  EXPECT_TRUE(file.close());
  EXPECT_EQ(3u, file.closeCount);
  ASSERT_TRUE(file.open(name_.c_str(), nullptr, false, false));
  file.deleteAllowed = false;
  EXPECT_FALSE(file.remove());
  file.deleteAllowed = true;
  EXPECT_TRUE(file.remove());
  EXPECT_EQ(INVALID_HANDLE_VALUE, file.handle);
  EXPECT_FALSE(FileExists(name_));
}

FAMILY_TEST_F(FileObjectTest, OpensByUtf16Name) {
  std::string ansi = folder_.file("caf\xE9.bin");
  ASSERT_TRUE(WriteWholeFile(ansi, "abc"));
  FileObject byWide;
  // Without an ANSI name one is made from the UTF-16 name.
  ASSERT_TRUE(byWide.open(nullptr, Wide(ansi).c_str(), false, false));
  EXPECT_STREQ(ansi.c_str(), byWide.narrowName);
  EXPECT_EQ(3, byWide.length());
  std::wstring omega = MakeOmegaFile(folder_);
  FileObject file;
  EXPECT_EQ(kNtSystem, file.open("Z:\\no-such-file", omega.c_str(), false, false));
}

}  // namespace
