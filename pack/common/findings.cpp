#include "pack/common/findings.h"

#include <algorithm>

int Findings::Count(Severity severity) const {
  return static_cast<int>(std::count_if(list.begin(), list.end(),
                                        [&](const Finding& f) { return f.severity == severity; }));
}

std::string Findings::Format(const std::string& file) const {
  std::vector<Finding> sorted = list;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const Finding& a, const Finding& b) { return a.line < b.line; });
  std::string out;
  for (const Finding& f : sorted) {
    out += file;
    if (f.line > 0) out += ":" + std::to_string(f.line);
    out += f.severity == Severity::kError ? ": error: " : ": warning: ";
    out += f.text + "\n";
  }
  return out;
}

std::string Findings::Summary() const {
  const auto plural = [](int n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
  };
  return plural(Count(Severity::kError), "error") + ", " + plural(Count(Severity::kWarning), "warning");
}
