#include "pack/readback/solid_verify.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "pack/archive/compressor.h"
#include "pack/archive/lzma_member.h"
#include "pack/archive/solid_block.h"
#include "pack/archive/zip_records.h"
#include "pack/common/wording.h"
#include "pack/readback/lzma_unpack.h"
#include "pack/readback/member_check.h"

namespace {

const uint64_t kReadBlock = 1u << 20;

// What is wrong with the head as a block's first member, or empty.
std::string HeadFault(const CentralEntry& e) {
  if (!e.solid.present) return "a solid-block member without its solid-block field";
  if (!e.solid.wellFormed) return "its solid-block field is damaged";
  if (e.solid.headOffset != e.localOffset) {
    return "claims the solid block at offset " + Grouped(e.solid.headOffset) + ", which it does not follow";
  }
  return "";
}

// The text of a stream that failed, for every member it did not reach.
std::string StreamFault(LzmaUnpackResult result) {
  switch (result) {
    case LzmaUnpackResult::kBadFrame: return "lost: its solid block's LZMA header is damaged";
    case LzmaUnpackResult::kBadProperties: return "lost: its solid block's LZMA properties are out of range";
    case LzmaUnpackResult::kCutShort: return "lost: its solid block's LZMA data ends before its stream does";
    case LzmaUnpackResult::kLonger: return "lost: its solid block decodes to more than its members' sizes";
    case LzmaUnpackResult::kShorter: return "lost: its solid block's stream ends before this member's data";
    default: return "lost: its solid block's LZMA data is damaged at or before it";
  }
}

// The block's structure, member by member: the index of the first member
// at fault (end when none), with what is wrong with it.
struct Structure {
  size_t broken;
  std::string fault;
  std::vector<uint64_t> dataStart;  // of the members before broken
};

Structure CheckStructure(const FileReader& file, const ArchiveDirectory& archive, size_t first, size_t end) {
  Structure s{end, "", {}};
  const CentralEntry& head = archive.entries[first];
  uint64_t running = 0, next = 0;
  for (size_t j = first; j < end; ++j) {
    const CentralEntry& e = archive.entries[j];
    const auto broken = [&](std::string what) {
      s.broken = j;
      s.fault = std::move(what);
      return s;
    };
    if (e.solid.version != kSolidVersion) {
      return broken("its solid-block field has version " + std::to_string(e.solid.version) +
                    ", which the stub does not read");
    }
    if (e.solid.filter != head.solid.filter) return broken("its solid-block field names another filter than its head's");
    if (e.encrypted()) return broken("encrypted inside a solid block");
    if (!(e.flags & kFlagLzmaEndMarker)) return broken("a solid-block member without the end-marker flag");
    LocalHeaderFound local;
    const Outcome header = CheckLocalHeader(file, archive, e, &local);
    if (header.verdict != MemberVerdict::kIntact) return broken(header.what);
    if ((local.flags ^ e.flags) & kFlagLzmaEndMarker) return broken("its two headers disagree on the LZMA end marker");
    if (!(ReadSolidField(local.extra) == e.solid)) return broken("its two headers hold different solid-block fields");
    if (e.solid.dataOffset != running) {
      return broken("lies at " + Grouped(e.solid.dataOffset) + " in its solid block, where the members before it end at " +
                    Grouped(running));
    }
    if (j > first && e.compressedSize != 0) return broken("holds data of its own after the head of its solid block");
    if (j > first && local.offset != next) {
      return broken("its local header does not follow the member before it in its solid block");
    }
    next = local.dataStart + e.compressedSize;
    running += e.size;
    s.dataStart.push_back(local.dataStart);
  }
  return s;
}

// The decoded stream cut into the members by their sizes.
struct Cutter {
  const ArchiveDirectory& archive;
  const SourcePath& source;
  size_t current, stop;  // the member being filled; the members from stop on are not checked
  std::unique_ptr<PlainSink> sink;
  std::vector<MemberProblem>* problems;

  // Concludes every member whose bytes are all there (members of no
  // size at once), and opens the next.
  void Settle() {
    while (current < stop) {
      const CentralEntry& e = archive.entries[current];
      if (sink == nullptr) sink = SinkFor(source, current);
      if (sink->total < e.size) return;
      Outcome outcome;
      if (sink->crc != e.crc) {
        outcome = Fail(MemberVerdict::kDamaged, "its data has CRC " + Hex(sink->crc) + ", its header says " + Hex(e.crc));
      }
      outcome = Concluded(e, *sink, outcome);
      if (outcome.verdict != MemberVerdict::kIntact) problems->push_back({current, outcome.verdict, outcome.what});
      sink.reset();
      ++current;
    }
  }

