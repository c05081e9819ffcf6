#include "pack/archive/compressor.h"

#include <libdeflate.h>
#include <stdlib.h>
#include <zopfli/zopfli.h>

#include <new>

#include "pack/archive/deflate_joining.h"
#include "pack/archive/lzma_member.h"
#include "pack/common/pack_error.h"

#include "support/portable/crc32.h"

MemberCompressor::MemberCompressor(const Compression& settings) : settings_(settings) {
  const int level = settings_.zopfliIterations > 0 ? 12 : settings_.level;
  if (level > 0) {
    compressor_ = libdeflate_alloc_compressor(level);
    if (compressor_ == nullptr) throw std::bad_alloc();
  }
}

MemberCompressor::~MemberCompressor() {
  if (compressor_ != nullptr) libdeflate_free_compressor(compressor_);
}

// Empty when the result would not be smaller than the input.
std::vector<uint8_t> MemberCompressor::Deflate(libdeflate_compressor* compressor,
                                               const std::vector<uint8_t>& input) {
  std::vector<uint8_t> output(input.size());
  const size_t length = libdeflate_deflate_compress(compressor, input.data(), input.size(), output.data(),
                                                    output.size() > 0 ? output.size() - 1 : 0);
  output.resize(length);  // 0: it did not fit in fewer bytes than the input
  return output;
}

std::vector<uint8_t> MemberCompressor::Zopfli(const std::vector<uint8_t>& input) {
  ZopfliOptions options;
  ZopfliInitOptions(&options);
  options.numiterations = settings_.zopfliIterations;
  unsigned char* out = nullptr;
  size_t outSize = 0;
  ZopfliCompress(&options, ZOPFLI_FORMAT_DEFLATE, input.data(), input.size(), &out, &outSize);
  if (out == nullptr) throw std::bad_alloc();
  std::vector<uint8_t> result(out, out + outSize);
  free(out);
  return result;
}

std::vector<uint8_t> MemberCompressor::CompressPiece(const std::vector<uint8_t>& input, bool last) {
  if (compressor_ == nullptr || settings_.method == PackMethod::kLzma) return {};
  std::vector<uint8_t> piece(libdeflate_deflate_compress_bound(compressor_, input.size()));
  piece.resize(libdeflate_deflate_compress(compressor_, input.data(), input.size(), piece.data(), piece.size()));
  if (settings_.zopfliIterations > 0) {
    std::vector<uint8_t> smaller = Zopfli(input);
    if (smaller.size() < piece.size()) piece = std::move(smaller);
  }
  if (!last && !MakeJoinable(&piece)) throw InternalError("the compressor made Deflate data that does not parse");
  return piece;
}

PackedData MemberCompressor::Compress(std::vector<uint8_t> input) {
  PackedData packed;
  packed.size = input.size();
  packed.crc = crc32Update(0, input.data(), input.size());
  std::vector<uint8_t> deflated;
  if (!input.empty() && compressor_ != nullptr) deflated = Deflate(compressor_, input);
  // zopfli wins on most data, but libdeflate's level 12 now and then beats
  // it: the smaller of the two. Data that level 12 cannot shrink is spared
  // zopfli's slow search.
  if (settings_.zopfliIterations > 0 && !deflated.empty()) {
    std::vector<uint8_t> smaller = Zopfli(input);
    if (smaller.size() < deflated.size()) deflated = std::move(smaller);
  }
  // LZMA must beat both Stored and Deflate; on a tie Deflate stays, which
  // every reader extracts and the installer inflates faster.
  std::vector<uint8_t> lzma;
  if (settings_.method == PackMethod::kLzma && !input.empty()) {
    lzma = LzmaCompress(input, deflated.empty() ? input.size() : deflated.size());
  }
  if (!lzma.empty()) {
    packed.bytes = std::move(lzma);
    packed.method = kMethodLzma;
  } else if (!deflated.empty()) {
    packed.bytes = std::move(deflated);
    packed.method = kMethodDeflate;
  } else {
    packed.bytes = std::move(input);
  }
  return packed;
}
