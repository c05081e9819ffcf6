// The file object's process-wide parts: the open-file list, closeAll and the
// fatal exit. The fatal paths end the process, so they run in a child: this
// executable started again on one disabled test, which runs only when the
// child environment variable names it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include <new>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "driver/sfx_state.h"
#include "support/file_object.h"

using testing_support::Environment;
using testing_support::ReadWholeFile;
using testing_support::ScratchFolder;
using testing_support::WriteWholeFile;

namespace {

const char kChildVariable[] = "ZIMBRO_SUPPORT_CHILD";
const char kRecordVariable[] = "ZIMBRO_SUPPORT_RECORD";

// In the child: has exit_watch.dll (next to this executable) write the exit
// code record and whether the file is closed into the record file when the
// process ends.
void WatchAtExit(const FileObject* file) {
  std::string self = testing_support::SelfPath();
  std::string library = self.substr(0, self.rfind('\\')) + "\\exit_watch.dll";
  HMODULE watch = LoadLibraryA(library.c_str());
  ASSERT_NE(nullptr, watch);
  typedef void (*WatchFunction)(const char*, const int32_t*, const int32_t*, const HANDLE*);
  WatchFunction start = reinterpret_cast<WatchFunction>(GetProcAddress(watch, "WatchAtExit"));
  ASSERT_NE(nullptr, start);
  start(Environment(kRecordVariable).c_str(), &sfx.exitCode.code, &sfx.exitCode.count,
        &file->handle);
}

bool IsChild(const char* mode) { return Environment(kChildVariable) == mode; }

// Starts this executable on FileObjectChild.DISABLED_<test> and returns its
// exit code; the record file, when given, receives what the child left.
int RunChild(const char* test, const std::string& recordFile = "") {
  SetEnvironmentVariableA(kChildVariable, test);
  SetEnvironmentVariableA(kRecordVariable, recordFile.empty() ? nullptr : recordFile.c_str());
  std::string command = "\"" + testing_support::SelfPath() +
                        "\" --gtest_also_run_disabled_tests --gtest_filter=FileObjectChild.DISABLED_" +
                        test;
  int code = testing_support::RunProcess(command, "", 30000);
  SetEnvironmentVariableA(kChildVariable, nullptr);
  SetEnvironmentVariableA(kRecordVariable, nullptr);
  return code;
}

std::string MakeFile(const ScratchFolder& folder) {
  std::string name = folder.file("data.bin");
  EXPECT_TRUE(WriteWholeFile(name, std::string(50, 'd')));
  return name;
}

// ---------------------------------------------------------------------------
// The open-file list
// ---------------------------------------------------------------------------

TEST(OpenFileList, TheObjectBeyondTheLastSlotWorksButIsNotClosedByCloseAll) {
  ScratchFolder folder;
  std::string name = MakeFile(folder);
  ASSERT_TRUE(closeAll());  // nothing is left open by other tests
  std::vector<FileObject> files(kOpenFileSlots + 1);
  for (FileObject& file : files) ASSERT_TRUE(file.open(name.c_str(), nullptr, false, false));

  EXPECT_TRUE(closeAll());
  for (int i = 0; i < kOpenFileSlots; ++i) {
    EXPECT_EQ(INVALID_HANDLE_VALUE, files[i].handle) << i;
    EXPECT_FALSE(files[i].reportErrors) << i;  // closeAll turns reports off
  }
  FileObject& extra = files[kOpenFileSlots];
  ASSERT_NE(INVALID_HANDLE_VALUE, extra.handle);
  char byte;
  EXPECT_EQ(1, extra.read(&byte, 1));
  EXPECT_EQ('d', byte);

  // The freed slots are used again.
  FileObject again;
  ASSERT_TRUE(again.open(name.c_str(), nullptr, false, false));
  EXPECT_TRUE(closeAll());
  EXPECT_EQ(INVALID_HANDLE_VALUE, again.handle);
}

TEST(OpenFileList, CloseAndDestructionLeaveTheList) {
  ScratchFolder folder;
  std::string name = MakeFile(folder);
  ASSERT_TRUE(closeAll());
  alignas(FileObject) unsigned char storage[sizeof(FileObject)];
  {
    FileObject* file = new (storage) FileObject;
    ASSERT_TRUE(file->open(name.c_str(), nullptr, false, false));
    file->~FileObject();
  }
  {
    FileObject closed;
    ASSERT_TRUE(closed.open(name.c_str(), nullptr, false, false));
    closed.close();
  }
  // closeAll would now reach the dead objects if they were still listed.
  memset(storage, 0xCC, sizeof(storage));
  EXPECT_TRUE(closeAll());
}

TEST(OpenFileList, CloseAllReportsAFailedCloseAndForgetsTheObject) {
  ScratchFolder folder;
  std::string name = MakeFile(folder);
  ASSERT_TRUE(closeAll());
  alignas(FileObject) unsigned char storage[sizeof(FileObject)];
  FileObject* file = new (storage) FileObject;
  ASSERT_TRUE(file->open(name.c_str(), nullptr, false, false));
  // Closed behind the object's back: its own close fails.
  CloseHandle(file->handle);
  EXPECT_FALSE(closeAll());
  EXPECT_EQ(INVALID_HANDLE_VALUE, file->handle);
  // The owner frees the object; a later closeAll must not touch it.
  file->~FileObject();
  memset(storage, 0xCC, sizeof(storage));
  EXPECT_TRUE(closeAll());
}

// ---------------------------------------------------------------------------
// Failures without reports
// ---------------------------------------------------------------------------

TEST(FileObjectFailures, WithoutReportsFailuresAreResults) {
  ScratchFolder folder;
  std::string name = MakeFile(folder);
  HANDLE writeOnly = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, writeOnly);
  FileObject file;
  file.reportErrors = false;
  file.handle = writeOnly;
  char buffer[8];
  EXPECT_EQ(-1, file.read(buffer, 8));
  EXPECT_EQ(kFileErrorRead, file.lastError);
  file.seek(-10, kSeekBegin);  // before the start: ignored
  EXPECT_EQ(0, file.tell());
  file.close();
  EXPECT_EQ(-1, file.tell());
}

