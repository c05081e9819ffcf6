// Every text the user sees, loaded by string-table number and passed through
// the messages block: a translation stored inside the executable itself,
// keyed by the CRC-32 of the English text.
#pragma once

#include <stdint.h>
#include <windows.h>

struct MessagesBlock {
  char* text;      // unescaped block, lines separated by runs of 0x0C; null without block
  int32_t length;
  bool rightToLeft;
};

extern MessagesBlock messagesBlock;

// Scans the named file (placed in the program's folder when it has no
// backslash) for the block and loads it; decides the layout direction.
void LoadMessagesBlock(const char* fileName);
// Frees the block text (at exit, and between tests).
void FreeMessagesBlock();

// Writes the translation of source into destination (size bytes; the result
// is cut to fit), or a copy of source. kind is "s" or "$"; dialogName may be
// null. destination may be source.
void TranslateText(const char* source, char* destination, int destinationSize,
                   const char* dialogName, const char* kind);

// The message with this string-table number, in one of eight rotating
// 256-byte buffers: translated when the translation holds the same
// conversions ("%s") in the same order as the English text, else English.
char* MessageText(int id);

// Every dialog procedure calls this first with every message it receives.
// Scales and mirrors the dialog and translates its texts; never consumes a
// message.
void LocalizeDialog(HWND dialog, UINT message, const char* dialogName);
