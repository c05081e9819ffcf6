// Double-byte stepping on a double-byte code page. This executable runs with
// a Japanese host locale, so Wine's ANSI code page is 932 (Shift-JIS), where
// the second byte of a character may be 0x5C, the backslash: "\x95\x5C" is
// one character, U+8868. A byte walk would take its second half for a
// separator.
#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include "support/chars.h"
#include "support/paths.h"

namespace {

const char kTable[] = "\x95\x5C";  // one character; its second byte is '\'

class DoubleByte : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { initDoubleByte(&doubleByte); }
  void SetUp() override {
    // Running on a single-byte code page would pass nothing and prove nothing.
    ASSERT_EQ(932u, GetACP()) << "the host locale did not give Shift-JIS";
  }
};

TEST_F(DoubleByte, TableAndConversion) {
  EXPECT_TRUE(doubleByte.active);
  EXPECT_TRUE(doubleByte.lead[0x95]);
  EXPECT_TRUE(doubleByte.lead[0x81]);
  EXPECT_FALSE(doubleByte.lead['\\']);
  EXPECT_FALSE(doubleByte.lead[0xA1]);  // half-width katakana are single bytes
  wchar_t wide[8];
  ASSERT_TRUE(toWide(kTable, wide, kNoSizeLimit));
  EXPECT_STREQ(L"\u8868", wide);
}

TEST_F(DoubleByte, NextCharNeverPassesTheTerminator) {
  const char* text = "a\x95\x5C" "b";
  EXPECT_EQ(text + 1, nextChar(text));
  EXPECT_EQ(text + 3, nextChar(text + 1));
  const char malformed[] = "a\x95";  // a lead byte directly before the end
  EXPECT_EQ(malformed + 2, nextChar(malformed + 1));
  EXPECT_EQ('\0', *nextChar(malformed + 1));
}

TEST_F(DoubleByte, SearchesSkipTrailBytes) {
  const char* text = "a\\\x95\x5C";
  EXPECT_EQ(text + 1, findLastCharDbcs(text, '\\'));
  EXPECT_EQ(nullptr, findCharDbcs(kTable, '\\'));
  EXPECT_EQ(nullptr, findLastCharDbcs(kTable, '\\'));
  const char* after = "\x95\x5C\\x";
  EXPECT_EQ(after + 2, findCharDbcs(after, '\\'));
  const char malformed[] = "\x95";
  EXPECT_EQ(nullptr, findLastCharDbcs(malformed, '\\'));
  EXPECT_EQ(malformed + 1, findCharDbcs(malformed, '\0'));
}

TEST_F(DoubleByte, NameFunctions) {
  const char* path = "dir\\\x95\x5C";
  EXPECT_EQ(path + 4, nameOf(path));
  EXPECT_EQ(path + 4, lastCharOf(path));
  const char* name = "a.b\x95\x5C";
  EXPECT_EQ(name + 1, extensionOf(name));

  char stripped[] = "dir\\\x95\x5C";
  stripName(stripped);
  EXPECT_STREQ("dir", stripped);
  char inner[] = "\x95\x5C\\f";
  stripName(inner);
  EXPECT_STREQ(kTable, inner);

  char slashes[] = "\x95\x5C/x/";
  toBackslashes(slashes, nullptr, 0);
  EXPECT_STREQ("\x95\x5C\\x\\", slashes);
  char source[] = "a/\x95";  // malformed end: copied as it is, terminated
  char destination[8];
  memset(destination, '#', sizeof(destination));
  toBackslashes(source, destination, sizeof(destination));
  EXPECT_STREQ("a\\\x95", destination);

  char root[64];
  pathRoot("\\\\srv\x95\x5C\\share\\dir", root);
  EXPECT_STREQ("\\\\srv\x95\x5C\\share\\", root);
}

}  // namespace
