// The password of encrypted members, and traditional ZIP decryption: the
// password test against a member's 12-byte encryption header. The cipher
// itself (zip/cipher.cpp) also serves the member input, which deciphers
// every block it reads of an encrypted member. AES members take the same
// password flow with their own test (member_aes.cpp).
//
// The header's last byte, deciphered, must equal a check byte the packer
// knew before it wrote the data: the high byte of the CRC-32, or of the DOS
// time when the member was streamed with a data descriptor (its CRC was not
// known yet). One byte lets a wrong password through once in 256 tries; the
// CRC of the extracted data catches those.
//
// The engine keeps its own copy of the password for the run (the key copy).
// A password that fitted is tried first for every later member; one that
// does not fit goes back to the password prompt, which answers with the
// remembered password without asking, so a wrong password fails each
// encrypted member once and the user is asked only once. Passwords typed on
// one system and used on another may differ in their code page: a password
// is also tried in its OEM form, and read as OEM text converted to ANSI.
#include <windows.h>

#include "support/portable/heap.h"
#include "support/strings.h"
#include "zip/cipher.h"
#include "zip/decrypt.h"
#include "zip/engine_internal.h"
#include "zip/engine_ui.h"

// ---------------------------------------------------------------------------
// Password tests
// ---------------------------------------------------------------------------

bool TestKey(EngineState* state, const uint8_t* header, const char* password) {
  initKeys(state, password);
  uint8_t last = 0;
  for (int32_t i = 0; i < kEncryptionHeaderSize; ++i) {
    last = static_cast<uint8_t>(header[i] ^ decryptByte(state));
    updateKeys(state, last);
  }
  const MemberInfo& member = state->members[state->currentMember];
  const LocalHeader& local = state->localHeader;
  uint8_t check = static_cast<uint8_t>(member.hasDescriptor ? local.time >> 8 : local.crc >> 24);
  if (last != check) return false;
  // The member's bytes already in the buffer; the member input deciphers
  // every block it reads from here on.
  int32_t held = state->input.unread < state->budget ? state->input.unread : static_cast<int32_t>(state->budget);
  decryptBytes(state, const_cast<uint8_t*>(state->input.next), held);
  return true;
}

bool TestPassword(EngineState* state, const uint8_t* header) {
  if (TestKey(state, header, state->keyCopy)) return true;
  size_t size = textLength(state->keyCopy) + 1;
  char* other = static_cast<char*>(allocate(size));
  if (other == nullptr) return false;
  CharToOemA(state->keyCopy, other);
  bool opened = TestKey(state, header, other);
  if (!opened) {
    OemToCharA(state->keyCopy, other);
    opened = TestKey(state, header, other);
  }
  fillBytes(other, 0, size);
  release(other);
  return opened;
}

// ---------------------------------------------------------------------------
// The key copy and the prompt
// ---------------------------------------------------------------------------

void releaseKeyCopy(EngineState* state) {
  if (state->keyCopy == nullptr) return;
  fillBytes(state->keyCopy, 0, kKeyCopySize);
  release(state->keyCopy);
  state->keyCopy = nullptr;
}

// The run's password from the prompt into the key copy; false without one.
// The prompt's answer is its text: an empty one is no password.
static bool askPassword(EngineState* state) {
  state->ui->askPassword(state->keyCopy, kKeyCopySize, state->name);
  return state->keyCopy[0] != '\0';
}

PasswordCheck Decrypt(EngineState* state) {
  // The header is read as it is stored: the member input must not decipher
  // it while the keys are not yet set.
  MemberInfo& member = state->members[state->currentMember];
  const bool aes = state->aes.used;
  const int32_t headerSize = aes ? aesMemberHeaderBytes(state->aes.keyLength) : kEncryptionHeaderSize;
  uint8_t header[kLargestEncryptionHeader];
  bool cut = false;
  member.encrypted = false;
  DeferInput(state);
  for (int32_t i = 0; i < headerSize; ++i) {
    const int byte = nextInputByte(state);
    cut = cut || byte < 0;
    header[i] = static_cast<uint8_t>(byte);
  }
  RestoreInput(state);
  member.encrypted = true;
  // An AES member's authentication code follows its data: the member input
  // stops before it.
  if (aes && (cut || !reserveAesCode(state))) return kEncryptionCut;

  if (state->firstEncryptedPending) {
    state->firstEncryptedPending = false;
    releaseKeyCopy(state);
  }
  if (state->keyCopy != nullptr) {
    if (aes ? TestAesPassword(state, header) : TestPassword(state, header)) return kPasswordRight;
  } else {
    state->keyCopy = static_cast<char*>(allocate(kKeyCopySize));
    if (state->keyCopy == nullptr) return kPasswordMissing;
    state->keyCopy[0] = '\0';
  }
  if (!askPassword(state)) {
    releaseKeyCopy(state);
    return kPasswordMissing;
  }
  const bool opened = aes ? TestAesPassword(state, header) : TestPassword(state, header);
  return opened ? kPasswordRight : kPasswordWrong;
}
