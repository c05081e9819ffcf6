// The program's resources as the user meets them: the string table loaded
// by number, and the five dialog templates read field by field.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "tests/ui/dialog_harness.h"
#include "ui/resource_ids.h"

namespace {

// ---------------------------------------------------------------------------
// String table
// ---------------------------------------------------------------------------

std::string LoadString(int id) {
  char buffer[1024] = "";
  int length = LoadStringA(GetModuleHandleA(nullptr), id, buffer, sizeof(buffer));
  return std::string(buffer, length);
}

TEST(StringTable, EveryMessageHasItsText) {
  const std::pair<int, const char*> table[] = {
      {100, "Select destination folder"},
      {101, "Extracting %s"},
      {102, "Skipping %s"},
      {103, "Unexpected end of archive"},
      {104, "The file \"%s\" header is corrupt"},
      {105, "The archive comment header is corrupt"},
      {106, "The archive comment is corrupt"},
      {107, "Not enough memory"},
      {108, "Unknown method in %s"},
      {109, "Cannot open %s"},
      {110, "Cannot create %s"},
      {111, "Cannot create folder %s"},
      {112, "CRC failed in the encrypted file %s (wrong password ?)"},
      {113, "CRC failed in %s"},
      {114, "Packed data CRC failed in %s"},
      {115, "Wrong password for %s"},
      {116, "Write error in the file %s. Probably the disk is full"},
      {117, "Read error in the file %s"},
      {118, "File close error"},
      {119, "The required volume is absent"},
      {120, "The archive is either in unknown format or damaged"},
      {121, "Extracting from %s"},
      {123, "Next volume"},
      {124, "The archive header is corrupt"},
      {125, "Close"},
      {126, "Error"},
      {127, "Errors encountered while performing the operation\nLook at the information window for more details"},
      {128, "bytes"},
      {129, "modified on"},
      {130, "folder is not accessible"},
      {131, "Some files could not be created.\nPlease close all applications, reboot Windows and restart this installation"},
      {132, "Some installation files are corrupt.\nPlease download a fresh copy and retry the installation"},
      {133, "All files"},
      {134, "Cannot start %s"},
      {135, "The arguments given to the installer cannot be passed safely to %s"},
      {136, "Cannot create the log file %s: a run with administrator rights only writes a log file it makes new"},
      {150, "<ul><li>Press <b>Install</b> button to start extraction.</li><br><br>"},
      {151, "<li>Use <b>Browse</b> button to select the destination"},
      {152, "folder from the folders tree. It can be also entered"},
      {153, "manually.</lI><br><br>"},
      {154, "<lI>If the destination folder does not exist, it will be"},
      {155, "created automatically before extraction.</lI></ul>"},
  };
  for (const auto& entry : table) EXPECT_EQ(entry.second, LoadString(entry.first)) << entry.first;
}

TEST(StringTable, LineBreaksAreRealSingleLineFeeds) {
  for (int id : {127, 131, 132}) {
    std::string text = LoadString(id);
    EXPECT_EQ(1, std::count(text.begin(), text.end(), '\n')) << id;
    EXPECT_EQ(std::string::npos, text.find('\\')) << id;
    EXPECT_EQ(std::string::npos, text.find('\r')) << id;
  }
}

TEST(StringTable, GapsHaveNoText) {
  EXPECT_EQ("", LoadString(122));
  for (int id = 137; id <= 149; ++id) EXPECT_EQ("", LoadString(id)) << id;
  EXPECT_EQ("", LoadString(99));
  EXPECT_EQ("", LoadString(156));
}

TEST(Resources, IconAndLogoLoad) {
  HINSTANCE module = GetModuleHandleA(nullptr);
  HICON icon = LoadIconA(module, MAKEINTRESOURCEA(IDI_APP));
  EXPECT_NE(nullptr, icon);
  HBITMAP logo = LoadBitmapA(module, MAKEINTRESOURCEA(IDB_LOGO));
  ASSERT_NE(nullptr, logo);
  BITMAP info;
  ASSERT_NE(0, GetObjectA(logo, sizeof(info), &info));
  // The logo fills the 61 x 186 dialog-unit control: 92 x 302 pixels with
  // the dialog font of Windows at 96 dpi. Fonts with wider characters make
  // the control wider, never narrower.
  RECT units = {0, 0, 61, 186};
  dialog_harness::LiveDialog dialog("STARTDLG");
  MapDialogRect(dialog.window(), &units);
  EXPECT_NEAR(units.bottom, info.bmHeight, 8);
  EXPECT_LE(info.bmWidth, units.right);
  EXPECT_GE(info.bmWidth, 88);
  // Every byte of the stub goes out with every installer: 16 colours.
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(IDB_LOGO), RT_BITMAP);
  ASSERT_NE(nullptr, resource);
  const BITMAPINFOHEADER* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module, resource)));
  EXPECT_LE(header->biBitCount, 4);
  EXPECT_LT(SizeofResource(module, resource), 20000u);
  DeleteObject(logo);
}

