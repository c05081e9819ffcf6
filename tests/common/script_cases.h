// One table of script cases for the grammar that the stub and the packer
// share (driver/portable/script_grammar.h): the stub's tests run it under Wine
// (tests/driver/script_grammar_test.cpp), the packer's tests natively
// (tests/pack/script_cases_main.cpp). Every case is a text in and the
// reading as a text out, so one table serves both.
#pragma once

#include <string>
#include <vector>

#include "driver/portable/script_grammar.h"

enum class CaseKind { Lines, Fields, Block, Escape, Keyword, Passes, Silent, Overwrite };

struct ScriptCase {
  CaseKind kind;
  std::string input;
  std::string expected;
};

inline const std::vector<ScriptCase>& ScriptCases() {
  static const std::vector<ScriptCase> cases = {
      // Lines: each as read, '+' after a cut one, '|' between them.
      {CaseKind::Lines, "Path=C:\\x\r\nSilent=1\r\n", "Path=C:\\x|Silent=1"},
      {CaseKind::Lines, "a=1\nb=2\rc=3", "a=1|b=2|c=3"},  // a lone CR takes nothing of the next line
      {CaseKind::Lines, "a\r\rb", "a||b"},
      {CaseKind::Lines, "last=1\r", "last=1"},
      {CaseKind::Lines, "\r\n\r\nx", "||x"},
      {CaseKind::Lines, std::string(4100, 'x'), std::string(4095, 'x') + "+|xxxxx"},
      // Fields: six, '|' between them.
      {CaseKind::Fields, "a,  \"b, c\" ,d", "a|b, c |d|||"},
      {CaseKind::Fields, "\"x\"\"y\",z", "x\"y|z||||"},
      {CaseKind::Fields, "5\" disk,b", "5\" disk|b||||"},
      {CaseKind::Fields, "\"\",b", "|b||||"},
      {CaseKind::Fields, "a,\t b ,c\"d\"e", "a|b |cde|||"},
      {CaseKind::Fields, "1,2,3,4,5,6,7", "1|2|3|4|5|6"},
      // Blocks: the lines after the command; the text, then what ended it.
      {CaseKind::Block, "{\r\nHello\r\n}\r\nPath=x", "Hello\r\n[opened closed next=Path=x]"},
      {CaseKind::Block, "Hello  \r\n  World \t \r\n}", "Hello\r\n  World \t\r\n[closed]"},
      {CaseKind::Block, "{\r\n{\r\nA\r\n{B\r\n}C\r\nD", "A\r\n{B\r\n[opened closed next=D]"},
      {CaseKind::Block, "\r\n{x\r\n}", "\r\n{x\r\n[closed]"},
      {CaseKind::Block, "no end\nof block", "no end\r\nof block\r\n[]"},
      {CaseKind::Block, "x\ry\r}", "x\r\ny\r\n[closed]"},
      // Escapes of the TempMode question.
      {CaseKind::Escape, "Install now?\\nSure", "Install now?\nSure"},
      {CaseKind::Escape, "C:\\\\dir\\x", "C:\\dir\\x"},
      {CaseKind::Escape, "end\\", "end\\"},
      // Keywords: ASCII case ignored, blanks not.
      {CaseKind::Keyword, "tempmode", "7"},
      {CaseKind::Keyword, "SAVEPATH", "12"},
      {CaseKind::Keyword, "Path ", "-1"},
      {CaseKind::Keyword, ";Path", "-1"},
      {CaseKind::Keyword, "Set-up", "-1"},
      // Passes: the modes in which a command acts.
      {CaseKind::Passes, "TempMode", "TempFolder Prescan"},
      {CaseKind::Passes, "Silent", "DialogInit TempFolder DeleteFiles LicenseInit RunSetup RunPresetup Shortcuts Prescan"},
      {CaseKind::Passes, "License", "LicenseInit"},
      {CaseKind::Passes, "ExtSign", ""},
      // Silent: the mode before, a comma, the value; the mode after.
      {CaseKind::Silent, "0,", "2"},
      {CaseKind::Silent, "0,1", "1"},
      {CaseKind::Silent, "2,0", "0"},
      {CaseKind::Silent, "1,0", "1"},  // the command-line switch stays
      {CaseKind::Silent, "0,7x", "7"},
      // Overwrite by the first character.
      {CaseKind::Overwrite, "", "replace"},
      {CaseKind::Overwrite, "0", "ask"},
      {CaseKind::Overwrite, "2", "skip"},
      {CaseKind::Overwrite, "x", "unchanged"},
  };
  return cases;
}

// What the shared grammar makes of the case's input.
inline std::string ReadScriptCase(const ScriptCase& c) {
  static const char* const kModes[] = {"DialogInit", "TempFolder", "DeleteFiles", "LicenseInit",
                                       "RunSetup",   "RunPresetup", "Shortcuts", "Prescan"};
  std::string out;
  std::vector<char> buffer(kTextBlockSize);
  const char* text = c.input.c_str();
  switch (c.kind) {
    case CaseKind::Lines: {
      ScriptLineShape shape;
      for (const char* p = text; (p = ReadScriptText(p, buffer.data(), kScriptLineSize, &shape)) != nullptr;) {
        out += std::string(buffer.data()) +
               (shape.overflow ? "+" : "") + "|";
      }
      if (!out.empty()) out.pop_back();
      break;
    }
    case CaseKind::Fields: {
      const char* p = text;
      for (int i = 0; i < kScriptFieldCount; ++i) {
        p = SplitField(p, buffer.data());
        out += std::string(i == 0 ? "" : "|") + buffer.data();
      }
      break;
    }
    case CaseKind::Block: {
      TextBlockEnd end;
      const int length = CollectTextBlock(text, buffer.data(), &end);
      out.assign(buffer.data(), static_cast<size_t>(length));
      std::string how = std::string(end.opened ? " opened" : "") + (end.closed ? " closed" : "") +
                        (end.next != nullptr ? std::string(" next=") + end.next : "");
      out += "[" + (how.empty() ? how : how.substr(1)) + "]";
      break;
    }
    case CaseKind::Escape:
      out = c.input;
      UnescapeScriptText(&out[0], nullptr);
      out.resize(std::string(out.c_str()).size());
      break;
    case CaseKind::Keyword:
      out = std::to_string(FindKeyword(text));
      break;
    case CaseKind::Passes:
      for (int mode = 0; mode < kScriptModeCount; ++mode) {
        if (CommandActsIn(FindKeyword(text), static_cast<ScriptMode>(mode))) out += std::string(out.empty() ? "" : " ") + kModes[mode];
      }
      break;
    case CaseKind::Silent:
      out = std::to_string(SilentAfter(c.input[0] - '0', text + 2));
      break;
    case CaseKind::Overwrite: {
      static const char* const kChoices[] = {"ask", "replace", "skip", "unchanged"};
      out = kChoices[static_cast<int>(ReadOverwriteValue(text))];
      break;
    }
  }
  return out;
}
