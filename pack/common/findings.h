// What the checks of a script or a messages block found: each finding has
// the line it is about (0: the whole file), and warnings are told apart from
// errors, which stop an installer from being written.
#pragma once

#include <string>
#include <vector>

enum class Severity { kWarning, kError };

struct Finding {
  int line = 0;
  Severity severity = Severity::kWarning;
  std::string text;  // UTF-8
};

struct Findings {
  std::vector<Finding> list;

  void Warn(int line, std::string text) { list.push_back({line, Severity::kWarning, std::move(text)}); }
  void Fail(int line, std::string text) { list.push_back({line, Severity::kError, std::move(text)}); }
  int Count(Severity severity) const;
  // In line order, each as "file:line: error: text".
  std::string Format(const std::string& file) const;
  // "2 errors, 1 warning"
  std::string Summary() const;
};
