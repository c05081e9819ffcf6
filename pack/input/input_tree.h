// The members of an installer, gathered from the inputs on the command line:
// a file becomes one member under its own name; a folder gives its contents,
// recursively, under names relative to it, with an entry of its own for
// every empty folder. Names are checked here once, for everything that would
// make the stub write something other than the publisher's file.
#pragma once

#include <stdint.h>
#include <sys/types.h>
#include <time.h>

#include <string>
#include <vector>

#include "pack/common/code_page.h"

struct InputMember {
  std::string source;       // path on this machine
  std::string name;         // UTF-8, '/' separators; a folder's ends with '/'
  std::string archiveName;  // the name in the code page, as the archive holds it
  bool folder = false;
  uint64_t size = 0;
  time_t modified = 0;
  bool readOnly = false;    // no write permission for anyone
  bool executable = false;
};

// Files that the packer reads or writes for itself (script, messages block,
// stub, output) are left out when a folder walk meets them.
struct LeftOut {
  dev_t device;
  ino_t inode;
};

// Throws PackError naming the path: a missing input, an unreadable folder, a
// device or pipe, a name Windows or the code page cannot hold, two inputs
// that give one name.
// excludes: shell patterns (fnmatch) for what a folder walk leaves out; a
// pattern with a '/' is matched against the name relative to the input
// folder, one without against each file or folder's own name.
std::vector<InputMember> CollectInputs(const std::vector<std::string>& inputs,
                                       const std::vector<LeftOut>& leftOut, const CodePage& codePage,
                                       const std::vector<std::string>& excludes = {});

// The member name in the code page; throws PackError naming source when
// Windows, the stub or the code page cannot take it.
std::string ArchiveName(const std::string& name, const std::string& source, const CodePage& codePage);

// The stub's name buffer holds 259 bytes.
const size_t kNameLimit = 259;