  void Take(const uint8_t* bytes, size_t count) {
    while (count > 0 && current < stop) {
      Settle();
      if (current >= stop) break;
      const size_t n = static_cast<size_t>(std::min<uint64_t>(count, archive.entries[current].size - sink->total));
      sink->Take(bytes, n);
      bytes += n;
      count -= n;
      Settle();
    }
  }
};

}  // namespace

bool IsSolidHead(const CentralEntry& e) {
  return e.method == kMethodSolidLzma && e.solid.wellFormed && e.solid.headOffset == e.localOffset;
}

size_t SolidRunEnd(const ArchiveDirectory& archive, size_t first) {
  const CentralEntry& head = archive.entries[first];
  size_t end = first + 1;
  if (!IsSolidHead(head)) return end;
  while (end < archive.entries.size()) {
    const CentralEntry& e = archive.entries[end];
    if (e.method != kMethodSolidLzma || !e.solid.wellFormed || e.solid.headOffset != head.solid.headOffset) break;
    ++end;
  }
  return end;
}

size_t VerifySolidRun(const FileReader& file, const ArchiveDirectory& archive, size_t first, const SourcePath& source,
                      std::vector<MemberProblem>* problems) {
  const CentralEntry& head = archive.entries[first];
  const std::string headFault = HeadFault(head);
  if (!headFault.empty()) {
    problems->push_back({first, MemberVerdict::kDamaged, headFault});
    return first + 1;
  }
  const size_t end = SolidRunEnd(archive, first);
  if (head.solid.filter != kSolidFilterNone) {
    const bool known = head.solid.filter == kSolidFilterX86;
    for (size_t j = first; j < end; ++j) {
      problems->push_back({j, known ? MemberVerdict::kNotTested : MemberVerdict::kDamaged,
                           known ? "its solid block uses the x86 branch filter, which the read-back does not undo"
                                 : "its solid block names filter " + std::to_string(head.solid.filter) +
                                       ", which the stub does not know"});
    }
    return end;
  }
  const Structure structure = CheckStructure(file, archive, first, end);

  uint64_t declared = 0;
  for (size_t j = first; j < end; ++j) declared += archive.entries[j].size;
  Cutter cutter{archive, source, first, structure.broken, nullptr, problems};
  LzmaUnpackResult result = LzmaUnpackResult::kIntact;
  if (structure.broken > first) {
    uint64_t position = structure.dataStart[0], left = head.compressedSize;
    std::vector<uint8_t> block;
    const NextBlock next = [&](const uint8_t** bytes, size_t* count) {
      if (left == 0) return false;
      block = file.Read(position, std::min(left, kReadBlock));
      if (block.empty()) return false;
      position += block.size();
      left -= block.size();
      *bytes = block.data();
      *count = block.size();
      return true;
    };
    const TakeBytes take = [&](const uint8_t* bytes, size_t count) { cutter.Take(bytes, count); };
    result = UnpackLzma(next, declared, true, take);
    if (result == LzmaUnpackResult::kNoMemory) throw std::bad_alloc();
    cutter.Settle();
  }
  const size_t reached = cutter.current;
  for (size_t j = reached; j < structure.broken; ++j) {
    problems->push_back({j, MemberVerdict::kDamaged, StreamFault(result)});
  }
  if (structure.broken < end) {
    problems->push_back({structure.broken, MemberVerdict::kDamaged, structure.fault});
    for (size_t j = structure.broken + 1; j < end; ++j) {
      problems->push_back({j, MemberVerdict::kDamaged, "lost: a member before it in its solid block is damaged"});
    }
  } else if (result == LzmaUnpackResult::kTrailingData && reached == end &&
             std::none_of(problems->begin(), problems->end(), [&](const MemberProblem& p) { return p.index == first; })) {
    problems->push_back({first, MemberVerdict::kDamaged, "its solid block holds data after its LZMA end marker"});
  }
  std::sort(problems->begin(), problems->end(),
            [](const MemberProblem& a, const MemberProblem& b) { return a.index < b.index; });
  return end;
}
