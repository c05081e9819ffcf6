// The script reader as the stub uses it: the shared grammar
// (driver/portable/script_grammar.h) with what only a running stub can add, the
// environment variables expanded in every value, text blocks on the heap
// and the escapes read in the active code page.
#pragma once

#include "driver/portable/script_grammar.h"

// Reads the line at position. With a value buffer the line buffer receives
// the key (the text before the first '=') and the value buffer the text after
// it with environment variables expanded; without one the line buffer
// receives the whole line. capacity is the size of each buffer. Returns the
// position of the next line, or null at the end of the script (or when
// position is null). overflow and hasEquals may be null.
const char* ReadScriptLine(const char* position, char* line, char* value, int capacity,
                           bool* overflow, bool* hasEquals);

// Collects the text block that follows a command (position: the line after
// it) into a new heap text the caller releases. Null only when the block
// cannot be allocated.
char* ReadTextBlock(const char* position);

// In place: "\\" becomes one backslash, "\n" a line feed.
void UnescapeText(char* text);
