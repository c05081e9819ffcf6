// zimbro-pack: makes an installer from files and folders, checks scripts,
// lists and tests installers and writes messages-block templates. Every
// failure ends in one line on standard error that names the file at fault,
// and exit code 2; a fault of the packer itself (an installer that does not
// read back as it was packed, an unexpected exception) ends with 3.
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <new>
#include <sstream>

#include "pack/readback/archive_directory.h"
#include "pack/common/file_reader.h"
#include "pack/readback/installer_listing.h"
#include "pack/pe/installer_signing.h"
#include "pack/readback/installer_verify.h"
#include "pack/archive/installer_writer.h"
#include "pack/script/messages_block.h"
#include "pack/cli/options.h"
#include "pack/cli/password_bytes.h"
#include "pack/common/output_file.h"
#include "pack/script/script_check.h"
#include "pack/pe/stub_branding.h"
#include "pack/pe/stub_image.h"
#include "pack/common/text_file.h"
#include "pack/common/wording.h"

namespace {

const uint64_t kSignableLimit = 0xFFFFFFFFu - (1u << 20);  // room left for the certificate table

// What the packer says besides errors: warnings (which --strict turns into
// a failure, and -q keeps quiet) and the summary.
struct Report {
  bool quiet = false;
  int warnings = 0;
  void Warn(const std::string& text) {
    ++warnings;
    if (!quiet) fprintf(stderr, "zimbro-pack: warning: %s\n", text.c_str());
  }
  // Findings of a script or block: errors always shown, warnings unless quiet.
  void Findings(const ::Findings& findings, const std::string& path) {
    warnings += findings.Count(Severity::kWarning);
    ::Findings shown = findings;
    if (quiet) {
      shown.list.erase(std::remove_if(shown.list.begin(), shown.list.end(),
                                      [](const Finding& f) { return f.severity == Severity::kWarning; }),
                       shown.list.end());
    }
    fputs(shown.Format(path).c_str(), stderr);
  }
};

std::string ReadFile(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) throw PathError(path, "a folder, not a file");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw PathError(path, errno == ENOENT ? "no such file" : std::string("cannot read: ") + SystemError(errno));
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) throw PathError(path, "cannot read");
  return bytes.str();
}

std::string ProgramFolder() {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return ".";
  std::string path(self, static_cast<size_t>(length));
  return path.substr(0, path.rfind('/'));
}

std::string DefaultStub() {
  const std::string folder = ProgramFolder();
  for (const std::string& candidate : {folder + "/zimbro-sfx.exe", folder + "/../share/zimbro-sfx/zimbro-sfx.exe"}) {
    if (access(candidate.c_str(), R_OK) == 0) return candidate;
  }
  throw PackError("no stub beside zimbro-pack (" + folder + "/zimbro-sfx.exe) nor in " + folder +
                  "/../share/zimbro-sfx: give one with --stub PATH");
}

struct Stub {
  std::string path;
  std::vector<uint8_t> bytes;
  StubImage image;
};

Stub LoadStub(const Options& o) {
  const std::string path = o.stub.empty() ? DefaultStub() : o.stub;
  const std::string bytes = ReadFile(path);
  Stub stub{path, std::vector<uint8_t>(bytes.begin(), bytes.end()), {}};
  stub.image = ReadStubImage(stub.bytes, path);
  if (!IsZimbroStub(stub.image)) {
    throw PathError(path, "not a Zimbro SFX stub (a Windows program without its start dialog and messages)");
  }
  // Windows no longer honours a signature once data follows it: the
  // finished installer is what gets signed.
  if (stub.image.hasSignature) {
    throw PathError(path, "a signed stub: its signature would not cover the installer; give the unsigned "
                          "zimbro-sfx.exe and sign the finished installer");
  }
  if (stub.bytes.size() > stub.image.imageEnd) {
    throw PathError(path, "carries " + std::to_string(stub.bytes.size() - stub.image.imageEnd) +
                              " bytes after the program: an installer, not a stub; give the bare zimbro-sfx.exe "
                              "(the one installed beside zimbro-pack)");
  }
  return stub;
}

// The script as the archive comment; its findings go to standard error and
// errors stop the pack.
std::string LoadScript(const std::string& path, const CodePage& codePage, Report* report) {
  if (path.empty()) return "";
  Findings findings;
  const std::string comment = ConvertTextFile(ReadFile(path), codePage, &findings);
  CheckScript(comment, AnalyseScript(comment), &findings);
  report->Findings(findings, path);
  if (findings.Count(Severity::kError) > 0) {
    throw ScriptError(path + ": " + findings.Summary() +
                      " in the script: no installer written (see zimbro-pack --check)");
  }
  return comment;
}

