// The file object's process-wide parts: the open-file list, closeAll and the
// fatal exit. A fatal path ends the process, so it runs in a child: this
// executable started again on one disabled test, which acts only when the
// child variable names it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include <new>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "driver/layer_hooks.h"
#include "driver/sfx_state.h"
#include "support/file_object.h"

using testing_support::Environment;
using testing_support::ScratchFolder;

namespace {

const char kChildVariable[] = "ZIMBRO_SUPPORT_CHILD";
const char kRecordVariable[] = "ZIMBRO_SUPPORT_RECORD";

std::string MakeFile(const ScratchFolder& folder) {
  std::string name = folder.file("data.bin");
  EXPECT_TRUE(testing_support::WriteWholeFile(name, std::string(50, 'd')));
  return name;
}

// Runs FileObjectChild.DISABLED_<test> in a child and returns its exit code
// and what exit_watch.dll recorded while the child ended.
int RunChild(const char* test, std::string* record) {
  ScratchFolder folder;
  std::string recordFile = folder.file("record.txt");
  SetEnvironmentVariableA(kChildVariable, test);
  SetEnvironmentVariableA(kRecordVariable, recordFile.c_str());
  int code = testing_support::RunProcess(
      "\"" + testing_support::SelfPath() +
          "\" --gtest_also_run_disabled_tests --gtest_filter=FileObjectChild.DISABLED_" + test,
      "", 30000);
  SetEnvironmentVariableA(kChildVariable, nullptr);
  SetEnvironmentVariableA(kRecordVariable, nullptr);
  std::vector<uint8_t> text = testing_support::ReadWholeFile(recordFile);
  record->assign(text.begin(), text.end());
  return code;
}

// In the child: exit_watch.dll, loaded from beside this executable, writes
// the exit code record and whether the file is closed when the process ends.
void WatchAtExit(const FileObject* file) {
  std::string self = testing_support::SelfPath();
  HMODULE watch = LoadLibraryA((self.substr(0, self.rfind('\\')) + "\\exit_watch.dll").c_str());
  ASSERT_NE(nullptr, watch);
  typedef void (*WatchFunction)(const char*, const int32_t*, const int32_t*, const HANDLE*);
  WatchFunction start = reinterpret_cast<WatchFunction>(GetProcAddress(watch, "WatchAtExit"));
  ASSERT_NE(nullptr, start);
  start(Environment(kRecordVariable).c_str(), &sfx.exitCode.code, &sfx.exitCode.count,
        &file->handle);
}

// ---------------------------------------------------------------------------
// The open-file list
// ---------------------------------------------------------------------------

TEST(OpenFileList, TheObjectBeyondTheLastSlotWorksButIsNotClosedByCloseAll) {
  ScratchFolder folder;
  std::string name = MakeFile(folder);
  ASSERT_TRUE(closeAll());  // nothing left over from other tests
  std::vector<FileObject> files(kOpenFileSlots + 1);
  for (FileObject& file : files) ASSERT_TRUE(file.open(name.c_str(), nullptr, false, false));
  EXPECT_TRUE(closeAll());
  for (int i = 0; i < kOpenFileSlots; ++i) EXPECT_EQ(INVALID_HANDLE_VALUE, files[i].handle) << i;
  char byte;
  EXPECT_EQ(1, files[kOpenFileSlots].read(&byte, 1));
}

TEST(OpenFileList, ClosedAndDestroyedObjectsLeaveTheList) {
  ScratchFolder folder;
  std::string name = MakeFile(folder);
  ASSERT_TRUE(closeAll());
  alignas(FileObject) unsigned char destroyed[sizeof(FileObject)];
  FileObject* file = new (destroyed) FileObject;
  ASSERT_TRUE(file->open(name.c_str(), nullptr, false, false));
  file->~FileObject();

  // A close that fails inside closeAll: the object is reported and forgotten.
  alignas(FileObject) unsigned char failed[sizeof(FileObject)];
  FileObject* broken = new (failed) FileObject;
  ASSERT_TRUE(broken->open(name.c_str(), nullptr, false, false));
  CloseHandle(broken->handle);  // behind the object's back
  EXPECT_FALSE(closeAll());
  broken->~FileObject();

  // A later closeAll must not reach the dead objects.
  memset(destroyed, 0xCC, sizeof(destroyed));
  memset(failed, 0xCC, sizeof(failed));
  EXPECT_TRUE(closeAll());
}

TEST(OpenFileList, WithoutReportsFailuresAreResults) {
  ScratchFolder folder;
  std::string name = MakeFile(folder);
  FileObject file;
  file.reportErrors = false;
  file.handle = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  char buffer[8];
  EXPECT_EQ(-1, file.read(buffer, 8));
  EXPECT_EQ(kFileErrorRead, file.lastError);
  file.seek(-10, kSeekBegin);  // before the start: ignored
  EXPECT_EQ(0, file.tell());
  file.close();
  EXPECT_EQ(-1, file.tell());
}

// ---------------------------------------------------------------------------
// The fatal exit
// ---------------------------------------------------------------------------

TEST(FatalExit, EndsWithTheGivenCodeWhileTheRecordKeepsItsOwn) {
  std::string record;
  EXPECT_EQ(2, RunChild("FatalExit", &record));
  EXPECT_EQ("code=9 count=2 closed=1", record);
}

TEST(FatalExit, ReadAndSeekErrorsAreFatal) {
  std::string record;
  EXPECT_EQ(2, RunChild("ReadError", &record));
  EXPECT_EQ("code=2 count=1 closed=1", record);
  EXPECT_EQ(2, RunChild("SeekError", &record));
  EXPECT_EQ("code=2 count=1 closed=1", record);
}

TEST(FileObjectChild, DISABLED_FatalExit) {
  if (Environment(kChildVariable) != "FatalExit") GTEST_SKIP();
  ScratchFolder folder;
  static FileObject file;
  ASSERT_TRUE(file.open(MakeFile(folder).c_str(), nullptr, false, false));
  WatchAtExit(&file);
  SetExitCode(9);
  fatalExit(&FatalServices(), 2);
}

TEST(FileObjectChild, DISABLED_ReadError) {
  if (Environment(kChildVariable) != "ReadError") GTEST_SKIP();
  ScratchFolder folder;
  std::string name = MakeFile(folder);
  static FileObject file;
  file.fatalHooks = &FatalServices();
  ASSERT_TRUE(file.open(name.c_str(), nullptr, false, false));
  WatchAtExit(&file);
  // The object's handle swapped for one without read access.
  CloseHandle(file.handle);
  file.handle = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  char buffer[8];
  file.read(buffer, 8);
}

TEST(FileObjectChild, DISABLED_SeekError) {
  if (Environment(kChildVariable) != "SeekError") GTEST_SKIP();
  ScratchFolder folder;
  static FileObject file;
  file.fatalHooks = &FatalServices();
  ASSERT_TRUE(file.open(MakeFile(folder).c_str(), nullptr, false, false));
  WatchAtExit(&file);
  file.seek(-100, kSeekEnd);  // before the start of the file
}

}  // namespace
