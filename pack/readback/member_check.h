// What the read-back's checks of single members and of solid blocks
// share: a member's outcome, where its plain bytes go (their CRC, their
// count and the comparison with its source file), and the check of its
// local header against its central one.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "pack/common/file_reader.h"
#include "pack/readback/archive_directory.h"
#include "pack/readback/installer_verify.h"

struct Outcome {
  MemberVerdict verdict = MemberVerdict::kIntact;
  std::string what;
};

inline Outcome Fail(MemberVerdict verdict, std::string what) { return Outcome{verdict, std::move(what)}; }

std::string Hex(uint32_t value);

// A member's plain bytes, piece by piece.
struct PlainSink {
  uint32_t crc = 0;
  uint64_t total = 0;
  bool compare = false;  // a source was given
  std::unique_ptr<FileReader> source;  // null for a folder or an unreadable file
  bool differs = false;

  void Take(const uint8_t* bytes, size_t n);
  bool SourceDiffers() const { return compare && (differs || (source != nullptr && source->size() != total)); }
};

// The sink of the member at index, compared with its source when there is one.
std::unique_ptr<PlainSink> SinkFor(const SourcePath& source, size_t index);

// The last checks of a member whose data decoded: a folder holds nothing,
// the bytes are its source's.
Outcome Concluded(const CentralEntry& entry, const PlainSink& sink, Outcome outcome);

struct LocalHeaderFound {
  uint64_t offset = 0;     // in the file
  uint64_t dataStart = 0;  // in the file
  uint16_t flags = 0;
  std::vector<uint8_t> extra;
};

// The local header where the directory points: its signature, method,
// name, sizes and CRC against the central header's, and room for the
// data the central header declares.
Outcome CheckLocalHeader(const FileReader& file, const ArchiveDirectory& archive, const CentralEntry& entry,
                         LocalHeaderFound* found);
