// The installer being written. It goes to a temporary name in the folder of
// the output and takes the output's name only when it is complete, so that
// a failure - or an interruption - never leaves a partial installer, nor a
// damaged earlier one, behind.
#pragma once

#include <stdint.h>
#include <stddef.h>

#include <string>
#include <vector>

class OutputFile {
 public:
  // Throws PackError naming path when its folder takes no new file.
  explicit OutputFile(const std::string& path);
  ~OutputFile();  // removes the temporary file unless committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void Write(const void* data, size_t length);
  uint64_t offset() const { return offset_; }
  // Rewrites bytes already written (a header whose sizes are known only
  // after its data).
  void WriteAt(uint64_t at, const void* data, size_t length);
  // Drops everything from at on; writing goes on there.
  void TruncateTo(uint64_t at);
  // Writes out what is buffered, so that the temporary file can be read
  // back before it takes the output's name.
  void Flush();
  const std::string& temporaryPath() const { return temporary_; }

  // Flushes, gives the file the usual permissions and closes it: what
  // follows works on the file by its temporary path.
  void Close();

  // Closes the file if still open and gives it its name.
  void Commit();

 private:

  std::string path_;
  std::string temporary_;
  int descriptor_ = -1;
  uint64_t offset_ = 0;
  std::vector<uint8_t> buffer_;
  bool committed_ = false;
};
