// What the stub will do with a script, pass by pass, in the order of a run.
// The passes are replayed the way the stub makes them: each one reads the
// whole script from its first line and acts on its own commands only, while
// Silent and Overwrite act in every pass (so the last one decides).
#include <cctype>

#include "pack/script/script_check.h"
#include "pack/common/wording.h"

namespace {

enum Pass { kPrescan, kDialogInit, kLicenseInit, kTempFolder, kRunPresetup, kDeleteFiles, kShortcuts, kRunSetup };
const char* const kPassNames[] = {"Prescan", "DialogInit", "LicenseInit", "TempFolder",
                                  "RunPresetup", "DeleteFiles", "Shortcuts", "RunSetup"};
// The stub's mode of each pass, in the order of a run.
const ScriptMode kPassModes[] = {ScriptMode::Prescan, ScriptMode::DialogInit, ScriptMode::LicenseInit,
                                 ScriptMode::TempFolder, ScriptMode::RunPresetup, ScriptMode::DeleteFiles,
                                 ScriptMode::Shortcuts, ScriptMode::RunSetup};

std::string NamePart(const std::string& path) {
  const size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool EndsWithLnk(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char& c : tail) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return tail == ".lnk";
}

std::string SilentMeaning(int mode) {
  switch (mode) {
    case kSilentNone: return "silent mode 0: the dialog waits for the user to press Install";
    case kSilentFull: return "silent mode 1: fully silent, no dialog unless something fails";
    case kSilentAutomatic: return "silent mode 2: the dialog opens and installs at once, destination locked";
    default: return "silent mode " + std::to_string(mode) + ": the dialog opens and installs at once";
  }
}

std::string DescribeShortcut(const std::string& value) {
  const Fields fields = SplitFields(value);
  const char location = fields.field[0].empty() ? 'D' : static_cast<char>(toupper(fields.field[0][0]));
  std::string folder = location == 'P' ? "Programs menu" : location == 'S' ? "Start menu"
                     : location == 'T' ? "Startup folder" : "desktop";
  if (!fields.field[2].empty()) folder += "\\" + fields.field[2];
  std::string name = NamePart(fields.field[4].empty() ? fields.field[1] : fields.field[4]);
  if (!EndsWithLnk(name)) name += ".lnk";
  std::string target = fields.field[1], arguments;
  if (!target.empty() && target[0] == '"') {
    const size_t close = target.find('"', 1);
    arguments = close == std::string::npos ? "" : target.substr(close + 1);
    target = target.substr(1, close == std::string::npos ? std::string::npos : close - 1);
  }
  std::string text = folder + "\\" + name + " -> " + target;
  if (!arguments.empty()) text += " (arguments:" + arguments + ")";
  if (!fields.field[3].empty()) text += ", description " + Quoted(fields.field[3]);
  if (!fields.field[5].empty()) text += ", icon " + fields.field[5];
  return text;
}

// "scheme://...": the stub hands an address to the shell as it is. The
// scheme has two characters at least, so that "C://x" stays a path.
bool IsAddress(const std::string& text) {
  size_t end = 0;
  while (end < text.size() && (isalpha(static_cast<unsigned char>(text[end])) ||
                               (end > 0 && (isdigit(static_cast<unsigned char>(text[end])) ||
                                            text[end] == '+' || text[end] == '-' || text[end] == '.')))) {
    ++end;
  }
  return end >= 2 && text.compare(end, 3, "://") == 0;
}

bool IsFullPath(const std::string& file) {
  const auto separator = [](char c) { return c == '\\' || c == '/'; };
  return (file.size() >= 3 && isalpha(static_cast<unsigned char>(file[0])) && file[1] == ':' && separator(file[2])) ||
         (file.size() >= 2 && separator(file[0]) && separator(file[1]));
}

// A Setup or Presetup command by what the stub's launcher does with it: it
// splits the file from its arguments (a quoted file, or up to a blank or a
// '/'; an address keeps its "//"), takes a name without an extension as a
// program (".exe"), looks for a relative name in the destination and then
// the system folders only, installs an .inf through its Install section,
// starts a program or a batch file, and lets Windows open any other file
// with the program it has for it.
std::string DescribeStart(const std::string& command) {
  if (command.empty()) return "starts nothing (no program given)";
  std::string file, arguments;
  if (!command.empty() && command[0] == '"') {
    const size_t close = command.find('"', 1);
    file = command.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    if (close != std::string::npos) arguments = command.substr(close + 1);
  } else {
    const bool address = IsAddress(command);
    size_t end = 1;
    while (end < command.size() && command[end] != ' ' && (address || command[end] != '/')) ++end;
    file = command.substr(0, end);
    arguments = command.substr(end);
  }
  const size_t firstArgument = arguments.find_first_not_of(' ');
  arguments = firstArgument == std::string::npos ? "" : arguments.substr(firstArgument);
  std::string text;
  if (IsAddress(file)) {
    text = "opens the address " + Quoted(file);
  } else {
    const size_t dot = NamePart(file).rfind('.');
    if (dot == std::string::npos) file += ".exe";
    std::string extension = dot == std::string::npos ? ".exe" : NamePart(file).substr(dot);
    for (char& c : extension) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    const bool full = IsFullPath(file);
    const std::string where = full ? "" : " (destination or system folders)";
    if (extension == ".inf") text = "installs " + Quoted(file) + (full ? " (" : " (destination or system folders; ") + "its Install section)";
    else if (extension == ".bat" || extension == ".cmd") text = "starts the batch file " + Quoted(file) + where;
    else if (extension == ".exe" || extension == ".com") text = "starts the program " + Quoted(file) + where;
    else text = "opens " + Quoted(file) + where + " with the program Windows has for " + extension + " files";
  }
  if (!arguments.empty()) text += " with the arguments " + Quoted(arguments);
  return text;
}

// The TempMode question: "question,title" or "question@title".
std::string DescribeQuestion(const std::string& value) {
  std::string question = value, title;
  if (value.find(',') == std::string::npos) {
    const size_t at = value.find('@');
    if (at != std::string::npos) title = value.substr(at + 1), question = value.substr(0, at);
  }
  if (title.empty()) {
    const Fields fields = SplitFields(question);
    question = fields.field[0], title = fields.field[1];
  }
  return "asks " + Quoted(question) + (title.empty() ? "" : " under the title " + Quoted(title)) +
         " (unless started with /s); No cancels the installation";
}

}  // namespace

