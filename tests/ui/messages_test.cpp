// The messages block: keys, lookup rules, escapes, cuts to the destination,
// the message ring, and the scan of an executable file for the block.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>

#include "driver/sfx_state.h"
#include "tests/ui/block_file.h"
#include "ui/info_window.h"
#include "ui/message_ids.h"
#include "ui/messages.h"

using block_file::Append;
using block_file::ArchiveSignature;
using block_file::Block;
using block_file::Bytes;
using block_file::Entry;
using block_file::Key;
using block_file::LoadedBlock;
using block_file::Marker;
using testing_support::Environment;
using testing_support::FileExists;
using testing_support::ReadWholeFile;
using testing_support::SelfPath;

namespace {

std::string Translate(const char* source, const char* dialogName, const char* kind, int size = 1024) {
  std::vector<char> buffer(size);
  TranslateText(source, buffer.data(), size, dialogName, kind);
  return buffer.data();
}

std::string Message(const char* english) { return Translate(english, nullptr, "s"); }

// ---------------------------------------------------------------------------
// Keys
// ---------------------------------------------------------------------------

TEST(MessageKeys, WorkedExamplesOfTheFormat) {
  EXPECT_EQ("664abaa4", Key("s", "", "Error"));
  EXPECT_EQ("3478d231", Key("$", "STARTDLG", ""));
  EXPECT_EQ("50a17ae8", Key("$", "LTR", "LTR"));
  EXPECT_EQ("077e53df", Key("$", "STARTDLG", "Install"));
}

TEST(MessageKeys, WorkedKeysTranslateTheirTexts) {
  LoadedBlock block(Block(Entry("664abaa4", "Fehler") + Entry("077e53df", "Installieren") +
                          Entry("3478d231", "120*110") + Entry("50a17ae8", "RTL")));
  ASSERT_NE(nullptr, messagesBlock.text);
  EXPECT_STREQ("Fehler", MessageText(kMsgError));
  EXPECT_EQ("Installieren", Translate("Install", "STARTDLG", "$"));
  EXPECT_EQ("120*110", Translate("", "STARTDLG", "$"));
  EXPECT_TRUE(messagesBlock.rightToLeft);
  // Same text, other kind or dialog: other key, no translation.
  EXPECT_EQ("Install", Translate("Install", "LICENSEDLG", "$"));
  EXPECT_EQ("Error", Translate("Error", "STARTDLG", "$"));
  EXPECT_STREQ("Cancel", Translate("Cancel", "STARTDLG", "$").c_str());
}

TEST(MessageKeys, UppercaseKeyHasNoEffect) {
  LoadedBlock block(Block(Entry("664ABAA4", "Fehler") + Entry("077E53DF", "Installieren")));
  ASSERT_NE(nullptr, messagesBlock.text);
  EXPECT_STREQ("Error", MessageText(kMsgError));
  EXPECT_EQ("Install", Translate("Install", "STARTDLG", "$"));
}

// ---------------------------------------------------------------------------
// Entries and lookup
// ---------------------------------------------------------------------------

TEST(Lookup, FirstOfTwoEntriesWins) {
  LoadedBlock block(Block(Entry(Key("s", "", "Close"), "Schliessen") + Entry(Key("s", "", "Close"), "Zu")));
  EXPECT_STREQ("Schliessen", MessageText(kMsgClose));
}

TEST(Lookup, OnlyEntriesAtTheStartOfALineCount) {
  std::string key = Key("s", "", "Close");
  LoadedBlock block(Block("\r\n\n\n  " + key + "=\"indented\"\r\n" + "x" + key + "=\"shifted\"\r\n" + key +
                          "=no quote\r\n" + key + "\"=\"wrong order\"\r\n"));
  ASSERT_NE(nullptr, messagesBlock.text);
  EXPECT_EQ("Close", Message("Close"));
}

TEST(Lookup, EntryOnTheMarkerLineIsIgnored) {
  std::string key = Key("s", "", "Close");
  LoadedBlock block(Marker() + key + "=\"on the marker line\"\r\n" + Entry(key, "second"));
  EXPECT_EQ("second", Message("Close"));
}

TEST(Lookup, ValueRunsToTheLastQuoteOfItsLine) {
  LoadedBlock block(Block(Key("s", "", "Close") + "=\"a \"b\" c\" trailing words\r\n" +
                          Key("s", "", "bytes") + "=\"no closing quote\r\n" + Entry(Key("s", "", "Error"), "")));
  EXPECT_EQ("a \"b\" c", Message("Close"));
  // Without a closing quote the rest of the line is kept with its separator.
  EXPECT_EQ("no closing quote\x0C", Message("bytes"));
  EXPECT_EQ("", Message("Error"));
}

TEST(Lookup, EscapesInValues) {
  LoadedBlock block(Block(Entry(Key("s", "", "1"), "a\\nb") + Entry(Key("s", "", "2"), "a\\rb") +
                          Entry(Key("s", "", "3"), "a\\tb") + Entry(Key("s", "", "4"), "say \\\"hi\\\"!") +
                          Entry(Key("s", "", "5"), "back\\\\slash") + Entry(Key("s", "", "6"), "C:\\files\\x") +
                          Entry(Key("s", "", "7"), "two\\\\nlines") + Entry(Key("s", "", "8"), "ends with \\\"")));
  EXPECT_EQ("a\nb", Message("1"));
  EXPECT_EQ("a\rb", Message("2"));
  EXPECT_EQ("a\tb", Message("3"));
  EXPECT_EQ("say \"hi\"!", Message("4"));
  EXPECT_EQ("back\\slash", Message("5"));
  // A backslash before any other character stays, the character is read normally.
  EXPECT_EQ("C:\\files\\x", Message("6"));
  EXPECT_EQ("two\\nlines", Message("7"));
  EXPECT_EQ("ends with \"", Message("8"));
}

TEST(Lookup, EscapedLineBreakStaysInTheValue) {
  LoadedBlock block(Block(Entry(Key("s", "", "Close"), "line one\\r\\nline two") + Entry(Key("s", "", "Error"), "E")));
  EXPECT_EQ("line one\r\nline two", Message("Close"));
  EXPECT_EQ("E", Message("Error"));
}

TEST(Lookup, RawLineBreakEndsTheEntry) {
  LoadedBlock block(Block(Key("s", "", "Close") + "=\"first half\r\nsecond half\"\r\n" + Entry(Key("s", "", "Error"), "E")));
  EXPECT_EQ("first half\x0C", Message("Close"));
  EXPECT_EQ("E", Message("Error"));
}

TEST(Lookup, EntryOnTheLastLineIsCutAt255) {
  std::string key = Key("s", "", "Close");
  LoadedBlock block(Block(Entry(Key("s", "", "Error"), "E") + key + "=\"" + std::string(400, 'v')));
  EXPECT_EQ(std::string(255, 'v'), Message("Close"));

  LoadedBlock closed(Block(key + "=\"" + std::string(100, 'w') + "\""));
  EXPECT_EQ(std::string(100, 'w'), Message("Close"));
}

TEST(Lookup, BlockEndsAtTheFirstZeroByte) {
  std::string text = Block(Entry(Key("s", "", "Close"), "before")) + '\0' + Entry(Key("s", "", "Error"), "after");
  LoadedBlock block(Bytes(text));
  EXPECT_EQ("before", Message("Close"));
  EXPECT_EQ("Error", Message("Error"));
}

TEST(Lookup, BlockEndsAfter65536Bytes) {
  std::string text = Block(Entry(Key("s", "", "Close"), "near"));
  text += std::string(65536 - text.size() - 5, 'x') + "\r\n";
  std::string late = Entry(Key("s", "", "Error"), "too far");
  text += late + '\0';
  LoadedBlock block(Bytes(text));
  EXPECT_EQ("near", Message("Close"));
  EXPECT_EQ("Error", Message("Error"));
  EXPECT_LE(messagesBlock.length, 65536);
}

// ---------------------------------------------------------------------------
// Values longer than their destination
// ---------------------------------------------------------------------------

class OverlongValues : public ::testing::TestWithParam<int> {};

TEST_P(OverlongValues, AreCutWithoutOverrun) {
  const int size = GetParam();
  const int guard = 64;
  for (int valueLength : {size - 1, size, size + 1, 3 * size, 20000}) {
    LoadedBlock block(Block(Entry(Key("$", "STARTDLG", "Install"), std::string(valueLength, 'L')) +
                            Entry(Key("s", "", "Close"), "x")));
    std::vector<char> buffer(size + guard, '\xA5');
    TranslateText("Install", buffer.data(), size, "STARTDLG", "$");
    EXPECT_EQ(static_cast<size_t>(std::min(valueLength, size - 1)), strlen(buffer.data())) << valueLength;
    for (int i = size; i < size + guard; ++i) ASSERT_EQ('\xA5', buffer[i]) << "overrun at " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Destinations, OverlongValues, ::testing::Values(256, 512, 1024));

TEST(OverlongValuesInPlace, SameBufferIsCutToo) {
  LoadedBlock block(Block(Entry(Key("s", "", "Close"), std::string(5000, 'c'))));
  char buffer[256 + 16];
  memset(buffer, '\x5A', sizeof(buffer));
  strcpy(buffer, "Close");
  TranslateText(buffer, buffer, 256, nullptr, "s");
  EXPECT_EQ(255u, strlen(buffer));
  for (size_t i = 256; i < sizeof(buffer); ++i) EXPECT_EQ('\x5A', buffer[i]);
}

TEST(OverlongValuesInPlace, MessageTextKeepsTo255) {
  LoadedBlock block(Block(Entry("664abaa4", std::string(3000, 'e'))));
  EXPECT_EQ(std::string(255, 'e'), MessageText(kMsgError));
}

// ---------------------------------------------------------------------------
// MessageText
// ---------------------------------------------------------------------------

TEST(MessageText, EnglishWithoutBlock) {
  FreeMessagesBlock();
  EXPECT_STREQ("Error", MessageText(kMsgError));
  EXPECT_STREQ("Extracting %s", MessageText(kMsgExtracting));
  EXPECT_FALSE(messagesBlock.rightToLeft);
}

TEST(MessageText, NinthCallReusesTheFirstBuffer) {
  FreeMessagesBlock();
  char* first = MessageText(kMsgError);
  std::vector<char*> seen{first};
  for (int i = 0; i < 7; ++i) seen.push_back(MessageText(kMsgClose));
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen.end(), std::adjacent_find(seen.begin(), seen.end())) << "eight distinct buffers";
  EXPECT_STREQ("Error", first);
  char* ninth = MessageText(kMsgBytes);
  EXPECT_EQ(first, ninth);
  EXPECT_STREQ("bytes", first);
}

TEST(MessageText, NumberWithoutStringIsEmptyOrTheTranslationOfEmpty) {
  FreeMessagesBlock();
  EXPECT_STREQ("", MessageText(kMsgSeekError));
  EXPECT_STREQ("", MessageText(122));
  LoadedBlock block(Block(Entry(Key("s", "", ""), "Seek error")));
  EXPECT_STREQ("Seek error", MessageText(kMsgSeekError));
  EXPECT_STREQ("Error", MessageText(kMsgError));
}

// Messages are formats: a translation is taken only with the conversions of
// the English text, in the same order.
struct ConversionCase {
  const char* translation;
  const char* shown;
};

TEST(MessageText, TranslationIsTakenOnlyWithTheEnglishConversions) {
  const ConversionCase cases[] = {
      {"Entpacke %s", "Entpacke %s"},
      {"%s wird entpackt", "%s wird entpackt"},
      {"100%% von %s", "100%% von %s"},
      {"Entpacke %s %s %s", "Extracting %s"},
      {"Entpacke", "Extracting %s"},
      {"Entpacke %d", "Extracting %s"},
      {"Entpacke %ls", "Extracting %s"},
      {"Entpacke %s%", "Extracting %s"},
  };
  for (const ConversionCase& c : cases) {
    LoadedBlock block(Block(Entry(Key("s", "", "Extracting %s"), c.translation)));
    EXPECT_STREQ(c.shown, MessageText(kMsgExtracting)) << c.translation;
  }
  LoadedBlock withConversion(Block(Entry(Key("s", "", "Error"), "Fehler in %s")));
  EXPECT_STREQ("Error", MessageText(kMsgError));
}

TEST(MessageText, ATranslationWithExtraConversionsCannotCrashTheMemberLine) {
  sfx.mainWindow = nullptr;
  LoadedBlock block(Block(Entry(Key("s", "", "Extracting %s"), "%s %s %s %s %s %s %s %s")));
  EXPECT_TRUE(ReportMember("member.txt"));
}

TEST(MessageText, TranslatesLineBreakMessages) {
  std::string english = std::string("Errors encountered while performing the operation\n") +
                        "Look at the information window for more details";
  LoadedBlock block(Block(Entry(Key("s", "", english), "Fehler\\naufgetreten")));
  EXPECT_STREQ("Fehler\naufgetreten", MessageText(kMsgErrorsEncountered));
}

// ---------------------------------------------------------------------------
// Direction
// ---------------------------------------------------------------------------

TEST(Direction, OnlyUppercaseRtlMirrors) {
  {
    LoadedBlock block(Block(Entry("50a17ae8", "RTL")));
    EXPECT_TRUE(messagesBlock.rightToLeft);
  }
  EXPECT_FALSE(messagesBlock.rightToLeft);
  for (const char* value : {"rtl", "Rtl", "RTL ", "LTR", ""}) {
    LoadedBlock block(Block(Entry("50a17ae8", value)));
    ASSERT_NE(nullptr, messagesBlock.text);
    EXPECT_FALSE(messagesBlock.rightToLeft) << value;
  }
}

TEST(Direction, NoRtlDialogResourceInTheProduct) {
  EXPECT_EQ(nullptr, FindResourceA(GetModuleHandleA(nullptr), "RTL", RT_DIALOG));
}

// ---------------------------------------------------------------------------
// Scan of the executable file
// ---------------------------------------------------------------------------

std::vector<uint8_t> Filler(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>("stub bytes *\r\n"[i % 14]);
  return bytes;
}

std::string CloseEntryBlock() { return Block(Entry(Key("s", "", "Close"), "Schliessen")); }

bool LoadsBlockAt(size_t offset, size_t totalSize = 0) {
  std::vector<uint8_t> file = Filler(offset);
  Append(&file, Bytes(CloseEntryBlock()));
  if (file.size() < totalSize) Append(&file, Filler(totalSize - file.size()));
  LoadedBlock block(file);
  return Message("Close") == "Schliessen";
}

TEST(Scan, MarkerAtTheStartOfTheFile) { EXPECT_TRUE(LoadsBlockAt(0)); }

// The block counts only right after the program's image: not further on in
// the file, and not in the archive's data (a Stored member that holds it).
TEST(Scan, BlockOnlyRightAfterTheProgramImage) {
  const std::string stub = Environment("ZIMBRO_STUB");
  if (stub.empty() || !FileExists(stub)) GTEST_SKIP() << "the stub is not built";
  const std::vector<uint8_t> image = ReadWholeFile(stub);
  std::string member = "PK";
  member += '\x03';
  member += '\x04';
  member += std::string(26, '\x01') + "member.txt";
  const struct {
    std::string between;
    bool loads;
  } cases[] = {{"", true}, {"\r\n", false}, {member, false}};
  for (const auto& c : cases) {
    std::vector<uint8_t> file = image;
    Append(&file, Bytes(c.between));
    Append(&file, Bytes(CloseEntryBlock()));
    Append(&file, Filler(600000));  // the rest of the archive
    LoadedBlock block(file);
    EXPECT_EQ(c.loads ? "Schliessen" : "Close", Message("Close")) << c.between.size();
  }
}

TEST(Scan, MarkerNeedsAllThreeStars) {
  std::vector<uint8_t> file = Filler(100);
  Append(&file, Bytes(CloseEntryBlock().substr(1)));
  LoadedBlock block(file);
  EXPECT_EQ(nullptr, messagesBlock.text);
}

TEST(Scan, ShortOrMissingFilesLoadNothing) {
  {
    LoadedBlock block(Bytes(Marker().substr(0, 10)));
    EXPECT_EQ(nullptr, messagesBlock.text);
  }
  LoadMessagesBlock("Z:\\no\\such\\folder\\setup.exe");
  EXPECT_EQ(nullptr, messagesBlock.text);
  EXPECT_EQ("Close", Message("Close"));
  FreeMessagesBlock();
}

// The file may still be open for writing elsewhere (a download that has not
// let go of it): the scan shares writing.
TEST(Scan, FileOpenForWritingElsewhereStillLoads) {
  testing_support::ScratchFolder folder;
  std::string path = folder.file("held.exe");
  std::string text = CloseEntryBlock() + '\0';
  ASSERT_TRUE(testing_support::WriteWholeFile(path, text));
  HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  LoadMessagesBlock(path.c_str());
  EXPECT_EQ("Schliessen", Message("Close"));
  FreeMessagesBlock();
  CloseHandle(writer);
}

TEST(Scan, BareNameIsLookedUpNextToTheProgram) {
  std::string self = SelfPath();
  std::string name = "ui-tests-block-" + std::to_string(GetCurrentProcessId()) + ".bin";
  std::string path = self.substr(0, self.rfind('\\') + 1) + name;
  std::string text = CloseEntryBlock() + '\0';
  ASSERT_TRUE(testing_support::WriteWholeFile(path, text));
  LoadMessagesBlock(name.c_str());
  EXPECT_EQ("Schliessen", Message("Close"));
  FreeMessagesBlock();
  DeleteFileA(path.c_str());
}

// This executable holds the scanner and this test's blocks, yet neither the
// marker nor the signature.
TEST(Scan, TestExecutableHasNoBlock) {
  LoadMessagesBlock(SelfPath().c_str());
  EXPECT_EQ(nullptr, messagesBlock.text);
  EXPECT_FALSE(messagesBlock.rightToLeft);
  FreeMessagesBlock();
}

bool Contains(const std::vector<uint8_t>& haystack, const std::string& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

TEST(Scan, StubHasNoBlockNorSignature) {
  std::string stub = Environment("ZIMBRO_STUB");
  if (stub.empty() || !FileExists(stub)) GTEST_SKIP() << "the stub is not built";
  std::vector<uint8_t> image = ReadWholeFile(stub);
  EXPECT_FALSE(Contains(image, Marker()));
  EXPECT_FALSE(Contains(image, ArchiveSignature()));
  LoadMessagesBlock(stub.c_str());
  EXPECT_EQ(nullptr, messagesBlock.text);
  FreeMessagesBlock();
}

// The layout a user makes: stub, block, then a ZIP archive made by Python's
// zipfile. The block ends at the first zero byte of the archive's header.
TEST(Scan, LocalisedInstallerOfStubBlockAndArchive) {
  std::string stub = Environment("ZIMBRO_STUB");
  std::vector<uint8_t> file;
  if (!stub.empty() && FileExists(stub)) {
    file = ReadWholeFile(stub);
  } else {
    // The head of this test program stands in for a stub.
    file = ReadWholeFile(SelfPath());
    file.resize(150000);
  }
  Append(&file, Bytes(Block(Entry("664abaa4", "Fehler") + Entry("077e53df", "&Installieren"))));
  std::vector<uint8_t> archive = ReadWholeFile(Environment("ZIMBRO_TESTDATA") + "\\ui\\sample.zip");
  ASSERT_FALSE(archive.empty());
  Append(&file, archive);
  LoadedBlock block(file);
  EXPECT_STREQ("Fehler", MessageText(kMsgError));
  EXPECT_EQ("&Installieren", Translate("Install", "STARTDLG", "$"));
}

}  // namespace
