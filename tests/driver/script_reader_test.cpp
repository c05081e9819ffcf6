// The script reader: lines, keywords, fields, text blocks and escapes.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "common/test_support.h"
#include "driver/script_reader.h"
#include "driver/startup.h"
#include "support/portable/heap.h"

namespace {

using Texts = std::vector<std::string>;

// Each line as "key=value" (just "key" without '='), "+" when it was cut.
Texts ReadAll(const std::string& script) {
  Texts lines;
  char key[kScriptLineSize], value[kScriptLineSize];
  bool overflow, hasEquals;
  for (const char* p = script.c_str();
       (p = ReadScriptLine(p, key, value, kScriptLineSize, &overflow, &hasEquals)) != nullptr;) {
    lines.push_back(std::string(key) + (hasEquals ? "=" : "") + value + (overflow ? "+" : ""));
  }
  return lines;
}

TEST(ScriptLines, KeyAndValueOverEveryLineEnding) {
  const std::string x(5000, 'x');
  const struct {
    std::string script;
    Texts lines;
  } cases[] = {
      {"Path=C:\\x\r\nSilent=1\r\n", {"Path=C:\\x", "Silent=1"}},
      {"a=1\nb=2\rc=3", {"a=1", "b=2", "c=3"}},  // a lone CR takes nothing of the next line
      {"last=1\r", {"last=1"}},
      {"\r\n\r\nx", {"", "", "x"}},
      {"a=b=c\r\n Path = \"q\" ", {"a=b=c", " Path = \"q\" "}},
      {"k=%zimbro_undefined%", {"k=%zimbro_undefined%"}},
      {x + "\r\nnext", {x.substr(0, 4095) + "+", x.substr(0, 905), "next"}},
      {"k=" + x, {"k=" + x.substr(0, 4093) + "+", x.substr(0, 907)}},  // the '=' counts
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.lines, ReadAll(c.script)) << c.script.substr(0, 30);

  // The key alone, the value alone; without a value buffer the whole line.
  char line[kScriptLineSize], value[kScriptLineSize];
  bool hasEquals = true;
  EXPECT_STREQ("z", ReadScriptLine("Text=a\r\nz", line, value, kScriptLineSize, nullptr, &hasEquals));
  EXPECT_STREQ("Text", line);
  EXPECT_STREQ("a", value);
  ReadScriptLine("Silent", line, value, kScriptLineSize, nullptr, &hasEquals);
  EXPECT_FALSE(hasEquals);
  EXPECT_STREQ("", value);
  ReadScriptLine("Text=a=b", line, nullptr, kScriptLineSize, nullptr, &hasEquals);
  EXPECT_STREQ("Text=a=b", line);
  EXPECT_FALSE(hasEquals);
  EXPECT_EQ(nullptr, ReadScriptLine(nullptr, line, nullptr, kScriptLineSize, nullptr, nullptr));
}

TEST(ScriptLines, ValueExpandsTheProgramsOwnPath) {
  PrepareRunState("setup.exe");
  EXPECT_EQ(Texts{"Setup=\"" + testing_support::SelfPath() + "\" /x"}, ReadAll("Setup=\"%sfxname%\" /x"));
}

TEST(ScriptKeywords, CaseIgnoredBlanksNot) {
  const char* const keywords[] = {"delete",   "TEXT",    "Title",    "Path",    "Silent",   "Overwrite", "Setup",
                                  "TempMode", "License", "Presetup", "ExtSign", "Shortcut", "SavePath"};
  for (int i = 0; i < 13; ++i) EXPECT_EQ(i, FindKeyword(keywords[i])) << keywords[i];
  for (const char* key : {"Path ", " Path", "", ";Path", "{", "Paths"}) EXPECT_EQ(kNoCommand, FindKeyword(key)) << key;
}

Texts SplitAll(const char* value) {
  Texts fields;
  char field[kScriptLineSize];
  for (const char* p = value; fields.size() < 6;) {
    p = SplitField(p, field);
    fields.push_back(field);
  }
  return fields;
}

TEST(ScriptFields, QuotesCommasAndBlanks) {
  const struct {
    const char* value;
    Texts fields;
  } cases[] = {
      {"a,  \"b, c\" ,d", {"a", "b, c ", "d", "", "", ""}},
      {"\"x\"\"y\",z", {"x\"y", "z", "", "", "", ""}},
      {"say \"\"hi\"\"", {"say \"hi\"", "", "", "", "", ""}},
      {"5\" disk,b", {"5\" disk", "b", "", "", "", ""}},  // a lone quote stays
      {"\"\",b", {"", "b", "", "", "", ""}},
      {"a,\t b ,c\"d\"e", {"a", "b ", "cde", "", "", ""}},
      {"1,2,3,4,5,6,7", {"1", "2", "3", "4", "5", "6"}},
      {"", {"", "", "", "", "", ""}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.fields, SplitAll(c.value)) << c.value;

  const char* value = "a,b";
  char field[kScriptLineSize];
  EXPECT_EQ(value + 2, SplitField(value, field));
  EXPECT_EQ(value + 3, SplitField(value + 2, field));
  EXPECT_EQ(nullptr, SplitField(value + 3, field));
  EXPECT_EQ(nullptr, SplitField(nullptr, field));
  EXPECT_STREQ("", field);
}

std::string Block(const std::string& script) {
  char* block = ReadTextBlock(script.c_str());
  std::string text = block != nullptr ? block : "(none)";
  release(block);
  return text;
}

TEST(ScriptBlocks, BracesBlanksLineBreaksAndTheLimit) {
  const std::string y(5000, 'y'), q(4000, 'q');
  std::string sixteen;  // 16 lines and their breaks: 64,032 bytes
  for (int i = 0; i < 16; ++i) sixteen += q + "\r\n";
  const std::string fits(65531 - 64030, 'r');  // up to 65,531 bytes without the last break
  const struct {
    std::string script;  // the lines after the command line
    std::string block;
  } cases[] = {
      {"{\r\nHello\r\n}\r\nPath=x", "Hello\r\n"},
      {"Hello  \r\n  World \t \r\n}", "Hello\r\n  World \t\r\n"},
      {"{\r\n{\r\nA\r\n{B\r\n}C\r\nD", "A\r\n{B\r\n"},
      {"\r\n{x\r\n}", "\r\n{x\r\n"},  // an empty first line counts: '{' is text after it
      {"no end\nof block", "no end\r\nof block\r\n"},
      {"}", ""},
      {y + "  \r\nz\r\n}", y + "\r\nz\r\n"},  // a cut line goes on without a break
      {sixteen + q + "\r\n", sixteen},
      {sixteen + fits + "\r\ns\r\n", sixteen + fits + "\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.block, Block(c.script)) << c.script.substr(0, 30);
}

TEST(ScriptEscapes, BackslashPairsAndLineFeeds) {
  const char* const cases[][2] = {
      {"Install now?\\nSure", "Install now?\nSure"}, {"C:\\\\dir\\x", "C:\\dir\\x"}, {"end\\", "end\\"}, {"\\\\n", "\\n"}};
  for (const auto& c : cases) {
    char text[64];
    strcpy(text, c[0]);
    UnescapeText(text);
    EXPECT_STREQ(c[1], text) << c[0];
  }
}

}  // namespace