// ---------------------------------------------------------------------------
// Dialog templates, read from the extended template format
// ---------------------------------------------------------------------------

struct ControlTemplate {
  int id;
  std::string className;  // "BUTTON", "EDIT", "STATIC", "COMBOBOX" or the class name
  std::string text;
  short x, y, cx, cy;
  DWORD style;
};

struct DialogTemplate {
  std::string caption;
  std::string fontName;
  int fontSize;
  short x, y, cx, cy;
  DWORD style;
  std::vector<ControlTemplate> controls;
};

class TemplateReader {
 public:
  explicit TemplateReader(const BYTE* data) : p_(data) {}
  WORD Word() { WORD v; memcpy(&v, p_, 2); p_ += 2; return v; }
  DWORD Dword() { DWORD v; memcpy(&v, p_, 4); p_ += 4; return v; }
  short Short() { return static_cast<short>(Word()); }
  BYTE Byte() { return *p_++; }
  std::string Text() {
    std::string text;
    for (WORD c; (c = Word()) != 0;) text += static_cast<char>(c);
    return text;
  }
  // A name or an ordinal (0xFFFF then the number).
  std::string NameOrOrdinal() {
    WORD first;
    memcpy(&first, p_, 2);
    if (first == 0xFFFF) {
      Word();
      return "#" + std::to_string(Word());
    }
    return Text();
  }
  void AlignDword(const BYTE* base) {
    while ((p_ - base) % 4 != 0) ++p_;
  }
  void Skip(size_t n) { p_ += n; }

 private:
  const BYTE* p_;
};

DialogTemplate ReadTemplate(const char* name) {
  HINSTANCE module = GetModuleHandleA(nullptr);
  HRSRC resource = FindResourceA(module, name, RT_DIALOG);
  EXPECT_NE(nullptr, resource) << name;
  const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
  TemplateReader r(base);
  DialogTemplate t;
  EXPECT_EQ(1, r.Word());
  EXPECT_EQ(0xFFFF, r.Word()) << "extended template";
  r.Dword();  // help id
  r.Dword();  // extended style
  t.style = r.Dword();
  int count = r.Word();
  t.x = r.Short();
  t.y = r.Short();
  t.cx = r.Short();
  t.cy = r.Short();
  EXPECT_EQ("", r.NameOrOrdinal()) << "no menu";
  EXPECT_EQ("", r.NameOrOrdinal()) << "standard dialog class";
  t.caption = r.Text();
  t.fontSize = 0;
  if (t.style & DS_SETFONT) {
    t.fontSize = r.Word();
    r.Word();  // weight
    r.Byte();  // italic
    r.Byte();  // character set
    t.fontName = r.Text();
  }
  static const char* const kAtoms[] = {"BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX"};
  for (int i = 0; i < count; ++i) {
    r.AlignDword(base);
    ControlTemplate c;
    r.Dword();  // help id
    r.Dword();  // extended style
    c.style = r.Dword();
    c.x = r.Short();
    c.y = r.Short();
    c.cx = r.Short();
    c.cy = r.Short();
    c.id = static_cast<int>(r.Dword());
    c.className = r.NameOrOrdinal();
    if (c.className.size() > 1 && c.className[0] == '#') {
      int atom = std::stoi(c.className.substr(1));
      if (atom >= 0x80 && atom <= 0x85) c.className = kAtoms[atom - 0x80];
    }
    for (char& ch : c.className) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
    c.text = r.NameOrOrdinal();
    r.Skip(r.Word());  // creation data
    t.controls.push_back(c);
  }
  return t;
}

struct Expected {
  int id;
  const char* className;
  short x, y, cx, cy;
  const char* text;
  DWORD styleBits;  // bits that must be set
  DWORD styleMask;  // when not 0: (style & mask) must equal styleBits & mask
};

