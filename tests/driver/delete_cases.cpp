// The Delete command in the destination folder: wildcards, read-only files,
// folders, a drive root, and files in use.
#include <string>
#include <vector>

#include "driver/script_fixture.h"
#include "driver/sfx_state.h"
#include "driver/temp_folder.h"

namespace {

using namespace script_testing;
using testing_support::FileExists;

class Deletes : public ScriptTest {};

TEST_F(Deletes, MatchingEntriesOfTheDestinationOnly) {
  for (const char* name : {"a.tmp", "b.TMP", "keep.txt", "ro.dat"}) Put(name);
  SetFileAttributesA(destination_.file("ro.dat").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  CreateDirectoryA(destination_.file("old").c_str(), nullptr);
  CreateDirectoryA(destination_.file("old\\deeper").c_str(), nullptr);
  Put("old\\deeper\\x.txt");
  CreateDirectoryA(destination_.file("sub").c_str(), nullptr);
  Put("sub\\c.tmp");
  testing_support::WriteWholeFile(work_.file("outside.tmp"), "x");

  const std::string script = "Delete=*.tmp\r\nDelete=ro.dat\r\nDelete=old\r\nDelete=missing.txt";
  Run(script, ScriptMode::Shortcuts);  // no other pass deletes
  EXPECT_TRUE(FileExists(destination_.file("a.tmp")));
  Run(script, ScriptMode::DeleteFiles);
  const struct {
    const char* name;
    bool kept;
  } expected[] = {{"a.tmp", false}, {"b.TMP", false}, {"ro.dat", false}, {"old", false},
                  {"keep.txt", true}, {"sub\\c.tmp", true}};
  for (const auto& e : expected) EXPECT_EQ(e.kept, FileExists(destination_.file(e.name))) << e.name;
  EXPECT_TRUE(FileExists(work_.file("outside.tmp")));
}

// Values that lead out of the destination are refused, one counted line
// each, and nothing beside the destination is touched; a plain value in the
// same script still acts.
TEST_F(Deletes, ValuesLeavingTheDestinationAreRefused) {
  const std::string app = work_.file("app");
  ASSERT_TRUE(CreateDirectoryA(app.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(work_.file("sibling").c_str(), nullptr));
  testing_support::WriteWholeFile(work_.file("sibling\\keep.txt"), "x");
  testing_support::WriteWholeFile(work_.file("keep.tmp"), "x");
  testing_support::WriteWholeFile(app + "\\inner.tmp", "x");
  ASSERT_TRUE(SetCurrentDirectoryA(app.c_str()));
  Run("Delete=..\\sibling\r\nDelete=..\\*.tmp\r\nDelete=x/../../sibling/keep.txt\r\nDelete=" + work_.file("keep.tmp") +
          "\r\nDelete=*.tmp",
      ScriptMode::DeleteFiles);
  EXPECT_EQ(4, sfx.errorCount);
  EXPECT_TRUE(FileExists(work_.file("sibling\\keep.txt")));
  EXPECT_TRUE(FileExists(work_.file("keep.tmp")));
  EXPECT_FALSE(FileExists(app + "\\inner.tmp"));
}

// In a drive root (a Wine drive letter on a folder of the build tree) a
// wildcard that meets a folder stops the command there; named, the folder
// goes.
TEST_F(Deletes, WildcardStopsAtAFolderInADriveRoot) {
  const std::string root = testing_support::Environment("ZIMBRO_DRIVE_ROOT");
  ASSERT_TRUE(SetCurrentDirectoryA(root.c_str())) << root;
  for (const char* name : {"1.tmp", "2.tmp", "3.tmp", "4.tmp", "5.tmp"}) {
    testing_support::WriteWholeFile(root + name, "x");
  }
  ASSERT_TRUE(CreateDirectoryA((root + "dir.tmp").c_str(), nullptr));
  testing_support::WriteWholeFile(root + "dir.tmp\\inside.txt", "x");
  // The order in which the folder lists its entries decides what goes first.
  std::vector<std::string> order;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((root + "*.tmp").c_str(), &found);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  do order.push_back(found.cFileName);
  while (FindNextFileA(search, &found));
  FindClose(search);

  Run("Delete=*.tmp", ScriptMode::DeleteFiles);
  bool beforeFolder = true;
  for (const std::string& name : order) {
    if (name == "dir.tmp") beforeFolder = false;
    EXPECT_EQ(beforeFolder, !FileExists(root + name)) << name;
  }
  Run("Delete=dir.tmp", ScriptMode::DeleteFiles);
  EXPECT_FALSE(FileExists(root + "dir.tmp"));
  Run("Delete=*.tmp", ScriptMode::DeleteFiles);
  EXPECT_FALSE(FileExists(root + "5.tmp"));
}

// The list of renames at restart: pairs of names, each ended by a NUL; an
// empty second name means deletion.
const char* const kSessionManager = "System\\CurrentControlSet\\Control\\Session Manager";

std::string PendingRenames() {
  std::string data(65536, '\0');
  DWORD size = 0;
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
    size = data.size();
    if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(&data[0]),
                         &size) != ERROR_SUCCESS) {
      size = 0;
    }
    RegCloseKey(key);
  }
  return data.substr(0, size);
}