std::string LoadMessages(const std::string& path, const StubImage& stub, const CodePage& codePage, Report* report) {
  if (path.empty()) return "";
  Findings findings;
  const std::string block = PrepareMessagesBlock(ReadFile(path), StubTexts(stub, codePage), codePage, &findings);
  report->Findings(findings, path);
  if (findings.Count(Severity::kError) > 0) {
    throw ScriptError(path + ": " + findings.Summary() + " in the messages block: no installer written");
  }
  return block;
}

// The password as the publisher keeps it: a file or a variable, or the
// command line.
std::string TypedPassword(const Options& o) {
  return o.passwordSource.given() ? ReadSecret(o.passwordSource, "password for --password") : o.password;
}

Encryption ChooseEncryption(const Options& o, Report* report) {
  Encryption encryption;
  if (!o.hasPassword) return encryption;
  encryption.kind = o.encryption;
  encryption.strength = o.aesStrength;
  encryption.password = PasswordBytes(TypedPassword(o), encryption.kind);
  if (encryption.kind == EncryptionKind::kTraditional) {
    report->Warn("the traditional ZIP encryption is weak: it only keeps casual eyes out");
  }
  if (encryption.kind == EncryptionKind::kAes && encryption.password.size() > kAesPasswordBytesOthersTake) {
    report->Warn("the password is " + std::to_string(encryption.password.size()) + " bytes of UTF-8: the installer "
                 "takes it, but some other AES unzips take no more than " +
                 std::to_string(kAesPasswordBytesOthersTake) + " bytes and could not open its archive");
  }
  return encryption;
}

// --test meets members of other writers too: AES takes the password's
// UTF-8, the traditional cipher the code page's bytes, as the stub tries
// them (the UTF-8 where the code page has no form for it).
MemberPasswords TestPasswords(const Options& o, const CodePage& codePage) {
  MemberPasswords passwords;
  if (!o.hasPassword) return passwords;
  passwords.aes = PasswordBytes(TypedPassword(o), EncryptionKind::kAes);
  if (!codePage.Encode(passwords.aes, &passwords.traditional)) passwords.traditional = passwords.aes;
  return passwords;
}

void LeaveOut(const std::string& path, std::vector<LeftOut>* leftOut) {
  struct stat info;
  if (!path.empty() && stat(path.c_str(), &info) == 0) leftOut->push_back({info.st_dev, info.st_ino});
}

struct FileIdentity {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
};

FileIdentity IdentityOf(const std::string& path) {
  struct stat info;
  FileIdentity id;
  if (!path.empty() && stat(path.c_str(), &info) == 0) id = {true, info.st_dev, info.st_ino};
  return id;
}

bool SameFile(const FileIdentity& a, const FileIdentity& b) {
  return a.exists && b.exists && a.device == b.device && a.inode == b.inode;
}

// An earlier installer may stand where the new one goes, also inside the
// folder being packed (it is left out then). Any other file there is the
// publisher's: -o naming one would destroy it, so it is refused before
// anything is written.
void RefuseOutputOverAnInput(const Options& o, const std::string& stubPath) {
  const FileIdentity output = IdentityOf(o.output);
  if (!output.exists) return;
  const std::vector<std::pair<std::string, std::string>> named = {
      {o.script, "the script"}, {o.messages, "the messages block"}, {stubPath, "the stub"}};
  for (const auto& [path, role] : named) {
    if (SameFile(output, IdentityOf(path))) {
      throw PathError(o.output, "-o names " + role + " (" + path + "): the installer would overwrite it");
    }
  }
  for (const std::string& input : o.inputs) {
    if (SameFile(output, IdentityOf(input))) {
      throw PathError(o.output, "-o names " + input + ", which is to be packed: the installer would overwrite it");
    }
  }
  std::vector<uint8_t> head;
  try {
    const FileReader existing(o.output);
    head = existing.Read(0, 1 << 20);
    const StubImage image = ReadStubImage(head, o.output);
    if (IsZimbroStub(image) && existing.size() > image.imageEnd) return;  // an earlier installer
  } catch (const PackError&) {
  }
  const CodePage codePage(o.codePage);
  for (const InputMember& m : CollectInputs(o.inputs, {}, codePage, o.excludes)) {
    if (!m.folder && SameFile(output, IdentityOf(m.source))) {
      throw PathError(o.output, "-o names " + m.source + ", a file that is to be packed: the installer would "
                                "overwrite it");
    }
  }
}

