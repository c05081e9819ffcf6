// The password test of encrypted members (decrypt.cpp).
#pragma once

#include <stdint.h>

struct EngineState;

enum PasswordCheck {
  kPasswordRight,    // the member's bytes held so far are deciphered
  kPasswordWrong,
  kPasswordMissing,  // none entered, the prompt cancelled, or no memory for it
  kEncryptionCut,    // the member's data are too short for what its encryption stores
};
// Reads the encryption header of the current member and tests the run's
// password, asking for one when the run has none that fits.
PasswordCheck Decrypt(EngineState* state);
// True when the key copy, as it is or in the other code page, opens the
// member (its held bytes then deciphered).
bool TestPassword(EngineState* state, const uint8_t* header);
// True when this password's keys turn the header's last byte into the
// member's check byte (its held bytes then deciphered).
bool TestKey(EngineState* state, const uint8_t* header, const char* password);
// The same for an AES member, whose header is its salt and password
// verifier: the keys of the key copy's UTF-8 form, or of its bytes as they
// are, set the member input to authenticate and decipher (member_aes.cpp).
bool TestAesPassword(EngineState* state, const uint8_t* header);
// Wipes and releases the key copy.
void releaseKeyCopy(EngineState* state);