// By the stub's own rule (ReadDestinationBase), which it applies to the value
// with its environment variables expanded. Those only the target machine
// knows: a value that starts with one is told as such.
std::string DescribeDestination(const std::string& value) {
  const char* rest = value.c_str();
  const DestinationBase base = ReadDestinationBase(value.c_str(), &rest);
  std::string destination = rest;
  const size_t quote = destination.rfind('"');
  if (quote != std::string::npos && quote + 1 == destination.size()) destination.pop_back();
  const size_t closing = destination.size() > 1 && destination[0] == '%' ? destination.find('%', 1) : std::string::npos;
  if (base == DestinationBase::kProgramsFolder && closing != std::string::npos) {
    return destination + " as the target machine expands " + destination.substr(0, closing + 1) +
           ": taken as it is when that is a full path, else inside <programs folder>";
  }
  switch (base) {
    case DestinationBase::kStartFolder: return destination + " (relative to the folder the installer starts in)";
    case DestinationBase::kAsWritten: return destination;
    case DestinationBase::kProgramsFolder: break;
  }
  return "<programs folder>\\" + destination;
}

std::string DescribePasses(const ScriptAnalysis& s, const CodePage& codePage) {
  std::vector<std::string> said[8];
  int silent = kSilentNone;
  OverwriteValue overwrite = OverwriteValue::Ask;
  bool tempMode = false, hasText = false;
  size_t textLength = 0;
  int textCommands = 0;
  std::string caption, destination, license;
  bool hasLicense = false;
  const auto text = [&](const std::string& bytes) { return codePage.Decode(bytes); };

  for (int pass = kPrescan; pass <= kRunSetup; ++pass) {
    for (size_t i = 0; i < s.lines.size(); ++i) {
      const ScriptLine& line = s.lines[i];
      const std::string& value = line.value;
      if (!CommandActsIn(s.keyword[i], kPassModes[pass])) continue;
      switch (s.keyword[i]) {
        case kCommandSilent:
          silent = SilentAfter(silent, value.c_str());
          break;
        case kCommandOverwrite: {
          const OverwriteValue choice = ReadOverwriteValue(value.c_str());
          if (choice != OverwriteValue::Unchanged) overwrite = choice;
          break;
        }
        case kCommandTempMode:
          if (pass == kPrescan) {
            silent = SilentAfterTempMode(silent);
            tempMode = true;
          } else if (pass == kTempFolder && !value.empty()) {
            said[pass].push_back(DescribeQuestion(text(value)));
          }
          break;
        case kCommandSavePath:
          said[pass].push_back("remembers the chosen destination for the next run (for the user; for the machine in a run"
                               " with administrator rights)");
          break;
        case kCommandTitle:
          caption = text(value);
          break;
        case kCommandPath:
          destination = DescribeDestination(text(value));
          break;
        case kCommandText:
          textLength += (hasText ? 4 : 0) + (line.hasEquals ? value.size() : s.blocks[i].text.size());
          hasText = true;
          ++textCommands;
          break;
        case kCommandLicense:
          hasLicense = true;
          license = (value.empty() ? std::string("with the template's caption") : "titled " + Quoted(text(value))) +
                    ", " + std::to_string(s.blocks[i].text.size()) + " characters of text";
          break;
        case kCommandPresetup:
          said[pass].push_back(DescribeStart(text(value)) + " and waits for it");
          break;
        case kCommandDelete:
          said[pass].push_back("deletes " + Quoted(text(value)) + " in the destination");
          break;
        case kCommandShortcut:
          said[pass].push_back(DescribeShortcut(text(value)));
          break;
        case kCommandSetup:
          said[pass].push_back(DescribeStart(text(value)) +
                               (tempMode ? " and waits for it; then the temporary folder is removed"
                                         : " after the dialog has closed"));
          break;
        default:
          break;
      }
    }
    // What the pass settled, once it is over.
    if (pass == kPrescan) {
      if (tempMode) {
        said[pass].push_back("temporary-folder mode: extracts into a new folder %TEMP%\\QelSFX<n>; run with administrator"
                             " rights, into %SystemRoot%\\Temp\\QelSFX<n>, which only administrators may change");
      }
    } else if (pass == kDialogInit) {
      said[pass].insert(said[pass].begin(), SilentMeaning(silent));
      said[pass].push_back(overwrite == OverwriteValue::Ask ? "existing files: the user is asked about each one"
                           : overwrite == OverwriteValue::Replace ? "existing files: replaced"
                                                                   : "existing files: kept (skipped)");
      said[pass].push_back(caption.empty() ? "caption: the template's" : "caption " + Quoted(caption));
      if (!tempMode) {
        said[pass].push_back(destination.empty() ? "destination: none given (the user chooses)"
                                                 : "destination: " + destination);
      }
      said[pass].push_back(hasText ? "text: " + Counted(textCommands, "Text command") + ", " +
                                         std::to_string(textLength) + " characters" +
                                         (silent == kSilentNone ? "" : " (not shown: the run is not interactive)")
                                   : "text: the default help text");
    } else if (pass == kLicenseInit) {
      if (hasLicense && silent == kSilentFull) said[pass].push_back("no license dialog: silent mode 1 skips it");
      else if (hasLicense) said[pass].push_back("license dialog " + license + "; Decline cancels");
    } else if (pass == kTempFolder && tempMode) {
      said[pass].insert(said[pass].begin(), "destination: the new temporary folder");
    }
  }

  std::string out = "What the stub will do, pass by pass:\n";
  for (int pass = kPrescan; pass <= kRunSetup; ++pass) {
    if (pass == kShortcuts) out += "  (the archive is extracted into the destination)\n";
    if (said[pass].empty()) said[pass].push_back("nothing");
    for (size_t k = 0; k < said[pass].size(); ++k) {
      char head[16];
      snprintf(head, sizeof head, "  %-12s ", k == 0 ? kPassNames[pass] : "");
      out += head + said[pass][k] + "\n";
    }
  }
  return out;
}
