// The file layer: the engine's file calls, folders, the directory search and
// the file object. Compiled into two executables: support_tests (an NT
// system, the UTF-16 calls run) and support_win98_tests, which Wine starts as
// Windows 98 so that the ANSI calls of the same operations run.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "support/directory_search.h"
#include "support/file_calls.h"
#include "support/file_object.h"
#include "support/paths.h"
#include "ui/os_version.h"

using testing_support::FileExists;
using testing_support::ReadWholeFile;
using testing_support::ScratchFolder;
using testing_support::WriteWholeFile;

namespace {

// The Windows 98 copies carry their own suite names, so that the two
// executables' cases stay apart in ctest.
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

// A file whose UTF-16 name has a character the ANSI code page 1252 lacks
// (Greek capital omega), created with the wide call.
std::wstring MakeOmegaFile(const ScratchFolder& folder) {
  std::wstring name = Wide(folder.path()) + L"\\\u03A9.txt";
  HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, file);
  DWORD written;
  WriteFile(file, "omega", 5, &written, nullptr);
  CloseHandle(file);
  return name;
}

// ---------------------------------------------------------------------------
// The system family
// ---------------------------------------------------------------------------

FAMILY_TEST(FileLayer, SystemFamily) {
  if (kNtSystem) {
    EXPECT_NE(0, NtMajorVersion());
  } else {
    EXPECT_EQ(0, NtMajorVersion());
  }
  EXPECT_EQ(NtMajorVersion(), NtMajorVersion());
}

// ---------------------------------------------------------------------------
// The engine's file calls
// ---------------------------------------------------------------------------

FAMILY_TEST(FileCalls, WriteTruncatesAndReadCountsItems) {
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
  // 10 bytes hold two whole items of 4 bytes.
  EXPECT_EQ(2u, fileRead(buffer, 4, 3, in));
  EXPECT_EQ(0, memcmp(buffer, "0123456789", 10));
  EXPECT_EQ(0u, fileRead(buffer, 1, 4, in));  // at the end
  EXPECT_EQ(0, fileSeek(in, 3, FILE_BEGIN));
  EXPECT_EQ(3, fileTell(in));
  EXPECT_EQ(0, fileSeek(in, -2, FILE_END));
  EXPECT_EQ(8, fileTell(in));
  EXPECT_EQ(2u, fileRead(buffer, 1, 5, in));
  EXPECT_EQ('8', buffer[0]);
  EXPECT_EQ(1, fileSeek(in, -100, FILE_BEGIN));
  EXPECT_EQ(0, fileClose(in));

  // "r" opens as "rb" does; writing through a read box fails.
  FileBox* plain = fileOpen(name.c_str(), "r");
  ASSERT_NE(nullptr, plain);
  EXPECT_EQ(0u, fileWrite("x", 1, 1, plain));
  fileClose(plain);
}

FAMILY_TEST(FileCalls, MissingFileAndFolderCalls) {
  ScratchFolder folder;
  EXPECT_EQ(nullptr, fileOpen(folder.file("missing").c_str(), "rb"));
  EXPECT_EQ(nullptr, fileOpen(folder.file("no\\such\\dir").c_str(), "wb"));
  EXPECT_EQ(0, makeFolder(folder.file("sub").c_str()));
  EXPECT_NE(0, makeFolder(folder.file("sub").c_str()));
  ASSERT_TRUE(WriteWholeFile(folder.file("f"), "x"));
  EXPECT_EQ(0, deleteFile(folder.file("f").c_str()));
  EXPECT_EQ(-1, deleteFile(folder.file("f").c_str()));
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

  // A trailing backslash: the last folder comes from the walk, and nothing
  // more is attempted after it.
  createPath(folder.file("x\\y\\").c_str(), nullptr, false);
  EXPECT_TRUE(IsFolder(folder.file("x\\y")));

  // '/' is not a separator for createPath: a\b/c is one name "b/c", which is
  // invalid, so only "d" comes into being.
  createPath(folder.file("d\\e/f").c_str(), nullptr, false);
  EXPECT_TRUE(IsFolder(folder.file("d")));
  EXPECT_FALSE(FileExists(folder.file("d\\e")));
}

