// The records of a header's extra field that change how the member is read:
// the Zip64 field with the 64-bit sizes and offset, the Unicode Path field
// with the member's UTF-8 name, the solid record of a member of a solid
// block, and the record of an AES-encrypted member.
//
// Every other record is passed over. A record that runs past the end of the
// field is cut to it, so that no read leaves the field's own copy.
#include "support/strings.h"
#include "zip/engine_internal.h"

namespace {

const uint16_t kZip64Record = 0x0001;
const uint16_t kUnicodePathRecord = 0x7075;
// The solid record: "SZ", version 1, the filter, the block's head offset and
// the member's offset in the block's stream.
const uint16_t kSolidRecord = 0x5A53;
const int32_t kSolidRecordSize = 18;
const uint32_t kAllOnes = 0xFFFFFFFFu;
// The AES record: the format's version, "AE", the key length (1 to 3 for
// 128, 192 and 256 bits) and the method of the data under the encryption.
const uint16_t kAesRecord = 0x9901;
const int32_t kAesRecordSize = 7;

// A name from a Unicode Path record: UTF-8 whatever the header's flags say.
void useUnicodeName(EngineState* state, const uint8_t* name, int32_t length) {
  state->nameCut = length >= kNameSize;
  if (state->nameCut) length = kNameSize - 1;
  copyBytes(state->name, name, length);
  state->name[length] = '\0';
  applyUtf8Name(state, state->name);
}

}  // namespace

bool interpretExtraField(EngineState* state, uint64_t* const* marked, int32_t count) {
  state->solidRecord.present = false;
  state->aesRecord.present = false;
  const uint8_t* p = state->extraField;
  if (p == nullptr) return true;
  const uint8_t* end = p + state->extraLength;
  while (end - p >= 4) {
    const uint16_t id = readLe16(p);
    const uint8_t* data = p + 4;
    int32_t size = readLe16(p + 2);
    if (size > end - data) size = static_cast<int32_t>(end - data);
    if (id == kZip64Record) {
      // A value for every field that holds the marker, in the header's order.
      const uint8_t* value = data;
      for (int32_t i = 0; i < count; ++i) {
        if (*marked[i] != kAllOnes) continue;
        if (data + size - value < 8) return false;
        *marked[i] = readLe64(value);
        value += 8;
      }
    } else if (id == kUnicodePathRecord && size >= 5 && data[0] == 1 && readLe32(data + 1) == state->nameCrc) {
      // Version 1, and written for the very name the header holds: a header
      // name changed after the record was made keeps its own.
      useUnicodeName(state, data + 5, size - 5);
    } else if (id == kSolidRecord && size >= kSolidRecordSize && data[0] == 1) {
      SolidRecord& solid = state->solidRecord;
      solid.present = true;
      solid.filter = data[1];
      solid.headOffset = readLe64(data + 2);
      solid.offsetInBlock = readLe64(data + 10);
    } else if (id == kAesRecord && size >= kAesRecordSize) {
      const uint16_t version = readLe16(data);
      const uint8_t strength = data[4];
      AesRecord& aes = state->aesRecord;
      aes.present = (version == 1 || version == 2) && data[2] == 'A' && data[3] == 'E' && strength >= 1 &&
                    strength <= 3;
      aes.version = static_cast<uint8_t>(version);
      aes.keyLength = static_cast<AesKeyLength>(strength - 1);
      aes.method = readLe16(data + 5);
    }
    p = data + size;
  }
  return true;
}
