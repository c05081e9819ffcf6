// The script's grammar, shared by the stub and the packer (see the header).
#include "driver/portable/script_grammar.h"

namespace {

const unsigned kPrescan = 1u << static_cast<int>(ScriptMode::Prescan);
const unsigned kDialogInit = 1u << static_cast<int>(ScriptMode::DialogInit);
const unsigned kLicenseInit = 1u << static_cast<int>(ScriptMode::LicenseInit);
const unsigned kTempFolder = 1u << static_cast<int>(ScriptMode::TempFolder);
const unsigned kRunPresetup = 1u << static_cast<int>(ScriptMode::RunPresetup);
const unsigned kDeleteFiles = 1u << static_cast<int>(ScriptMode::DeleteFiles);
const unsigned kShortcuts = 1u << static_cast<int>(ScriptMode::Shortcuts);
const unsigned kRunSetup = 1u << static_cast<int>(ScriptMode::RunSetup);

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameKeyword(const char* key, const char* keyword) {
  for (; *keyword != '\0'; ++key, ++keyword) {
    if (FoldAscii(*key) != FoldAscii(*keyword)) return false;
  }
  return *key == '\0';
}

bool HasQuoteAfter(const char* p) {
  for (; *p != '\0'; ++p) {
    if (*p == '"') return true;
  }
  return false;
}

}  // namespace

// Silent and Overwrite act in every pass, so the last such line decides;
// ExtSign is recognised and does nothing.
const ScriptKeyword kScriptKeywords[kScriptCommandCount] = {
    {"Delete", kDeleteFiles, ScriptValue::Whole, ScriptBlock::Never},
    {"Text", kDialogInit, ScriptValue::Whole, ScriptBlock::WithoutValue},
    {"Title", kDialogInit, ScriptValue::Whole, ScriptBlock::Never},
    {"Path", kDialogInit, ScriptValue::Whole, ScriptBlock::Never},
    {"Silent", kEveryMode, ScriptValue::FirstChar, ScriptBlock::Never},
    {"Overwrite", kEveryMode, ScriptValue::FirstChar, ScriptBlock::Never},
    {"Setup", kRunSetup, ScriptValue::Whole, ScriptBlock::Never},
    {"TempMode", kPrescan | kTempFolder, ScriptValue::Fields, ScriptBlock::Never},
    {"License", kLicenseInit, ScriptValue::Whole, ScriptBlock::Always},
    {"Presetup", kRunPresetup, ScriptValue::Whole, ScriptBlock::Never},
    {"ExtSign", 0, ScriptValue::Nothing, ScriptBlock::Never},
    {"Shortcut", kShortcuts, ScriptValue::Fields, ScriptBlock::Never},
    {"SavePath", kPrescan, ScriptValue::Nothing, ScriptBlock::Never},
};

int FindKeyword(const char* key) {
  for (int i = 0; i < kScriptCommandCount; ++i) {
    if (SameKeyword(key, kScriptKeywords[i].name)) return i;
  }
  return kNoCommand;
}

bool CommandActsIn(int command, ScriptMode mode) {
  return command >= 0 && command < kScriptCommandCount && (kScriptKeywords[command].passes & ModeBit(mode)) != 0;
}

bool CommandReadsBlock(int command, bool hasEquals) {
  if (command < 0 || command >= kScriptCommandCount) return false;
  const ScriptBlock block = kScriptKeywords[command].block;
  return block == ScriptBlock::Always || (block == ScriptBlock::WithoutValue && !hasEquals);
}

// ---------------------------------------------------------------------------
// Lines
// ---------------------------------------------------------------------------

const char* ReadScriptText(const char* position, char* line, int capacity, ScriptLineShape* shape) {
  shape->length = 0;
  shape->equals = -1;
  shape->overflow = false;
  if (position == nullptr || *position == '\0') return nullptr;
  const int limit = capacity - 1;
  int stored = 0;
  const char* p = position;
  for (;;) {
    const char c = *p;
    if (c == '\0') break;
    if (c == '\r') {
      // Only the LF of a CR LF pair goes with the CR: a lone CR ends its
      // line without costing the next line its first character.
      ++p;
      if (*p == '\n') ++p;
      break;
    }
    if (c == '\n') {
      ++p;
      break;
    }
    if (stored == limit) {
      shape->overflow = true;  // the rest of this physical line is the next line
      break;
    }
    if (c == '=' && shape->equals < 0) shape->equals = stored;
    line[stored++] = c;
    ++p;
  }
  line[stored] = '\0';
  shape->length = stored;
  return p;
}