// ---------------------------------------------------------------------------
// The modes
// ---------------------------------------------------------------------------

int Pack(const Options& o) {
  const auto start = std::chrono::steady_clock::now();
  const CodePage codePage(o.codePage);
  Report report;
  report.quiet = o.quiet;
  InstallerParts parts;
  Stub stub = LoadStub(o);
  RefuseOutputOverAnInput(o, stub.path);
  if (stub.image.machine != "i686") {
    report.Warn(stub.path + " is a " + stub.image.machine +
                " build of the stub: the installer will not start on 32-bit Windows");
  }
  parts.comment = LoadScript(o.script, codePage, &report);
  // Without a script the comment is one empty line: the stub looks further
  // back for a script when the last comment is empty, and could take one
  // from a packed zip file's end record.
  if (parts.comment.empty()) parts.comment = "\r\n";
  parts.messagesBlock = LoadMessages(o.messages, stub.image, codePage, &report);
  parts.encryption = ChooseEncryption(o, &report);
  parts.compression = o.compression;
  const char* epoch = getenv("SOURCE_DATE_EPOCH");
  std::string clamped;
  if (!o.mtime.empty()) {
    try {
      parts.fixedTime = ParseDosTime(o.mtime, "--mtime", &clamped);
    } catch (const PackError& e) {
      throw UsageError(e.what());  // a value of the command line
    }
  }
  if (o.mtime.empty() && epoch != nullptr && *epoch != '\0') parts.fixedTime = ParseDosTime(epoch, "SOURCE_DATE_EPOCH", &clamped);
  if (!clamped.empty()) report.Warn(clamped);

  std::vector<LeftOut> leftOut;
  for (const std::string& path : {o.script, o.messages, stub.path, o.output}) LeaveOut(path, &leftOut);
  parts.members = CollectInputs(o.inputs, leftOut, codePage, o.excludes);
  if (o.solid.enabled) {
    // Files too large for a block go alone, the --method lzma way.
    parts.solid = o.solid;
    parts.compression.method = PackMethod::kLzma;
    parts.members = SolidOrder(std::move(parts.members), o.solid);
  }
  if (o.strict && report.warnings > 0) {
    throw ScriptError(Counted(static_cast<uint64_t>(report.warnings), "warning") +
                      " and --strict: no installer written");
  }
  parts.stub = BrandStub(stub.bytes, o.branding, stub.path);

  const auto sign = [&](const std::string& temporary) {
    if (!o.signing.wanted()) return;
    // The certificate table's place and size are 32-bit fields of the
    // program's headers: it must begin and end within the first 4 GiB.
    struct stat written;
    if (stat(temporary.c_str(), &written) == 0 && static_cast<uint64_t>(written.st_size) >= kSignableLimit) {
      throw PathError(o.output, "an installer of " + Grouped(static_cast<uint64_t>(written.st_size)) +
                                    " bytes cannot be signed: a signature must lie within the first 4 GiB of the file");
    }
    SignInstaller(temporary, o.signing);
  };
  const PackResult result = WriteInstaller(parts, o.output, sign);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (o.verbose) {
    for (const PackedMember& m : result.members) {
      printf("  %13s -> %13s  %-7s  %s\n", Grouped(m.size).c_str(), Grouped(m.stored).c_str(),
             m.method == kMethodSolidLzma ? "Solid"
             : m.method == kMethodLzma    ? "LZMA"
             : m.method == kMethodDeflate ? "Deflate"
                                          : "Stored",
             m.name.c_str());
    }
  }
  if (!o.quiet) {
    const FileReader written(o.output);  // its size now counts the signature
    const std::string signer =
        o.signing.wanted() ? ReadSignature(o.output, written.Read(0, 1 << 20), written.size()).signer : "";
    printf("%s: %s bytes: stub %s%s, %s%s in %s bytes (%s bytes of files), every member read back intact%s, "
           "%.2f s\n",
           o.output.c_str(), Grouped(written.size()).c_str(), Grouped(parts.stub.size()).c_str(),
           o.branding.empty() ? "" : " (branded)",
           parts.messagesBlock.empty() ? "" : ("messages block " + Grouped(parts.messagesBlock.size()) + ", ").c_str(),
           Counted(parts.members.size(), "member").c_str(), Grouped(result.archiveBytes).c_str(),
           Grouped(result.inputBytes).c_str(),
           o.signing.wanted() ? (", signed by " + (signer.empty() ? std::string("?") : signer)).c_str() : "", seconds);
  }
  return kExitSuccess;
}

