// UTF-8, as member names flagged by the ZIP general-purpose bit 11 hold it.
// Decoded here rather than by the system: the 9x family's conversion calls
// do not all know UTF-8, and a name must be refused, not guessed, when its
// bytes are not well-formed.
#pragma once

#include <stdint.h>
#include <wchar.h>

// Decodes length bytes of text (-1: up to the terminator) into UTF-16 with a
// terminator. Returns the UTF-16 units written (terminator not counted), or
// -1 when the text is not well-formed UTF-8 (a stray or missing continuation
// byte, an overlong form, a surrogate, a value past U+10FFFF, a NUL inside
// the counted length) or does not fit size units. A null destination only
// counts.
int32_t utf8ToWide(const char* text, int32_t length, wchar_t* destination, int32_t size);

// Encodes UTF-16 text (up to its terminator) as UTF-8 into destination
// (size bytes, terminator included); stops before a character that would
// not fit. An unpaired surrogate becomes U+FFFD. Returns the bytes written
// (terminator not counted).
int32_t wideToUtf8(const wchar_t* text, char* destination, int32_t size);
