// Writing the installer: the stub, the messages block when there is one,
// then the ZIP archive with every offset counted from the start of the file
// (so the stub needs no shift), the script as its comment.
#pragma once

#include <stdint.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "pack/archive/compressor.h"
#include "pack/archive/encryption.h"
#include "pack/archive/solid_block.h"
#include "pack/common/dos_time.h"
#include "pack/input/input_tree.h"

struct InstallerParts {
  std::vector<uint8_t> stub;
  std::string messagesBlock;  // ready to insert (its NUL included), or empty
  std::string comment;        // the script in the code page, or empty
  std::vector<InputMember> members;
  Compression compression;  // with solid blocks: for the members outside them
  SolidSettings solid;
  Encryption encryption;
  std::optional<DosDateTime> fixedTime;
};

// One member as it went into the archive (for -v).
struct PackedMember {
  std::string name;  // UTF-8
  uint64_t size = 0;
  uint64_t stored = 0;
  uint16_t method = kMethodStored;
};

struct PackResult {
  std::vector<PackedMember> members;
  uint64_t inputBytes = 0;
  uint64_t archiveBytes = 0;
  uint64_t fileBytes = 0;
};

// Throws PackError naming the output or the member at fault; the output
// then does not exist (an earlier file of that name is left as it was).
// finishing, when given, runs on the complete and checked temporary file
// before it takes the output's name (signing).
PackResult WriteInstaller(const InstallerParts& parts, const std::string& output,
                          const std::function<void(const std::string& temporary)>& finishing = {});
