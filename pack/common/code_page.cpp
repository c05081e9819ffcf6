// Code page conversions through the C library's iconv. glibc knows every
// Windows ANSI and OEM code page under the name "CP<number>".
#include "pack/common/code_page.h"

#include <errno.h>
#include <stdio.h>

#include <vector>

#include "pack/common/pack_error.h"

// ---------------------------------------------------------------------------
// UTF-8
// ---------------------------------------------------------------------------

namespace {

// Length of the UTF-8 sequence at text[i], or 0 when it is not a valid one.
size_t SequenceLength(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t length;
  uint32_t minimum;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, minimum = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  uint32_t code = lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

uint32_t CodePoint(std::string_view text, size_t length) {
  if (length == 1) return static_cast<unsigned char>(text[0]);
  uint32_t code = static_cast<unsigned char>(text[0]) & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) code = (code << 6) | (static_cast<unsigned char>(text[k]) & 0x3F);
  return code;
}

void AppendUtf8(uint32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

std::string HexByte(unsigned char byte) {
  char text[8];
  snprintf(text, sizeof text, "\\x%02X", byte);
  return text;
}

}  // namespace

size_t FindInvalidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t length = SequenceLength(text, i);
    if (length == 0) return i;
    i += length;
  }
  return std::string_view::npos;
}

std::string DescribeCharacter(std::string_view text) {
  if (text.empty()) return "";
  const size_t length = SequenceLength(text, 0);
  if (length == 0) return "byte " + HexByte(static_cast<unsigned char>(text[0]));
  char code[16];
  snprintf(code, sizeof code, "U+%04X", CodePoint(text, length));
  return "'" + std::string(text.substr(0, length)) + "' (" + code + ")";
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;  // a lone surrogate
    }
    AppendUtf8(code, &out);
  }
  return out;
}

// ---------------------------------------------------------------------------
// Code pages
// ---------------------------------------------------------------------------

CodePage::CodePage(int number) : number_(number) {
  const std::string name = "CP" + std::to_string(number);
  encoder_ = iconv_open(name.c_str(), "UTF-8");
  decoder_ = iconv_open("UTF-8", name.c_str());
  if (encoder_ == reinterpret_cast<iconv_t>(-1) || decoder_ == reinterpret_cast<iconv_t>(-1)) {
    if (encoder_ != reinterpret_cast<iconv_t>(-1)) iconv_close(encoder_);
    if (decoder_ != reinterpret_cast<iconv_t>(-1)) iconv_close(decoder_);
    throw PackError("code page " + std::to_string(number) + ": this system cannot convert texts to it");
  }
}

CodePage::~CodePage() {
  iconv_close(encoder_);
  iconv_close(decoder_);
}

bool CodePage::Encode(std::string_view utf8, std::string* out, std::string* unwritable) const {
  out->clear();
  const size_t invalid = FindInvalidUtf8(utf8);
  if (invalid != std::string_view::npos) {
    if (unwritable != nullptr) *unwritable = DescribeCharacter(utf8.substr(invalid));
    return false;
  }
  std::string input(utf8);
  std::vector<char> buffer(input.size() * 2 + 16);  // a code page takes at most 2 bytes a character
  const std::lock_guard<std::mutex> lock(mutex_);
  char* in = input.data();
  size_t inLeft = input.size();
  char* outPointer = buffer.data();
  size_t outLeft = buffer.size();
  iconv(encoder_, nullptr, nullptr, nullptr, nullptr);
  if (iconv(encoder_, &in, &inLeft, &outPointer, &outLeft) == static_cast<size_t>(-1) ||
      iconv(encoder_, nullptr, nullptr, &outPointer, &outLeft) == static_cast<size_t>(-1)) {
    if (unwritable != nullptr) *unwritable = DescribeCharacter(std::string_view(in, inLeft));
    return false;
  }
  out->assign(buffer.data(), outPointer);
  return true;
}

std::string CodePage::Decode(std::string_view bytes) const {
  std::string input(bytes);
  std::string out;
  std::vector<char> buffer(input.size() * 4 + 16);
  char* in = input.data();
  size_t inLeft = input.size();
  const std::lock_guard<std::mutex> lock(mutex_);
  iconv(decoder_, nullptr, nullptr, nullptr, nullptr);
  while (inLeft > 0) {
    char* outPointer = buffer.data();
    size_t outLeft = buffer.size();
    const size_t result = iconv(decoder_, &in, &inLeft, &outPointer, &outLeft);
    out.append(buffer.data(), outPointer);
    if (result == static_cast<size_t>(-1) && errno != E2BIG) {
      // A byte without a character here (or a cut double-byte pair).
      out += HexByte(static_cast<unsigned char>(*in));
      ++in, --inLeft;
      iconv(decoder_, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

int OemCodePageOf(int ansiCodePage) {
  switch (ansiCodePage) {
    case 1250: return 852;
    case 1251: return 866;
    case 1252: return 850;
    case 1253: return 737;
    case 1254: return 857;
    case 1255: return 862;
    case 1256: return 720;
    case 1257: return 775;
    case 1258: return 1258;
    case 874: case 932: case 936: case 949: case 950: return ansiCodePage;
    default: return 437;
  }
}
