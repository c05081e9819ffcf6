// Strings, memory, characters and the heap: the cases where a plausible
// implementation (a C library look-alike) would give a different answer.
#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include "support/chars.h"
#include "support/heap.h"
#include "support/strings.h"

namespace {

TEST(Strings, EqualityHasNoOrdering) {
  EXPECT_EQ(-1, sameText("abc", "abd"));
  EXPECT_EQ(-1, sameText("abd", "abc"));
  EXPECT_EQ(-1, sameText("ab", "abc"));
  EXPECT_EQ(0, sameText("abc", "abc"));
  EXPECT_EQ(-1, sameBytes("\x01\x02", "\x01\x03", 2));
  EXPECT_EQ(-1, sameBytes("\x01\x03", "\x01\x02", 2));
  EXPECT_EQ(0, sameBytes("\x01\x02x", "\x01\x02y", 2));
  EXPECT_EQ(0, sameTextN("abcX", "abcY", 3));
  EXPECT_EQ(0, sameTextN("ab", "ab", 10));
  EXPECT_EQ(-1, sameTextN("ab", "abc", 10));
}

TEST(Strings, CopyTextNAddsNoTerminatorWhenTheLimitIsReached) {
  char buffer[8];
  memset(buffer, '#', sizeof(buffer));
  copyTextN(buffer, "abc", 3);
  EXPECT_EQ(0, memcmp(buffer, "abc#", 4));
  memset(buffer, '#', sizeof(buffer));
  copyTextN(buffer, "ab", 6);  // stops after the copied terminator
  EXPECT_EQ(0, memcmp(buffer, "ab\0###", 6));
  memset(buffer, '#', sizeof(buffer));
  copyTextCut(buffer, "abcdefgh", 4);
  EXPECT_STREQ("abc", buffer);
}

TEST(Strings, OverlappingCopyTowardsHigherAddressesRepeatsThePattern) {
  char buffer[9] = "ab------";
  copyBytes(buffer + 2, buffer, 6);
  EXPECT_STREQ("abababab", buffer);
}

TEST(Strings, SearchesAndAppend) {
  const char* text = "a.b.c";
  EXPECT_EQ(text + 1, findChar(text, '.'));
  EXPECT_EQ(text + 3, findLastChar(text, '.'));
  EXPECT_EQ(nullptr, findChar(text, 'x'));
  EXPECT_EQ(nullptr, findLastChar(text, 'x'));
  EXPECT_EQ(text + 2, findAnyOf(text, "cb"));
  EXPECT_EQ(nullptr, findAnyOf(text, "xyz"));
  const wchar_t* wide = L"a\\b";
  EXPECT_EQ(wide + 1, findWideChar(wide, L'\\'));
  EXPECT_EQ(wide + 2, findAnyOfWide(wide, L"b*"));
  char joined[16] = "ab";
  EXPECT_STREQ("abcd", appendText(joined, "cd"));
  EXPECT_EQ(4u, textLength(joined));
  EXPECT_EQ(3u, wideLength(wide));
}

TEST(Strings, CompareNoCase) {
  EXPECT_EQ(0, compareNoCase("abc", "ABC"));
  EXPECT_LT(compareNoCase("abc", "abd"), 0);
  EXPECT_GT(compareNoCase("ABD", "abc"), 0);
  EXPECT_EQ(0, compareNoCaseN("abcX", "ABCy", 3));
}

TEST(Strings, FormatTextReturnsTheLength) {
  char buffer[64];
  EXPECT_EQ(8, formatText(buffer, "%s.%d.tmp", "x", 42));
  EXPECT_STREQ("x.42.tmp", buffer);
}

TEST(Characters, ParseDecimal) {
  EXPECT_EQ(12, parseDecimal("12ab"));
  EXPECT_EQ(0, parseDecimal("-5"));
  EXPECT_EQ(0, parseDecimal(" 5"));
  EXPECT_EQ(0, parseDecimal(""));
  EXPECT_EQ(2147483647, parseDecimal("2147483647"));
}

TEST(Characters, CodePageConversionsRoundTrip) {
  wchar_t wide[32];
  ASSERT_TRUE(toWide("caf\xE9", wide, kNoSizeLimit));  // 1252: e acute
  EXPECT_STREQ(L"caf\u00E9", wide);
  char narrow[32];
  ASSERT_TRUE(toNarrow(wide, narrow, kNoSizeLimit));
  EXPECT_STREQ("caf\xE9", narrow);
  EXPECT_FALSE(toNarrow(L"too long", narrow, 3));
}

TEST(Characters, OemCaseMapping) {
  EXPECT_EQ('A', upperOem('a'));
  EXPECT_EQ('z', lowerOem('Z'));
  EXPECT_EQ('1', upperOem('1'));
  // OEM 437: 0x82 is e acute, 0x90 its capital.
  if (GetOEMCP() == 437) {
    EXPECT_EQ(0x90, upperOem(0x82));
    EXPECT_EQ(0x82, lowerOem(0x90));
  }
}

TEST(Characters, SingleByteCodePageStepsByBytes) {
  DoubleByteTable table;
  initDoubleByte(&table);
  ASSERT_EQ(1252u, GetACP());
  EXPECT_FALSE(table.active);
  for (int c = 0; c < 256; ++c) EXPECT_FALSE(table.lead[c]) << c;
}

TEST(Heap, AllocateReallocateRelease) {
  char* block = static_cast<char*>(reallocate(nullptr, 10));
  ASSERT_NE(nullptr, block);
  EXPECT_GE(HeapSize(GetProcessHeap(), 0, block), 10u);
  memcpy(block, "012345678", 10);
  char* grown = static_cast<char*>(reallocate(block, 100000));
  ASSERT_NE(nullptr, grown);
  EXPECT_STREQ("012345678", grown);
  release(grown);
  release(nullptr);
  EXPECT_EQ(nullptr, allocate(0xFFFFFFF0u));
}

}  // namespace
