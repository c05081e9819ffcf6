// The members are compressed by worker threads, one member each at a time,
// and written strictly in order by this thread, so the output does not
// depend on the number of threads. Workers run at most a few members ahead
// of the writer, which bounds the memory held by finished members.
#include "pack/installer_writer.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "pack/archive_directory.h"
#include "pack/installer_verify.h"
#include "pack/output_file.h"
#include "pack/pack_error.h"
#include "pack/progress.h"
#include "pack/file_reader.h"
#include "pack/traditional_cipher.h"
#include "pack/wording.h"
#include "pack/zip_records.h"

namespace {

const uint64_t kAheadBytes = 256u << 20;  // input bytes workers may hold beyond the member being written

PackError TooLarge(const std::string& output, uint64_t size) {
  return PathError(output, "the installer would be " + Grouped(size) +
                               " bytes or more: the stub reads installers of at most " +
                               Grouped(kInstallerSizeLimit) + " bytes (2 GiB)");
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
  if (done > 0xFFFFFFFFu) throw PathError(member.source, "a file of 4 GiB or more: a ZIP member without Zip64 holds less");
  return bytes;
}

// The pipeline between the compressing workers and the writer.
class Workers {
 public:
  Workers(const InstallerParts& parts) : parts_(parts), slots_(parts.members.size()) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t count = std::min<size_t>({cores, 16, std::max<size_t>(1, parts.members.size())});
    ahead_ = 2 * count;
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

  // The member at index, once a worker has finished it.
  PackedData Take(size_t index) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return slots_[index].done; });
    Slot slot = std::move(slots_[index]);
    written_ = index + 1;
    heldBytes_ -= parts_.members[index].size;
    changed_.notify_all();
    if (slot.failure) std::rethrow_exception(slot.failure);
    return std::move(slot.data);
  }

 private:
  struct Slot {
    bool done = false;
    PackedData data;
    std::exception_ptr failure;
  };

  void Run() {
    MemberCompressor compressor(parts_.compression);
    for (;;) {
      size_t index;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] {
          return stop_ || next_ >= slots_.size() ||
                 (next_ < written_ + ahead_ && (next_ == written_ || heldBytes_ < kAheadBytes));
        });
        if (stop_ || next_ >= slots_.size()) return;
        index = next_++;
        heldBytes_ += parts_.members[index].size;
      }
      Slot slot;
      try {
        if (!parts_.members[index].folder) slot.data = compressor.Compress(ReadWholeFile(parts_.members[index]));
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
  std::vector<Slot> slots_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t next_ = 0, written_ = 0, ahead_ = 1;
  uint64_t heldBytes_ = 0;
  bool stop_ = false;
};

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
    return m.folder ? std::vector<uint8_t>() : ReadWholeFile(m);
  };
  for (const MemberProblem& p : VerifyMembers(written, archive, parts.password, source)) {
    const InputMember& m = parts.members[p.index];
    struct stat now;
    if (p.verdict == MemberVerdict::kDiffersFromSource &&
        (stat(m.source.c_str(), &now) != 0 || now.st_mtime != m.modified ||
         static_cast<uint64_t>(now.st_size) != m.size)) {
      throw PathError(m.source, "changed while it was being packed: nothing written, pack again");
    }
    throw InternalError(output + ": the installer just written is not intact: member " + Quoted(m.name) + " " +
                        p.what + "; nothing written");
  }
}

uint64_t StoredEstimate(const InstallerParts& parts) {
  uint64_t size = parts.stub.size() + parts.messagesBlock.size() + kEndRecordSize + parts.comment.size();
  for (const InputMember& m : parts.members) {
    size += kLocalHeaderSize + kCentralHeaderSize + 2 * m.archiveName.size() + m.size +
            (parts.password.empty() || m.folder ? 0 : kEncryptionHeaderSize);
  }
  return size;
}

}  // namespace

PackResult WriteInstaller(const InstallerParts& parts, const std::string& output,
                          const std::function<void(const std::string& temporary)>& finishing) {
  if (parts.members.size() > kMemberLimit) {
    throw PathError(output, Grouped(parts.members.size()) +
                                " files and folders to pack: an installer holds at most 65,535 (the stub reads no Zip64)");
  }
  PackResult result;
  for (const InputMember& m : parts.members) result.inputBytes += m.size;
  // Stored sizes are known before anything is read.
  if (parts.compression.level == 0 && parts.compression.zopfliIterations == 0 &&
      StoredEstimate(parts) > kInstallerSizeLimit) {
    throw TooLarge(output, StoredEstimate(parts));
  }

  OutputFile file(output);
  file.Write(parts.stub.data(), parts.stub.size());
  file.Write(parts.messagesBlock.data(), parts.messagesBlock.size());
  const uint64_t archiveStart = file.offset();

  std::vector<MemberRecord> records;
  records.reserve(parts.members.size());
  {
    Progress progress(result.inputBytes);
    Workers workers(parts);
    for (size_t i = 0; i < parts.members.size(); ++i) {
      const InputMember& m = parts.members[i];
      PackedData data = workers.Take(i);
      MemberRecord r;
      r.name = m.archiveName;
      r.method = data.method;
      r.time = parts.fixedTime ? *parts.fixedTime : DosTimeOfFile(m.modified);
      r.crc = data.crc;
      r.size = static_cast<uint32_t>(data.size);
      r.externalAttributes = ExternalAttributes(m.folder, m.readOnly, m.executable);
      r.localOffset = static_cast<uint32_t>(file.offset());
      uint8_t header[kEncryptionHeaderSize];
      const bool encrypted = !parts.password.empty() && !m.folder;
      r.versionNeeded = data.method == kMethodDeflate || encrypted ? 20 : 10;
      if (encrypted) {
        TraditionalCipher cipher(parts.password);
        MakeEncryptionHeader(&cipher, data.crc, header);
        cipher.Encrypt(data.bytes.data(), data.bytes.size());
        r.flags |= kFlagEncrypted;
      }
      const uint64_t stored = data.bytes.size() + (encrypted ? kEncryptionHeaderSize : 0);
      const uint64_t end = file.offset() + kLocalHeaderSize + r.name.size() + stored;
      if (end > kInstallerSizeLimit) throw TooLarge(output, end);
      r.compressedSize = static_cast<uint32_t>(stored);
      const std::string local = LocalHeader(r);
      file.Write(local.data(), local.size());
      if (encrypted) file.Write(header, sizeof header);
      file.Write(data.bytes.data(), data.bytes.size());
      result.members.push_back({m.name, m.size, stored, data.method});
      records.push_back(std::move(r));
      progress.Advance(m.size);
    }
  }

  const uint64_t directoryOffset = file.offset();
  for (const MemberRecord& r : records) {
    const std::string central = CentralHeader(r);
    file.Write(central.data(), central.size());
  }
  const uint64_t directorySize = file.offset() - directoryOffset;
  const std::string end = EndRecord(static_cast<uint16_t>(records.size()), static_cast<uint32_t>(directorySize),
                                    static_cast<uint32_t>(directoryOffset), parts.comment);
  if (file.offset() + end.size() > kInstallerSizeLimit) throw TooLarge(output, file.offset() + end.size());
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
