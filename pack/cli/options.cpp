// The command line, read against one table: every option says which modes
// take it, so that an option given to a mode it means nothing to is refused
// rather than silently ignored.
#include "pack/cli/options.h"

#include <stdlib.h>

#include <functional>

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

// Which modes an option belongs to.
enum ModeSet : unsigned {
  kInPack = 1u << 0,
  kInCheck = 1u << 1,
  kInList = 1u << 2,
  kInTest = 1u << 3,
  kInTemplate = 1u << 4,
  kInAll = 0xFFu,
};

unsigned ModeBit(Mode mode) {
  switch (mode) {
    case Mode::kPack: return kInPack;
    case Mode::kCheck: return kInCheck;
    case Mode::kList: return kInList;
    case Mode::kTest: return kInTest;
    case Mode::kTemplate: return kInTemplate;
    default: return kInAll;
  }
}

struct OptionRule {
  const char* name;
  const char* alias;  // a short form, or nullptr
  bool takesValue;
  unsigned modes;
  std::function<void(Options*, const std::string&)> apply;
};

void SetMode(Options* o, Mode mode, const std::string& option) {
  if (o->mode != Mode::kPack && o->mode != mode) throw UsageError(option + " cannot be combined with another mode");
  o->mode = mode;
}

const std::vector<OptionRule>& Rules() {
  static const std::vector<OptionRule> rules = {
      {"--output", "-o", true, kInPack | kInTemplate, [](Options* o, const std::string& v) { o->output = v; }},
      {"--script", nullptr, true, kInPack, [](Options* o, const std::string& v) { o->script = v; }},
      {"--stub", nullptr, true, kInPack | kInTemplate, [](Options* o, const std::string& v) { o->stub = v; }},
      {"--messages", nullptr, true, kInPack, [](Options* o, const std::string& v) { o->messages = v; }},
      {"--password", nullptr, true, kInPack | kInTest,
       [](Options* o, const std::string& v) { o->password = v, o->hasPassword = true; }},
      {"--password-file", nullptr, true, kInPack | kInTest,
       [](Options* o, const std::string& v) { o->passwordSource.file = v, o->hasPassword = true; }},
      {"--password-env", nullptr, true, kInPack | kInTest,
       [](Options* o, const std::string& v) { o->passwordSource.environment = v, o->hasPassword = true; }},
      {"--encryption", nullptr, true, kInPack,
       [](Options* o, const std::string& v) {
         o->encryptionGiven = true;
         if (v == "aes256" || v == "aes128") {
           o->encryption = EncryptionKind::kAes;
           o->aesStrength = v == "aes256" ? AesStrength::kAes256 : AesStrength::kAes128;
         } else if (v == "traditional") {
           o->encryption = EncryptionKind::kTraditional;
         } else {
           throw UsageError("--encryption takes aes256, aes128 or traditional, not \"" + v + "\"");
         }
       }},
      {"--mtime", nullptr, true, kInPack, [](Options* o, const std::string& v) { o->mtime = v; }},
      {"--codepage", nullptr, true, kInAll,
       [](Options* o, const std::string& v) {
         o->codePage = ParseNumber(v, "--codepage", 1, 65535);
         if (!IsAnsiCodePage(o->codePage)) {
           throw UsageError("--codepage " + std::to_string(o->codePage) +
                            " is not a Windows ANSI code page, in which the stub reads names and the script "
                            "(874, 932, 936, 949, 950, 1250 to 1258)");
         }
       }},
      {"--zopfli", nullptr, true, kInPack,
       [](Options* o, const std::string& v) { o->compression.zopfliIterations = ParseNumber(v, "--zopfli", 1, 1000); }},
      {"--method", nullptr, true, kInPack,
       [](Options* o, const std::string& v) {
         if (v == "deflate") {
           o->compression.method = PackMethod::kDeflate;
         } else if (v == "lzma") {
           o->compression.method = PackMethod::kLzma;
         } else {
           throw UsageError("--method takes deflate or lzma, not \"" + v + "\"");
         }
       }},
      {"--solid", nullptr, false, kInPack, [](Options* o, const std::string&) { o->solid.enabled = true; }},
      {"--solid-block-size", nullptr, true, kInPack,
       [](Options* o, const std::string& v) {
         o->solid.blockSize = uint64_t{static_cast<uint32_t>(ParseNumber(v, "--solid-block-size", 1, 4096))} << 20;
       }},
      {"--dictionary", nullptr, true, kInPack,
       [](Options* o, const std::string& v) {
         o->solid.dictionarySize =
             static_cast<uint32_t>(ParseNumber(v, "--dictionary", 1, kSolidDictionaryLimitMiB)) << 20;
       }},
      {"--exclude", nullptr, true, kInPack, [](Options* o, const std::string& v) { o->excludes.push_back(v); }},
      {"--icon", nullptr, true, kInPack, [](Options* o, const std::string& v) { o->branding.iconPath = v; }},
      {"--version-info", nullptr, true, kInPack,
       [](Options* o, const std::string& v) {
         const size_t equals = v.find('=');
         if (equals == std::string::npos || equals == 0) {
           throw UsageError("--version-info takes KEY=VALUE, like ProductVersion=1.2.0");
         }
         o->branding.versionInfo.push_back({v.substr(0, equals), v.substr(equals + 1)});
       }},
      {"--execution-level", nullptr, true, kInPack,
       [](Options* o, const std::string& v) { o->branding.executionLevel = v; }},
      {"--sign-pkcs12", nullptr, true, kInPack, [](Options* o, const std::string& v) { o->signing.pkcs12 = v; }},
      {"--sign-cert", nullptr, true, kInPack, [](Options* o, const std::string& v) { o->signing.certificate = v; }},
      {"--sign-key", nullptr, true, kInPack, [](Options* o, const std::string& v) { o->signing.key = v; }},
      {"--sign-password-file", nullptr, true, kInPack,
       [](Options* o, const std::string& v) { o->signing.password.file = v; }},
      {"--sign-password-env", nullptr, true, kInPack,
       [](Options* o, const std::string& v) { o->signing.password.environment = v; }},
      {"--timestamp-url", nullptr, true, kInPack, [](Options* o, const std::string& v) { o->signing.timestampUrl = v; }},
      {"--strict", nullptr, false, kInPack | kInCheck | kInTest, [](Options* o, const std::string&) { o->strict = true; }},
      {"--quiet", "-q", false, kInAll, [](Options* o, const std::string&) { o->quiet = true; }},
      {"--verbose", "-v", false, kInPack | kInTest, [](Options* o, const std::string&) { o->verbose = true; }},
      {"--pseudo", nullptr, false, kInTemplate, [](Options* o, const std::string&) { o->pseudo = true; }},
      {"--check", nullptr, true, kInAll,
       [](Options* o, const std::string& v) { SetMode(o, Mode::kCheck, "--check"), o->target = v; }},
      {"--list", nullptr, true, kInAll,
       [](Options* o, const std::string& v) { SetMode(o, Mode::kList, "--list"), o->target = v; }},
      {"--test", nullptr, true, kInAll,
       [](Options* o, const std::string& v) { SetMode(o, Mode::kTest, "--test"), o->target = v; }},
      {"--messages-template", nullptr, false, kInAll,
       [](Options* o, const std::string&) { SetMode(o, Mode::kTemplate, "--messages-template"); }},
  };
  return rules;
}

