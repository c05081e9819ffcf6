#include "support/utf8.h"

#include "support/strings.h"

namespace {

// The code point that starts at text[*at] (advancing *at), or -1.
int32_t decodeOne(const unsigned char* text, int32_t length, int32_t* at) {
  unsigned char lead = text[*at];
  int32_t extra;
  uint32_t value;
  uint32_t smallest;
  if (lead < 0x80) {
    *at += 1;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1;
    value = lead & 0x1F;
    smallest = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2;
    value = lead & 0x0F;
    smallest = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3;
    value = lead & 0x07;
    smallest = 0x10000;
  } else {
    return -1;  // a continuation byte, or a lead byte no valid form has
  }
  if (*at + extra >= length) return -1;  // cut short
  for (int32_t i = 1; i <= extra; ++i) {
    unsigned char next = text[*at + i];
    if ((next & 0xC0) != 0x80) return -1;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return -1;
  *at += extra + 1;
  return static_cast<int32_t>(value);
}

}  // namespace

int32_t utf8ToWide(const char* text, int32_t length, wchar_t* destination, int32_t size) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  if (length < 0) length = static_cast<int32_t>(textLength(text));
  int32_t written = 0;
  int32_t at = 0;
  while (at < length) {
    if (bytes[at] == 0) return -1;
    int32_t value = decodeOne(bytes, length, &at);
    if (value < 0) return -1;
    int32_t units = value >= 0x10000 ? 2 : 1;
    if (destination != nullptr) {
      if (written + units + 1 > size) return -1;
      if (units == 2) {
        destination[written] = static_cast<wchar_t>(0xD800 + ((value - 0x10000) >> 10));
        destination[written + 1] = static_cast<wchar_t>(0xDC00 + ((value - 0x10000) & 0x3FF));
      } else {
        destination[written] = static_cast<wchar_t>(value);
      }
    }
    written += units;
  }
  if (destination != nullptr) {
    if (written + 1 > size) return -1;
    destination[written] = L'\0';
  }
  return written;
}

int32_t wideToUtf8(const wchar_t* text, char* destination, int32_t size) {
  int32_t n = 0;
  for (int32_t i = 0; text[i] != L'\0'; ++i) {
    uint32_t c = static_cast<uint16_t>(text[i]);
    if (c >= 0xD800 && c <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint16_t>(text[i + 1]) - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    const int32_t bytes = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    if (n + bytes >= size) break;
    unsigned char* out = reinterpret_cast<unsigned char*>(destination + n);
    if (bytes == 1) {
      out[0] = static_cast<unsigned char>(c);
    } else {
      static const unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
      for (int32_t k = bytes - 1; k > 0; --k) {
        out[k] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        c >>= 6;
      }
      out[0] = static_cast<unsigned char>(kLead[bytes] | c);
    }
    n += bytes;
  }
  destination[n] = '\0';
  return n;
}
