// Plain string and memory functions over 8-bit and UTF-16 text.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

void fillBytes(void* destination, int value, size_t count);
// Ascending byte copy of separate ranges. (No caller copies between
// overlapping ranges; towards higher addresses such a copy would repeat the
// source pattern rather than move it.)
void copyBytes(void* destination, const void* source, size_t count);
// 0 when equal, -1 otherwise (no ordering).
int sameBytes(const void* a, const void* b, size_t count);

size_t textLength(const char* text);
size_t wideLength(const wchar_t* text);

const char* findChar(const char* text, char byte);
char* findChar(char* text, char byte);
const char* findLastChar(const char* text, char byte);
char* findLastChar(char* text, char byte);
const char* findAnyOf(const char* text, const char* set);
const wchar_t* findWideChar(const wchar_t* text, wchar_t character);
const wchar_t* findAnyOfWide(const wchar_t* text, const wchar_t* set);

char* copyText(char* destination, const char* source);
// At most n bytes, stopping after a copied terminator; no terminator is added
// when n is reached.
char* copyTextN(char* destination, const char* source, size_t n);
wchar_t* copyWide(wchar_t* destination, const wchar_t* source);
wchar_t* copyWideN(wchar_t* destination, const wchar_t* source, size_t n);
char* appendText(char* destination, const char* source);
// Copies at most size - 1 bytes and always terminates (size > 0): the safe
// copy into a fixed buffer, which cuts a longer text.
char* copyTextCut(char* destination, const char* source, size_t size);

// 0 when equal, -1 otherwise (byte comparison, no ordering).
int sameText(const char* a, const char* b);
int sameTextN(const char* a, const char* b, size_t n);
// Negative, 0 or positive, ignoring case in the user's locale.
int compareNoCase(const char* a, const char* b);
int compareNoCaseN(const char* a, const char* b, int n);

// wvsprintfA: at most 1024 characters with the terminator. Returns the length.
int formatText(char* destination, const char* format, ...);
int formatTextV(char* destination, const char* format, va_list arguments);
