#include "pack/archive/installer_writer.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "pack/readback/archive_directory.h"
#include "pack/readback/installer_verify.h"
#include "pack/common/output_file.h"
#include "pack/common/pack_error.h"
#include "pack/cli/progress.h"
#include "pack/common/file_reader.h"
#include "pack/archive/aes_member.h"
#include "pack/archive/lzma_member.h"
#include "pack/archive/traditional_cipher.h"
#include "pack/common/wording.h"
#include "pack/archive/zip_records.h"
#include "support/portable/crc32.h"

namespace {

const uint64_t kAheadBytes = 256u << 20;  // input bytes workers may hold beyond the item being written

PackError Changed(const InputMember& member) {
  return PathError(member.source, "changed while it was being packed: nothing written, pack again");
}

std::vector<uint8_t> ReadWholeFile(const InputMember& member) {
  const int descriptor = open(member.source.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) throw PathError(member.source, std::string("cannot read: ") + SystemError(errno));
  std::vector<uint8_t> bytes(member.size);
  size_t done = 0;
  for (;;) {
    if (done == bytes.size()) bytes.resize(done + std::max<size_t>(65536, done / 4));  // it grew since
    const ssize_t got = read(descriptor, bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      close(descriptor);
      throw PathError(member.source, std::string("cannot read: ") + SystemError(error));
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  close(descriptor);
  bytes.resize(done);
  if (done > kWholeMemberLimit) throw Changed(member);  // planned whole, grown since
  return bytes;
}

// length bytes of a large member from offset on; a file that got shorter
// since the tree was read is reported as changed.
std::vector<uint8_t> ReadPiece(const InputMember& member, uint64_t offset, uint64_t length) {
  const FileReader source(member.source);
  if (source.size() < offset + length) throw Changed(member);
  return source.Read(offset, length);
}

// What one worker does at a time: a whole member, one piece of a large
// one, or a solid block of members from member on.
struct WorkItem {
  size_t member;
  uint64_t offset = 0, length = 0;
  bool piece = false;  // part of a member compressed in pieces
  bool last = true;    // the member's last item
  size_t blockMembers = 0;  // > 0: a solid block of this many members
};

std::vector<WorkItem> PlanWork(const InstallerParts& parts) {
  std::vector<WorkItem> plan;
  std::vector<SolidBlockPlan> blocks;
  if (parts.solid.enabled) blocks = PlanSolidBlocks(parts.members, parts.solid);
  auto block = blocks.begin();
  for (size_t i = 0; i < parts.members.size(); ++i) {
    const InputMember& m = parts.members[i];
    if (block != blocks.end() && block->first == i) {
      plan.push_back({i, 0, block->size, false, true, block->count});
      i += block->count - 1;
      ++block;
      continue;
    }
    if (m.folder || m.size <= kWholeMemberLimit) {
      plan.push_back({i, 0, m.size, false, true});
      continue;
    }
    for (uint64_t at = 0; at < m.size; at += kPieceSize) {
      const uint64_t length = std::min(kPieceSize, m.size - at);
      plan.push_back({i, at, length, true, at + length == m.size});
    }
  }
  return plan;
}

struct Finished {
  PackedData whole;            // a whole member (encrypted, with AES)
  AesSealed sealed;            // the bytes AES puts around it
  PackedBlock block;           // a solid block
  std::vector<uint8_t> input;  // a piece: its bytes as read...
  std::vector<uint8_t> piece;  // ...and compressed (empty at level 0)
};

// The pipeline between the compressing workers and the writer.
class Workers {
 public:
  Workers(const InstallerParts& parts, const std::vector<WorkItem>& plan)
      : parts_(parts), plan_(plan), slots_(plan.size()) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t count = std::min<size_t>({cores, 16, std::max<size_t>(1, plan.size())});
    ahead_ = 2 * count;
    blocksAllowed_ = SolidBlocksSideBySide(parts, plan);
    for (size_t i = 0; i < count; ++i) threads_.emplace_back([this] { Run(); });
  }

  ~Workers() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

  // The item at index, once a worker has finished it.
  Finished Take(size_t index) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return slots_[index].done; });
    Slot slot = std::move(slots_[index]);
    written_ = index + 1;
    Release(plan_[index]);
    changed_.notify_all();
    if (slot.failure) std::rethrow_exception(slot.failure);
    return std::move(slot.result);
  }

 private:
  struct Slot {
    bool done = false;
    Finished result;
    std::exception_ptr failure;
  };

  // A solid block's encoder takes about eleven times its dictionary, so
  // blocks go side by side only while their encoders and outputs fit in
  // half the machine's memory; the item being written always may start.
  static size_t SolidBlocksSideBySide(const InstallerParts& parts, const std::vector<WorkItem>& plan) {
    uint64_t largest = 0;
    for (const WorkItem& item : plan) {
      if (item.blockMembers > 0) {
        largest = std::max(largest, SolidEncoderMemory(item.length, parts.solid) + item.length);
      }
    }
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    if (largest == 0 || pages <= 0 || pageSize <= 0) return 1;
    return std::max<uint64_t>(1, static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) / 2 / largest);
  }

  // Whether the item may start before those ahead of it are written.
  bool Fits(const WorkItem& item) const {
    return item.blockMembers > 0 ? blocksHeld_ < blocksAllowed_ : heldBytes_ < kAheadBytes;
  }
  void Hold(const WorkItem& item) {
    if (item.blockMembers > 0) ++blocksHeld_;
    else heldBytes_ += item.length;
  }
  void Release(const WorkItem& item) {
    if (item.blockMembers > 0) --blocksHeld_;
    else heldBytes_ -= item.length;
  }

  void Run() {
    MemberCompressor compressor(parts_.compression);
    for (;;) {
      size_t index;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] {
          return stop_ || next_ >= slots_.size() ||
                 (next_ < written_ + ahead_ && (next_ == written_ || Fits(plan_[next_])));
        });
        if (stop_ || next_ >= slots_.size()) return;
        index = next_++;
        Hold(plan_[index]);
      }
      Slot slot;
      try {
        const WorkItem& item = plan_[index];
        const InputMember& m = parts_.members[item.member];
        if (item.blockMembers > 0) {
          const SolidBlockPlan block{item.member, item.blockMembers, item.length};
          slot.result.block = CompressSolidBlock(parts_.members, block, parts_.solid);
        } else if (item.piece) {
          slot.result.input = ReadPiece(m, item.offset, item.length);
          slot.result.piece = compressor.CompressPiece(slot.result.input, item.last);
        } else if (!m.folder) {
          slot.result.whole = compressor.Compress(ReadWholeFile(m));
          // Each member has its own salt and keys, made here: the key
          // derivation is the costly part, and the workers share nothing of it.
          const Encryption& encryption = parts_.encryption;
          if (encryption.kind == EncryptionKind::kAes) {
            slot.result.sealed = SealAesMember(encryption.password, encryption.strength, &slot.result.whole.bytes);
          }
        }
      } catch (...) {
        slot.failure = std::current_exception();
      }
      slot.done = true;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        slots_[index] = std::move(slot);
      }
      changed_.notify_all();
    }
  }

  const InstallerParts& parts_;
  const std::vector<WorkItem>& plan_;
  std::vector<Slot> slots_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t next_ = 0, written_ = 0, ahead_ = 1;
  uint64_t heldBytes_ = 0;
  size_t blocksHeld_ = 0, blocksAllowed_ = 1;
  bool stop_ = false;
};

