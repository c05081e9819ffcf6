#include "pack/cli/password_bytes.h"

#include <string_view>

#include "pack/cli/options.h"
#include "pack/common/code_page.h"
#include "ui/portable/password_size.h"

namespace {

// The stub's own limit, from the header it is built with.
const size_t kPasswordLimit = kPasswordSize - 1;

}  // namespace

size_t PromptCharacters(const std::string& typed) {
  size_t units = 0;
  for (unsigned char c : typed) {
    if ((c & 0xC0) != 0x80) ++units;  // each sequence's lead byte
    if ((c & 0xF8) == 0xF0) ++units;  // beyond the BMP: a surrogate pair
  }
  return units;
}

std::string PasswordBytes(const std::string& typed, EncryptionKind kind) {
  if (typed.empty()) throw UsageError("--password needs a password that is not empty");
  const size_t invalid = FindInvalidUtf8(typed);
  if (invalid != std::string_view::npos) {
    throw UsageError("--password: not UTF-8 text (" + DescribeCharacter(std::string_view(typed).substr(invalid)) +
                     " at byte " + std::to_string(invalid + 1) +
                     "): nobody could type it into the installer's password prompt");
  }
  if (kind == EncryptionKind::kTraditional) {
    for (size_t i = 0; i < typed.size(); ++i) {
      if (static_cast<unsigned char>(typed[i]) >= 0x80) {
        throw UsageError("--password: " + DescribeCharacter(std::string_view(typed).substr(i)) +
                         " is not ASCII: the traditional encryption takes ASCII passwords only; AES "
                         "(--encryption aes256, the default) takes any");
      }
    }
  }
  if (PromptCharacters(typed) > kPasswordLimit) {
    throw UsageError("--password: more than " + std::to_string(kPasswordLimit) + " characters: the stub takes " +
                     std::to_string(kPasswordLimit));
  }
  return typed;
}
