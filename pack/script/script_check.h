// The publisher's side of the script: turning a UTF-8 script file into the
// archive comment, checking it by the stub's reading rules, and telling pass
// by pass what the stub will do with it.
#pragma once

#include <string>
#include <vector>

#include "pack/common/code_page.h"
#include "pack/common/findings.h"
#include "pack/script/script_reader.h"
#include "zip/portable/archive_search.h"

// The stub reads the comment from the last bytes of its file, after the end
// record (zip/portable/archive_search.h): a longer comment loses its beginning.
const size_t kCommentReadLimit = kScriptSearchLength - kSearchEndRecordSize - 1;
const size_t kCommentFormatLimit = 65535;

// The script as the stub's passes see it.
struct ScriptAnalysis {
  std::vector<ScriptLine> lines;
  std::vector<int> keyword;          // per line: its keyword, or -1
  std::vector<long> blockOwner;      // per line: the Text or License line whose block holds it, or -1
  std::vector<TextBlock> blocks;     // per line: the block a block-reading command reads
};
ScriptAnalysis AnalyseScript(const std::string& comment);

// Every finding, with the line of the script file it is about.
void CheckScript(const std::string& comment, const ScriptAnalysis& script, Findings* findings);

// What each pass of the stub does with the script, in the order of a run;
// code-page texts are shown in UTF-8.
std::string DescribePasses(const ScriptAnalysis& script, const CodePage& codePage);

// How the stub turns a Path value into the destination folder.
std::string DescribeDestination(const std::string& value);