void ExpectTemplate(const char* name, const char* caption, short x, short y, short cx, short cy, DWORD dialogStyle,
                    const std::vector<Expected>& controls) {
  SCOPED_TRACE(name);
  DialogTemplate t = ReadTemplate(name);
  EXPECT_EQ(caption, t.caption);
  EXPECT_EQ("MS Sans Serif", t.fontName);
  EXPECT_EQ(8, t.fontSize);
  EXPECT_EQ(x, t.x);
  EXPECT_EQ(y, t.y);
  EXPECT_EQ(cx, t.cx);
  EXPECT_EQ(cy, t.cy);
  EXPECT_EQ(dialogStyle, t.style & dialogStyle);
  ASSERT_EQ(controls.size(), t.controls.size());
  for (size_t i = 0; i < controls.size(); ++i) {
    const Expected& e = controls[i];
    const ControlTemplate& c = t.controls[i];
    SCOPED_TRACE("control #" + std::to_string(i) + " id " + std::to_string(e.id));
    EXPECT_EQ(e.id, c.id);
    EXPECT_EQ(e.className, c.className);
    EXPECT_EQ(e.x, c.x);
    EXPECT_EQ(e.y, c.y);
    EXPECT_EQ(e.cx, c.cx);
    EXPECT_EQ(e.cy, c.cy);
    EXPECT_EQ(e.text, c.text);
    EXPECT_TRUE(c.style & WS_CHILD);
    EXPECT_TRUE(c.style & WS_VISIBLE);
    if (e.styleMask != 0) {
      EXPECT_EQ(e.styleBits & e.styleMask, c.style & e.styleMask) << std::hex << c.style;
    } else {
      EXPECT_EQ(e.styleBits, c.style & e.styleBits) << std::hex << c.style;
    }
  }
}

const DWORD kPopupCaption = WS_POPUP | WS_CAPTION | WS_SYSMENU;
const DWORD kButtonType = 0x0F;
const DWORD kStaticType = SS_TYPEMASK;

TEST(DialogTemplates, StartDialog) {
  ExpectTemplate("STARTDLG", "Zimbro self-extracting archive", 0, 0, 347, 224,
                 kPopupCaption | WS_MINIMIZEBOX | DS_CENTER,
                 {
                     {105, "STATIC", 6, 9, 61, 186, "", SS_BITMAP, kStaticType},
                     {65535, "STATIC", 75, 147, 84, 8, "&Destination folder", SS_LEFT, kStaticType},
                     {101, "COMBOBOX", 75, 157, 196, 24, "", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_TABSTOP, 0},
                     {102, "BUTTON", 278, 156, 60, 14, "Bro&wse...", BS_PUSHBUTTON | WS_TABSTOP, kButtonType},
                     {103, "EDIT", 75, 9, 264, 131, "", ES_MULTILINE | ES_READONLY, 0},
                     {65535, "STATIC", 75, 175, 84, 8, "Installation progress", SS_LEFT, kStaticType},
                     {104, "MSCTLS_PROGRESS32", 75, 185, 264, 10, "", 0, 0},
                     {65535, "STATIC", 0, 201, 349, 1, "", SS_ETCHEDHORZ, kStaticType},
                     {1, "BUTTON", 211, 207, 60, 14, "Install", BS_DEFPUSHBUTTON, kButtonType},
                     {2, "BUTTON", 278, 207, 60, 14, "Cancel", BS_PUSHBUTTON, kButtonType},
                 });
}

TEST(DialogTemplates, LicenseDialog) {
  ExpectTemplate("LICENSEDLG", "License", 0, 0, 347, 224, kPopupCaption | DS_CENTER,
                 {
                     {102, "STATIC", 6, 9, 61, 186, "", SS_BITMAP, kStaticType},
                     {101, "EDIT", 75, 9, 264, 186, "", ES_MULTILINE | ES_READONLY, 0},
                     {65535, "STATIC", 0, 201, 349, 1, "", SS_ETCHEDHORZ, kStaticType},
                     {1, "BUTTON", 211, 207, 60, 14, "Accept", BS_DEFPUSHBUTTON, kButtonType},
                     {2, "BUTTON", 278, 207, 60, 14, "Decline", BS_PUSHBUTTON, kButtonType},
                 });
}

TEST(DialogTemplates, PasswordDialog) {
  ExpectTemplate("GETPASSWORD1", "Enter password", 38, 46, 183, 67, kPopupCaption | DS_MODALFRAME | DS_CENTER,
                 {
                     {65535, "STATIC", 6, 8, 170, 8, "&Enter password for the encrypted file:", SS_LEFT, kStaticType},
                     {101, "EDIT", 6, 26, 170, 12, "", ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER, 0},
                     {1, "BUTTON", 36, 48, 50, 14, "OK", BS_DEFPUSHBUTTON, kButtonType},
                     {2, "BUTTON", 96, 48, 50, 14, "Cancel", BS_PUSHBUTTON, kButtonType},
                     {102, "STATIC", 6, 16, 170, 8, "", SS_PATHELLIPSIS, 0},
                 });
}

