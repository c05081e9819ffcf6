// Reading an installer's members back: every member's data is decrypted
// (an AES member's authentication code checked over all of its encrypted
// data), inflated and checked against the sizes and CRC its headers declare and,
// right after a pack, against the very files it was made from. The packer
// runs it on every installer before it gives the file its name, and
// --test runs it on any installer. On purpose it decodes with code that is
// not the stub's: libdeflate inflates what fits in memory (only members too
// large for that stream through the stub's decoder), so that a mistake the
// stub's decoder shares with the packer's compressor cannot pass unseen.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "pack/readback/archive_directory.h"
#include "pack/common/file_reader.h"

enum class MemberVerdict {
  kIntact,
  kNotTested,       // encrypted, and no password was given
  kDamaged,         // the archive contradicts itself: the stub would refuse it
  kDiffersFromSource,  // consistent in itself, but not the bytes of its source
};

struct MemberProblem {
  size_t index;  // in the directory
  MemberVerdict verdict;
  std::string what;
};

// The file a member was made from, by its index in the directory; empty
// for a folder. Members of any size are read in pieces, never whole.
using SourcePath = std::function<std::string(size_t index)>;

// The password in the form each cipher takes; empty when none was given.
struct MemberPasswords {
  std::string aes;          // UTF-8
  std::string traditional;  // in the code page
};

// Problems in directory order; none when every member is intact. source
// may be empty.
std::vector<MemberProblem> VerifyMembers(const FileReader& file, const ArchiveDirectory& archive,
                                         const MemberPasswords& passwords, const SourcePath& source);