// The member's first record fields, before its data.
MemberRecord StartRecord(const InstallerParts& parts, const InputMember& m, uint64_t offset) {
  MemberRecord r;
  r.name = m.archiveName;
  r.time = parts.fixedTime ? *parts.fixedTime : DosTimeOfFile(m.modified);
  r.externalAttributes = ExternalAttributes(m.folder, m.readOnly, m.executable);
  r.localOffset = offset;
  if (parts.encryption.kind != EncryptionKind::kNone && !m.folder) r.flags |= kFlagEncrypted;
  if (parts.encryption.kind == EncryptionKind::kAes && !m.folder) {
    r.aes = true;
    r.aesStrength = parts.encryption.strength;
  }
  return r;
}

// The highest version any feature of the member needs.
void SetVersionNeeded(MemberRecord* r) {
  uint16_t version = r->method == kMethodDeflate || (r->flags & kFlagEncrypted) ? 20 : 10;
  if (UsesZip64(*r)) version = std::max(version, kVersionZip64);
  if (r->method == kMethodLzma || r->method == kMethodSolidLzma) version = std::max(version, kVersionLzma);
  if (r->aes) version = std::max(version, kVersionAes);
  r->versionNeeded = version;
}

void SetMethod(MemberRecord* r, uint16_t method) {
  r->method = method;
  if (method == kMethodLzma || method == kMethodSolidLzma) r->flags |= kFlagLzmaEndMarker;
}

