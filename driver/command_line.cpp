#include "driver/command_line.h"

#include "support/strings.h"

// The silent switch is "/s" anywhere or "-s" at the start or after a blank,
// standing as a word of its own and outside double quotes. The tail keeps the
// switch: it is passed on unchanged to the programs the script starts.
void ScanCommandLine(const char* commandLine, SfxState* state) {
  const char* rest = commandLine;
  if (*rest == '"') {
    rest = findChar(rest + 1, '"');
    if (rest == nullptr) return;  // unterminated program path: record nothing
  }
  const char* tail = findAnyOf(rest, " /");
  if (tail == nullptr) return;
  // A longer tail is cut to the buffer; the switch scan sees what is kept.
  copyTextCut(state->commandTail, tail, sizeof(state->commandTail));

  char* text = state->commandTail;
  int quotes = 0;
  for (int i = 0; text[i] != '\0'; ++i) {
    char c = text[i];
    if (c == '"') {
      ++quotes;
      continue;
    }
    if (quotes % 2 != 0) continue;
    bool candidate = c == '/' || (c == '-' && (i == 0 || text[i - 1] == ' '));
    if (!candidate) continue;
    char letter = text[i + 1];
    if (letter != 's' && letter != 'S') continue;
    char after = text[i + 2];
    if (after == '\0' || after == ' ') {
      state->silentMode = 1;
      state->silentSwitch = true;
      break;
    }
  }

  const char* p = text;
  while (*p == ' ') ++p;
  if (*p == '\0') text[0] = '\0';
}
