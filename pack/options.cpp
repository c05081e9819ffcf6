#include "pack/options.h"

#include <stdlib.h>

namespace {

int ParseNumber(const std::string& text, const std::string& option, int low, int high) {
  char* end = nullptr;
  const long value = strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < low || value > high) {
    throw UsageError(option + " takes a number from " + std::to_string(low) + " to " + std::to_string(high) +
                     ", not \"" + text + "\"");
  }
  return static_cast<int>(value);
}

void SetMode(Options* o, Mode mode, const std::string& option) {
  if (o->mode != Mode::kPack && o->mode != mode) throw UsageError(option + " cannot be combined with another mode");
  o->mode = mode;
}

}  // namespace

bool IsAnsiCodePage(int number) {
  return number == 874 || number == 932 || number == 936 || number == 949 || number == 950 ||
         (number >= 1250 && number <= 1258);
}

Options ParseOptions(int argc, char** argv) {
  Options o;
  bool levelGiven = false;
  bool optionsEnd = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (optionsEnd || arg.empty() || arg[0] != '-' || arg == "-") {
      o.inputs.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnd = true;
      continue;
    }
    std::string value;
    bool inlineValue = false;
    const size_t equals = arg.find('=');
    if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = arg.substr(equals + 1);
      arg = arg.substr(0, equals);
      inlineValue = true;
    }
    const auto take = [&]() -> std::string {
      if (inlineValue) return value;
      if (i + 1 >= argc) throw UsageError(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "-o" || arg == "--output") {
      o.output = take();
    } else if (arg == "--script") {
      o.script = take();
    } else if (arg == "--stub") {
      o.stub = take();
    } else if (arg == "--messages") {
      o.messages = take();
    } else if (arg == "--password") {
      o.password = take();
      o.hasPassword = true;
    } else if (arg == "--mtime") {
      o.mtime = take();
    } else if (arg == "--codepage") {
      o.codePage = ParseNumber(take(), arg, 1, 65535);
      if (!IsAnsiCodePage(o.codePage)) {
        throw UsageError("--codepage " + std::to_string(o.codePage) +
                         " is not a Windows ANSI code page, in which the stub reads names and the script "
                         "(874, 932, 936, 949, 950, 1250 to 1258)");
      }
    } else if (arg == "--zopfli") {
      o.compression.zopfliIterations = ParseNumber(take(), arg, 1, 1000);
    } else if (arg == "--check") {
      SetMode(&o, Mode::kCheck, arg);
      o.target = take();
    } else if (arg == "--list") {
      SetMode(&o, Mode::kList, arg);
      o.target = take();
    } else if (arg == "--test") {
      SetMode(&o, Mode::kTest, arg);
      o.target = take();
    } else if (arg == "--messages-template") {
      SetMode(&o, Mode::kTemplate, arg);
    } else if (arg == "--pseudo") {
      o.pseudo = true;
    } else if (arg == "-h" || arg == "--help") {
      o.mode = Mode::kHelp;
      return o;
    } else if (arg.size() >= 2 && arg.size() <= 3 && arg.find_first_not_of("0123456789", 1) == std::string::npos) {
      o.compression.level = ParseNumber(arg.substr(1), "a level -N", 0, 12);
      levelGiven = true;
    } else {
      throw UsageError("unknown option " + arg);
    }
  }
  if (levelGiven && o.compression.zopfliIterations > 0) throw UsageError("choose a level -N or --zopfli N, not both");
  switch (o.mode) {
    case Mode::kPack:
      if (o.output.empty()) throw UsageError("say where the installer goes: -o SETUP.EXE");
      if (o.inputs.empty()) throw UsageError("name the files and folders to pack");
      break;
    case Mode::kTemplate:
      if (!o.inputs.empty()) throw UsageError("--messages-template takes no files to pack");
      break;
    default:
      if (!o.inputs.empty()) throw UsageError("unexpected argument " + o.inputs[0]);
  }
  return o;
}