// What encryption adds to the member's compressed size.
uint64_t EncryptionOverhead(const MemberRecord& r) {
  if (!(r.flags & kFlagEncrypted)) return 0;
  return r.aes ? AesOverhead(r.aesStrength) : kEncryptionHeaderSize;
}

// A whole member: an AES one comes encrypted from its worker; the
// traditional cipher runs here.
MemberRecord WriteWholeMember(OutputFile* file, const InstallerParts& parts, const InputMember& m, Finished done) {
  PackedData& data = done.whole;
  MemberRecord r = StartRecord(parts, m, file->offset());
  const bool traditional = (r.flags & kFlagEncrypted) && !r.aes;
  SetMethod(&r, data.method);
  r.crc = r.aes ? 0 : data.crc;  // AES members keep nothing of the plain data
  r.size = data.size;
  r.compressedSize = data.bytes.size() + EncryptionOverhead(r);
  r.zip64Local = NeedsZip64Local(r.size, r.compressedSize);
  SetVersionNeeded(&r);
  uint8_t header[kEncryptionHeaderSize];
  if (traditional) {
    TraditionalCipher cipher(parts.encryption.password);
    MakeEncryptionHeader(&cipher, data.crc, header);
    cipher.Encrypt(data.bytes.data(), data.bytes.size());
  }
  const std::string local = LocalHeader(r);
  file->Write(local.data(), local.size());
  if (traditional) file->Write(header, sizeof header);
  if (r.aes) file->Write(done.sealed.head.data(), done.sealed.head.size());
  file->Write(data.bytes.data(), data.bytes.size());
  if (r.aes) file->Write(done.sealed.code.data(), done.sealed.code.size());
  return r;
}

// The cipher of a member streamed in pieces: nothing, the traditional
// cipher (its header first) or AES (salt and verifier first, the
// authentication code last).
class StreamCipher {
 public:
  StreamCipher(const Encryption& encryption, const MemberRecord& record)
      : encryption_(encryption), record_(record) {}

  void Start(OutputFile* file, uint32_t crc) {
    if (!(record_.flags & kFlagEncrypted)) return;
    if (record_.aes) {
      const std::vector<uint8_t> head = StartAesMember(encryption_.password, record_.aesStrength, &aes_);
      file->Write(head.data(), head.size());
      return;
    }
    traditional_ = std::make_unique<TraditionalCipher>(encryption_.password);
    uint8_t header[kEncryptionHeaderSize];
    MakeEncryptionHeader(traditional_.get(), crc, header);
    file->Write(header, sizeof header);
  }
  void Encrypt(std::vector<uint8_t>* bytes) {
    if (aes_ != nullptr) aes_->Encrypt(bytes->data(), bytes->size());
    if (traditional_ != nullptr) traditional_->Encrypt(bytes->data(), bytes->size());
  }
  void Finish(OutputFile* file) {
    if (aes_ == nullptr) return;
    const std::array<uint8_t, kAesCodeSize> code = aes_->Code();
    file->Write(code.data(), code.size());
  }

 private:
  const Encryption& encryption_;
  const MemberRecord& record_;
  std::unique_ptr<AesMemberCipher> aes_;
  std::unique_ptr<TraditionalCipher> traditional_;
};

// A solid block: the head's local header and the block's stream, then
// the local header of each other member, which has no data of its own.
std::vector<MemberRecord> WriteSolidBlock(OutputFile* file, const InstallerParts& parts, const WorkItem& item,
                                          const PackedBlock& block) {
  if (parts.encryption.kind != EncryptionKind::kNone) throw InternalError("a solid block with a password");
  std::vector<MemberRecord> records;
  const uint64_t head = file->offset();
  uint64_t inBlock = 0;
  for (size_t k = 0; k < item.blockMembers; ++k) {
    const InputMember& m = parts.members[item.member + k];
    MemberRecord r = StartRecord(parts, m, file->offset());
    SetMethod(&r, kMethodSolidLzma);
    r.crc = block.crcs[k];
    r.size = m.size;
    r.compressedSize = k == 0 ? block.bytes.size() : 0;
    r.zip64Local = NeedsZip64Local(r.size, r.compressedSize);
    r.solid = true;
    r.solidFilter = kSolidFilterNone;
    r.solidHeadOffset = head;
    r.solidDataOffset = inBlock;
    SetVersionNeeded(&r);
    const std::string local = LocalHeader(r);
    file->Write(local.data(), local.size());
    if (k == 0) file->Write(block.bytes.data(), block.bytes.size());
    inBlock += m.size;
    records.push_back(std::move(r));
  }
  return records;
}

