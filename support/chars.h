// Character sets: ANSI <-> UTF-16 conversion, double-byte stepping and
// single-character case mapping in the OEM code page.
//
// Names are 8-bit strings in the active ANSI code page. On a double-byte code
// page (932, 936, 949, 950) a lead byte and the byte after it form one
// character, and the second byte may look like '\' or '.', so every walk over
// a name steps by characters, never by bytes.
#pragma once

#include <stdint.h>
#include <wchar.h>

struct DoubleByteTable {
  bool lead[256];  // true for the lead bytes of the ANSI code page
  bool active;     // the ANSI code page has characters longer than one byte
};

// The process-wide table, filled once at start-up before any name is handled.
extern DoubleByteTable doubleByte;

// Fills the table from GetCPInfo(CP_ACP) and IsDBCSLeadByte.
void initDoubleByte(DoubleByteTable* table);

// Size value the callers pass to the conversions: "no limit".
const int kNoSizeLimit = 0x10000000;

bool toNarrow(const wchar_t* text, char* destination, int size);
bool toWide(const char* text, wchar_t* destination, int size);

// Steps over one character: two bytes for a lead byte, else one. A lead byte
// directly followed by the terminator steps one byte only, so that a walk
// never passes the end of malformed text.
const char* nextChar(const char* position);
char* nextChar(char* position);

// First / last occurrence of a byte, skipping both bytes of every double-byte
// character; null when there is none.
const char* findCharDbcs(const char* text, char byte);
const char* findLastCharDbcs(const char* text, char byte);
char* findCharDbcs(char* text, char byte);
char* findLastCharDbcs(char* text, char byte);

unsigned char upperOem(unsigned char character);
unsigned char lowerOem(unsigned char character);

inline bool isDigit(int character) { return character >= '0' && character <= '9'; }

// Leading decimal digits as a number; 0 when the text does not start with one.
int32_t parseDecimal(const char* text);
