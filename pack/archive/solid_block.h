// Solid blocks: runs of consecutive members whose data, joined in archive
// order, is compressed as one raw LZMA stream, so that what one file
// shares with the next (headers, tables, the same text) is coded once.
//
// The archive stays a ZIP: every member keeps its own local and central
// header with its name, sizes, CRC, time and attributes. The block's
// stream is the data of its first member (the head), in method 14's frame
// (version, properties size, the five properties, the stream with its end
// marker); the other members of the block have no data, and each local
// header follows the previous member's data directly. Every member of a
// block has method kMethodSolidLzma, a value the ZIP application note does
// not assign, so a tool that does not know blocks refuses the member
// instead of writing wrong data, and carries the solid-block field:
//   tag 0x5A53, 18 bytes: version (1), filter (0: none), the offset of the
//   head's local header (the block's identity), the offset of the member's
//   data in the block's joined data.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "pack/input/input_tree.h"

const uint16_t kSolidExtraTag = 0x5A53;
const uint16_t kSolidExtraSize = 18;
const uint8_t kSolidVersion = 1;
const uint8_t kSolidFilterNone = 0;
const uint8_t kSolidFilterX86 = 1;

// The stub refuses a dictionary larger than this: it allocates the whole
// dictionary once per block on the user's machine.
const uint32_t kSolidDictionaryLimitMiB = 256;

struct SolidSettings {
  bool enabled = false;
  uint64_t blockSize = uint64_t{256} << 20;  // of uncompressed data
  uint32_t dictionarySize = 64u << 20;      // the most a block gets
};

// A run of members [first, first + count) of the archive's order.
struct SolidBlockPlan {
  size_t first = 0, count = 0;
  uint64_t size = 0;  // the members' data joined
};

// Members outside blocks come first (empty files and folders, which have
// nothing to compress, and files larger than a block, which go alone the
// --method lzma way), then the files of the blocks in the order they were
// given: a block needs consecutive members, and an empty file or a folder
// among them would split it. Nothing the stub does depends on the order.
std::vector<InputMember> SolidOrder(std::vector<InputMember> members, const SolidSettings& settings);
bool InSolidBlock(const InputMember& member, const SolidSettings& settings);

// The blocks over members in SolidOrder: each as many consecutive members
// as fit in settings.blockSize.
std::vector<SolidBlockPlan> PlanSolidBlocks(const std::vector<InputMember>& members, const SolidSettings& settings);

// The dictionary written in a block's properties: no larger than the
// block (the stub allocates what the properties say), at least liblzma's
// 4 KiB.
uint32_t SolidDictionarySize(uint64_t blockSize, const SolidSettings& settings);

// The memory liblzma's encoder takes for a block (for how many may be
// compressed side by side).
uint64_t SolidEncoderMemory(uint64_t blockSize, const SolidSettings& settings);

struct PackedBlock {
  std::vector<uint8_t> bytes;  // the head's data: frame and stream
  std::vector<uint32_t> crcs;  // of each member
};

// Reads the block's files and compresses them as one stream. Throws
// PackError naming a file that changed since the tree was read.
PackedBlock CompressSolidBlock(const std::vector<InputMember>& members, const SolidBlockPlan& block,
                               const SolidSettings& settings);
