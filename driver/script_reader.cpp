// The script reader.
//
// The script is the archive comment: 8-bit text in the active code page, one
// command per line, "Keyword=value". Nothing here is trimmed or interpreted
// beyond what the line syntax needs, because script authors rely on blanks
// and quotes reaching the commands as written. The characters that structure
// a line (CR, LF, '=', ',', '"', blanks) never occur as the second byte of a
// double-byte character, so lines and fields may be walked byte by byte; the
// backslash of the escapes can, so UnescapeText steps by characters.
#include "driver/script_reader.h"

#include <windows.h>

#include "support/chars.h"
#include "support/heap.h"
#include "support/strings.h"

// ---------------------------------------------------------------------------
// Lines
// ---------------------------------------------------------------------------

const char* ReadScriptLine(const char* position, char* line, char* value, int capacity,
                           bool* overflow, bool* hasEquals) {
  if (hasEquals != nullptr) *hasEquals = false;
  if (overflow != nullptr) *overflow = false;
  if (position == nullptr || *position == '\0') return nullptr;

  const int limit = capacity - 1;
  int taken = 0;        // characters of this line, the '=' included
  int stored = 0;       // characters in the line buffer
  int valueStart = -1;  // where the value begins in the line buffer
  const char* p = position;
  for (;;) {
    const char c = *p;
    if (c == '\0') break;
    if (c == '\r') {
      // Only the LF of a CR LF pair goes with the CR: a lone CR ends its
      // line without costing the next line its first character.
      ++p;
      if (*p == '\n') ++p;
      break;
    }
    if (c == '\n') {
      ++p;
      break;
    }
    if (taken == limit) {
      // The rest of this physical line is read as the next line.
      if (overflow != nullptr) *overflow = true;
      break;
    }
    ++p;
    ++taken;
    if (c == '=' && value != nullptr && valueStart < 0) {
      valueStart = stored;
      if (hasEquals != nullptr) *hasEquals = true;
      continue;
    }
    line[stored++] = c;
  }
  line[stored] = '\0';

  if (value != nullptr) {
    value[0] = '\0';
    if (valueStart >= 0) {
      char expanded[kScriptLineSize];
      const char* raw = line + valueStart;
      DWORD length = ExpandEnvironmentStringsA(raw, expanded, sizeof(expanded));
      // A result that does not fit is not returned by the call: the value
      // then stays unexpanded rather than becoming whatever the buffer held.
      const bool fits = length != 0 && length <= sizeof(expanded);
      copyTextCut(value, fits ? expanded : raw, capacity);
      line[valueStart] = '\0';
    }
  }
  return p;
}

// ---------------------------------------------------------------------------
// Keywords
// ---------------------------------------------------------------------------

static const char* const kKeywords[] = {
    "Delete", "Text",     "Title",   "Path",     "Silent",   "Overwrite", "Setup",
    "TempMode", "License", "Presetup", "ExtSign", "Shortcut", "SavePath",
};

int FindKeyword(const char* key) {
  for (int i = 0; i < static_cast<int>(sizeof(kKeywords) / sizeof(kKeywords[0])); ++i) {
    if (lstrcmpiA(key, kKeywords[i]) == 0) return i;
  }
  return kNoCommand;
}

// ---------------------------------------------------------------------------
// Fields
// ---------------------------------------------------------------------------

const char* SplitField(const char* position, char* field) {
  field[0] = '\0';
  if (position == nullptr || *position == '\0') return nullptr;

  const char* const start = position;
  const char* p = position;
  char* out = field;
  bool quoted = false;
  while (*p != '\0') {
    const char c = *p;
    if (c == '"') {
      // A doubled quote is one literal quote, except that "" standing alone
      // as a field is an empty quoted field (handled as open and close).
      const bool emptyField = !quoted && p == start && (p[2] == ',' || p[2] == '\0');
      if (p[1] == '"' && !emptyField) {
        *out++ = '"';
        p += 2;
        continue;
      }
      ++p;
      if (quoted) {
        quoted = false;
      } else if (findChar(p, '"') != nullptr) {
        quoted = true;
      } else {
        *out++ = '"';  // a lone quote without a partner is plain text
      }
      continue;
    }
    if (c == ',' && !quoted) {
      ++p;
      while (*p == ' ' || *p == '\t') ++p;
      *out = '\0';
      return p;
    }
    *out++ = c;
    ++p;
  }
  *out = '\0';
  return p;
}

// ---------------------------------------------------------------------------
// Text blocks
// ---------------------------------------------------------------------------

// Room for the CR LF and the terminator of the last line.
static const size_t kBlockTextLimit = kTextBlockSize - 5;

char* ReadTextBlock(const char* position) {
  char* block = static_cast<char*>(allocate(kTextBlockSize));
  if (block == nullptr) return nullptr;
  block[0] = '\0';
  size_t length = 0;

  char line[kScriptLineSize];
  bool overflow;
  while ((position = ReadScriptLine(position, line, nullptr, kScriptLineSize, &overflow, nullptr)) !=
         nullptr) {
    if (length == 0 && line[0] == '{') continue;
    if (line[0] == '}') break;
    const size_t lineLength = textLength(line);
    size_t collected = length;
    if (collected >= 2 && block[collected - 2] == '\r' && block[collected - 1] == '\n') collected -= 2;
    if (collected + lineLength > kBlockTextLimit) break;

    copyBytes(block + length, line, lineLength + 1);
    length += lineLength;
    // A line cut at the line limit goes on in the next line of the block.
    if (!overflow) {
      while (length > 0 && block[length - 1] == ' ') --length;
      block[length++] = '\r';
      block[length++] = '\n';
      block[length] = '\0';
    }
  }
  return block;
}

void UnescapeText(char* text) {
  char* out = text;
  const char* p = text;
  while (*p != '\0') {
    if (p[0] == '\\' && (p[1] == '\\' || p[1] == 'n')) {
      *out++ = p[1] == 'n' ? '\n' : '\\';
      p += 2;
      continue;
    }
    for (const char* next = nextChar(p); p < next;) *out++ = *p++;
  }
  *out = '\0';
}
