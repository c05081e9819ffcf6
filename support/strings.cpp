#include "support/strings.h"

#include <windows.h>

// ---------------------------------------------------------------------------
// Memory
// ---------------------------------------------------------------------------

void fillBytes(void* destination, int value, size_t count) {
  unsigned char* d = static_cast<unsigned char*>(destination);
  for (size_t i = 0; i < count; ++i) d[i] = static_cast<unsigned char>(value);
}

void copyBytes(void* destination, const void* source, size_t count) {
  // One byte at a time, ascending; volatile so that the compiler does not
  // turn the loop into a call of memcpy, which the stub lacks.
  volatile unsigned char* d = static_cast<unsigned char*>(destination);
  const volatile unsigned char* s = static_cast<const unsigned char*>(source);
  for (size_t i = 0; i < count; ++i) d[i] = s[i];
}

int sameBytes(const void* a, const void* b, size_t count) {
  const unsigned char* x = static_cast<const unsigned char*>(a);
  const unsigned char* y = static_cast<const unsigned char*>(b);
  for (size_t i = 0; i < count; ++i) {
    if (x[i] != y[i]) return -1;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Lengths and searches
// ---------------------------------------------------------------------------

// The compiler would turn this loop into a call of strlen, which the stub
// (linked without a runtime) does not have.
__attribute__((optimize("no-tree-loop-distribute-patterns")))
size_t textLength(const char* text) {
  size_t n = 0;
  while (text[n] != '\0') ++n;
  return n;
}

size_t wideLength(const wchar_t* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

const char* findChar(const char* text, char byte) {
  for (;; ++text) {
    if (*text == byte) return text;
    if (*text == '\0') return nullptr;
  }
}

char* findChar(char* text, char byte) {
  return const_cast<char*>(findChar(const_cast<const char*>(text), byte));
}

const char* findLastChar(const char* text, char byte) {
  const char* found = nullptr;
  for (;; ++text) {
    if (*text == byte) found = text;
    if (*text == '\0') return found;
  }
}

char* findLastChar(char* text, char byte) {
  return const_cast<char*>(findLastChar(const_cast<const char*>(text), byte));
}

const char* findAnyOf(const char* text, const char* set) {
  for (; *text != '\0'; ++text) {
    for (const char* s = set; *s != '\0'; ++s) {
      if (*s == *text) return text;
    }
  }
  return nullptr;
}

const wchar_t* findWideChar(const wchar_t* text, wchar_t character) {
  for (;; ++text) {
    if (*text == character) return text;
    if (*text == 0) return nullptr;
  }
}

const wchar_t* findAnyOfWide(const wchar_t* text, const wchar_t* set) {
  for (; *text != 0; ++text) {
    for (const wchar_t* s = set; *s != 0; ++s) {
      if (*s == *text) return text;
    }
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Copies
// ---------------------------------------------------------------------------

char* copyText(char* destination, const char* source) {
  char* d = destination;
  while ((*d++ = *source++) != '\0') {
  }
  return destination;
}

char* copyTextN(char* destination, const char* source, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    destination[i] = source[i];
    if (source[i] == '\0') break;
  }
  return destination;
}

wchar_t* copyWide(wchar_t* destination, const wchar_t* source) {
  wchar_t* d = destination;
  while ((*d++ = *source++) != 0) {
  }
  return destination;
}

wchar_t* copyWideN(wchar_t* destination, const wchar_t* source, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    destination[i] = source[i];
    if (source[i] == 0) break;
  }
  return destination;
}

char* appendText(char* destination, const char* source) {
  copyText(destination + textLength(destination), source);
  return destination;
}

char* copyTextCut(char* destination, const char* source, size_t size) {
  if (size == 0) return destination;
  size_t i = 0;
  for (; i + 1 < size && source[i] != '\0'; ++i) destination[i] = source[i];
  destination[i] = '\0';
  return destination;
}

// ---------------------------------------------------------------------------
// Comparisons
// ---------------------------------------------------------------------------

int sameText(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (*a != *b) return -1;
    if (*a == '\0') return 0;
  }
}

int sameTextN(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return -1;
    if (a[i] == '\0') return 0;
  }
  return 0;
}

int compareNoCase(const char* a, const char* b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, a, -1, b, -1) - 2;
}

int compareNoCaseN(const char* a, const char* b, int n) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, a, n, b, n) - 2;
}

// ---------------------------------------------------------------------------
// Formatting
// ---------------------------------------------------------------------------

int formatTextV(char* destination, const char* format, va_list arguments) {
  return wvsprintfA(destination, format, arguments);
}

int formatText(char* destination, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int length = wvsprintfA(destination, format, arguments);
  va_end(arguments);
  return length;
}
