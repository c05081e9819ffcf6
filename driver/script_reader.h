// The script reader: the archive comment taken apart into lines, keys and
// values, comma-separated fields and multi-line text blocks. It keeps no
// state; the executor calls it afresh on every pass over the script.
#pragma once

// Buffer size of a line, a value and each field: 4095 characters and the
// terminator.
const int kScriptLineSize = 4096;
// A text block is one heap block of this size, terminator included.
const int kTextBlockSize = 65536;

// The commands, numbered by their place in the keyword table.
enum ScriptCommand {
  kCommandDelete = 0,
  kCommandText = 1,
  kCommandTitle = 2,
  kCommandPath = 3,
  kCommandSilent = 4,
  kCommandOverwrite = 5,
  kCommandSetup = 6,
  kCommandTempMode = 7,
  kCommandLicense = 8,
  kCommandPresetup = 9,
  kCommandExtSign = 10,
  kCommandShortcut = 11,
  kCommandSavePath = 12,
  kNoCommand = -1,
};

// Reads the line at position. With a value buffer the line buffer receives
// the key (the text before the first '=') and the value buffer the text after
// it with environment variables expanded; without one the line buffer
// receives the whole line. capacity is the size of each buffer. Returns the
// position of the next line, or null at the end of the script (or when
// position is null). overflow and hasEquals may be null.
const char* ReadScriptLine(const char* position, char* line, char* value, int capacity,
                           bool* overflow, bool* hasEquals);

// The command whose keyword equals key, ignoring case; kNoCommand for any
// other key (comments, empty lines, braces, plain text).
int FindKeyword(const char* key);

// Fills field (kScriptLineSize bytes) with the field at position and returns
// the position of the following one, or null when position was null or at
// the end of the value.
const char* SplitField(const char* position, char* field);

// Collects the text block that follows a command (position: the line after
// it) into a new heap text the caller releases. Null only when the block
// cannot be allocated.
char* ReadTextBlock(const char* position);

// In place: "\\" becomes one backslash, "\n" a line feed.
void UnescapeText(char* text);
