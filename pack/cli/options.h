// The command line of zimbro-pack.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "pack/archive/compressor.h"
#include "pack/archive/encryption.h"
#include "pack/archive/solid_block.h"
#include "pack/common/pack_error.h"
#include "pack/pe/stub_branding.h"

// A command line that does not make sense: said with a pointer to --help.
struct UsageError : PackError {
  using PackError::PackError;
};

enum class Mode { kPack, kCheck, kList, kTest, kTemplate, kHelp, kVersion };

// Where a secret comes from: never only the command line, which other users
// of the machine and a build log can see.
struct SecretSource {
  std::string file;         // read from this file (its first line)
  std::string environment;  // or from this variable
  bool given() const { return !file.empty() || !environment.empty(); }
};

struct Signing {
  std::string pkcs12;       // a PKCS#12 file, or
  std::string certificate;  // a certificate (chain) and
  std::string key;          // its private key
  SecretSource password;    // of the PKCS#12 file or the key
  std::string timestampUrl;
  bool wanted() const { return !pkcs12.empty() || !certificate.empty(); }
};

struct Options {
  Mode mode = Mode::kPack;
  std::string output;
  std::string script;
  std::string stub;
  std::string messages;
  std::string password;      // --password on the command line
  SecretSource passwordSource;
  bool hasPassword = false;
  // With a password: AES-256 unless --encryption says otherwise.
  EncryptionKind encryption = EncryptionKind::kAes;
  AesStrength aesStrength = AesStrength::kAes256;
  bool encryptionGiven = false;
  std::string mtime;
  std::string target;  // the file of --check, --list or --test
  bool pseudo = false;
  bool quiet = false;
  bool verbose = false;
  bool strict = false;
  Compression compression;
  SolidSettings solid;
  int codePage = 1252;
  std::vector<std::string> excludes;
  Branding branding;
  Signing signing;
  std::vector<std::string> inputs;
};

// Throws UsageError.
Options ParseOptions(int argc, char** argv);

// The exit codes, as --help documents them: a build pipeline can tell a
// mistake in the command line from one in the script, in the files, or in
// the packer itself.
enum ExitCode {
  kExitSuccess = 0,
  kExitWarnings = 1,  // --check: warnings only
  kExitScript = 2,    // the script or the messages block has errors (with --strict, warnings too)
  kExitInternal = 3,  // the packer's own fault: what it wrote is not what it read
  kExitInput = 4,     // a file is at fault: an input, the stub, the output, the certificate; --test: damaged
  kExitUsage = 5,     // the command line
};

// The Windows ANSI code pages: the stub reads names and the script in the
// ANSI code page of the machine it runs on, so only these make sense.
bool IsAnsiCodePage(int number);

// The manual page printed by --help, and the version of --version.
extern const char kHelpText[];
extern const char kPackerVersion[];
