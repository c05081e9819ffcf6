// The stub as a file: a Windows program whose resources hold every English
// text that a messages block can translate. The packer reads those texts
// from the stub itself (not from the sources), so a template or a check
// always fits the very stub it goes with.
#pragma once

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

struct DialogTexts {
  std::string name;                // template name, e.g. "STARTDLG"
  std::string caption;             // UTF-8
  std::vector<std::string> texts;  // control texts in template order, UTF-8
};

struct StubImage {
  std::string machine;           // "i686" or "x64"
  uint64_t imageEnd = 0;         // bytes that belong to the program (headers, sections, signature)
  bool hasSignature = false;     // the security directory names a certificate table
  std::map<int, std::string> strings;  // string table, UTF-8
  std::vector<DialogTexts> dialogs;    // in the order of a run (STARTDLG first)
  bool hasRtlDialog = false;           // a dialog named "RTL" marks a right-to-left build
};

// Reads a Windows program; throws PackError naming path when bytes are not
// one. A program without the stub's start dialog and messages reads as a
// program with empty texts (IsZimbroStub tells).
StubImage ReadStubImage(const std::vector<uint8_t>& bytes, const std::string& path);

bool IsZimbroStub(const StubImage& image);
