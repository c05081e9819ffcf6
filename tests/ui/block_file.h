// Helpers for the messages-block tests: message keys computed with zlib (an
// implementation independent of ours), block texts, and files laid out the
// way a localised installer is made: stub bytes, block, archive.
//
// The marker and the archive signature are assembled at run time, never
// written as one literal: this test executable is itself scanned as a "stub
// without a block" and must hold neither.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "common/test_support.h"
#include "ui/messages.h"

namespace block_file {

inline std::string Marker() { return std::string(3, '*') + "messages" + std::string(2, '*'); }

inline std::string ArchiveSignature() {
  std::string signature = "Qe";
  signature += "l!";
  signature += '\x1A';
  signature += '\x07';
  return signature;
}

// The message key: CRC-32 of kind + dialog name + text, eight lower-case
// hexadecimal digits.
inline std::string Key(const std::string& kind, const std::string& dialogName, const std::string& text) {
  std::string hashed = kind + dialogName + text;
  uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(hashed.data()), static_cast<uInt>(hashed.size()));
  char key[16];
  snprintf(key, sizeof(key), "%08lx", static_cast<unsigned long>(crc));
  return key;
}

inline std::string Entry(const std::string& key, const std::string& value) {
  return key + "=\"" + value + "\"\r\n";
}

// A whole block: the marker line, then the entries.
inline std::string Block(const std::string& entries) { return Marker() + "\r\n" + entries; }

inline std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

inline void Append(std::vector<uint8_t>* file, const std::vector<uint8_t>& more) {
  file->insert(file->end(), more.begin(), more.end());
}

// A block file of its own in a scratch folder, loaded into the process; the
// block is freed again when the object goes.
class LoadedBlock {
 public:
  explicit LoadedBlock(const std::vector<uint8_t>& fileBytes) {
    path_ = folder_.file("localised.exe");
    testing_support::WriteWholeFile(path_, fileBytes.data(), fileBytes.size());
    LoadMessagesBlock(path_.c_str());
  }
  explicit LoadedBlock(const std::string& blockText) : LoadedBlock(Bytes(blockText + '\0')) {}
  ~LoadedBlock() { FreeMessagesBlock(); }
  const std::string& path() const { return path_; }

 private:
  testing_support::ScratchFolder folder_;
  std::string path_;
};

}  // namespace block_file
