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

// "1 member", "2 members", "1,000 members".
inline std::string Counted(uint64_t n, const std::string& noun) {
  return Grouped(n) + " " + noun + (n == 1 ? "" : "s");
}

// "a Setup", "an Overwrite": the article for a word as it is spoken.
inline std::string WithArticle(const std::string& word) {
  const bool vowel = !word.empty() && std::string("AEIOUaeiou").find(word[0]) != std::string::npos;
  return (vowel ? "an " : "a ") + word;
}
