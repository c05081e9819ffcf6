// Small helpers for the texts the packer prints.
#pragma once

#include <stdint.h>

#include <string>

// 1234567 as "1,234,567".
inline std::string Grouped(uint64_t n) {
  std::string digits = std::to_string(n);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<size_t>(i), ",");
  return digits;
}

inline std::string Quoted(const std::string& text) { return "\"" + text + "\""; }
