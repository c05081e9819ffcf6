// The password test of encrypted members (decrypt.cpp).
#pragma once

#include <stdint.h>

struct EngineState;

enum PasswordCheck {
  kPasswordRight,    // the member's bytes held so far are deciphered
  kPasswordWrong,
  kPasswordMissing,  // none entered, the prompt cancelled, or no memory for it
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
// Wipes and releases the key copy.
void releaseKeyCopy(EngineState* state);