FAMILY_TEST(Folders, CreatePathWithUtf16Names) {
  ScratchFolder folder;
  std::string ansi = folder.file("caf\xE9\\sub\\leaf");
  std::wstring wide = Wide(ansi);
  createPath(ansi.c_str(), wide.c_str(), false);
  EXPECT_TRUE(IsFolder(folder.file("caf\xE9\\sub\\leaf")));

  // Without an ANSI path the ANSI prefixes are made from the UTF-16 one.
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

FAMILY_TEST(DirectorySearch, ListsTheFolderWithItsPrefixAndNeverDots) {
  ScratchFolder folder;
  ASSERT_TRUE(WriteWholeFile(folder.file("one.txt"), "1"));
  ASSERT_TRUE(WriteWholeFile(folder.file("two.dat"), "2"));
  CreateDirectoryA(folder.file("sub").c_str(), nullptr);
  ASSERT_TRUE(WriteWholeFile(folder.file("sub\\deep.txt"), "3"));

  DirectorySearch search;
  search.setMask(folder.file("*").c_str());
  std::vector<std::string> expected = {folder.file("one.txt"), folder.file("sub"),
                                       folder.file("two.dat")};
  EXPECT_EQ(expected, ListAll(&search));
  FoundFile found;
  EXPECT_FALSE(search.next(&found));  // stays at the end

  DirectorySearch text;
  text.setMask(folder.file("*.txt").c_str());
  EXPECT_EQ(std::vector<std::string>{folder.file("one.txt")}, ListAll(&text));
}

FAMILY_TEST(DirectorySearch, NoMatchMissingFolderAndEmptyMask) {
  ScratchFolder folder;
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

FAMILY_TEST(DirectorySearch, ANewMaskStartsANewSearchOfTheNewFolder) {
  ScratchFolder first;
  ScratchFolder second;
  ASSERT_TRUE(WriteWholeFile(first.file("a.txt"), "a"));
  ASSERT_TRUE(WriteWholeFile(first.file("b.txt"), "b"));
  ASSERT_TRUE(WriteWholeFile(second.file("c.txt"), "c"));
  DirectorySearch search;
  FoundFile found;
  search.setMask(first.file("*").c_str());
  ASSERT_TRUE(search.next(&found));
  search.setMask(second.file("*").c_str());
  EXPECT_EQ(std::vector<std::string>{second.file("c.txt")}, ListAll(&search));
}

FAMILY_TEST(DirectorySearch, NonAsciiNamesCarryTheirUtf16Name) {
  ScratchFolder folder;
  ASSERT_TRUE(WriteWholeFile(folder.file("caf\xE9.txt"), "x"));
  ASSERT_TRUE(WriteWholeFile(folder.file("plain.txt"), "y"));
  DirectorySearch search;
  search.setMask(folder.file("*.txt").c_str());
  std::set<std::string> seen;
  FoundFile found;
  while (search.next(&found)) {
    seen.insert(found.name);
    if (std::string(found.name) == folder.file("plain.txt")) {
      EXPECT_STREQ(L"", found.wideName);
    } else {
      EXPECT_EQ(Wide(folder.file("caf\xE9.txt")), found.wideName);
    }
  }
  EXPECT_EQ(2u, seen.size());
  EXPECT_EQ(1u, seen.count(folder.file("caf\xE9.txt")));
}

FAMILY_TEST(DirectorySearch, NamesOutsideTheAnsiCodePage) {
  ScratchFolder folder;
  std::wstring omega = MakeOmegaFile(folder);
  DirectorySearch search;
  search.setMask(folder.file("*").c_str());
  FoundFile found;
  ASSERT_TRUE(search.next(&found));
  if (kNtSystem) {
    // Only the UTF-16 name reaches the file; the ANSI one has a '?'.
    EXPECT_EQ(omega, found.wideName);
    EXPECT_TRUE(fileExists(found.name, found.wideName));
  } else {
    // The ANSI search sees the name as the code page renders it, in plain
    // ASCII, so no UTF-16 name is kept.
    EXPECT_TRUE(isPlainAscii(found.name)) << found.name;
    EXPECT_STREQ(L"", found.wideName);
  }
}

// ---------------------------------------------------------------------------
// Calls by name: the wide-or-ANSI rule
// ---------------------------------------------------------------------------

FAMILY_TEST(CallsByName, Utf16NameIsUsedOnlyOnNt) {
  ScratchFolder folder;
  std::wstring omega = MakeOmegaFile(folder);
  // A wrong ANSI name together with the right UTF-16 one shows which is used.
  const char* wrong = "Z:\\no-such-file";
  EXPECT_EQ(kNtSystem, fileExists(wrong, omega.c_str()));
  EXPECT_EQ(kNtSystem, setAttributes(wrong, omega.c_str(), FILE_ATTRIBUTE_READONLY));
  setAttributes(wrong, omega.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(kNtSystem, deleteByName(wrong, omega.c_str()));
  EXPECT_EQ(kNtSystem, GetFileAttributesW(omega.c_str()) == INVALID_FILE_ATTRIBUTES);

  // An empty UTF-16 name means the ANSI one on every system.
  std::string ansi = folder.file("caf\xE9.txt");
  ASSERT_TRUE(WriteWholeFile(ansi, "x"));
  EXPECT_TRUE(fileExists(ansi.c_str(), L""));
  EXPECT_TRUE(setAttributes(ansi.c_str(), nullptr, FILE_ATTRIBUTE_HIDDEN));
  EXPECT_TRUE(GetFileAttributesA(ansi.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_TRUE(deleteByName(ansi.c_str(), L""));
  EXPECT_FALSE(fileExists(ansi.c_str(), nullptr));

  std::string other = folder.file("omega-dir");
  std::wstring wideOther = Wide(folder.path()) + L"\\\u03A9-dir";
  EXPECT_EQ(0, makeDirectory(other.c_str(), wideOther.c_str(), 0));
  EXPECT_EQ(kNtSystem, GetFileAttributesW(wideOther.c_str()) != INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(!kNtSystem, IsFolder(other));
}

FAMILY_TEST(CallsByName, FullPathName) {
  char result[1024];
  fullPathName("C:\\a\\..\\b.txt", result);
  EXPECT_STREQ("C:\\b.txt", result);
  char same[1024] = "C:\\x\\.\\y";
  fullPathName(same, same);
  EXPECT_STREQ("C:\\x\\y", same);
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

FAMILY_TEST_F(FileObjectTest, OpeningAMissingFileIsNotFatal) {
  FileObject file;
  EXPECT_FALSE(file.open(folder_.file("missing").c_str(), nullptr, false, false));
  EXPECT_EQ(kFileErrorNotFound, file.lastError);
  EXPECT_EQ(INVALID_HANDLE_VALUE, file.handle);
  EXPECT_TRUE(file.open(name_.c_str(), nullptr, false, false));
  EXPECT_EQ(kFileErrorNone, file.lastError);
  EXPECT_STREQ(name_.c_str(), file.narrowName);
  EXPECT_STREQ(L"", file.wideName);
}

FAMILY_TEST_F(FileObjectTest, ReadSeekTellAndLength) {
  FileObject file;
  ASSERT_TRUE(file.open(name_.c_str(), nullptr, false, false));
  char buffer[16] = {};
  EXPECT_EQ(5, file.read(buffer, 5));
  EXPECT_EQ(5, file.tell());

  file.seek(-10, kSeekEnd);
  EXPECT_EQ(90, file.tell());
  file.seek(-10, kSeekCurrent);
  EXPECT_EQ(80, file.tell());
  file.seek(7, kSeekCurrent);
  EXPECT_EQ(87, file.tell());
  EXPECT_EQ(100, file.length());
  EXPECT_EQ(87, file.tell());  // length kept the position
  EXPECT_EQ(3, file.read(buffer, 3));
  EXPECT_EQ(0, memcmp(buffer, "789", 3));

  file.seek(98, kSeekBegin);
  EXPECT_EQ(2, file.read(buffer, 16));
  EXPECT_EQ(0, file.read(buffer, 16));  // end of file is not an error
  EXPECT_EQ(kFileErrorNone, file.lastError);
  EXPECT_FALSE(file.isDevice());

  // Positions beyond 4 GiB pass through the high part.
  file.seek(0x100000005LL, kSeekBegin);
  EXPECT_EQ(0x100000005LL, file.tell());
}

FAMILY_TEST_F(FileObjectTest, CloseCountsEveryCall) {
  FileObject file;
  EXPECT_TRUE(file.close());
  EXPECT_EQ(1u, file.closeCount);
  ASSERT_TRUE(file.open(name_.c_str(), nullptr, false, false));
  EXPECT_TRUE(file.close());
  EXPECT_EQ(INVALID_HANDLE_VALUE, file.handle);
  EXPECT_TRUE(file.close());
  EXPECT_EQ(3u, file.closeCount);
  // Seeking a closed object does nothing.
  file.seek(10, kSeekBegin);
}

FAMILY_TEST_F(FileObjectTest, SharingAndWriteAccess) {
  FileObject reader;
  ASSERT_TRUE(reader.open(name_.c_str(), nullptr, false, false));
  FileObject writer;
  // The reader does not let others write ...
  EXPECT_FALSE(writer.open(name_.c_str(), nullptr, true, true));
  EXPECT_EQ(kFileErrorNone, writer.lastError);
  reader.close();
  // ... unless it shares for writing.
  ASSERT_TRUE(reader.open(name_.c_str(), nullptr, false, true));
  EXPECT_TRUE(writer.open(name_.c_str(), nullptr, true, true));
}

FAMILY_TEST_F(FileObjectTest, RemoveClosesAndDeletes) {
  FileObject file;
  ASSERT_TRUE(file.open(name_.c_str(), nullptr, false, false));
  file.deleteAllowed = false;
  EXPECT_FALSE(file.remove());
  EXPECT_TRUE(FileExists(name_));
  file.deleteAllowed = true;
  EXPECT_TRUE(file.remove());
  EXPECT_EQ(INVALID_HANDLE_VALUE, file.handle);
  EXPECT_FALSE(FileExists(name_));
  EXPECT_FALSE(file.remove());  // already gone
}

FAMILY_TEST_F(FileObjectTest, OpensByUtf16Name) {
  std::string ansi = folder_.file("caf\xE9.bin");
  ASSERT_TRUE(WriteWholeFile(ansi, "abc"));
  std::wstring wide = Wide(ansi);
  FileObject byWide;
  // Without an ANSI name it is made from the UTF-16 one (and used on 9x).
  ASSERT_TRUE(byWide.open(nullptr, wide.c_str(), false, false));
  EXPECT_STREQ(ansi.c_str(), byWide.narrowName);
  EXPECT_EQ(wide, byWide.wideName);
  EXPECT_EQ(3, byWide.length());
  EXPECT_TRUE(byWide.remove());
  EXPECT_FALSE(FileExists(ansi));

  std::wstring omega = MakeOmegaFile(folder_);
  FileObject file;
  EXPECT_EQ(kNtSystem, file.open("Z:\\no-such-file", omega.c_str(), false, false));
}

}  // namespace