TEST(FileObjectFailures, PipesAreDevices) {
  HANDLE readEnd;
  HANDLE writeEnd;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
  FileObject file;
  file.handle = readEnd;
  EXPECT_TRUE(file.isDevice());
  DWORD written;
  WriteFile(writeEnd, "pipe", 4, &written, nullptr);
  char buffer[8];
  EXPECT_EQ(4, file.read(buffer, 8));
  file.close();
  CloseHandle(writeEnd);
}

// ---------------------------------------------------------------------------
// The fatal exit (in a child process)
// ---------------------------------------------------------------------------

TEST(FatalExit, EndsWithTheGivenCodeWhileTheRecordKeepsItsOwn) {
  ScratchFolder folder;
  std::string record = folder.file("record.txt");
  EXPECT_EQ(2, RunChild("FatalExit", record));
  std::vector<uint8_t> text = ReadWholeFile(record);
  EXPECT_EQ("code=9 count=2 closed=1", std::string(text.begin(), text.end()));
}

TEST(FatalExit, ReadErrorIsFatal) {
  ScratchFolder folder;
  std::string record = folder.file("record.txt");
  EXPECT_EQ(2, RunChild("ReadError", record));
  std::vector<uint8_t> text = ReadWholeFile(record);
  EXPECT_EQ("code=2 count=1 closed=1", std::string(text.begin(), text.end()));
}

TEST(FatalExit, ReadOnAClosedObjectIsFatal) { EXPECT_EQ(2, RunChild("ReadClosed")); }

TEST(FatalExit, SeekErrorIsFatal) { EXPECT_EQ(2, RunChild("SeekError")); }

TEST(FileObjectChild, DISABLED_FatalExit) {
  if (!IsChild("FatalExit")) GTEST_SKIP();
  ScratchFolder folder;
  std::string name = MakeFile(folder);
  static FileObject file;
  ASSERT_TRUE(file.open(name.c_str(), nullptr, false, false));
  WatchAtExit(&file);
  SetExitCode(9);
  fatalExit(2);
}

TEST(FileObjectChild, DISABLED_ReadError) {
  if (!IsChild("ReadError")) GTEST_SKIP();
  ScratchFolder folder;
  std::string name = MakeFile(folder);
  static FileObject file;
  ASSERT_TRUE(file.open(name.c_str(), nullptr, false, false));
  WatchAtExit(&file);
  // The object's own handle swapped for one without read access.
  CloseHandle(file.handle);
  file.handle = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  char buffer[8];
  file.read(buffer, 8);
}

TEST(FileObjectChild, DISABLED_ReadClosed) {
  if (!IsChild("ReadClosed")) GTEST_SKIP();
  FileObject file;
  char buffer[8];
  file.read(buffer, 8);
}

TEST(FileObjectChild, DISABLED_SeekError) {
  if (!IsChild("SeekError")) GTEST_SKIP();
  ScratchFolder folder;
  std::string name = MakeFile(folder);
  FileObject file;
  ASSERT_TRUE(file.open(name.c_str(), nullptr, false, false));
  file.seek(-100, kSeekEnd);  // before the start of the file
}

}  // namespace
