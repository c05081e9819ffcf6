// Text files of the publisher (scripts, messages blocks) in the stub's code
// page: converted line by line, so that every problem names its line.
#include "pack/common/text_file.h"

#include <string_view>

std::string ConvertTextFile(const std::string& utf8, const CodePage& codePage, Findings* findings) {
  std::string_view text = utf8;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::string comment;
  int number = 1;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    const bool broken = end != std::string_view::npos;
    if (!broken) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    std::string bytes, bad;
    if (line.find('\0') != std::string_view::npos) {
      findings->Fail(number, "a NUL byte: the stub's text ends there");
    } else if (!codePage.Encode(line, &bytes, &bad)) {
      findings->Fail(number, FindInvalidUtf8(line) != std::string_view::npos
                                 ? "not UTF-8 text (" + bad + ")"
                                 : bad + " cannot be written in code page " +
                                       std::to_string(codePage.number()));
    }
    comment += bytes;
    if (broken) {
      comment += "\r\n";
      end += (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1;
    }
    start = end;
    ++number;
  }
  return comment;
}
