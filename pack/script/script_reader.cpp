// The script taken apart once by the stub's grammar, for the checks.
#include "pack/script/script_reader.h"

#include <algorithm>

std::vector<ScriptLine> ReadScriptLines(const std::string& text) {
  std::vector<ScriptLine> lines;
  // The grammar reads up to the first NUL, as the stub reads its text.
  const char* const start = text.c_str();
  std::vector<char> buffer(kScriptLineSize);
  int number = 1;
  ScriptLineShape shape;
  for (const char* p = start, *next; (next = ReadScriptText(p, buffer.data(), kScriptLineSize, &shape)) != nullptr;
       p = next) {
    ScriptLine line;
    line.whole.assign(buffer.data(), static_cast<size_t>(shape.length));
    line.hasEquals = shape.equals >= 0;
    line.key = line.whole.substr(0, line.hasEquals ? static_cast<size_t>(shape.equals) : std::string::npos);
    if (line.hasEquals) line.value = line.whole.substr(static_cast<size_t>(shape.equals) + 1);
    line.overflow = shape.overflow;
    line.number = number;
    line.offset = static_cast<size_t>(p - start);
    // A cut line goes on in the same line of the file.
    if (!shape.overflow && next > p && (next[-1] == '\n' || next[-1] == '\r')) ++number;
    lines.push_back(std::move(line));
  }
  return lines;
}

Fields SplitFields(const std::string& value) {
  Fields fields;
  std::vector<char> buffer(kScriptLineSize);
  const char* position = value.c_str();
  for (std::string& field : fields.field) {
    position = SplitField(position, buffer.data());
    field = buffer.data();
  }
  fields.more = position != nullptr && *position != '\0';
  return fields;
}

TextBlock ReadTextBlock(const std::string& text, const std::vector<ScriptLine>& lines, size_t index) {
  TextBlock block;
  block.first = index + 1;
  const char* const start = text.c_str();
  const char* after = block.first < lines.size() ? start + lines[block.first].offset : nullptr;
  std::vector<char> buffer(kTextBlockSize);
  TextBlockEnd end;
  const int length = CollectTextBlock(after, buffer.data(), &end);
  block.text.assign(buffer.data(), static_cast<size_t>(length));
  block.closed = end.closed;
  block.opened = end.opened;
  if (end.next == nullptr) {
    block.last = lines.size();
  } else {
    const size_t offset = static_cast<size_t>(end.next - start);
    block.last = static_cast<size_t>(
        std::lower_bound(lines.begin(), lines.end(), offset,
                         [](const ScriptLine& line, size_t at) { return line.offset < at; }) - lines.begin());
  }
  return block;
}
