// An existing file read by position (pread), every read checked against the
// file's size: installers given to --list and --test may be anything.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

class FileReader {
 public:
  // Throws PackError naming path when it is not a readable file.
  explicit FileReader(const std::string& path);
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // Up to length bytes at offset; fewer at the end of the file.
  std::vector<uint8_t> Read(uint64_t offset, uint64_t length) const;
  uint64_t size() const { return size_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int descriptor_ = -1;
  uint64_t size_ = 0;
};
