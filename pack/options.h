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

enum class Mode { kPack, kCheck, kList, kTemplate, kHelp };

struct Options {
  Mode mode = Mode::kPack;
  std::string output;
  std::string script;
  std::string stub;
  std::string messages;
  std::string password;
  bool hasPassword = false;
  std::string mtime;
  std::string target;  // the file of --check or --list
  bool pseudo = false;
  Compression compression;
  int codePage = 1252;
  std::vector<std::string> inputs;
};

// Throws UsageError.
Options ParseOptions(int argc, char** argv);

// The manual page printed by --help.
extern const char kHelpText[];
