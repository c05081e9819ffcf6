// The installer's script as the stub reads it: the packer has to see exactly
// what the stub will see, so these functions follow the stub's own reading
// rules byte for byte (over code-page text, as the stub reads it), and
// nothing here is lenient where the stub is not.
//   - A line ends at CR (which also swallows the character after it), at LF
//     alone, or after 4,095 characters; the rest of a longer line is read as
//     a line of its own.
//   - The first '=' splits key and value; the key is not trimmed, and the
//     keyword comparison ignores case.
//   - A value splits into comma-separated fields with the stub's quote rules.
//   - Text and License read a block of lines up to a line beginning with '}'.
//     (The stub also ends a block at 65,531 characters; a comment that it
//     reads at all is shorter than that.)
// Environment variables in values are expanded by the stub at run time; the
// packer leaves them as written.
#pragma once

#include <optional>
#include <string>
#include <vector>

const size_t kScriptLineLimit = 4095;

// The blanks and tabs that the stub skips after a field's comma.
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

enum Keyword {
  kDelete, kText, kTitle, kPath, kSilent, kOverwrite, kSetup, kTempMode, kLicense,
  kPresetup, kExtSign, kShortcut, kSavePath, kKeywordCount
};

const char* KeywordName(int keyword);
// The keyword a key names (case ignored, no trimming), or -1.
int LookUpKeyword(const std::string& key);

struct ScriptLine {
  std::string whole;      // the line as read, '=' included
  std::string key;        // before the first '=' (the whole line without one)
  std::string value;      // after the first '='
  bool hasEquals = false;
  bool overflow = false;  // cut at 4,095 characters
  int number = 0;         // 1-based line of the file where it starts
};

// Every line of the script, in the order in which the stub reads them.
std::vector<ScriptLine> ReadScriptLines(const std::string& text);

// The next field of a value from position, as the stub splits it; returns
// the position of the following field, or nothing after the last one.
std::optional<size_t> SplitField(const std::string& value, std::optional<size_t> position,
                                 std::string* field);

// The stub fills six fields from every value.
struct Fields {
  std::string field[6];
  bool more = false;  // text beyond the sixth field, which the stub ignores
};
Fields SplitFields(const std::string& value);

struct TextBlock {
  std::string text;      // the collected lines, CR LF after each
  size_t first = 0;      // index of the first line read for the block
  size_t last = 0;       // index one past the last line that belongs to it
  bool closed = false;   // a '}' line ended it
  bool opened = false;   // its first line began with '{'
};

// The block that a Text or License command on line index reads.
TextBlock ReadTextBlock(const std::vector<ScriptLine>& lines, size_t index);
