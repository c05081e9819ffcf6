#include "driver/command_line.h"

#include "support/strings.h"

namespace {

// The unattended form, for deployment tools: never wait for a person, and
// write the run's lines to a log file. Both words are this program's own and
// are taken out of the tail, so that a Setup program receives exactly what
// it received before the caller added them.
const char kUnattendedWord[] = "sfx-unattended";
const char kLogWord[] = "sfx-log=";

bool IsBlankOrEnd(char c) { return c == '\0' || c == ' '; }

// A word of our own at text (a '/' or '-' at the start of a word): its
// length, or 0 when the word is not ours. The log file's name may be quoted
// and then hold blanks; it goes into logPath (1024 bytes).
size_t OwnWord(const char* text, SfxState* state) {
  if (text[0] != '/' && text[0] != '-') return 0;
  const char* name = text + 1;
  const size_t unattended = sizeof(kUnattendedWord) - 1;
  if (compareNoCaseN(name, kUnattendedWord, static_cast<int>(unattended)) == 0 && IsBlankOrEnd(name[unattended])) {
    state->unattended = true;
    return 1 + unattended;
  }
  const size_t log = sizeof(kLogWord) - 1;
  if (compareNoCaseN(name, kLogWord, static_cast<int>(log)) != 0) return 0;
  const char* value = name + log;
  const char* end = value;
  const char* valueEnd;
  if (*value == '"') {
    end = findChar(value + 1, '"');
    if (end == nullptr) return 0;  // unterminated: not a word of ours
    valueEnd = end;
    ++value;
    ++end;
  } else {
    while (!IsBlankOrEnd(*end)) ++end;
    valueEnd = end;
  }
  if (!IsBlankOrEnd(*end)) return 0;
  const size_t length = static_cast<size_t>(valueEnd - value);
  // A name that does not fit names another file: no log rather than that.
  state->logPath[0] = '\0';
  if (length < sizeof(state->logPath)) {
    copyBytes(state->logPath, value, length);
    state->logPath[length] = '\0';
  }
  return static_cast<size_t>(end - text);
}

}  // namespace

// The silent switch is "/s" anywhere or "-s" at the start or after a blank,
// standing as a word of its own and outside double quotes. The tail keeps the
// switch: it is passed on unchanged to the programs the script starts. It is
// scanned whole, however long: a tail that does not fit its buffer is then
// passed on not at all, never cut (a cut argument could mean something else).
void ScanCommandLine(const char* commandLine, SfxState* state) {
  const char* rest = commandLine;
  if (*rest == '"') {
    rest = findChar(rest + 1, '"');
    if (rest == nullptr) return;  // unterminated program path: record nothing
  }
  const char* text = findAnyOf(rest, " /");
  if (text == nullptr) return;

  char* tail = state->commandTail;
  const size_t capacity = sizeof(state->commandTail);
  size_t kept = 0;
  bool fits = true;
  int quotes = 0;
  for (size_t i = 0; text[i] != '\0'; ++i) {
    const char c = text[i];
    const bool wordStart = quotes % 2 == 0 && (i == 0 || text[i - 1] == ' ');
    const size_t own = wordStart ? OwnWord(text + i, state) : 0;
    if (own > 0) {
      // The word goes, with the blank that set it apart.
      if (kept > 0 && tail[kept - 1] == ' ') --kept;
      i += own - 1;
      continue;
    }
    if (c == '"') ++quotes;
    if (quotes % 2 == 0 && !state->silentSwitch) {
      const bool candidate = c == '/' || (c == '-' && (i == 0 || text[i - 1] == ' '));
      const char letter = text[i + 1];
      if (candidate && (letter == 's' || letter == 'S') && IsBlankOrEnd(text[i + 2])) {
        state->silentMode = kSilentFull;
        state->silentSwitch = true;
      }
    }
    if (kept + 1 < capacity) {
      tail[kept++] = c;
    } else {
      fits = false;
    }
  }
  tail[fits ? kept : 0] = '\0';
  // Unattended means silent: nobody is there to press Install.
  if (state->unattended) {
    state->silentMode = kSilentFull;
    state->silentSwitch = true;
  }

  const char* p = tail;
  while (*p == ' ') ++p;
  if (*p == '\0') tail[0] = '\0';
}
