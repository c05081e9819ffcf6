// The script reader: the shared grammar, and the environment variables that
// only the stub can expand. Nothing here is trimmed or interpreted beyond the
// grammar, because script authors rely on blanks and quotes reaching the
// commands as written.
#include "driver/script_reader.h"

#include <windows.h>

#include "support/chars.h"
#include "support/portable/heap.h"
#include "support/strings.h"

const char* ReadScriptLine(const char* position, char* line, char* value, int capacity,
                           bool* overflow, bool* hasEquals) {
  ScriptLineShape shape;
  const char* next = ReadScriptText(position, line, capacity, &shape);
  const int equals = shape.equals;
  if (overflow != nullptr) *overflow = shape.overflow;
  if (hasEquals != nullptr) *hasEquals = next != nullptr && value != nullptr && equals >= 0;
  if (next == nullptr || value == nullptr) return next;

  value[0] = '\0';
  if (equals >= 0) {
    char expanded[kScriptLineSize];
    const char* raw = line + equals + 1;
    DWORD length = ExpandEnvironmentStringsA(raw, expanded, sizeof(expanded));
    // A result that does not fit is not returned by the call: the value
    // then stays unexpanded rather than becoming whatever the buffer held.
    const bool fits = length != 0 && length <= sizeof(expanded);
    copyTextCut(value, fits ? expanded : raw, capacity);
    line[equals] = '\0';
  }
  return next;
}

char* ReadTextBlock(const char* position) {
  char* block = static_cast<char*>(allocate(kTextBlockSize));
  if (block == nullptr) return nullptr;
  TextBlockEnd end;
  CollectTextBlock(position, block, &end);
  return block;
}

static bool IsActiveLeadByte(unsigned char byte) { return doubleByte.lead[byte]; }

void UnescapeText(char* text) { UnescapeScriptText(text, IsActiveLeadByte); }
