// Compression of one member: Deflate by libdeflate (levels 1 to 12) or by
// zopfli (the smallest output, slowly); level 0 and every member that does
// not shrink are Stored. With LZMA chosen, each member also gets an LZMA
// candidate (pack/archive/lzma_member.h) and keeps the smallest of Stored,
// Deflate and LZMA: small text files often deflate smaller than LZMA's
// fixed costs allow, and a Deflate member stays readable by every unzip.
//
// The default is level 10, the first of libdeflate's near-optimal levels:
// its level 9 is a little larger than zip -9 on structured binary data.
#pragma once

#include <stdint.h>

#include <vector>

struct libdeflate_compressor;

// The method a publisher asks for; the one each member gets is in PackedData.
enum class PackMethod { kDeflate, kLzma };

struct Compression {
  int level = 10;             // 0 to 12 (Deflate's, also with LZMA: its candidate)
  int zopfliIterations = 0;   // > 0: zopfli, or level 12 where that is smaller
  PackMethod method = PackMethod::kDeflate;
};

const uint16_t kMethodStored = 0;
const uint16_t kMethodDeflate = 8;
const uint16_t kMethodLzma = 14;
// A member of a solid block (pack/archive/solid_block.h): a value the ZIP
// application note leaves unassigned.
const uint16_t kMethodSolidLzma = 90;

struct PackedData {
  std::vector<uint8_t> bytes;  // what the archive holds (before encryption)
  uint16_t method = kMethodStored;
  uint32_t crc = 0;
  uint64_t size = 0;           // uncompressed
};

// Members up to this size are read and compressed whole, as they always
// were (the same inputs give the same installer as before); larger ones
// are compressed in pieces of kPieceSize, by the workers side by side, and
// streamed to the installer.
const uint64_t kWholeMemberLimit = 64u << 20;
const uint64_t kPieceSize = 8u << 20;

// One per thread: libdeflate's compressors keep their tables between calls.
class MemberCompressor {
 public:
  explicit MemberCompressor(const Compression& settings);
  ~MemberCompressor();
  MemberCompressor(const MemberCompressor&) = delete;
  MemberCompressor& operator=(const MemberCompressor&) = delete;

  PackedData Compress(std::vector<uint8_t> input);
  // One piece of a member compressed in pieces: Deflate data that the next
  // piece's continues, unless last. Empty at level 0 (the member is Stored)
  // and with LZMA, whose one stream the writer makes as the pieces arrive.
  std::vector<uint8_t> CompressPiece(const std::vector<uint8_t>& input, bool last);

 private:
  std::vector<uint8_t> Deflate(libdeflate_compressor* compressor, const std::vector<uint8_t>& input);
  std::vector<uint8_t> Zopfli(const std::vector<uint8_t>& input);

  Compression settings_;
  libdeflate_compressor* compressor_ = nullptr;
};
