// Texts between the publisher's machine and the stub. Linux names, scripts
// and messages blocks are UTF-8; the stub reads bytes of one Windows ANSI
// code page (the "target" code page, 1252 unless told), and names from a few
// old hosts in the matching OEM code page.
#pragma once

#include <iconv.h>

#include <mutex>
#include <string>
#include <string_view>

// The offset of the first byte that does not start a valid UTF-8 sequence,
// or npos.
size_t FindInvalidUtf8(std::string_view text);

// The first character of text (a whole UTF-8 sequence) and its code point
// written as U+XXXX.
std::string DescribeCharacter(std::string_view text);

// A converter keeps iconv's shift state between calls, so a const CodePage
// shared between threads still changes inside: each conversion holds the
// object's lock.
class CodePage {
 public:
  // Throws PackError when this system cannot convert the code page.
  explicit CodePage(int number);
  ~CodePage();
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

  int number() const { return number_; }

  // UTF-8 to the code page. False when a character has no form there;
  // *unwritable then holds that character (UTF-8). Invalid UTF-8 also fails.
  bool Encode(std::string_view utf8, std::string* out, std::string* unwritable = nullptr) const;
  // The code page to UTF-8; a byte without a character shows as \xNN.
  std::string Decode(std::string_view bytes) const;

 private:
  int number_;
  mutable std::mutex mutex_;
  iconv_t encoder_;
  iconv_t decoder_;
};

// The OEM code page that goes with an ANSI code page on Windows (437 when
// none is known).
int OemCodePageOf(int ansiCodePage);

// UTF-16 (as Windows resources hold it) to UTF-8.
std::string Utf16ToUtf8(std::u16string_view text);
