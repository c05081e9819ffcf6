// How the members of an installer are encrypted, and with what password.
#pragma once

#include <string>

#include "pack/archive/aes_member.h"

enum class EncryptionKind {
  kNone,
  kAes,          // method 99: authenticated, the strength below
  kTraditional,  // the old ZIP cipher: weak, kept for old unzips
};

struct Encryption {
  EncryptionKind kind = EncryptionKind::kNone;
  AesStrength strength = AesStrength::kAes256;
  // The bytes the keys are made from: UTF-8 for AES, ASCII for the
  // traditional cipher (see pack/cli/password_bytes.h).
  std::string password;
};
