// Templates, validation and reading of messages blocks. The reading follows
// the stub's rules: escapes are undone over the whole block first, raw CR
// and LF end lines, an entry line is eight key characters, '=' and a double
// quote, and its value runs to the last double quote of the line.
#include "pack/script/messages_block.h"

#include <ctype.h>
#include <stdlib.h>

#include <map>
#include <set>

#include "pack/common/text_file.h"
#include "ui/portable/message_key.h"
#include "ui/portable/messages_reader.h"

const char kMessagesMarker[] = "***messages**";

namespace {

// A size's width or height, digits only: 25 to 400 percent. Digits beyond
// any number of that size (the line may hold anything) are simply too many.
bool InPercentRange(const std::string& digits) {
  const size_t first = digits.find_first_not_of('0');
  if (first != std::string::npos && digits.size() - first > 3) return false;
  const unsigned long value = strtoul(digits.c_str(), nullptr, 10);
  return value >= 25 && value <= 400;
}

std::string Key(const char* kind, const std::string& dialog, const std::string& text) {
  char key[kMessageKeyLength];
  MessageKey(kind, dialog.empty() ? nullptr : dialog.c_str(), text.c_str(), key);
  return std::string(key, kMessageKeyLength);
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  return out;
}

// The printf conversions of a text ("%s", "%5.2f", ...), "%%" left out.
// A '%' that starts no conversion counts as one, so it never matches.
std::vector<std::string> Conversions(const std::string& text) {
  std::vector<std::string> found;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    if (i + 1 < text.size() && text[i + 1] == '%') {
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (j < text.size() && std::string("-+ #0").find(text[j]) != std::string::npos) ++j;
    while (j < text.size() && (isdigit(static_cast<unsigned char>(text[j])) || text[j] == '*' || text[j] == '.')) ++j;
    while (j < text.size() && std::string("hlLqjztwI6432").find(text[j]) != std::string::npos) ++j;
    if (j < text.size() && std::string("cCdiouxXeEfgGaAnpsS").find(text[j]) != std::string::npos) {
      found.push_back(text.substr(i, j + 1 - i));
      i = j;
    } else {
      found.push_back("%");
    }
  }
  return found;
}

std::string Join(const std::vector<std::string>& parts) {
  if (parts.empty()) return "none";
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : " ") + p;
  return out;
}

