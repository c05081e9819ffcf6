// AES-encrypted members: a salt and a two-byte password verifier in front
// of the data, the data encrypted in counter mode, and a ten-byte
// HMAC-SHA1 code of the encrypted data after them. The keys of both come
// from the password and the salt through PBKDF2, so every member has its
// own even under one password.
//
// The verifier rejects a wrong password early, but one wrong password in
// 65,536 passes it; the code is what proves the data. It is computed over
// every encrypted byte as the member input takes its blocks, and compared
// only after the decoder is done, so the member's data go to a temporary
// name first and the file takes its own name only when the code matches:
// changed data never stand under the member's name, not even for a moment.
//
// Writers derive the keys from the password's UTF-8 bytes. The prompt gives
// ANSI text, so its UTF-8 form is tried first, then its bytes as they are
// (what a writer that knows no UTF-8 would have taken).
#include <windows.h>

#include "support/portable/secret_bytes.h"
#include "support/strings.h"
#include "support/utf8.h"
#include "zip/decrypt.h"
#include "zip/engine_internal.h"

bool TestAesPassword(EngineState* state, const uint8_t* header) {
  AesMember& aes = state->aes;
  const char* typed = state->keyCopy;
  // Each character of the ANSI code page is one or two bytes, and at most
  // three in UTF-8.
  wchar_t wide[kKeyCopySize];
  char utf8[3 * kKeyCopySize];
  utf8[0] = '\0';
  if (MultiByteToWideChar(CP_ACP, 0, typed, -1, wide, kKeyCopySize) > 0) wideToUtf8(wide, utf8, sizeof(utf8));
  AesMemberKeys keys;
  const char* forms[2] = {utf8, typed};
  for (int form = 0; form < 2 && !aes.active; ++form) {
    if (form == 1 && sameText(utf8, typed) == 0) break;
    deriveAesMemberKeys(reinterpret_cast<const uint8_t*>(forms[form]), textLength(forms[form]), header,
                        aes.keyLength, &keys);
    if (!sameSecretBytes(aesMemberVerifier(&keys), header + aesMemberSaltBytes(aes.keyLength),
                         kAesMemberVerifierBytes)) {
      continue;
    }
    aesCtrStart(&aes.cipher, aesMemberEncryptionKey(&keys), aes.keyLength);
    hmacSha1Start(&aes.authentication, aesMemberAuthenticationKey(&keys), aesKeyBytes(aes.keyLength));
    aes.active = true;
    // The member's bytes already in the buffer; the member input takes
    // every block it reads from here on.
    const int32_t held = state->input.unread < state->budget ? state->input.unread : static_cast<int32_t>(state->budget);
    if (held > 0) decipherAesInput(state, const_cast<uint8_t*>(state->input.next), held);
  }
  wipeSecret(&keys, sizeof(keys));
  wipeSecret(wide, sizeof(wide));
  wipeSecret(utf8, sizeof(utf8));
  return aes.active;
}

bool reserveAesCode(EngineState* state) {
  state->budget -= static_cast<int64_t>(kAesMemberCodeBytes);
  if (state->budget < 0) return false;
  state->aes.codePosition = archivePosition(state) + state->budget;
  return true;
}

void decipherAesInput(EngineState* state, uint8_t* bytes, int32_t count) {
  AesMember& aes = state->aes;
  hmacSha1Update(&aes.authentication, bytes, static_cast<size_t>(count));
  aesCtrApply(&aes.cipher, bytes, static_cast<size_t>(count));
}

bool authenticateAesMember(EngineState* state) {
  // What the decoder left of the member is authenticated all the same:
  // the code covers every encrypted byte. The member input stops at the
  // data's end: a budget below 0 only says that the decoder asked for more.
  bool whole = true;
  do {
    state->input.next += state->input.unread > 0 ? state->input.unread : 0;
    state->input.unread = 0;
  } while (state->budget > 0 && (whole = RefillInput(state) >= 0));
  uint8_t computed[kSha1DigestBytes];
  uint8_t stored[kAesMemberCodeBytes];
  hmacSha1Finish(&state->aes.authentication, computed);
  // The bytes of the buffer put aside while the member was read count
  // again, so that the seek to the code finds them; they are not given back
  // after it.
  if (state->deferredCount > 0) {
    state->input.unread = static_cast<int32_t>(state->deferredPointer + state->deferredCount - state->input.next);
    state->deferredCount = 0;
  }
  whole = whole && SeekArchive(state, state->aes.codePosition) &&
          ReadArchive(state, stored, kAesMemberCodeBytes) == static_cast<int32_t>(kAesMemberCodeBytes);
  const bool same = whole && sameSecretBytes(computed, stored, kAesMemberCodeBytes);
  wipeSecret(computed, sizeof(computed));
  endAesMember(state);
  return same;
}

void endAesMember(EngineState* state) {
  // The whole record: the keys are in the cipher's and the code's state.
  if (state->aes.active) wipeSecret(&state->aes, sizeof(AesMember));
}
