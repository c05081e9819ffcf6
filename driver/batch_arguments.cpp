// The installer's arguments for a batch file.
//
// A batch file is run by the command interpreter, which reads its command
// line as commands: "&", "|", "<", ">", "^" and parentheses outside double
// quotes, and "%" (and "!" where delayed expansion is on) everywhere. The
// installer's arguments come from whoever started it, so appended as they
// are they could run anything, with the installer's rights. They are split
// the way every program splits its command line, then each is written so
// that the interpreter reads it back as one plain argument: as it is when
// it holds nothing the interpreter splits at (blanks, ',', ';', '=') or acts
// on, else in double quotes, inside which cmd.exe takes all of those
// literally. The batch file then finds each argument in %~1, %~2...
// exactly as it was given (and in %1 as before when it needed no quotes).
// What quotes cannot protect is refused: '%' and '!', a double quote that
// belongs to an argument, and control characters (a line feed would end the
// command).
#include "driver/batch_arguments.h"

#include "support/chars.h"
#include "support/strings.h"

namespace {

// The longest tail (the run state keeps 1,024 bytes) and its arguments.
const size_t kTailSize = 1024;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool NeedsQuotes(char c) { return c != '\0' && findChar(" ,;=&|^<>()", c) != nullptr; }

// A double quote never reaches here: reading the argument took its own
// quotes away and refused the rest.
bool NeverPassed(char c) { return static_cast<unsigned char>(c) < 0x20 || c == '%' || c == '!'; }

// Reads the argument at text into argument (kTailSize bytes) by the rules of
// the Windows runtimes: blanks part arguments outside double quotes, 2n
// backslashes before a quote stand for n, other backslashes for themselves.
// Returns where the argument ends, or null when it holds a double quote of
// its own: an odd number of backslashes before a quote, or a doubled quote
// inside quotes, which one runtime reads as a quote and another as an end.
const char* ReadArgument(const char* text, char* argument) {
  size_t length = 0;
  bool quoted = false;
  const char* p = text;
  while (*p != '\0' && (quoted || !IsBlank(*p))) {
    if (*p == '\\') {
      size_t slashes = 0;
      while (p[slashes] == '\\') ++slashes;
      const bool beforeQuote = p[slashes] == '"';
      if (beforeQuote && slashes % 2 != 0) return nullptr;
      const size_t kept = beforeQuote ? slashes / 2 : slashes;
      for (size_t i = 0; i < kept; ++i) argument[length++] = '\\';
      p += slashes;
      continue;
    }
    if (*p == '"') {
      if (quoted && p[1] == '"') return nullptr;
      quoted = !quoted;
      ++p;
      continue;
    }
    for (const char* next = nextChar(p); p < next;) argument[length++] = *p++;
  }
  argument[length] = '\0';
  return p;
}

}  // namespace

BatchTail AppendBatchArguments(const char* tail, char* parameters, size_t capacity, bool quotesProtect) {
  // Each argument grows by its quotes and a blank at most: three times the
  // tail holds them all.
  char written[kTailSize * 3];
  char argument[kTailSize];
  if (textLength(tail) >= kTailSize) return BatchTail::kRefused;
  written[0] = '\0';
  const char* p = tail;
  for (;;) {
    while (IsBlank(*p)) ++p;
    if (*p == '\0') break;
    p = ReadArgument(p, argument);
    if (p == nullptr) return BatchTail::kRefused;
    bool quotes = argument[0] == '\0';
    for (const char* c = argument; *c != '\0'; c = nextChar(c)) {
      if (NeverPassed(*c)) return BatchTail::kRefused;
      // A double-byte character is one character to the interpreter, which
      // reads the line in UTF-16: its second byte is no '|' or '^'.
      if (nextChar(c) == c + 1 && NeedsQuotes(*c)) quotes = true;
    }
    if (quotes && !quotesProtect) return BatchTail::kRefused;
    if (written[0] != '\0') appendText(written, " ");
    if (quotes) appendText(written, "\"");
    appendText(written, argument);
    if (quotes) appendText(written, "\"");
  }
  if (written[0] == '\0') return BatchTail::kPassed;
  const bool blank = parameters[0] != '\0';
  // A cut argument could mean something else: none rather than that.
  if (textLength(parameters) + blank + textLength(written) >= capacity) return BatchTail::kPassed;
  if (blank) appendText(parameters, " ");
  appendText(parameters, written);
  return BatchTail::kPassed;
}
