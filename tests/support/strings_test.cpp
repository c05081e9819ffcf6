// Strings, memory, characters and the heap: the cases where a look-alike of
// the C library functions would answer differently.
#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include "support/chars.h"
#include "support/portable/heap.h"
#include "support/strings.h"

namespace {

TEST(Strings, EqualityHasNoOrdering) {
  EXPECT_EQ(-1, sameText("abc", "abd"));
  EXPECT_EQ(-1, sameText("abd", "abc"));
  EXPECT_EQ(0, sameText("abc", "abc"));
  EXPECT_EQ(-1, sameBytes("\x01\x02", "\x01\x03", 2));
  EXPECT_EQ(-1, sameBytes("\x01\x03", "\x01\x02", 2));
  EXPECT_EQ(0, sameTextN("abcX", "abcY", 3));
  EXPECT_EQ(-1, sameTextN("ab", "abc", 10));
  EXPECT_EQ(0, compareNoCase("abc", "ABC"));
  EXPECT_LT(compareNoCase("abc", "abd"), 0);
  EXPECT_GT(compareNoCase("ABD", "abc"), 0);
}

TEST(Strings, Copies) {
  char buffer[8];
  memset(buffer, '#', sizeof(buffer));
  copyTextN(buffer, "abc", 3);  // n reached: no terminator
  EXPECT_EQ(0, memcmp(buffer, "abc#", 4));
  memset(buffer, '#', sizeof(buffer));
  copyTextN(buffer, "ab", 6);  // stops after the copied terminator
  EXPECT_EQ(0, memcmp(buffer, "ab\0###", 6));
  char pattern[9] = "ab------";
  copyBytes(pattern + 2, pattern, 6);  // overlapping, ascending
  EXPECT_STREQ("abababab", pattern);
}

TEST(Characters, ParseDecimal) {
  EXPECT_EQ(12, parseDecimal("12ab"));
  EXPECT_EQ(0, parseDecimal("-5"));
  EXPECT_EQ(0, parseDecimal(""));
  EXPECT_EQ(2147483647, parseDecimal("2147483647"));
}

TEST(Characters, SingleByteCodePage) {
  ASSERT_EQ(1252u, GetACP());
  DoubleByteTable table;
  initDoubleByte(&table);
  EXPECT_FALSE(table.active);
  for (int c = 0; c < 256; ++c) EXPECT_FALSE(table.lead[c]) << c;
  wchar_t wide[8];
  ASSERT_TRUE(toWide("caf\xE9", wide, kNoSizeLimit));
  EXPECT_STREQ(L"caf\u00E9", wide);
  EXPECT_EQ('A', upperOem('a'));
  EXPECT_EQ('z', lowerOem('Z'));
  if (GetOEMCP() == 437) EXPECT_EQ(0x90, upperOem(0x82));  // e acute
}

TEST(Heap, ReallocateOfNothingAllocates) {
  char* block = static_cast<char*>(reallocate(nullptr, 10));
  ASSERT_NE(nullptr, block);
  EXPECT_GE(HeapSize(GetProcessHeap(), 0, block), 10u);
  memcpy(block, "012345678", 10);
  char* grown = static_cast<char*>(reallocate(block, 100000));
  ASSERT_NE(nullptr, grown);
  EXPECT_STREQ("012345678", grown);
  release(grown);
  release(nullptr);
  // More than the address space can hold, on either build: 0xFFFFFFF0 bytes
  // in a 32-bit process, 0xFFFFFFFFFFFFFFF0 in a 64-bit one (where a request
  // of 4 GiB would simply succeed).
  const size_t beyondAddressSpace = static_cast<size_t>(0) - 16;
  EXPECT_EQ(sizeof(void*) == 8 ? 0xFFFFFFFFFFFFFFF0ull : 0xFFFFFFF0ull, beyondAddressSpace);
  EXPECT_EQ(nullptr, allocate(beyondAddressSpace));
}

}  // namespace
