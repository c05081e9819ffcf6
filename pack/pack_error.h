// A failure of the packer: one line for the user, naming the path it is
// about. Thrown anywhere, caught once in main, which prints it and leaves no
// partial installer behind.
#pragma once

#include <stdexcept>
#include <string>

struct PackError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

inline PackError PathError(const std::string& path, const std::string& what) {
  return PackError(path + ": " + what);
}
