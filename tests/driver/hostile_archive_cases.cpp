// Hostile archives through the whole program, run silently as a calling
// script runs an installer: names that must be refused, damaged data, what
// cannot be extracted, UTF-8 names, Zip64 records and absurd directory fields. Each run is
// checked for its exit code, the summary it shows and the files it leaves,
// in the destination and beside it. The installers are made by
// make_setup_programs.py, byte by byte.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "driver/running_installer.h"
#include "driver/script_fixture.h"

namespace {

using app_testing::ControlText;
using app_testing::InstallerPath;
using app_testing::RunningInstaller;

const char kCaption[] = "Zimbro self-extracting archive";
const char kCorrupt[] = "Some installation files are corrupt.";
const char kErrors[] = "Errors encountered while performing the operation";

std::string Utf8(const std::wstring& text) {
  char buffer[2048];
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, buffer, sizeof(buffer), nullptr, nullptr);
  return n > 0 ? std::string(buffer) : std::string();
}

// Every entry below folder as UTF-8 relative paths with '/'; folders end in
// '/'. Wide calls, so that names outside the code page show as they are.
void ListTree(const std::wstring& folder, const std::string& prefix, std::vector<std::string>* entries) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    std::string entry = prefix + Utf8(name);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      entries->push_back(entry + "/");
      ListTree(folder + L"\\" + name, entry + "/", entries);
    } else {
      entries->push_back(entry);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(entries->begin(), entries->end());
}

std::vector<std::string> Tree(const std::string& folder) {
  wchar_t wide[1024];
  MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, wide, 1024);
  std::vector<std::string> entries;
  ListTree(wide, "", &entries);
  return entries;
}

class HostileArchive : public script_testing::ScriptTest {
 protected:
  // Runs the installer silently in a destination of its own, answers the
  // summary a run with errors shows (OK, then Close) and gives the exit
  // code; summary gets the summary's text, empty when none was shown.
  int RunSilently(const std::string& exe, std::string* summary) {
    RunningInstaller run(exe, "/s", folder_);
    summary->clear();
    HWND box = run.WaitForMessageBox(summary, 30000);
    if (box != nullptr) {
      RunningInstaller::Press(box, IDOK);
      HWND dialog = run.WaitForWindow([](HWND window) {
        HWND button = GetDlgItem(window, IDOK);
        return button != nullptr && GetDlgItem(window, 103) != nullptr && ControlText(button) == "Close";
      });
      if (dialog != nullptr) RunningInstaller::Press(dialog, IDOK);
    }
    return run.Finish();
  }

  void SetUp() override {
    ScriptTest::SetUp();
    // The destination is a folder inside the scratch folder, so that a file
    // written beside it shows.
    folder_ = destination() + "\\dest";
    CreateDirectoryA(folder_.c_str(), nullptr);
  }

  std::string folder_;
};

struct Case {
  const char* installer;
  int exitCode;
  const char* summary;  // the start of the summary text; "" for none
  std::vector<std::string> left;  // the destination's tree afterwards
  bool exact = true;  // false: these at least (another test owns the rest)
};