TEST(DialogTemplates, ReplaceDialog) {
  ExpectTemplate("REPLACEFILEDLG", "Confirm file replace", 52, 42, 168, 145, kPopupCaption | DS_MODALFRAME,
                 {
                     {65535, "STATIC", 9, 8, 149, 8, "The following file already exists", SS_CENTER, kStaticType},
                     {101, "STATIC", 9, 18, 149, 8, "", SS_LEFTNOWORDWRAP | SS_PATHELLIPSIS, kStaticType | SS_PATHELLIPSIS},
                     {65535, "STATIC", 9, 33, 149, 8, "Would you like to replace the existing file", SS_LEFT, kStaticType},
                     {102, "STATIC", 10, 46, 18, 20, "", SS_ICON, kStaticType},
                     {104, "STATIC", 37, 47, 121, 8, "", SS_LEFT, kStaticType},
                     {106, "STATIC", 37, 57, 121, 8, "", SS_LEFT, kStaticType},
                     {65535, "STATIC", 9, 71, 149, 8, "with this one ?", SS_LEFT, kStaticType},
                     {103, "STATIC", 10, 84, 18, 20, "", SS_ICON, kStaticType},
                     {105, "STATIC", 37, 85, 121, 8, "", SS_LEFT, kStaticType},
                     {107, "STATIC", 37, 95, 121, 8, "", SS_LEFT, kStaticType},
                     {65535, "BUTTON", 2, -1, 164, 111, "", BS_GROUPBOX, kButtonType},
                     {108, "BUTTON", 9, 115, 50, 13, "&Yes", BS_DEFPUSHBUTTON, kButtonType},
                     {111, "BUTTON", 59, 115, 50, 13, "Yes to &All", BS_PUSHBUTTON, kButtonType},
                     {110, "BUTTON", 109, 115, 50, 13, "&Rename", BS_PUSHBUTTON, kButtonType},
                     {109, "BUTTON", 9, 128, 50, 13, "&No", BS_PUSHBUTTON, kButtonType},
                     {112, "BUTTON", 59, 128, 50, 13, "No to A&ll", BS_PUSHBUTTON, kButtonType},
                     {113, "BUTTON", 109, 128, 50, 13, "&Cancel", BS_PUSHBUTTON, kButtonType},
                 });
}

TEST(DialogTemplates, RenameDialog) {
  ExpectTemplate("RENAMEDLG", "Rename", 96, 82, 158, 93, kPopupCaption | DS_MODALFRAME,
                 {
                     {102, "EDIT", 6, 49, 145, 12, "", ES_AUTOHSCROLL | WS_BORDER, ES_AUTOHSCROLL | WS_BORDER | ES_READONLY},
                     {1, "BUTTON", 22, 74, 50, 14, "OK", BS_DEFPUSHBUTTON, kButtonType},
                     {2, "BUTTON", 83, 74, 50, 14, "Cancel", BS_PUSHBUTTON, kButtonType},
                     {65535, "STATIC", 6, 11, 145, 8, "Rename file", SS_LEFT, kStaticType},
                     {101, "EDIT", 6, 22, 145, 12, "", ES_READONLY | ES_AUTOHSCROLL | WS_BORDER, 0},
                     {65535, "STATIC", 6, 38, 145, 8, "to", SS_LEFT, kStaticType},
                     {65535, "BUTTON", 3, 2, 153, 67, "", BS_GROUPBOX, kButtonType},
                 });
}

// The templates turned into windows: the font the user reads and each
// control where the template puts it.
TEST(DialogTemplates, LiveDialogsMatchTheirTemplates) {
  for (const char* name : dialog_harness::kDialogNames) {
    SCOPED_TRACE(name);
    DialogTemplate t = ReadTemplate(name);
    dialog_harness::LiveDialog dialog(name);
    ASSERT_NE(nullptr, dialog.window());
    EXPECT_EQ(t.caption, dialog_harness::WindowText(dialog.window()));
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog.window(), WM_GETFONT, 0, 0));
    ASSERT_NE(nullptr, font);
    LOGFONTA logFont;
    ASSERT_NE(0, GetObjectA(font, sizeof(logFont), &logFont));
    EXPECT_STREQ("MS Sans Serif", logFont.lfFaceName);
    for (const ControlTemplate& c : t.controls) {
      if (c.id == 65535) continue;
      HWND control = GetDlgItem(dialog.window(), c.id);
      ASSERT_NE(nullptr, control) << c.id;
      RECT expected = {c.x, c.y, c.x + c.cx, c.y + c.cy};
      MapDialogRect(dialog.window(), &expected);
      RECT actual;
      GetWindowRect(control, &actual);
      MapWindowPoints(nullptr, dialog.window(), reinterpret_cast<POINT*>(&actual), 2);
      EXPECT_EQ(expected.left, actual.left) << c.id;
      EXPECT_EQ(expected.top, actual.top) << c.id;
    }
  }
}

}  // namespace
