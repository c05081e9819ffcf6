// Character sets and double-byte stepping.
//
// The double-byte table is a plain array filled once at start-up rather than a
// call to IsDBCSLeadByte per byte: name walks run over every member name of
// the archive and must stay cheap. On a single-byte code page every lead flag
// is false, so the stepping below degenerates to byte steps by itself.
#include "support/chars.h"

#include <windows.h>

DoubleByteTable doubleByte;

// ---------------------------------------------------------------------------
// Code page conversion and the double-byte table
// ---------------------------------------------------------------------------

void initDoubleByte(DoubleByteTable* table) {
  CPINFO info;
  table->active = GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1;
  for (int c = 0; c < 256; ++c) {
    table->lead[c] = IsDBCSLeadByte(static_cast<BYTE>(c)) != FALSE;
  }
}

bool toNarrow(const wchar_t* text, char* destination, int size) {
  return WideCharToMultiByte(CP_ACP, 0, text, -1, destination, size, nullptr, nullptr) != 0;
}

bool toWide(const char* text, wchar_t* destination, int size) {
  return MultiByteToWideChar(CP_ACP, 0, text, -1, destination, size) != 0;
}

// ---------------------------------------------------------------------------
// Stepping and searching by characters
// ---------------------------------------------------------------------------

static bool isLeadByte(char byte) { return doubleByte.lead[static_cast<unsigned char>(byte)]; }

const char* nextChar(const char* position) {
  // A lead byte with the terminator right after it is malformed text; taking
  // it as one byte keeps every walk in front of the terminator.
  if (isLeadByte(position[0]) && position[1] != '\0') return position + 2;
  return position + 1;
}

char* nextChar(char* position) {
  return const_cast<char*>(nextChar(const_cast<const char*>(position)));
}

const char* findCharDbcs(const char* text, char byte) {
  for (;; text = nextChar(text)) {
    if (*text == byte) return text;
    if (*text == '\0') return nullptr;
  }
}

const char* findLastCharDbcs(const char* text, char byte) {
  const char* found = nullptr;
  for (;; text = nextChar(text)) {
    if (*text == byte) found = text;
    if (*text == '\0') return found;
  }
}

char* findCharDbcs(char* text, char byte) {
  return const_cast<char*>(findCharDbcs(const_cast<const char*>(text), byte));
}

char* findLastCharDbcs(char* text, char byte) {
  return const_cast<char*>(findLastCharDbcs(const_cast<const char*>(text), byte));
}

// ---------------------------------------------------------------------------
// Case mapping of one OEM character
// ---------------------------------------------------------------------------

// ZIP names and passwords come in the OEM code page; the case rules live in
// the ANSI functions, so the character makes a round trip through ANSI.
static unsigned char mapOem(unsigned char character, bool upper) {
  char oem = static_cast<char>(character);
  char ansi = 0;
  OemToCharBuffA(&oem, &ansi, 1);
  // With a zero high word the argument is the character itself, not a string.
  ULONG_PTR single = static_cast<unsigned char>(ansi);
  LPSTR mapped = upper ? CharUpperA(reinterpret_cast<LPSTR>(single))
                       : CharLowerA(reinterpret_cast<LPSTR>(single));
  ansi = static_cast<char>(reinterpret_cast<ULONG_PTR>(mapped) & 0xFF);
  CharToOemBuffA(&ansi, &oem, 1);
  return static_cast<unsigned char>(oem);
}

unsigned char upperOem(unsigned char character) { return mapOem(character, true); }
unsigned char lowerOem(unsigned char character) { return mapOem(character, false); }

// ---------------------------------------------------------------------------
// Numbers
// ---------------------------------------------------------------------------

int32_t parseDecimal(const char* text) {
  // Unsigned arithmetic: an over-long number wraps instead of being undefined.
  uint32_t value = 0;
  for (; isDigit(*text); ++text) value = value * 10 + static_cast<uint32_t>(*text - '0');
  return static_cast<int32_t>(value);
}