// The CRC of a large member read ahead of its data: the encryption header
// of the traditional cipher holds its high byte (AES needs none).
uint32_t SourceCrc(const InputMember& m) {
  uint32_t crc = 0;
  for (uint64_t at = 0; at < m.size; at += kPieceSize) {
    const std::vector<uint8_t> bytes = ReadPiece(m, at, std::min(kPieceSize, m.size - at));
    crc = crc32Update(crc, bytes.data(), bytes.size());
  }
  return crc;
}

// A member in pieces: each piece written as it comes, the local header
// written again at the end. Compressed data that did not shrink is
// replaced by the file stored. Deflate pieces come compressed from the
// workers; LZMA is one stream, which this thread encodes as the pieces
// arrive (the workers read them ahead and go on with the members after).
MemberRecord WritePiecedMember(OutputFile* file, const InstallerParts& parts, const InputMember& m,
                               const std::vector<WorkItem>& plan, Workers* workers, size_t* item, Progress* progress) {
  MemberRecord r = StartRecord(parts, m, file->offset());
  const bool traditional = (r.flags & kFlagEncrypted) && !r.aes;
  const uint64_t encryption = EncryptionOverhead(r);
  r.size = m.size;
  r.zip64Local = NeedsZip64Local(r.size, r.size + encryption);  // Stored is the largest it gets
  const uint32_t expectedCrc = traditional ? SourceCrc(m) : 0;
  const std::string placeholder = LocalHeader(r);
  file->Write(placeholder.data(), placeholder.size());
  const uint64_t headerEnd = file->offset();

  StreamCipher cipher(parts.encryption, r);
  cipher.Start(file, expectedCrc);
  const uint16_t method = parts.compression.method == PackMethod::kLzma ? kMethodLzma
                          : parts.compression.level > 0 || parts.compression.zopfliIterations > 0 ? kMethodDeflate
                                                                                                 : kMethodStored;
  std::unique_ptr<LzmaStreamEncoder> lzma;
  if (method == kMethodLzma) lzma = std::make_unique<LzmaStreamEncoder>(m.size);
  uint32_t crc = 0;
  for (uint64_t done = 0; done < m.size;) {
    const bool last = plan[*item].last;
    Finished piece = workers->Take((*item)++);
    crc = crc32Update(crc, piece.input.data(), piece.input.size());
    if (lzma != nullptr) piece.piece = lzma->Encode(piece.input.data(), piece.input.size(), last);
    std::vector<uint8_t>& bytes = method == kMethodStored ? piece.input : piece.piece;
    cipher.Encrypt(&bytes);
    file->Write(bytes.data(), bytes.size());
    done += piece.input.size();
    progress->Advance(piece.input.size());
  }
  lzma.reset();  // its match finder's memory
  cipher.Finish(file);
  SetMethod(&r, method);
  if (method != kMethodStored && file->offset() - headerEnd - encryption >= m.size) {
    file->TruncateTo(headerEnd);
    StreamCipher again(parts.encryption, r);
    again.Start(file, expectedCrc);
    uint32_t storedCrc = 0;
    for (uint64_t at = 0; at < m.size; at += kPieceSize) {
      std::vector<uint8_t> bytes = ReadPiece(m, at, std::min(kPieceSize, m.size - at));
      storedCrc = crc32Update(storedCrc, bytes.data(), bytes.size());
      again.Encrypt(&bytes);
      file->Write(bytes.data(), bytes.size());
    }
    again.Finish(file);
    if (storedCrc != crc) throw Changed(m);
    r.method = kMethodStored;
    r.flags &= static_cast<uint16_t>(~kFlagLzmaEndMarker);
  }
  if (traditional && crc != expectedCrc) throw Changed(m);
  r.crc = r.aes ? 0 : crc;
  r.compressedSize = file->offset() - headerEnd;
  SetVersionNeeded(&r);
  const std::string local = LocalHeader(r);
  if (local.size() != placeholder.size()) throw InternalError(m.source + ": its local header changed its length");
  file->WriteAt(r.localOffset, local.data(), local.size());
  return r;
}

