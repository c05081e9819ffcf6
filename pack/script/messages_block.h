// Messages blocks from the packer's side: the template a translator starts
// from, the validation of a translated block before it goes into an
// installer, and the reading of a block found in an installer.
#pragma once

#include <string>
#include <vector>

#include "pack/common/code_page.h"
#include "pack/common/findings.h"
#include "pack/pe/stub_image.h"
#include "ui/portable/messages_reader.h"

// A text of the stub that a block can translate, with its key.
struct StubText {
  enum Role { kMessage, kDialogText, kSize, kDirection };
  Role role;
  std::string dialog;   // the template name, for dialog texts and sizes
  std::string english;  // UTF-8
  int id = 0;           // the message number
  std::string key;
};

// Every text in template order: the direction entry, then per dialog its
// size entry, caption and control texts (each text once), then the string
// table. Keys are computed over the texts in the target code page.
std::vector<StubText> StubTexts(const StubImage& image, const CodePage& codePage);

// The template: marker line, one entry per text with the English text as
// its value (in brackets with pseudo), each under a comment. UTF-8, CR LF.
std::string MessagesTemplate(const std::vector<StubText>& texts, bool pseudo);

// An entry line of a block as the stub reads it.
struct BlockEntry {
  std::string key;
  std::string value;   // unescaped, up to the last double quote of its line
  bool closed = true;  // the line has a closing double quote
  int line = 0;        // line of the block where the entry starts (the marker is line 1)
};
// Entries of a block (code-page bytes from the marker on, up to its end).
std::vector<BlockEntry> ReadBlockEntries(const std::string& block);

// A block file (UTF-8) made ready to insert behind the stub: checked
// against the stub's texts, converted to the code page, CR LF line ends and
// a NUL at its end (the stub's block ends at the first zero byte).
std::string PrepareMessagesBlock(const std::string& utf8, const std::vector<StubText>& texts,
                                 const CodePage& codePage, Findings* findings);

// The marker a block begins with.
extern const char kMessagesMarker[];
const size_t kMessagesBlockLimit = kMessagesBlockMaxSize;  // what the stub reads of a block
