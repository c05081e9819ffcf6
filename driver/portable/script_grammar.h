// The script's grammar: how the archive comment splits into lines, keys,
// values, fields and text blocks, and which command acts in which pass. The
// stub and the packer compile this same file, so what `zimbro-pack --check`
// reports is what the stub reads. It is portable on purpose: no system
// calls, no runtime library, no exceptions and no constructors, which the
// stub cannot have; environment variables are expanded by the stub around
// it (driver/script_reader.cpp), the packer leaves them as written.
//
// The characters that structure a line (CR, LF, '=', ',', '"', blanks) never
// occur as the second byte of a double-byte character, so lines and fields
// are walked byte by byte; the backslash of the escapes can, so
// UnescapeScriptText steps by characters.
#pragma once

// Buffer size of a line, a value and each field: 4095 characters and the
// terminator.
const int kScriptLineSize = 4096;
// A text block's buffer, terminator included; it holds at most
// kTextBlockSize - 5 characters (room for the last CR LF and the end).
const int kTextBlockSize = 65536;
// Fields the stub fills from every value.
const int kScriptFieldCount = 6;

// The passes of the executor, each run at its own moment.
enum class ScriptMode {
  DialogInit = 0,   // caption, Text, destination (start dialog)
  TempFolder = 1,   // temporary destination and its question (start dialog)
  DeleteFiles = 2,  // Delete, before extraction
  LicenseInit = 3,  // license caption and text (license dialog)
  RunSetup = 4,     // Setup programs, after the dialog has closed (no window)
  RunPresetup = 5,  // Presetup programs, before extraction
  Shortcuts = 6,    // Shortcut, after extraction
  Prescan = 7,      // flags, right after the script was read
};
const int kScriptModeCount = 8;

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
const int kScriptCommandCount = 13;

// What a command takes from its line.
enum class ScriptValue {
  Whole,      // the value as written, commas included
  FirstChar,  // its first character decides (Silent, Overwrite)
  Fields,     // the comma-separated fields (Shortcut, the TempMode question)
  Nothing,    // SavePath, ExtSign
};
// When a command reads the text block after its line.
enum class ScriptBlock {
  Never,
  WithoutValue,  // Text: only a line without '=' reads a block
  Always,        // License: the '=' value is the caption, the block the text
};

struct ScriptKeyword {
  const char* name;
  unsigned passes;  // one bit per ScriptMode (ModeBit)
  ScriptValue value;
  ScriptBlock block;
};
extern const ScriptKeyword kScriptKeywords[kScriptCommandCount];

inline unsigned ModeBit(ScriptMode mode) { return 1u << static_cast<int>(mode); }
const unsigned kEveryMode = (1u << kScriptModeCount) - 1;

// The command whose keyword equals key, ignoring the case of ASCII letters
// (and nothing else: not blanks, not the user's locale); kNoCommand for any
// other key (comments, empty lines, braces, plain text).
int FindKeyword(const char* key);
// Whether command acts in the pass of mode.
bool CommandActsIn(int command, ScriptMode mode);
// Whether the line of command (with or without '=') is followed by its block.
bool CommandReadsBlock(int command, bool hasEquals);

// ---------------------------------------------------------------------------
// Lines
// ---------------------------------------------------------------------------

// What ReadScriptText found in a line.
struct ScriptLineShape {
  int length;     // characters in the line buffer
  int equals;     // index of the first '=', or -1
  bool overflow;  // cut at capacity - 1 characters
};

// Reads the line at position into line (capacity bytes): CR LF, a lone CR
// and a lone LF end it, and so does a NUL; after capacity - 1 characters it
// is cut and the rest of that physical line is read as the next line.
// Returns the position of the next line, or null when position was null or
// at the end.
const char* ReadScriptText(const char* position, char* line, int capacity, ScriptLineShape* shape);

// ---------------------------------------------------------------------------
// Fields
// ---------------------------------------------------------------------------

// Fills field (kScriptLineSize bytes) with the field at position and returns
// the position of the following one, or null when position was null or at
// the end of the value. Quotes group (a comma inside stays), a doubled quote
// is one literal quote, a lone quote without a partner is plain text, and
// the blanks and tabs after a comma are skipped.
const char* SplitField(const char* position, char* field);

// ---------------------------------------------------------------------------
// Text blocks
// ---------------------------------------------------------------------------

struct TextBlockEnd {
  const char* next;  // the line after the block (after its '}' line), or null at the end
  bool closed;       // a '}' line ended it
  bool opened;       // the first line after the command begins with '{'
};

// Collects the block that follows a command (position: the line after it)
// into block (kTextBlockSize bytes), a CR LF after each line and its
// trailing blanks dropped; leading '{' lines are skipped, a '}' line ends
// it. Returns the length of the text.
int CollectTextBlock(const char* position, char* block, TextBlockEnd* end);

// ---------------------------------------------------------------------------
// Values
// ---------------------------------------------------------------------------

// In place: "\\" becomes one backslash, "\n" a line feed. isLeadByte tells
// the lead bytes of a double-byte code page (null: a single-byte one).
void UnescapeScriptText(char* text, bool (*isLeadByte)(unsigned char));

// The silent modes: how much of the dialog a run shows.
enum SilentMode {
  kSilentNone = 0,       // the dialog waits for the user to press Install
  kSilentFull = 1,       // no dialog unless something fails (also the /s switch); no license, no text
  kSilentAutomatic = 2,  // the dialog opens and installs at once, destination locked
};
// The mode after a Silent line with value: its first digit, or kSilentAutomatic
// without one; kSilentFull (the command-line switch) is never lowered.
int SilentAfter(int current, const char* value);
// The mode after a TempMode line: a temporary destination starts at once.
int SilentAfterTempMode(int current);

// Where a Path value puts the destination, once its environment variables
// are expanded (the stub expands them as it reads the line): ".\x" lies in
// the folder the installer starts in, "\x" and "C:..." are taken as they
// are, anything else lies in the programs folder. *rest: where the folder's
// own part begins (after a leading quote, and after ".\").
enum class DestinationBase {
  kStartFolder,
  kAsWritten,
  kProgramsFolder,
};
DestinationBase ReadDestinationBase(const char* value, const char** rest);

// What an Overwrite value asks for, by its first character.
enum class OverwriteValue {
  Ask,        // '0': the user is asked about each existing file
  Replace,    // '1' or an empty value
  Skip,       // '2'
  Unchanged,  // anything else: the line changes nothing
};
OverwriteValue ReadOverwriteValue(const char* value);
