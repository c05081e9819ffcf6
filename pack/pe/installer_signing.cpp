#include "pack/pe/installer_signing.h"

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "pack/common/file_reader.h"
#include "pack/common/pack_error.h"
#include "pack/common/little_endian.h"
#include "zip/portable/archive_search.h"

extern char** environ;

namespace {

// A private temporary file that is removed when it goes out of scope.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& pattern) {
    std::string name = pattern;
    const int descriptor = mkstemp(name.data());
    if (descriptor < 0) throw PackError("cannot make a temporary file " + pattern + ": " + SystemError(errno));
    close(descriptor);
    path_ = name;
  }
  ~TemporaryFile() { unlink(path_.c_str()); }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const std::string& path() const { return path_; }
  void Write(const std::string& text) const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) throw PackError("cannot write the temporary file " + path_);
  }

 private:
  std::string path_;
};

std::string TemporaryFolder() {
  const char* folder = getenv("TMPDIR");
  return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

struct Finished {
  int exitCode = -1;
  std::string output;  // standard output and error together
};

// Runs a program found on PATH with its output caught; no shell between.
Finished Run(const std::vector<std::string>& arguments) {
  TemporaryFile output(TemporaryFolder() + "/zimbro-pack-run-XXXXXX");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.path().c_str(), O_WRONLY | O_TRUNC, 0);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t child;
  const int error = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    throw PackError(arguments[0] + ": " + (error == ENOENT ? std::string("not installed (it signs installers)")
                                                           : SystemError(error)));
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  Finished done;
  done.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::ifstream in(output.path(), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  done.output = text.str();
  return done;
}

// The last line that says something, for an error message.
std::string LastLine(const std::string& text) {
  std::string line, last;
  std::istringstream lines(text);
  while (std::getline(lines, line)) {
    if (line.find_first_not_of(" \t\r") != std::string::npos) last = line;
  }
  return last.empty() ? "no explanation" : last;
}

// The subject of the certificate that signed: among the certificates
// openssl prints, the one that issued none of the others.
std::string SignerSubject(const std::string& printed) {
  std::vector<std::string> subjects, issuers;
  std::istringstream lines(printed);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("subject=", 0) == 0) subjects.push_back(line.substr(8));
    if (line.rfind("issuer=", 0) == 0) issuers.push_back(line.substr(7));
  }
  for (const std::string& s : subjects) {
    if (std::find(issuers.begin(), issuers.end(), s) == issuers.end()) return s;
  }
  return subjects.empty() ? "" : subjects.front();
}

// The certificates to trust when checking the signature just made: the
// system's authorities, and the chain the publisher signed with (a test or
// in-house root lives only there).
std::string TrustFile(const Signing& s, const std::string& password, const TemporaryFile& chain) {
  std::string text;
  for (const char* bundle : {"/etc/ssl/certs/ca-certificates.crt"}) {
    std::ifstream in(bundle, std::ios::binary);
    if (in) text.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (!s.certificate.empty()) {
    std::ifstream in(s.certificate, std::ios::binary);
    text.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } else {
    TemporaryFile pass(TemporaryFolder() + "/zimbro-pack-pass-XXXXXX");
    pass.Write(password);
    TemporaryFile certs(TemporaryFolder() + "/zimbro-pack-certs-XXXXXX");
    const Finished done = Run({"openssl", "pkcs12", "-in", s.pkcs12, "-nokeys", "-passin", "file:" + pass.path(),
                               "-out", certs.path()});
    if (done.exitCode != 0) throw PathError(s.pkcs12, "cannot read its certificates: " + LastLine(done.output));
    std::ifstream in(certs.path(), std::ios::binary);
    text.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  chain.Write(text);
  return chain.path();
}

}  // namespace

std::string ReadSecret(const SecretSource& source, const std::string& what) {
  if (!source.environment.empty()) {
    const char* value = getenv(source.environment.c_str());
    if (value == nullptr) throw PackError(what + ": the environment variable " + source.environment + " is not set");
    return value;
  }
  std::ifstream in(source.file, std::ios::binary);
  if (!in) throw PathError(source.file, "cannot read the " + what);
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void SignInstaller(const std::string& path, const Signing& s) {
  const std::string password = s.password.given() ? ReadSecret(s.password, "signing password") : "";
  TemporaryFile pass(TemporaryFolder() + "/zimbro-pack-pass-XXXXXX");
  pass.Write(password);
  const std::string signedPath = path + ".signed";
  std::vector<std::string> command = {"osslsigncode", "sign"};
  if (!s.pkcs12.empty()) {
    command.insert(command.end(), {"-pkcs12", s.pkcs12});
  } else {
    command.insert(command.end(), {"-certs", s.certificate, "-key", s.key});
  }
  if (s.password.given()) command.insert(command.end(), {"-readpass", pass.path()});
  if (!s.timestampUrl.empty()) command.insert(command.end(), {"-ts", s.timestampUrl});
  command.insert(command.end(), {"-in", path, "-out", signedPath});
  unlink(signedPath.c_str());
  const Finished signing = Run(command);
  if (signing.exitCode != 0) {
    unlink(signedPath.c_str());
    throw PathError(s.pkcs12.empty() ? s.certificate : s.pkcs12, "signing failed: " + LastLine(signing.output));
  }
  TemporaryFile chain(TemporaryFolder() + "/zimbro-pack-chain-XXXXXX");
  const Finished check = Run({"osslsigncode", "verify", "-in", signedPath, "-CAfile", TrustFile(s, password, chain)});
  if (check.exitCode != 0) {
    unlink(signedPath.c_str());
    throw PathError(path, "the signature just made does not verify: " + LastLine(check.output));
  }
  struct stat before;
  if (stat(path.c_str(), &before) == 0) chmod(signedPath.c_str(), before.st_mode & 07777);
  if (rename(signedPath.c_str(), path.c_str()) != 0) {
    const int error = errno;
    unlink(signedPath.c_str());
    throw PathError(path, "cannot put the signed installer in place: " + SystemError(error));
  }
}

uint64_t SignedDataEnd(const std::vector<uint8_t>& head, uint64_t fileSize) {
  return static_cast<uint64_t>(SignedDataEnd(head.data(), static_cast<int32_t>(std::min<size_t>(head.size(), 1 << 20)),
                                             static_cast<int64_t>(fileSize)));
}

SignatureInfo ReadSignature(const std::string& path, const std::vector<uint8_t>& head, uint64_t fileSize) {
  SignatureInfo info;
  const uint64_t offset = SignedDataEnd(head, fileSize);
  if (offset == fileSize) return info;
  const uint64_t size = fileSize - offset;
  info.present = true;
  info.offset = offset;
  info.size = size;
  // WIN_CERTIFICATE: length, revision, type (2: PKCS#7 signed data), then the data.
  const FileReader file(path);
  const std::vector<uint8_t> table = file.Read(offset, size);
  if (table.size() < 8 || U16(table, 6) != 2) return info;
  const uint64_t length = std::min<uint64_t>(U32(table, 0), table.size());
  TemporaryFile der(TemporaryFolder() + "/zimbro-pack-sig-XXXXXX");
  der.Write(std::string(table.begin() + 8, table.begin() + length));
  try {
    const Finished printed = Run({"openssl", "pkcs7", "-inform", "DER", "-in", der.path(), "-print_certs", "-noout"});
    if (printed.exitCode == 0) info.signer = SignerSubject(printed.output);
  } catch (const PackError&) {
  }
  return info;
}
