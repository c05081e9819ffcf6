// The shared table of script cases, read by the packer's build of the
// grammar (the host compiler's); run by pack_test.py. Prints each case that
// reads otherwise and exits 1 when there is one.
#include <stdio.h>

#include "common/script_cases.h"

int main() {
  int failed = 0;
  for (const ScriptCase& c : ScriptCases()) {
    const std::string got = ReadScriptCase(c);
    if (got == c.expected) continue;
    ++failed;
    printf("case %d \"%.40s\": expected \"%s\", read \"%s\"\n", static_cast<int>(c.kind), c.input.c_str(),
           c.expected.c_str(), got.c_str());
  }
  printf("%zu script cases, %d read otherwise\n", ScriptCases().size(), failed);
  return failed == 0 ? 0 : 1;
}