// A running program cannot be deleted, but it can be renamed: it is moved
// to the first free "<name>.<n>.tmp" and listed for deletion at restart.
TEST_F(Deletes, FileInUseMovedAsideAndDeletedAtRestart) {
  std::vector<PROCESS_INFORMATION> holders;
  for (const char* name : {"a.exe", "b.exe"}) {
    std::string command = "\"" + destination_.file(name) + "\" --hold";
    ASSERT_TRUE(CopyFileA(ProbePath().c_str(), destination_.file(name).c_str(), FALSE));
    STARTUPINFOA startup = {sizeof(startup)};
    holders.emplace_back();
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &holders.back()));
  }
  Put("b.exe.0.tmp", "left by an earlier run");
  Run("Delete=*.exe", ScriptMode::DeleteFiles);
  for (const PROCESS_INFORMATION& process : holders) {
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }

  std::string pending = PendingRenames();
  for (const char* name : {"a.exe.0.tmp", "b.exe.1.tmp"}) {
    EXPECT_FALSE(FileExists(destination_.file(std::string(name, 5))));
    EXPECT_TRUE(FileExists(destination_.file(name)));
    // The entry, its second name empty, is taken out of the list again.
    const std::string entry = destination_.file(name) + std::string(2, '\0');
    const size_t at = pending.find(entry);
    ASSERT_NE(std::string::npos, at) << name;
    const size_t start = pending.rfind('\0', at) == std::string::npos ? 0 : pending.rfind('\0', at) + 1;
    pending.erase(start, at + entry.size() - start);
  }
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key));
  if (pending.size() <= 1) {
    RegDeleteValueA(key, "PendingFileRenameOperations");
  } else {
    RegSetValueExA(key, "PendingFileRenameOperations", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(pending.data()),
                   pending.size());
  }
  RegCloseKey(key);
}

// Links planted in the destination lead outside it: a Delete that matches
// one takes the link, never what it leads to; a value whose folder is a link
// is refused with a counted line; a folder that goes takes the links inside
// it, not their contents; and so does the temporary folder's removal.
// (Wine removes a link to a folder only by removing the folder, so the
// folders the links lead to hold files here: those must stay.)
TEST_F(Deletes, LinksInTheDestinationAreNeverFollowed) {
  const std::string outside = work_.file("outside");
  ASSERT_TRUE(CreateDirectoryA(outside.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((outside + "\\inner").c_str(), nullptr));
  const std::vector<std::string> victims = {outside + "\\keep.old", outside + "\\inner\\deep.old"};
  for (const std::string& victim : victims) testing_support::WriteWholeFile(victim, "x");
  for (const char* name : {"linked", "match.old", "via"}) {
    ASSERT_TRUE(testing_support::MakeLink(destination_.file(name), outside)) << name;
  }
  ASSERT_TRUE(CreateDirectoryA(destination_.file("real").c_str(), nullptr));
  ASSERT_TRUE(testing_support::MakeLink(destination_.file("real\\inside"), outside));

  Run("Delete=linked\r\nDelete=*.old\r\nDelete=real\r\nDelete=via\\*.old\r\nDelete=via/inner/*", ScriptMode::DeleteFiles);
  EXPECT_EQ(2, sfx.errorCount);  // the two values through "via"
  for (const std::string& victim : victims) EXPECT_TRUE(FileExists(victim)) << victim;

  const std::string temp = work_.file("QelSFX7");
  ASSERT_TRUE(CreateDirectoryA(temp.c_str(), nullptr));
  ASSERT_TRUE(testing_support::MakeLink(temp + "\\linked", outside));
  testing_support::WriteWholeFile(temp + "\\own.txt", "x");
  strcpy(sfx.tempFolder, temp.c_str());
  RemoveTempFolder();
  EXPECT_FALSE(FileExists(temp + "\\own.txt"));
  for (const std::string& victim : victims) EXPECT_TRUE(FileExists(victim)) << victim;
}

}  // namespace
