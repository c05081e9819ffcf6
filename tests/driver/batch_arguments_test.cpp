// The installer's arguments as a batch file receives them: split by the
// Windows rules, quoted where the interpreter would act on them, refused
// where quotes do not protect.
#include <gtest/gtest.h>

#include <string.h>

#include "driver/batch_arguments.h"

namespace {

TEST(BatchArguments, EachArgumentReachesTheInterpreterAsOnePlainWord) {
  const struct {
    const char* tail;
    const char* own;  // the publisher's parameters
    bool quotesProtect;
    BatchTail result;
    const char* parameters;
  } cases[] = {
      {"", "", true, BatchTail::kPassed, ""},
      {"/s", "", true, BatchTail::kPassed, "/s"},
      {"  /s \t -x ", "/q", true, BatchTail::kPassed, "/q /s -x"},
      {"/s & C:\\x\\injected.exe pwned", "", true, BatchTail::kPassed, "/s \"&\" C:\\x\\injected.exe pwned"},
      {"\"a b\" c|d (x) ^y <z> e,f;g=h \"\"", "one", true, BatchTail::kPassed,
       "one \"a b\" \"c|d\" \"(x)\" \"^y\" \"<z>\" \"e,f;g=h\" \"\""},
      // Backslashes count only before a quote; quotes may start mid-word.
      {"\"C:\\my dir\\\\\" a\\\\b a\"b c\"d", "", true, BatchTail::kPassed, "\"C:\\my dir\\\" a\\\\b \"ab cd\""},
      // What the interpreter acts on even inside quotes.
      {"/s %PATH%", "", true, BatchTail::kRefused, "own"},
      {"/s !x!", "", true, BatchTail::kRefused, "own"},
      {"a\\\"b", "", true, BatchTail::kRefused, "own"},
      {"\"a\"\"b\"", "", true, BatchTail::kRefused, "own"},
      {"\"a\tb\"", "", true, BatchTail::kRefused, "own"},
      // Where quotes protect nothing, only words that need none go.
      {"/s -x", "", false, BatchTail::kPassed, "/s -x"},
      {"\"a b\"", "", false, BatchTail::kRefused, "own"},
      {"x&y", "", false, BatchTail::kRefused, "own"},
  };
  for (const auto& c : cases) {
    char parameters[64];
    strcpy(parameters, c.own);
    if (c.result == BatchTail::kRefused) strcpy(parameters, "own");
    EXPECT_EQ(c.result, AppendBatchArguments(c.tail, parameters, sizeof(parameters), c.quotesProtect)) << c.tail;
    EXPECT_STREQ(c.parameters, parameters) << c.tail;
  }
}

// A tail that does not fit is left off whole, as for every program.
TEST(BatchArguments, ATailThatDoesNotFitIsLeftOffWhole) {
  char parameters[12] = "/q";
  EXPECT_EQ(BatchTail::kPassed, AppendBatchArguments("/one \"t w o\"", parameters, sizeof(parameters), true));
  EXPECT_STREQ("/q", parameters);
  EXPECT_EQ(BatchTail::kPassed, AppendBatchArguments("/one", parameters, sizeof(parameters), true));
  EXPECT_STREQ("/q /one", parameters);
}

}  // namespace