const char* ModeName(Mode mode) {
  switch (mode) {
    case Mode::kCheck: return "--check";
    case Mode::kList: return "--list";
    case Mode::kTest: return "--test";
    case Mode::kTemplate: return "--messages-template";
    default: return "packing";
  }
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
  std::vector<std::pair<std::string, unsigned>> given;  // every option as typed, with its modes
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
    if (arg == "-h" || arg == "--help") {
      o.mode = Mode::kHelp;
      return o;
    }
    if (arg == "--version") {
      o.mode = Mode::kVersion;
      return o;
    }
    if (arg.size() >= 2 && arg.size() <= 3 && arg.find_first_not_of("0123456789", 1) == std::string::npos) {
      o.compression.level = ParseNumber(arg.substr(1), "a level -N", 0, 12);
      levelGiven = true;
      given.push_back({arg, kInPack});
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
    const OptionRule* rule = nullptr;
    for (const OptionRule& r : Rules()) {
      if (arg == r.name || (r.alias != nullptr && arg == r.alias)) rule = &r;
    }
    if (rule == nullptr) throw UsageError("unknown option " + arg);
    if (rule->takesValue && !inlineValue) {
      if (i + 1 >= argc) throw UsageError(arg + " needs a value");
      value = argv[++i];
    } else if (!rule->takesValue && inlineValue) {
      throw UsageError(arg + " takes no value");
    }
    rule->apply(&o, value);
    given.push_back({arg, rule->modes});
  }
  for (const auto& [option, modes] : given) {
    if (!(modes & ModeBit(o.mode))) throw UsageError(option + " has no meaning with " + ModeName(o.mode));
  }
  if (levelGiven && o.compression.zopfliIterations > 0) throw UsageError("choose a level -N or --zopfli N, not both");
  if (o.compression.method == PackMethod::kLzma && levelGiven && o.compression.level == 0) {
    throw UsageError("-0 stores every member: it cannot go with --method lzma");
  }
  for (const auto& [option, modes] : given) {
    if ((option == "--solid-block-size" || option == "--dictionary") && !o.solid.enabled) {
      throw UsageError(option + " goes with --solid");
    }
  }
  if (o.encryptionGiven && !o.hasPassword) {
    throw UsageError("--encryption goes with a password (--password-file, --password-env or --password)");
  }
  if (o.solid.enabled && o.hasPassword) {
    throw UsageError("--solid cannot go with a password: members in solid blocks are not encrypted");
  }
  if (o.solid.enabled && levelGiven && o.compression.level == 0) {
    throw UsageError("-0 stores every member: it cannot go with --solid");
  }
  if (o.quiet && o.verbose) throw UsageError("choose -q or -v, not both");
  if (int{!o.password.empty()} + int{!o.passwordSource.file.empty()} + int{!o.passwordSource.environment.empty()} > 1) {
    throw UsageError("give the password one way: --password, --password-file or --password-env");
  }
  const Signing& s = o.signing;
  if (!s.pkcs12.empty() && (!s.certificate.empty() || !s.key.empty())) {
    throw UsageError("sign with --sign-pkcs12, or with --sign-cert and --sign-key, not both");
  }
  if (s.certificate.empty() != s.key.empty()) throw UsageError("--sign-cert and --sign-key go together");
  if (!s.wanted() && (s.password.given() || !s.timestampUrl.empty())) {
    throw UsageError("a signing password or time-stamp server without a certificate (--sign-pkcs12 or --sign-cert)");
  }
  if (!s.password.file.empty() && !s.password.environment.empty()) {
    throw UsageError("give the signing password one way: --sign-password-file or --sign-password-env");
  }
  CheckBrandingOptions(o.branding);
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
