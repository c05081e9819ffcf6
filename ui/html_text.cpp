// The texts the HTML viewer shows.
//
// A descriptive text or license comes from the script as plain text or as
// HTML; the viewer decides which by looking for a closing tag, since any
// real HTML has one and plain prose almost never does. Plain text is made
// into HTML so that the browser shows it as the author typed it: blank lines
// stay paragraph breaks and runs of blanks stay runs. Without a browser the
// opposite conversion gives the edit control readable text.
//
// Only the ASCII bytes '<', '>', '/', '&', ';', blank, CR and LF are looked
// at. None of them can be the second byte of a double-byte character, so the
// walks below may step byte by byte on every code page.
#include "ui/html_text.h"

#include <windows.h>

#include "support/portable/heap.h"
#include "support/strings.h"

namespace {

const char kStyle[] = "<style>body{font-family:\"Arial\";font-size:12;}</style>";
const char kHtmlStart[] = "<html>";
const char kHtmlEnd[] = "</html>";
const char kUtf8Header[] =
    "<head><meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\"></head>";
const size_t kTagLength = 6;  // "<html>"
const size_t kCharsetNameOffset =
    sizeof("<head><meta http-equiv=\"content-type\" content=\"text/html; charset=") - 1;

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// The text at position begins with word, compared without regard to ASCII
// case; word is lower case.
bool startsWithNoCase(const char* position, const char* word) {
  for (; *word != '\0'; ++word, ++position) {
    if (lowerAscii(*position) != *word) return false;
  }
  return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Appends to a bounded output; what does not fit is dropped.
struct Output {
  char* start;
  size_t capacity;  // bytes, the terminator included
  size_t length;

  void put(char c) {
    if (length + 1 < capacity) start[length++] = c;
  }
  void put(const char* text) {
    while (*text != '\0') put(*text++);
  }
  void finish() {
    if (capacity > 0) start[length < capacity ? length : capacity - 1] = '\0';
  }
  bool endsWithBlank() const { return length > 0 && start[length - 1] == ' '; }
};

}  // namespace

size_t HtmlBufferSize(size_t textLength) { return 6 * textLength + 256; }

bool LooksLikeHtml(const char* text) {
  for (const char* p = text; *p != '\0'; ++p) {
    if (p[0] != '<' || p[1] != '/') continue;
    // A '>' 2 to 19 bytes after the '<', before the end of the text.
    for (int distance = 2; distance <= 19 && p[distance - 1] != '\0'; ++distance) {
      if (p[distance] == '>') return true;
      if (p[distance] == '\0') break;
    }
  }
  return false;
}

// ---------------------------------------------------------------------------
// Plain text to HTML
// ---------------------------------------------------------------------------

bool PlainToHtml(char* buffer, size_t capacity) {
  // The output is longer than the input, so the input is read from a copy.
  size_t length = textLength(buffer);
  char* input = static_cast<char*>(allocate(length + 1));
  if (input == nullptr) return false;
  copyBytes(input, buffer, length + 1);

  Output out = {buffer, capacity, 0};
  out.put(kStyle);
  for (size_t i = 0; i < length;) {
    if (input[i] == '\r' && input[i + 1] == '\n' && input[i + 2] == '\r' && input[i + 3] == '\n') {
      // A run of two or more line ends: one break for every blank line.
      i += 2;
      while (input[i] == '\r' && input[i + 1] == '\n') {
        out.put("<br>");
        i += 2;
      }
      continue;
    }
    if (input[i] == ' ' && i > 0 && input[i - 1] == ' ') {
      out.put("&nbsp;");
    } else {
      out.put(input[i]);
    }
    ++i;
  }
  out.finish();
  release(input);
  return true;
}

// ---------------------------------------------------------------------------
// HTML to plain text
// ---------------------------------------------------------------------------

char* HtmlToPlain(const char* text) {
  size_t length = textLength(text);
  // Every rule writes at most as many bytes as it consumes.
  char* result = static_cast<char*>(allocate(length + 1));
  if (result == nullptr) return nullptr;
  Output out = {result, length + 1, 0};

  const char* p = text;
  while (*p != '\0') {
    if (*p != '<') {
      char c = *p;
      if (c == '\r' || c == '\n') {
        if (!out.endsWithBlank()) out.put(' ');
        ++p;
      } else if (c == '&') {
        // An entity: '&' with a ';' among the next 19 bytes goes, through
        // that ';'. A lone '&' is text.
        const char* end = nullptr;
        for (int i = 1; i <= 19 && p[i] != '\0'; ++i) {
          if (p[i] == ';') {
            end = p + i;
            break;
          }
        }
        if (end != nullptr) {
          p = end + 1;
        } else {
          out.put(c);
          ++p;
        }
      } else if (c == ' ') {
        if (!out.endsWithBlank()) out.put(' ');
        ++p;
      } else {
        out.put(c);
        ++p;
      }
      continue;
    }
    // A tag. Paragraph ends and line breaks become line ends; a style
    // sheet goes with its contents; every other tag just goes.
    if (startsWithNoCase(p, "</p>")) {
      out.put("\r\n\r\n");
    } else if (startsWithNoCase(p, "<br>")) {
      out.put("\r\n");
    }
    if (startsWithNoCase(p, "<style>")) {
      const char* q = p;
      while (*q != '\0' && !startsWithNoCase(q, "</style>")) ++q;
      p = *q == '\0' ? q : q + 8;
    } else {
      const char* close = findChar(p, '>');
      p = close != nullptr ? close + 1 : p + textLength(p);
    }
  }
  out.finish();
  return result;
}

// ---------------------------------------------------------------------------
// The document for the browser
// ---------------------------------------------------------------------------

size_t BuildHtmlDocument(const char* text, char* buffer, size_t capacity, bool useUtf8) {
  bool isHtml = LooksLikeHtml(text);
  Output out = {buffer, capacity, 0};
  out.put(kHtmlStart);
  // Where "utf-8" stands in the header, to be spoilt if the conversion fails.
  size_t charsetAt = out.length + kCharsetNameOffset;
  if (useUtf8) out.put(kUtf8Header);
  // A text that is a whole HTML document already brings its own start tag
  // (after any blanks) and end tag.
  const char* body = text;
  while (isBlank(*body)) ++body;
  if (startsWithNoCase(body, kHtmlStart)) {
    out.put(body + kTagLength);
  } else {
    out.put(text);
    out.put(kHtmlEnd);
  }
  out.finish();
  if (!isHtml) {
    if (!PlainToHtml(buffer, capacity)) return 0;
    charsetAt += sizeof(kStyle) - 1;  // the style text went in front
  }
  if (!useUtf8) return textLength(buffer);

  // ANSI to UTF-16 to UTF-8, behind the three bytes of the byte-order mark.
  // The buffer is large enough: the document's non-ASCII bytes come from
  // the text, and each of them (or each double-byte pair) takes at most
  // three bytes in UTF-8, where a blank of the text may already take six.
  wchar_t* wide = static_cast<wchar_t*>(allocate(2 * capacity));
  if (wide != nullptr) {
    int wideLength = MultiByteToWideChar(CP_ACP, 0, buffer, -1, wide, static_cast<int>(capacity));
    int utf8Length = wideLength > 0 ? WideCharToMultiByte(CP_UTF8, 0, wide, -1, buffer + 3,
                                                          static_cast<int>(capacity - 3), nullptr, nullptr)
                                    : 0;
    release(wide);
    if (utf8Length > 0) {
      buffer[0] = static_cast<char>(0xEF);
      buffer[1] = static_cast<char>(0xBB);
      buffer[2] = static_cast<char>(0xBF);
      return 3 + static_cast<size_t>(utf8Length) - 1;
    }
  }
  // Name no character set at all rather than a wrong one.
  buffer[charsetAt] = '_';
  return textLength(buffer);
}