// ---------------------------------------------------------------------------
// Fields
// ---------------------------------------------------------------------------

const char* SplitField(const char* position, char* field) {
  field[0] = '\0';
  if (position == nullptr || *position == '\0') return nullptr;

  const char* const start = position;
  const char* p = position;
  char* out = field;
  bool quoted = false;
  while (*p != '\0') {
    const char c = *p;
    if (c == '"') {
      // A doubled quote is one literal quote, except that "" standing alone
      // as a field is an empty quoted field (handled as open and close).
      const bool emptyField = !quoted && p == start && (p[2] == ',' || p[2] == '\0');
      if (p[1] == '"' && !emptyField) {
        *out++ = '"';
        p += 2;
        continue;
      }
      ++p;
      if (quoted) {
        quoted = false;
      } else if (HasQuoteAfter(p)) {
        quoted = true;
      } else {
        *out++ = '"';  // a lone quote without a partner is plain text
      }
      continue;
    }
    if (c == ',' && !quoted) {
      ++p;
      while (*p == ' ' || *p == '\t') ++p;
      *out = '\0';
      return p;
    }
    *out++ = c;
    ++p;
  }
  *out = '\0';
  return p;
}

// ---------------------------------------------------------------------------
// Text blocks
// ---------------------------------------------------------------------------

int CollectTextBlock(const char* position, char* block, TextBlockEnd* end) {
  const int textLimit = kTextBlockSize - 5;  // room for the CR LF and the terminator
  block[0] = '\0';
  int length = 0;
  end->next = nullptr;
  end->closed = false;
  end->opened = position != nullptr && *position == '{';

  char line[kScriptLineSize];
  ScriptLineShape shape;
  const char* next;
  while ((next = ReadScriptText(position, line, kScriptLineSize, &shape)) != nullptr) {
    if (length == 0 && line[0] == '{') {
      position = next;
      continue;
    }
    if (line[0] == '}') {
      end->closed = true;
      position = next;
      break;
    }
    const int lineLength = shape.length;
    int collected = length;
    if (collected >= 2 && block[collected - 2] == '\r' && block[collected - 1] == '\n') collected -= 2;
    if (collected + lineLength > textLimit) break;  // this line is not read

    for (int i = 0; i <= lineLength; ++i) block[length + i] = line[i];
    length += lineLength;
    // A line cut at the line limit goes on in the next line of the block.
    if (!shape.overflow) {
      while (length > 0 && block[length - 1] == ' ') --length;
      block[length++] = '\r';
      block[length++] = '\n';
      block[length] = '\0';
    }
    position = next;
  }
  end->next = position != nullptr && *position != '\0' ? position : nullptr;
  return length;
}

// ---------------------------------------------------------------------------
// Values
// ---------------------------------------------------------------------------

void UnescapeScriptText(char* text, bool (*isLeadByte)(unsigned char)) {
  char* out = text;
  const char* p = text;
  while (*p != '\0') {
    if (p[0] == '\\' && (p[1] == '\\' || p[1] == 'n')) {
      *out++ = p[1] == 'n' ? '\n' : '\\';
      p += 2;
      continue;
    }
    // A lead byte takes its second byte along, unless the text ends there.
    const bool pair = isLeadByte != nullptr && isLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0';
    *out++ = *p++;
    if (pair) *out++ = *p++;
  }
  *out = '\0';
}

int SilentAfter(int current, const char* value) {
  if (current == kSilentFull) return current;
  return (value[0] >= '0' && value[0] <= '9') ? value[0] - '0' : kSilentAutomatic;
}

int SilentAfterTempMode(int current) { return current == kSilentNone ? kSilentAutomatic : current; }

DestinationBase ReadDestinationBase(const char* value, const char** rest) {
  const char* p = value[0] == '"' ? value + 1 : value;
  if (p[0] == '.' && p[1] == '\\') {
    *rest = p + 2;
    return DestinationBase::kStartFolder;
  }
  *rest = p;
  // A drive letter and its colon: the second byte is never a lead byte's.
  if (p[0] == '\\' || (p[0] != '\0' && p[1] == ':')) return DestinationBase::kAsWritten;
  return DestinationBase::kProgramsFolder;
}

OverwriteValue ReadOverwriteValue(const char* value) {
  switch (value[0]) {
    case '0': return OverwriteValue::Ask;
    case '1':
    case '\0': return OverwriteValue::Replace;
    case '2': return OverwriteValue::Skip;
    default: return OverwriteValue::Unchanged;
  }
}