TEST_F(HostileArchive, EachCountedErrorEndsWithItsCodeAndLeavesOnlyTheGoodFiles) {
  const std::vector<std::string> justOk = {"ok.txt"};
  const Case cases[] = {
      // Refused names: never created, exit code 3.
      {"h-parent.exe", 3, kCorrupt, justOk},
      {"h-con.exe", 3, kCorrupt, justOk},
      {"h-nul-ext.exe", 3, kCorrupt, justOk},
      {"h-com9.exe", 3, kCorrupt, justOk},
      {"h-lpt1.exe", 3, kCorrupt, justOk},
      {"h-dot.exe", 3, kCorrupt, justOk},
      {"h-blank.exe", 3, kCorrupt, justOk},
      {"h-folder-dot.exe", 3, kCorrupt, justOk},
      {"h-component.exe", 3, kCorrupt, justOk},
      {"h-long-path.exe", 3, kCorrupt, justOk},
      {"h-utf8-bad.exe", 3, kCorrupt, justOk},
      // Damaged member data: exit code 3, and no partial file.
      {"h-damaged.exe", 3, kCorrupt, justOk},
      // No code of their own: exit code 1, never 0.
      {"h-method.exe", 1, kErrors, justOk},
      {"h-strong.exe", 1, kErrors, justOk},
      // Version needed 6.3 for nothing the member uses: extracted.
      {"h-version.exe", 0, "", {"new.bin", "ok.txt"}},
      // Limits: clean errors, bounded memory, what can be read comes out.
      {"h-many.exe", 3, kCorrupt, {"a.txt", "ok.txt"}},
      {"h-bigdir.exe", 3, kCorrupt, {}},
      {"h-comment.exe", 1, kErrors, {"a.txt", "ok.txt"}},
      {"h-namelen.exe", 3, kCorrupt, {}},
      // Zip64: sound records are read; a locator that names nothing, an
      // absurd count, a Zip64 field short of its markers and an offset that
      // overflows with the shift end cleanly. Signatures in a classic
      // archive's own bytes where the records would lie are no records.
      {"h-z64.exe", 0, "", {"a.txt", "ok.txt"}},
      {"h-z64-lookalike.exe", 0, "", {"a.txt", "ok.txt"}},
      {"h-z64-lookalike-record.exe", 0, "", {"a.txt", "ok.txt"}},
      {"h-z64-fields.exe", 0, "", {"a.txt", "ok.txt"}},
      {"h-z64-locator-outside.exe", 3, kCorrupt, {}},
      {"h-z64-count.exe", 3, kCorrupt, {"a.txt", "ok.txt"}},
      {"h-z64-short.exe", 3, kCorrupt, justOk},
      {"h-z64-offset.exe", 3, kCorrupt, justOk},
  };
  for (const Case& c : cases) {
    std::string summary;
    EXPECT_EQ(c.exitCode, RunSilently(InstallerPath(c.installer), &summary)) << c.installer;
    EXPECT_EQ(0u, summary.find(c.summary)) << c.installer << ": " << summary;
    std::vector<std::string> tree = Tree(folder_);
    if (c.exact) {
      EXPECT_EQ(c.left, tree) << c.installer;
    } else {
      for (const std::string& entry : c.left) {
        EXPECT_NE(tree.end(), std::find(tree.begin(), tree.end(), entry)) << c.installer << ": " << entry;
      }
    }
    // Nothing beside the destination either.
    for (const std::string& entry : Tree(destination())) {
      EXPECT_EQ(0u, entry.find("dest/")) << c.installer << ": " << entry;
    }
    testing_support::RemoveTree(folder_);
    CreateDirectoryA(folder_.c_str(), nullptr);
  }
}

TEST_F(HostileArchive, Utf8NamesAreCreatedWithTheirRealCharacters) {
  std::string summary;
  EXPECT_EQ(0, RunSilently(InstallerPath("h-utf8.exe"), &summary));
  EXPECT_EQ("", summary);
  EXPECT_EQ(std::vector<std::string>({"caf\xC3\xA9/", "caf\xC3\xA9/na\xC3\xAFve.txt", "ok.txt",
                                      "\xC3\x9Cnic\xC3\xB6" "de/", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt"}),
            Tree(folder_));
}

TEST_F(HostileArchive, Utf8NamesOnWindows98TakeTheCodePageOrAreRefused) {
  // The same installer under another name that Wine runs as Windows 98.
  std::string name = "zimbro_win98_" + std::to_string(GetCurrentProcessId()) + ".exe";
  std::string copy = destination() + "\\" + name;
  ASSERT_TRUE(CopyFileA(InstallerPath("h-utf8.exe").c_str(), copy.c_str(), FALSE));
  std::string key = "Software\\Wine\\AppDefaults\\" + name;
  HKEY handle;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                           &handle, nullptr));
  RegSetValueExA(handle, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6);
  RegCloseKey(handle);
  std::string summary;
  int code = RunSilently(copy, &summary);
  RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
  DeleteFileA(copy.c_str());
  // The Latin names fit code page 1252; the Japanese one does not.
  EXPECT_EQ(3, code);
  EXPECT_EQ(0u, summary.find(kCorrupt)) << summary;
  EXPECT_EQ(std::vector<std::string>({"caf\xC3\xA9/", "caf\xC3\xA9/na\xC3\xAFve.txt", "ok.txt",
                                      "\xC3\x9Cnic\xC3\xB6" "de/"}),
            Tree(folder_));
}

}  // namespace
