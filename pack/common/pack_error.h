// A failure of the packer: one line for the user, naming the path it is
// about. Thrown anywhere, caught once in main, which prints it and leaves no
// partial installer behind.
#pragma once

#include <string.h>

#include <stdexcept>
#include <string>

struct PackError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A fault of the packer itself (what it wrote is not what it read, an
// unexpected exception): a different exit code, so that a build pipeline
// can tell it from a publisher's mistake.
struct InternalError : PackError {
  using PackError::PackError;
};

// Errors in the script or the messages block (or, with --strict, warnings):
// the publisher's text is at fault, not a file.
struct ScriptError : PackError {
  using PackError::PackError;
};

inline PackError PathError(const std::string& path, const std::string& what) {
  return PackError(path + ": " + what);
}

// The system's words for an errno value. strerror may share one buffer
// between threads, and the compressing workers report read failures too.
inline std::string SystemError(int error) {
  char buffer[256];
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
  return strerror_r(error, buffer, sizeof buffer);  // the GNU form returns the text
#else
  return strerror_r(error, buffer, sizeof buffer) == 0 ? buffer : "error " + std::to_string(error);
#endif
}
