// The command line of zimbro-pack.
#pragma once

#include <string>
#include <vector>

#include "pack/compressor.h"
#include "pack/pack_error.h"

// A command line that does not make sense: said with a pointer to --help.
struct UsageError : PackError {
  using PackError::PackError;
};

enum class Mode { kPack, kCheck, kList, kTest, kTemplate, kHelp };

struct Options {
  Mode mode = Mode::kPack;
  std::string output;
  std::string script;
  std::string stub;
  std::string messages;
  std::string password;
  bool hasPassword = false;
  std::string mtime;
  std::string target;  // the file of --check, --list or --test
  bool pseudo = false;
  Compression compression;
  int codePage = 1252;
  std::vector<std::string> inputs;
};

// Throws UsageError.
Options ParseOptions(int argc, char** argv);

// The exit codes, as --help documents them.
enum ExitCode {
  kExitSuccess = 0,
  kExitWarnings = 1,  // --check: warnings only
  kExitFailure = 2,   // the command line, an input, the script or the output is at fault; --test: not intact
  kExitInternal = 3,  // the packer's own fault: what it wrote is not what it read
};

// The Windows ANSI code pages: the stub reads names and the script in the
// ANSI code page of the machine it runs on, so only these make sense.
bool IsAnsiCodePage(int number);

// The manual page printed by --help.
extern const char kHelpText[];
