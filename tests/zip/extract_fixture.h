// A fixture for tests that run the whole extraction engine: a fresh
// destination folder made current for the run, the process-wide run state
// reset, and the archives that tests/zip/make_test_archives.py left in
// ZIMBRO_TESTDATA.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "common/test_support.h"
#include "zip/engine.h"
#include "zip/engine_ui.h"

namespace extract_testing {

// The Windows path of a file made by the fixture script.
std::string TestData(const std::string& name);

// Every file below a folder, as relative paths with '\'; folders end in '\'.
std::vector<std::string> ListTree(const std::string& folder);

// Local clock time of a file's last write.
SYSTEMTIME LocalWriteTime(const std::string& path);

class ExtractTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs ExtractArchive on a test archive with the destination current,
  // handing it ui_; outcome_ and errorLines_ hold what the engine reported.
  void Extract(const std::string& archiveName);
  void ExtractPath(const std::string& archivePath);
  std::string Out(const std::string& relative) const;
  // Every file of testdata\src came out byte-identical, and the empty folder.
  void ExpectSourcesExtracted();
  // A start dialog (never shown) as sfx.mainWindow: the owner of the
  // prompts, whose information window collects the lines of the run.
  void OpenReport();
  // The lines written since OpenReport, one per element.
  std::vector<std::string> ReportLines();

  // The program's own services, the error lines counted into errorLines_;
  // a test may replace any of them before it extracts.
  EngineUi ui_ = {};
  RunOutcome outcome_ = kRunNothingLost;  // what the last run returned
  int errorLines_ = 0;                    // error lines the engine wrote through ui_

  testing_support::ScratchFolder scratch_;
  std::string destination_;
  char savedDirectory_[MAX_PATH] = {};
  HWND report_ = nullptr;

 private:
  static void countErrorLine(int messageId, const char* argument);
};

}  // namespace extract_testing
