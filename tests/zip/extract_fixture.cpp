#include "extract_fixture.h"

#include "driver/layer_hooks.h"
#include "common/fresh_run.h"
#include "driver/sfx_state.h"
#include "zip/engine.h"

namespace extract_testing {

using testing_support::Environment;
using testing_support::ReadWholeFile;

std::string TestData(const std::string& name) { return Environment("ZIMBRO_TESTDATA") + "\\" + name; }

static void listInto(const std::string& root, const std::string& relative, std::vector<std::string>* out) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((root + "\\" + relative + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out->push_back(relative + name + "\\");
      listInto(root, relative + name + "\\", out);
    } else {
      out->push_back(relative + name);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

std::vector<std::string> ListTree(const std::string& folder) {
  std::vector<std::string> out;
  listInto(folder, "", &out);
  return out;
}

SYSTEMTIME LocalWriteTime(const std::string& path) {
  SYSTEMTIME result = {};
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return result;
  FILETIME written;
  FILETIME local;
  if (GetFileTime(file, nullptr, nullptr, &written) && FileTimeToLocalFileTime(&written, &local)) {
    FileTimeToSystemTime(&local, &result);
  }
  CloseHandle(file);
  return result;
}

// The fixture whose run is going on: the counting service has no context of
// its own.
static ExtractTest* runningTest;

void ExtractTest::countErrorLine(int messageId, const char* argument) {
  runningTest->errorLines_ += 1;
  EngineServices().errorLine(messageId, argument);
}

void ExtractTest::SetUp() {
  if (Environment("ZIMBRO_TESTDATA").empty()) GTEST_SKIP() << "ZIMBRO_TESTDATA not set";
  ResetRunState();
  ui_ = EngineServices();
  ui_.errorLine = countErrorLine;
  GetCurrentDirectoryA(MAX_PATH, savedDirectory_);
  destination_ = scratch_.path() + "\\dest";
  ASSERT_TRUE(CreateDirectoryA(destination_.c_str(), nullptr));
  ASSERT_TRUE(SetCurrentDirectoryA(destination_.c_str()));
}

static INT_PTR CALLBACK reportProcedure(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

void ExtractTest::OpenReport() {
  report_ = CreateDialogParamA(GetModuleHandleA(nullptr), "STARTDLG", nullptr, reportProcedure, 0);
  ASSERT_NE(nullptr, report_);
  sfx.mainWindow = report_;
}

std::vector<std::string> ExtractTest::ReportLines() {
  char text[8192] = "";
  GetDlgItemTextA(report_, 103, text, sizeof(text));
  std::vector<std::string> lines;
  std::string all = text;
  for (size_t start = 0, end; (end = all.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(all.substr(start, end - start));
  }
  return lines;
}

void ExtractTest::TearDown() {
  if (report_ != nullptr) DestroyWindow(report_);
  if (savedDirectory_[0] != '\0') SetCurrentDirectoryA(savedDirectory_);
  ResetRunState();
}

void ExtractTest::Extract(const std::string& archiveName) { ExtractPath(TestData(archiveName)); }

void ExtractTest::ExtractPath(const std::string& archivePath) {
  runningTest = this;
  errorLines_ = 0;
  outcome_ = ExtractArchive(archivePath.c_str(), ui_);
  runningTest = nullptr;
}

std::string ExtractTest::Out(const std::string& relative) const {
  std::string path = destination_ + "\\" + relative;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

void ExtractTest::ExpectSourcesExtracted() {
  std::string source = TestData("src");
  std::vector<std::string> files = ListTree(source);
  ASSERT_GE(files.size(), 7u) << "the fixture script left no sources";
  for (const std::string& file : files) {
    if (file.back() == '\\') {
      DWORD attributes = GetFileAttributesA(Out(file).c_str());
      EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
          << "folder " << file;
      continue;
    }
    ASSERT_TRUE(testing_support::FileExists(Out(file))) << file;
    EXPECT_TRUE(ReadWholeFile(source + "\\" + file) == ReadWholeFile(Out(file))) << "content of " << file;
  }
}

}  // namespace extract_testing
