// UTF-8 decoding of member names: well-formed text in, UTF-16 out; anything
// malformed refused as a whole.
#include <gtest/gtest.h>

#include <string>

#include "support/utf8.h"

namespace {

struct Case {
  const char* text;
  std::wstring expected;  // L"!" for "refused"
};

TEST(Utf8ToWide, DecodesWellFormedTextAndRefusesTheRest) {
  const Case cases[] = {
      {"plain.txt", L"plain.txt"},
      {"", L""},
      {"caf\xC3\xA9", L"caf\u00E9"},
      {"\xE6\x97\xA5\xE6\x9C\xAC", L"\u65E5\u672C"},
      {"\xF0\x9F\x98\x80", L"\xD83D\xDE00"},  // beyond the BMP: a surrogate pair
      {"\xEF\xBF\xBF", L"\uFFFF"},
      {"bad\xC3(", L"!"},                       // a lead byte without its continuation
      {"\x80", L"!"},                           // a stray continuation byte
      {"\xC0\xAF", L"!"},                       // "/" in an overlong form
      {"\xE0\x80\xAF", L"!"},                   // the same, three bytes
      {"\xED\xA0\x80", L"!"},                   // a surrogate
      {"\xF4\x90\x80\x80", L"!"},               // past U+10FFFF
      {"\xF8\x88\x80\x80\x80", L"!"},           // a five-byte form
      {"cut\xE6\x97", L"!"},                    // cut at the end
  };
  for (const Case& c : cases) {
    wchar_t wide[32];
    int32_t n = utf8ToWide(c.text, -1, wide, 32);
    if (c.expected == L"!") {
      EXPECT_EQ(-1, n) << c.text;
      EXPECT_EQ(-1, utf8ToWide(c.text, -1, nullptr, 0)) << c.text;
    } else {
      ASSERT_EQ(static_cast<int32_t>(c.expected.size()), n) << c.text;
      EXPECT_EQ(c.expected, std::wstring(wide)) << c.text;
      EXPECT_EQ(n, utf8ToWide(c.text, -1, nullptr, 0)) << c.text;
    }
  }
}

TEST(Utf8ToWide, CountsOnlyTheGivenLengthAndKeepsWithinTheDestination) {
  wchar_t wide[4];
  EXPECT_EQ(2, utf8ToWide("abc", 2, wide, 4));
  EXPECT_EQ(std::wstring(L"ab"), wide);
  EXPECT_EQ(3, utf8ToWide("abc", -1, wide, 4));
  EXPECT_EQ(-1, utf8ToWide("abcd", -1, wide, 4));  // no room for the terminator
  EXPECT_EQ(-1, utf8ToWide("a\0b", 3, wide, 4));    // a NUL inside the length
}

}  // namespace
