// Findings on a script: everything the stub would read differently from what
// its writer most likely meant. Errors are what makes an installer do the
// wrong thing (a command the stub does not see, a text that runs to the end
// of the script, a value it cuts, a destination it misreads); warnings are
// lines it ignores or takes in a way worth a second look.
#include <ctype.h>

#include <map>

#include "pack/script/script_check.h"
#include "pack/common/wording.h"

namespace {

std::string Trimmed(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

bool IsWord(const std::string& text) {
  if (text.empty()) return false;
  for (unsigned char c : text) {
    if (!isalnum(c) && c != '_') return false;
  }
  return true;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// An absolute form or a ".." component: the name reaches outside the folder
// it is taken in.
bool LeavesFolder(const std::string& name) {
  if (StartsWith(name, "\\") || StartsWith(name, "/") || (name.size() >= 2 && name[1] == ':')) return true;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string::npos) end = name.size();
    if (Trimmed(name.substr(start, end - start)) == "..") return true;
    start = end + 1;
  }
  return false;
}

const size_t kPathLimit = 1023;  // the stub's path buffers hold 1,024 bytes

// ---------------------------------------------------------------------------
// Commands
// ---------------------------------------------------------------------------

void CheckPath(const ScriptLine& line, Findings* f) {
  const int n = line.number;
  std::string p = line.value;
  if (StartsWith(p, "\"")) p.erase(0, 1);
  if (!p.empty() && p.back() == '"') p.pop_back();
  if (p.empty()) {
    f->Warn(n, "empty Path: the destination is the programs folder itself");
    return;
  }
  if (IsBlank(p[0])) {
    f->Fail(n, "the Path value begins with a blank: the stub takes it as a folder under the programs folder");
  } else if (StartsWith(p, "/") || StartsWith(p, "./") || StartsWith(p, "../")) {
    f->Fail(n, "the Path value begins with '/': the stub understands \".\\\", \"\\\" and drive forms "
               "only, and puts this one under the programs folder");
  } else if (StartsWith(p, "..\\")) {
    f->Warn(n, "the Path value begins with \"..\\\": the stub puts it under the programs folder, not "
               "beside the installer (use \".\\\" for a folder relative to where it starts)");
  } else if (p.size() >= 2 && p[1] == ':' && (p.size() == 2 || (p[2] != '\\' && p[2] != '/'))) {
    f->Warn(n, "drive-relative Path " + Quoted(p) + ": the folder depends on the current folder of that drive");
  }
  if (p.find('"') != std::string::npos) {
    f->Fail(n, "a double quote inside the Path value: the stub removes only a leading one and a last one");
  }
  if (p.find_first_of("<>|?*") != std::string::npos) {
    f->Fail(n, "the Path value holds a character that folder names cannot hold (< > | ? *)");
  }
  if (p.size() > kPathLimit) {
    f->Fail(n, "the Path value is " + Grouped(p.size()) + " characters: the stub's path buffer holds 1,023");
  }
}

void CheckShortcut(const ScriptLine& line, Findings* f) {
  const int n = line.number;
  if (!line.hasEquals) {
    f->Fail(n, "Shortcut without '=' and fields: the stub creates a shortcut with no target");
    return;
  }
  const Fields fields = SplitFields(line.value);
  const std::string& location = fields.field[0];
  const std::string& target = fields.field[1];
  if (location.empty()) {
    f->Warn(n, "Shortcut field 1 (location) is empty: the shortcut goes on the desktop");
  } else if (std::string("DPSTdpst").find(location[0]) == std::string::npos) {
    f->Warn(n, "Shortcut location " + Quoted(location) +
                   " does not begin with D, P, S or T: the shortcut goes on the desktop");
  }
  if (target.empty()) f->Fail(n, "Shortcut field 2 (target) is empty: there is nothing to point to");
  if (StartsWith(target, "\"") && target.find('"', 1) == std::string::npos) {
    f->Warn(n, "Shortcut target opens a double quote that it never closes: the whole rest is the target");
  }
  if (LeavesFolder(fields.field[2])) {
    f->Fail(n, "Shortcut field 3 (subfolder) " + Quoted(fields.field[2]) +
                   " is not a folder below the shortcut location");
  }
  if (fields.field[4].empty() && target.find('"') != std::string::npos) {
    f->Fail(n, "Shortcut without field 5 (name) takes its name from the target, which holds a double "
               "quote: no shortcut can have that name");
  }
  if (fields.field[4].find_first_of("\\/") != std::string::npos) {
    f->Warn(n, "Shortcut field 5 (name) holds a folder: only its name part is used");
  }
  for (const std::string* path : {&target, &fields.field[2], &fields.field[5]}) {
    if (path->size() > kPathLimit) {
      f->Fail(n, "a Shortcut field of " + Grouped(path->size()) +
                     " characters: the stub's path buffers hold 1,023");
    }
  }
  if (fields.more) f->Warn(n, "Shortcut has more than six fields: the stub ignores the rest");
}

void CheckBlock(const ScriptLine& line, const TextBlock& block, int keyword, Findings* f) {
  const std::string name = KeywordName(keyword);
  if (!block.closed) {
    f->Fail(line.number, name + " block without its closing '}' line: the text runs to the end of the script");
  } else if (!block.opened) {
    f->Warn(line.number, "no '{' line after " + name +
                             ": the lines that follow, up to a '}' line, are its text");
  }
}

void CheckUnknown(const ScriptLine& line, Findings* f) {
  const std::string& key = line.key;
  if (key.empty() || key[0] == ';' || key[0] == '{' || key[0] == '}') return;
  const int trimmed = LookUpKeyword(Trimmed(key));
  if (trimmed >= 0) {
    f->Fail(line.number, std::string("blanks around the keyword ") + Quoted(key) +
                             ": the stub does not take this line as " + WithArticle(KeywordName(trimmed)) + " command");
  } else if (IsWord(key) && line.hasEquals) {
    f->Warn(line.number, "unknown keyword " + Quoted(key) + ": the line is ignored");
  } else if (IsWord(key)) {
    f->Warn(line.number, Quoted(key) + " is not a command: the line is ignored");
  } else if (!line.hasEquals) {
    f->Warn(line.number, "text outside a Text or License block: the line is ignored");
  } else {
    f->Warn(line.number, "unknown command " + Quoted(key) + ": the line is ignored");
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Analysis
// ---------------------------------------------------------------------------

ScriptAnalysis AnalyseScript(const std::string& comment) {
  ScriptAnalysis s;
  s.lines = ReadScriptLines(comment);
  s.keyword.assign(s.lines.size(), -1);
  s.blockOwner.assign(s.lines.size(), -1);
  s.blocks.resize(s.lines.size());
  for (size_t i = 0; i < s.lines.size(); ++i) {
    const ScriptLine& line = s.lines[i];
    const int keyword = LookUpKeyword(line.key);
    s.keyword[i] = keyword;
    if (CommandReadsBlock(keyword, line.hasEquals)) {
      s.blocks[i] = ReadTextBlock(comment, s.lines, i);
      for (size_t k = s.blocks[i].first; k < s.blocks[i].last; ++k) {
        if (s.blockOwner[k] < 0) s.blockOwner[k] = static_cast<long>(i);
      }
    }
  }
  return s;
}

// ---------------------------------------------------------------------------
// Checks
// ---------------------------------------------------------------------------

void CheckScript(const std::string& comment, const ScriptAnalysis& s, Findings* f) {
  if (comment.size() > kCommentFormatLimit) {
    f->Fail(0, "the script is " + Grouped(comment.size()) +
                   " bytes: a ZIP archive comment holds at most 65,535");
  } else if (comment.size() > kCommentReadLimit) {
    f->Fail(0, "the script is " + Grouped(comment.size()) + " bytes: the stub finds a script of at most " +
                   Grouped(kCommentReadLimit) + " bytes");
  }
  std::map<int, int> lastOf;  // keyword -> line of its previous occurrence
  bool hasPath = false;
  int savePathLine = 0;
  for (size_t i = 0; i < s.lines.size(); ++i) {
    const ScriptLine& line = s.lines[i];
    const int n = line.number;
    const int keyword = s.keyword[i];
    if (line.overflow) {
      f->Fail(n, "a line of more than 4,095 characters: the stub cuts it there and reads the rest as a "
                 "line of its own");
    }
    if (keyword < 0) {
      if (s.blockOwner[i] < 0) CheckUnknown(line, f);
      continue;
    }
    if (s.blockOwner[i] >= 0) {
      const ScriptLine& owner = s.lines[s.blockOwner[i]];
      f->Warn(n, std::string("this line of the ") + KeywordName(s.keyword[s.blockOwner[i]]) +
                     " block of line " + std::to_string(owner.number) + " is also run as " +
                     WithArticle(KeywordName(keyword)) + " command");
    }
    if ((keyword == kCommandTitle || keyword == kCommandPath || keyword == kCommandLicense) && lastOf.count(keyword)) {
      f->Warn(n, std::string(KeywordName(keyword)) + " again (first on line " +
                     std::to_string(lastOf[keyword]) + "): the last one counts");
    }
    if (!lastOf.count(keyword)) lastOf[keyword] = n;
    switch (keyword) {
      case kCommandDelete:
        if (line.value.empty()) {
          f->Warn(n, "Delete without a value: it matches nothing");
        } else if (LeavesFolder(line.value)) {
          f->Fail(n, "Delete " + Quoted(line.value) + " reaches outside the destination folder");
        }
        break;
      case kCommandText:
        if (line.hasEquals) {
          if (i + 1 < s.lines.size() && StartsWith(s.lines[i + 1].whole, "{")) {
            f->Warn(n, "Text has a value, so the block below is not its text: the stub reads its lines as "
                       "commands");
          }
        } else {
          CheckBlock(line, s.blocks[i], keyword, f);
        }
        break;
      case kCommandLicense:
        CheckBlock(line, s.blocks[i], keyword, f);
        break;
      case kCommandPath:
        hasPath = true;
        CheckPath(line, f);
        break;
      case kCommandOverwrite:
        if (!line.value.empty() && std::string("012").find(line.value[0]) == std::string::npos) {
          f->Warn(n, "Overwrite " + Quoted(line.value) + " does not begin with 0, 1 or 2: the line changes nothing");
        }
        break;
      case kCommandSetup:
      case kCommandPresetup:
        if (Trimmed(line.value).empty()) {
          f->Warn(n, std::string(KeywordName(keyword)) + " without a program: nothing is started");
        }
        break;
      case kCommandShortcut:
        CheckShortcut(line, f);
        break;
      case kCommandSavePath:
        savePathLine = n;
        break;
      default:
        break;
    }
  }
  if (savePathLine > 0 && !hasPath) {
    f->Warn(savePathLine, "SavePath without a Path command: there is no destination to remember");
  }
}
