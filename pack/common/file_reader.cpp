#include "pack/common/file_reader.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "pack/common/pack_error.h"

FileReader::FileReader(const std::string& path) : path_(path) {
  descriptor_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info;
  if (descriptor_ < 0 || fstat(descriptor_, &info) != 0) {
    const int error = errno;
    if (descriptor_ >= 0) close(descriptor_);
    throw PathError(path, error == ENOENT ? "no such file" : "cannot read: " + SystemError(error));
  }
  if (!S_ISREG(info.st_mode)) {
    close(descriptor_);
    throw PathError(path, "not a file");
  }
  size_ = static_cast<uint64_t>(info.st_size);
}

FileReader::~FileReader() { close(descriptor_); }

std::vector<uint8_t> FileReader::Read(uint64_t offset, uint64_t length) const {
  length = offset >= size_ ? 0 : std::min(length, size_ - offset);
  std::vector<uint8_t> bytes(length);
  uint64_t done = 0;
  while (done < length) {
    const ssize_t got = pread(descriptor_, bytes.data() + done, length - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) throw PathError(path_, "cannot read: " + (got < 0 ? SystemError(errno) : "it got shorter"));
    done += static_cast<uint64_t>(got);
  }
  return bytes;
}