// Every member read back from the file on disk and compared with its source
// before the installer gets its name: a fault anywhere between reading a
// file and writing its bytes (a race, a compressor fault, a wrong CRC) then
// ends the pack instead of reaching the users' machines.
void CheckWhatWasWritten(const std::string& temporary, const InstallerParts& parts, const std::string& output) {
  const FileReader written(temporary);
  const ArchiveDirectory archive = ReadArchiveDirectory(written);
  if (archive.entries.size() != parts.members.size()) {
    throw InternalError(output + ": the installer just written lists " + Grouped(archive.entries.size()) +
                        " members instead of " + Grouped(parts.members.size()) + "; nothing written");
  }
  const auto source = [&](size_t k) {
    const InputMember& m = parts.members[k];
    return m.folder ? std::string() : m.source;
  };
  const MemberPasswords passwords{parts.encryption.password, parts.encryption.password};
  for (const MemberProblem& p : VerifyMembers(written, archive, passwords, source)) {
    const InputMember& m = parts.members[p.index];
    struct stat now;
    if (p.verdict == MemberVerdict::kDiffersFromSource &&
        (stat(m.source.c_str(), &now) != 0 || now.st_mtime != m.modified ||
         static_cast<uint64_t>(now.st_size) != m.size)) {
      throw Changed(m);
    }
    throw InternalError(output + ": the installer just written is not intact: member " + Quoted(m.name) + " " +
                        p.what + "; nothing written");
  }
}

}  // namespace

PackResult WriteInstaller(const InstallerParts& parts, const std::string& output,
                          const std::function<void(const std::string& temporary)>& finishing) {
  PackResult result;
  for (const InputMember& m : parts.members) result.inputBytes += m.size;

  OutputFile file(output);
  file.Write(parts.stub.data(), parts.stub.size());
  file.Write(parts.messagesBlock.data(), parts.messagesBlock.size());
  const uint64_t archiveStart = file.offset();

  std::vector<MemberRecord> records;
  records.reserve(parts.members.size());
  {
    const std::vector<WorkItem> plan = PlanWork(parts);
    Progress progress(result.inputBytes);
    Workers workers(parts, plan);
    for (size_t item = 0; item < plan.size();) {
      const InputMember& m = parts.members[plan[item].member];
      if (plan[item].blockMembers > 0) {
        const WorkItem& block = plan[item];
        const PackedBlock packed = workers.Take(item++).block;
        std::vector<MemberRecord> written = WriteSolidBlock(&file, parts, block, packed);
        for (size_t k = 0; k < written.size(); ++k) {
          const InputMember& member = parts.members[block.member + k];
          result.members.push_back({member.name, member.size, written[k].compressedSize, written[k].method});
          records.push_back(std::move(written[k]));
        }
        progress.Advance(block.length);
        continue;
      }
      if (plan[item].piece) {
        records.push_back(WritePiecedMember(&file, parts, m, plan, &workers, &item, &progress));
      } else {
        records.push_back(WriteWholeMember(&file, parts, m, workers.Take(item++)));
        progress.Advance(m.size);
      }
      const MemberRecord& r = records.back();
      result.members.push_back({m.name, m.size, r.compressedSize, r.method});
    }
  }

  const uint64_t directoryOffset = file.offset();
  for (const MemberRecord& r : records) {
    const std::string central = CentralHeader(r);
    file.Write(central.data(), central.size());
  }
  const uint64_t directorySize = file.offset() - directoryOffset;
  const std::string end = ArchiveEnd(records.size(), directorySize, directoryOffset, parts.comment);
  file.Write(end.data(), end.size());
  result.fileBytes = file.offset();
  result.archiveBytes = file.offset() - archiveStart;
  file.Flush();
  CheckWhatWasWritten(file.temporaryPath(), parts, output);
  file.Close();
  if (finishing) finishing(file.temporaryPath());
  file.Commit();
  return result;
}
