// The shared table of script cases, read by the stub's build of the grammar.
#include <gtest/gtest.h>

#include "common/script_cases.h"

TEST(ScriptGrammar, SharedCasesReadAsTheTableSays) {
  for (const ScriptCase& c : ScriptCases()) {
    EXPECT_EQ(c.expected, ReadScriptCase(c)) << static_cast<int>(c.kind) << ": " << c.input.substr(0, 40);
  }
}
