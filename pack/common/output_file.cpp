#include "pack/common/output_file.h"

#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "pack/common/pack_error.h"

namespace {

const size_t kBufferSize = 1 << 20;

// The temporary file an interrupting signal has to remove: a plain buffer,
// because a signal handler may only call functions such as unlink.
char pendingTemporary[4096];

const int kWatched[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
const int kWatchedCount = sizeof kWatched / sizeof kWatched[0];
// What each watched signal did before: restored afterwards, and a signal
// the packer was started to ignore (nohup, a build tool) stays ignored.
struct sigaction previousActions[kWatchedCount];

void RemoveAndDie(int signal) {
  if (pendingTemporary[0] != '\0') unlink(pendingTemporary);
  ::signal(signal, SIG_DFL);
  raise(signal);
}

void WatchSignals(const std::string& temporary) {
  if (temporary.size() >= sizeof pendingTemporary) return;
  memcpy(pendingTemporary, temporary.c_str(), temporary.size() + 1);
  struct sigaction remove = {};
  remove.sa_handler = RemoveAndDie;
  sigemptyset(&remove.sa_mask);
  for (int k = 0; k < kWatchedCount; ++k) {
    sigaction(kWatched[k], nullptr, &previousActions[k]);
    if (previousActions[k].sa_handler != SIG_IGN) sigaction(kWatched[k], &remove, nullptr);
  }
}

void ForgetSignals() {
  if (pendingTemporary[0] == '\0') return;
  for (int k = 0; k < kWatchedCount; ++k) sigaction(kWatched[k], &previousActions[k], nullptr);
  pendingTemporary[0] = '\0';
}

}  // namespace

OutputFile::OutputFile(const std::string& path) : path_(path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  struct stat info;
  if (name.empty() || (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))) {
    throw PathError(path, "names a folder, not an installer file");
  }
  std::string pattern = folder + "." + name + ".partial-XXXXXX";
  descriptor_ = mkstemp(pattern.data());
  if (descriptor_ < 0) {
    throw PathError(path, std::string("cannot write in its folder: ") + SystemError(errno));
  }
  temporary_ = pattern;
  WatchSignals(temporary_);
  buffer_.reserve(kBufferSize);
}

OutputFile::~OutputFile() {
  if (descriptor_ >= 0) close(descriptor_);
  if (!committed_ && !temporary_.empty()) unlink(temporary_.c_str());
  ForgetSignals();
}

void OutputFile::Write(const void* data, size_t length) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  offset_ += length;
  while (length > 0) {
    const size_t part = std::min(length, kBufferSize - buffer_.size());
    buffer_.insert(buffer_.end(), bytes, bytes + part);
    bytes += part;
    length -= part;
    if (buffer_.size() == kBufferSize) Flush();
  }
}

void OutputFile::Flush() {
  size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t written = write(descriptor_, buffer_.data() + done, buffer_.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) throw PathError(path_, std::string("cannot write: ") + SystemError(written < 0 ? errno : ENOSPC));
    done += static_cast<size_t>(written);
  }
  buffer_.clear();
}

void OutputFile::WriteAt(uint64_t at, const void* data, size_t length) {
  Flush();
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  for (size_t done = 0; done < length;) {
    const ssize_t written = pwrite(descriptor_, bytes + done, length - done, static_cast<off_t>(at + done));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) throw PathError(path_, std::string("cannot write: ") + SystemError(written < 0 ? errno : ENOSPC));
    done += static_cast<size_t>(written);
  }
}

void OutputFile::TruncateTo(uint64_t at) {
  Flush();
  if (ftruncate(descriptor_, static_cast<off_t>(at)) != 0 || lseek(descriptor_, static_cast<off_t>(at), SEEK_SET) < 0) {
    throw PathError(path_, "cannot write: " + SystemError(errno));
  }
  offset_ = at;
}

void OutputFile::Close() {
  if (descriptor_ < 0) return;
  Flush();
  // mkstemp makes the file private; an installer gets what any new file gets.
  const mode_t mask = umask(0);
  umask(mask);
  if (fchmod(descriptor_, 0666 & ~mask) != 0 || fsync(descriptor_) != 0) {
    throw PathError(path_, "cannot write: " + SystemError(errno));
  }
  const int result = close(descriptor_);
  descriptor_ = -1;
  if (result != 0) throw PathError(path_, "cannot write: " + SystemError(errno));
}

void OutputFile::Commit() {
  Close();
  if (rename(temporary_.c_str(), path_.c_str()) != 0) {
    throw PathError(path_, "cannot give the installer its name: " + SystemError(errno));
  }
  committed_ = true;
}