bool IsHexKey(const std::string& text, bool* upper) {
  *upper = false;
  if (text.size() < static_cast<size_t>(kMessageKeyLength)) return false;
  for (int i = 0; i < kMessageKeyLength; ++i) {
    const char c = text[i];
    if (c >= 'A' && c <= 'F') *upper = true;
    else if (!isdigit(static_cast<unsigned char>(c)) && !(c >= 'a' && c <= 'f')) return false;
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// The stub's texts and the template
// ---------------------------------------------------------------------------

std::vector<StubText> StubTexts(const StubImage& image, const CodePage& codePage) {
  std::vector<StubText> texts;
  const auto add = [&](StubText::Role role, const char* kind, const std::string& dialog,
                       const std::string& english, int id) {
    std::string bytes;
    if (!codePage.Encode(english, &bytes)) bytes = english;  // no key of such a text can match
    texts.push_back({role, dialog, english, id, Key(kind, dialog, bytes)});
  };
  add(StubText::kDirection, "$", "LTR", "LTR", 0);
  for (const DialogTexts& dialog : image.dialogs) {
    add(StubText::kSize, "$", dialog.name, "", 0);
    std::set<std::string> seen;
    std::vector<std::string> all = {dialog.caption};
    all.insert(all.end(), dialog.texts.begin(), dialog.texts.end());
    for (const std::string& text : all) {
      if (!seen.insert(text).second) continue;
      add(StubText::kDialogText, "$", dialog.name, text, 0);
    }
  }
  for (const auto& [id, text] : image.strings) add(StubText::kMessage, "s", "", text, id);
  return texts;
}

std::string MessagesTemplate(const std::vector<StubText>& texts, bool pseudo) {
  const auto entry = [&](const StubText& t, const std::string& text) {
    return t.key + "=\"" + Escape(pseudo ? "[" + text + "]" : text) + "\"";
  };
  std::vector<std::string> out = {kMessagesMarker,
                                  "; Zimbro SFX messages block. Only lines of the form key=\"value\" count.", ""};
  bool inDialog = false, inMessages = false;
  for (const StubText& t : texts) {
    switch (t.role) {
      case StubText::kDirection:
        out.push_back("; Layout direction: RTL lays every dialog out right to left.");
        out.push_back(t.key + "=\"LTR\"");
        out.push_back("");
        break;
      case StubText::kSize:
        if (inDialog) out.push_back("");
        inDialog = true;
        out.push_back("; ---- dialog " + t.dialog);
        out.push_back("; Size in percent, width*height (100*100 keeps the template's size).");
        out.push_back(t.key + "=\"100*100\"");
        break;
      case StubText::kDialogText:
        out.push_back("; " + Escape(t.english));
        out.push_back(entry(t, t.english));
        break;
      case StubText::kMessage:
        if (!inMessages) {
          if (inDialog) out.push_back("");
          out.push_back("; ---- messages");
          inMessages = true;
        }
        out.push_back("; " + std::to_string(t.id) + ": " + Escape(t.english));
        out.push_back(entry(t, t.english));
        break;
    }
  }
  std::string text;
  for (const std::string& line : out) text += line + "\r\n";
  return text;
}

// ---------------------------------------------------------------------------
// Reading a block
// ---------------------------------------------------------------------------

std::vector<BlockEntry> ReadBlockEntries(const std::string& block) {
  // Unescaped by the stub's own rules, noting the byte each result byte
  // came from so that an entry can be told by its line in the file.
  std::string text = block;
  std::vector<int32_t> source(text.size() + 1);
  text.resize(static_cast<size_t>(UnescapeBlock(&text[0], static_cast<int32_t>(text.size()), source.data())));
  std::vector<int> lineOf(block.size() + 1, 1);
  for (size_t r = 0, line = 1; r < block.size(); ++r) {
    lineOf[r] = static_cast<int>(line);
    const char next = r + 1 < block.size() ? block[r + 1] : '\0';
    if (block[r] == '\n' || (block[r] == '\r' && next != '\n')) ++line;
  }
  std::vector<BlockEntry> entries;
  const char* const start = text.c_str();
  const char* line = start;
  BlockEntryText found;
  while ((line = NextBlockEntry(line, start + text.size(), &found)) != nullptr) {
    BlockEntry entry;
    entry.key.assign(found.key, static_cast<size_t>(kMessageKeyLength));
    entry.value.assign(found.value, static_cast<size_t>(found.extent));
    entry.closed = found.closed;
    entry.line = lineOf[static_cast<size_t>(source[static_cast<size_t>(found.key - start)])];
    entries.push_back(entry);
  }
  return entries;
}

// ---------------------------------------------------------------------------
// Validation
// ---------------------------------------------------------------------------

std::string PrepareMessagesBlock(const std::string& utf8, const std::vector<StubText>& texts,
                                 const CodePage& codePage, Findings* f) {
  std::string block = ConvertTextFile(utf8, codePage, f);
  if (block.compare(0, sizeof kMessagesMarker - 1, kMessagesMarker) != 0) {
    f->Fail(1, std::string("the first line is not the marker ") + kMessagesMarker +
                   ": the stub finds no block without it");
  }
  if (!block.empty() && block.back() != '\n') block += "\r\n";
  if (block.size() > kMessagesBlockLimit) {
    f->Fail(0, "the block is " + std::to_string(block.size()) + " bytes: the stub reads the first " +
                   std::to_string(kMessagesBlockLimit));
  }

  std::map<std::string, const StubText*> byKey;
  for (const StubText& t : texts) byKey.emplace(t.key, &t);
  std::map<std::string, int> firstLine;
  for (const BlockEntry& e : ReadBlockEntries(block)) {
    bool upper = false;
    if (!IsHexKey(e.key, &upper)) {
      f->Warn(e.line, "\"" + codePage.Decode(e.key) + "\" is not a key of eight hexadecimal digits: the line is ignored");
      continue;
    }
    if (upper) {
      f->Fail(e.line, "key " + e.key + " has upper-case digits: the stub matches lower-case keys only");
      continue;
    }
    if (!firstLine.emplace(e.key, e.line).second) {
      f->Warn(e.line, "key " + e.key + " again (first on line " + std::to_string(firstLine[e.key]) +
                          "): the first entry counts");
      continue;
    }
    if (!e.closed) f->Fail(e.line, "the value of " + e.key + " has no closing double quote");
    const auto known = byKey.find(e.key);
    if (known == byKey.end()) {
      f->Fail(e.line, "unknown key " + e.key + ": no text of this stub has it");
      continue;
    }
    const StubText& t = *known->second;
    const std::string value = codePage.Decode(e.value);
    switch (t.role) {
      case StubText::kSize: {
        const size_t star = value.find('*');
        const bool digits = star != std::string::npos && star > 0 && star + 1 < value.size() &&
                            value.find_first_not_of("0123456789*") == std::string::npos &&
                            value.find('*', star + 1) == std::string::npos;
        if (!digits) {
          f->Fail(e.line, "the size of " + t.dialog + " must be width*height in percent, like 120*110");
        } else if (!InPercentRange(value.substr(0, star)) || !InPercentRange(value.substr(star + 1))) {
          f->Warn(e.line, "the size " + value + " of " + t.dialog + " is outside 25..400 percent");
        }
        break;
      }
      case StubText::kDirection:
        if (value != "RTL" && value != "LTR") {
          f->Warn(e.line, "the direction is \"" + value + "\": only \"RTL\" (upper case) mirrors the dialogs");
        }
        break;
      case StubText::kMessage:
        if (Conversions(e.value) != Conversions(t.english)) {
          f->Fail(e.line, "message " + std::to_string(t.id) + ": the conversions of the value (" +
                              Join(Conversions(e.value)) + ") differ from the English text's (" +
                              Join(Conversions(t.english)) + ")");
        }
        if (e.value.size() > 255) f->Warn(e.line, "message " + std::to_string(t.id) + ": the stub cuts it to 255 characters");
        break;
      case StubText::kDialogText:
        if (e.value.size() > 1023) f->Warn(e.line, "a dialog text of " + t.dialog + ": the stub cuts it to 1,023 characters");
        break;
    }
  }
  block.push_back('\0');
  return block;
}
