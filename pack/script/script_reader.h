// The installer's script as the stub reads it, for the packer's checks and
// reports: the stub's own grammar (driver/portable/script_grammar.h, compiled here as
// it is) applied to the whole script once, each line kept with the line of
// the file it starts on. Environment variables in values are expanded by
// the stub at run time; the packer leaves them as written.
#pragma once

#include <string>
#include <vector>

#include "driver/portable/script_grammar.h"

const size_t kScriptLineLimit = kScriptLineSize - 1;

// The blanks and tabs that the stub skips after a field's comma.
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

inline const char* KeywordName(int command) { return kScriptKeywords[command].name; }
// The command a key names (ASCII case ignored, no trimming), or kNoCommand.
inline int LookUpKeyword(const std::string& key) { return FindKeyword(key.c_str()); }

struct ScriptLine {
  std::string whole;      // the line as read, '=' included
  std::string key;        // before the first '=' (the whole line without one)
  std::string value;      // after the first '='
  bool hasEquals = false;
  bool overflow = false;  // cut at 4,095 characters
  int number = 0;         // 1-based line of the file where it starts
  size_t offset = 0;      // where it starts in the script
};

// Every line of the script, in the order in which the stub reads them.
std::vector<ScriptLine> ReadScriptLines(const std::string& text);

// The stub fills six fields from every value.
struct Fields {
  std::string field[kScriptFieldCount];
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

// The block that a Text or License command on line index of text reads.
TextBlock ReadTextBlock(const std::string& text, const std::vector<ScriptLine>& lines, size_t index);