int Check(const Options& o) {
  const CodePage codePage(o.codePage);
  Findings findings;
  const std::string comment = ConvertTextFile(ReadFile(o.target), codePage, &findings);
  const ScriptAnalysis script = AnalyseScript(comment);
  CheckScript(comment, script, &findings);
  fputs(findings.Format(o.target).c_str(), stdout);
  if (!findings.list.empty()) fputs("\n", stdout);
  fputs(DescribePasses(script, codePage).c_str(), stdout);
  printf("\n%s: %s\n", o.target.c_str(), findings.Summary().c_str());
  if (findings.Count(Severity::kError) > 0 || (o.strict && !findings.list.empty())) return kExitScript;
  return findings.list.empty() ? kExitSuccess : kExitWarnings;
}

// --test: every member read back and checked, and the script by the stub's
// rules; exit 0 only when all of it is intact.
int Test(const Options& o) {
  const CodePage codePage(o.codePage);
  const MemberPasswords passwords = TestPasswords(o, codePage);
  const FileReader file(o.target);
  const ArchiveDirectory archive = ReadArchiveDirectory(file);
  const std::vector<MemberProblem> problems = VerifyMembers(file, archive, passwords, {});
  size_t untested = 0;
  for (const MemberProblem& p : problems) {
    printf("%s: member %s: %s\n", o.target.c_str(), Quoted(codePage.Decode(archive.entries[p.index].name)).c_str(),
           p.what.c_str());
    if (p.verdict == MemberVerdict::kNotTested) ++untested;
  }
  Findings findings;
  const ScriptAnalysis script = AnalyseScript(archive.script);
  CheckScript(archive.script, script, &findings);
  fputs(findings.Format(o.target + " (script)").c_str(), stdout);
  const size_t damaged = problems.size() - untested;
  printf("%s: %s tested: %s intact, %s damaged, %s not tested; script: %s\n", o.target.c_str(),
         Counted(archive.entries.size(), "member").c_str(), Grouped(archive.entries.size() - problems.size()).c_str(),
         Grouped(damaged).c_str(), Grouped(untested).c_str(), findings.Summary().c_str());
  if (!problems.empty()) return kExitInput;
  if (findings.Count(Severity::kError) > 0 || (o.strict && !findings.list.empty())) return kExitScript;
  return kExitSuccess;
}

int Template(const Options& o) {
  const CodePage codePage(o.codePage);
  const Stub stub = LoadStub(o);
  const std::string text = MessagesTemplate(StubTexts(stub.image, codePage), o.pseudo);
  if (o.output.empty()) {
    fwrite(text.data(), 1, text.size(), stdout);
  } else {
    OutputFile file(o.output);
    file.Write(text.data(), text.size());
    file.Commit();
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Options o = ParseOptions(argc, argv);
    switch (o.mode) {
      case Mode::kHelp:
        fputs(kHelpText, stdout);
        return kExitSuccess;
      case Mode::kVersion:
        printf("zimbro-pack %s\n", kPackerVersion);
        return kExitSuccess;
      case Mode::kCheck:
        return Check(o);
      case Mode::kList:
        fputs(ListInstaller(o.target, CodePage(o.codePage)).c_str(), stdout);
        return kExitSuccess;
      case Mode::kTest:
        return Test(o);
      case Mode::kTemplate:
        return Template(o);
      case Mode::kPack:
        return Pack(o);
    }
  } catch (const UsageError& e) {
    fprintf(stderr, "zimbro-pack: %s (see zimbro-pack --help)\n", e.what());
    return kExitUsage;
  } catch (const InternalError& e) {
    fprintf(stderr, "zimbro-pack: internal error: %s\n", e.what());
    return kExitInternal;
  } catch (const ScriptError& e) {
    fprintf(stderr, "zimbro-pack: %s\n", e.what());
    return kExitScript;
  } catch (const PackError& e) {
    fprintf(stderr, "zimbro-pack: %s\n", e.what());
  } catch (const std::bad_alloc&) {
    fputs("zimbro-pack: out of memory\n", stderr);
  } catch (const std::exception& e) {
    fprintf(stderr, "zimbro-pack: internal error: %s (please report it)\n", e.what());
    return kExitInternal;
  } catch (...) {
    fputs("zimbro-pack: internal error: an unknown exception (please report it)\n", stderr);
    return kExitInternal;
  }
  return kExitInput;
}
