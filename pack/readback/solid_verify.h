// The read-back of solid blocks (pack/archive/solid_block.h): the run of
// members that shares one LZMA stream is checked as the stub reads it -
// the head's field names its own local header and offset 0, each member
// after it continues the block at the running offset, with no data of its
// own and its local header right after the member before - then the
// stream is decoded once by liblzma and cut into the members by their
// sizes, each checked against its CRC (and its source, after a pack).
// A fault in the structure or the stream loses the rest of the block:
// every member from there on is a problem of its own, named.
#pragma once

#include <stddef.h>

#include <vector>

#include "pack/common/file_reader.h"
#include "pack/readback/archive_directory.h"
#include "pack/readback/installer_verify.h"

// Checks the run that begins at directory index first (a member of method
// kMethodSolidLzma), adds its problems, and gives the index after it.
size_t VerifySolidRun(const FileReader& file, const ArchiveDirectory& archive, size_t first, const SourcePath& source,
                      std::vector<MemberProblem>* problems);

// Whether the member is the first of a solid block: its field names its
// own local header.
bool IsSolidHead(const CentralEntry& entry);

// The members [first, end) that claim the block whose head is at first;
// end == first + 1 when first is not the head of a block.
size_t SolidRunEnd(const ArchiveDirectory& archive, size_t first);
