// The stub's reading rules for the script (see script_reader.h).
#include "pack/script_reader.h"

#include <strings.h>

namespace {

const char* const kKeywords[kKeywordCount] = {
    "Delete", "Text", "Title", "Path", "Silent", "Overwrite", "Setup",
    "TempMode", "License", "Presetup", "ExtSign", "Shortcut", "SavePath"};

}  // namespace

const char* KeywordName(int keyword) { return kKeywords[keyword]; }

int LookUpKeyword(const std::string& key) {
  for (int i = 0; i < kKeywordCount; ++i) {
    if (strcasecmp(key.c_str(), kKeywords[i]) == 0) return i;
  }
  return -1;
}

// ---------------------------------------------------------------------------
// Lines
// ---------------------------------------------------------------------------

std::vector<ScriptLine> ReadScriptLines(const std::string& text) {
  std::vector<ScriptLine> lines;
  size_t position = 0;
  int number = 1;
  // A NUL ends the script as it ends the stub's text.
  const size_t end = std::min(text.find('\0'), text.size());
  while (position < end) {
    ScriptLine line;
    line.number = number;
    bool ended = false;
    while (position < end) {
      const char c = text[position];
      if (c == '\r') {
        position += (position + 1 < end) ? 2 : 1;  // the stub skips the LF, whatever it is
        ended = true;
        break;
      }
      if (c == '\n') {
        position += 1;
        ended = true;
        break;
      }
      if (line.whole.size() == kScriptLineLimit) {
        line.overflow = true;  // the rest of this line is read as the next one
        break;
      }
      line.whole.push_back(c);
      position += 1;
    }
    const size_t equals = line.whole.find('=');
    line.hasEquals = equals != std::string::npos;
    line.key = line.whole.substr(0, equals);
    if (line.hasEquals) line.value = line.whole.substr(equals + 1);
    if (ended) ++number;
    lines.push_back(std::move(line));
  }
  return lines;
}

// ---------------------------------------------------------------------------
// Fields
// ---------------------------------------------------------------------------

std::optional<size_t> SplitField(const std::string& value, std::optional<size_t> position,
                                 std::string* field) {
  field->clear();
  if (!position || *position >= value.size()) return std::nullopt;
  const size_t start = *position;
  bool quoted = false;
  size_t i = start;
  while (i < value.size()) {
    const char c = value[i];
    if (c == '"') {
      const bool pair = i + 1 < value.size() && value[i + 1] == '"';
      const bool emptyQuoted =
          pair && !quoted && i == start && (i + 2 == value.size() || value[i + 2] == ',');
      if (pair && !emptyQuoted) {
        field->push_back('"');
        i += 2;
        continue;
      }
      if (quoted || value.find('"', i + 1) != std::string::npos) {
        quoted = !quoted;  // the quote itself is dropped
      } else {
        field->push_back(c);  // a lone quote without a partner is kept
      }
      ++i;
      continue;
    }
    if (c == ',' && !quoted) {
      ++i;
      while (i < value.size() && IsBlank(value[i])) ++i;
      return i;
    }
    field->push_back(c);
    ++i;
  }
  return value.size();
}

Fields SplitFields(const std::string& value) {
  Fields fields;
  std::optional<size_t> position = 0;
  for (std::string& field : fields.field) position = SplitField(value, position, &field);
  fields.more = position && *position < value.size();
  return fields;
}

// ---------------------------------------------------------------------------
// Text blocks
// ---------------------------------------------------------------------------

TextBlock ReadTextBlock(const std::vector<ScriptLine>& lines, size_t index) {
  TextBlock block;
  block.first = index + 1;
  size_t i = index + 1;
  for (; i < lines.size(); ++i) {
    const ScriptLine& line = lines[i];
    if (block.text.empty() && !line.whole.empty() && line.whole[0] == '{') {
      if (i == block.first) block.opened = true;
      continue;
    }
    if (!line.whole.empty() && line.whole[0] == '}') {
      block.closed = true;
      ++i;
      break;
    }
    block.text += line.whole;
    if (!line.overflow) {
      while (!block.text.empty() && block.text.back() == ' ') block.text.pop_back();  // blanks, not tabs
      block.text += "\r\n";
    }
  }
  block.last = i;
  return block;
}
