// The password test of encrypted members (decrypt.cpp).
#pragma once

#include <stdint.h>

struct EngineState;

// Reads the encryption header of the current member and tests the password:
// kOk, kWarn (wrong password) or kNoPassword.
int32_t Decrypt(EngineState* state);
int32_t TestPassword(EngineState* state, const uint8_t* header);
int32_t TestKey(EngineState* state, const uint8_t* header, const char* password);
// The password callback ExtractArchive installs: asks the password prompt.
int32_t askPasswordCallback(char* keyCopy, int32_t size, const char* archivePath, const char* memberName);
// Wipes and releases the key copy.
void releaseKeyCopy(EngineState* state);
