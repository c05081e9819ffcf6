// Shortcuts in the prefix's desktop, Start menu, Programs and Startup
// folders, read back through the shell link interface.
#include <objbase.h>
#include <shlobj.h>

#include <string>

#include "driver/script_fixture.h"
#include "driver/sfx_state.h"

namespace {

using namespace script_testing;

struct Link {
  std::string target, arguments, folder, description, icon;
  bool operator==(const Link& o) const {
    return target == o.target && arguments == o.arguments && folder == o.folder &&
           description == o.description && icon == o.icon;
  }
};

std::ostream& operator<<(std::ostream& out, const Link& l) {
  return out << "{target '" << l.target << "', arguments '" << l.arguments << "', folder '" << l.folder
             << "', description '" << l.description << "', icon '" << l.icon << "'}";
}

Link Resolve(const std::string& file) {
  Link link;
  CoInitialize(nullptr);
  IShellLinkA* shell = nullptr;
  IPersistFile* persist = nullptr;
  wchar_t wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                 reinterpret_cast<void**>(&shell))) &&
      SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
      SUCCEEDED(persist->Load(wide, STGM_READ))) {
    char text[1024];
    int index = -1;
    if (SUCCEEDED(shell->GetPath(text, sizeof(text), nullptr, SLGP_RAWPATH))) link.target = text;
    if (SUCCEEDED(shell->GetArguments(text, sizeof(text)))) link.arguments = text;
    if (SUCCEEDED(shell->GetWorkingDirectory(text, sizeof(text)))) link.folder = text;
    if (SUCCEEDED(shell->GetDescription(text, sizeof(text)))) link.description = text;
    if (SUCCEEDED(shell->GetIconLocation(text, sizeof(text), &index))) link.icon = text;
  } else {
    link.target = "(unreadable)";
  }
  if (persist != nullptr) persist->Release();
  if (shell != nullptr) shell->Release();
  CoUninitialize();
  return link;
}

class Shortcuts : public ScriptTest {};

TEST_F(Shortcuts, LocationsTargetsArgumentsAndNames) {
  for (const char* name : {"app.exe", "my app.exe", "notes.txt", "app.ico"}) Put(name);
  const std::string d = destination();
  const struct {
    const char* command;
    int location;
    const char* file;  // in the location
    Link link;
  } cases[] = {
      {"D,app.exe,,Tool description,Zimbro Tool", CSIDL_DESKTOPDIRECTORY, "Zimbro Tool.lnk",
       {d + "\\app.exe", "", d, "Tool description", ""}},
      // A quoted target keeps what follows it, leading blank included.
      {"S,\"\"app.exe\"\" -x,,,Zimbro Quoted", CSIDL_STARTMENU, "Zimbro Quoted.lnk",
       {d + "\\app.exe", " -x", d, "", ""}},
      // Unquoted, the longest existing file before a blank or '/' is the target.
      {"P,app.exe  -x -y,Zimbro Group,,Zimbro Plain", CSIDL_PROGRAMS, "Zimbro Group\\Zimbro Plain.lnk",
       {d + "\\app.exe", "-x -y", d, "", ""}},
      {"p,my app.exe /s,Zimbro Group\\Sub", CSIDL_PROGRAMS, "Zimbro Group\\Sub\\my app.exe.lnk",
       {d + "\\my app.exe", "/s", d, "", ""}},
      {"T,notes.txt", CSIDL_STARTUP, "notes.txt.lnk", {d + "\\notes.txt", "", d, "", ""}},
      {"x,\"\"my app.exe\"\",,Zimbro,Zimbro Icon.LNK,app.ico", CSIDL_DESKTOPDIRECTORY, "Zimbro Icon.LNK",
       {d + "\\my app.exe", "", d, "Zimbro", "app.ico"}},
  };
  std::string script;
  for (const auto& c : cases) script += std::string("Shortcut=") + c.command + "\r\n";
  Run(script, ScriptMode::DialogInit);  // other passes make none
  Run(script, ScriptMode::Shortcuts);
  for (const auto& c : cases) {
    std::string file = ShellFolder(c.location) + "\\" + c.file;
    EXPECT_EQ(c.link, Resolve(file)) << c.command;
    DeleteFileA(file.c_str());
  }
  testing_support::RemoveTree(ShellFolder(CSIDL_PROGRAMS) + "\\Zimbro Group");
}

// A subfolder that leads out of the location's folder is refused with a
// counted line: no folder and no shortcut are made for it.
TEST_F(Shortcuts, SubfolderLeavingTheLocationIsRefused) {
  Put("app.exe");
  const std::string escape = ShellFolder(CSIDL_DESKTOPDIRECTORY) + "\\..\\..\\Zimbro Escape";
  Run("Shortcut=D,app.exe,..\\..\\Zimbro Escape,,Zimbro Escape", ScriptMode::Shortcuts);
  EXPECT_EQ(1, sfx.errorCount);
  EXPECT_FALSE(testing_support::FileExists(escape));
  testing_support::RemoveTree(escape);
}

}  // namespace
