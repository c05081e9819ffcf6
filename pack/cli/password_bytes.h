// A member password as the bytes its keys are made from. The installer's
// prompt is where users type it again, so only a password the prompt can
// give back is taken: for AES its UTF-8 (the bytes the common AES writers
// and readers make of accented letters), for the traditional cipher ASCII
// only (in that cipher the prompt's bytes follow the machine's code page,
// and common tools refuse other characters too).
#pragma once

#include <stddef.h>

#include <string>

#include "pack/archive/encryption.h"

// The longest AES password (in UTF-8 bytes) that some common unzips take:
// longer ones are the stub's alone.
const size_t kAesPasswordBytesOthersTake = 99;

// typed is UTF-8 (from the command line, a file or the environment).
// Throws UsageError naming the character at fault, or the length.
std::string PasswordBytes(const std::string& typed, EncryptionKind kind);

// The characters of typed as the prompt counts them (UTF-16 units).
size_t PromptCharacters(const std::string& typed);
