// Code signing of a finished installer through osslsigncode, and reading
// back who signed one. The signature goes where Windows looks for it: the
// certificate table named by the security directory, after the archive at
// the end of the file.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "pack/cli/options.h"

// A secret from its file (the first line) or its environment variable.
// Throws PackError naming the source when there is none.
std::string ReadSecret(const SecretSource& source, const std::string& what);

// Signs the installer at path in place and verifies the signature made.
// Throws PackError; the file is then unchanged.
void SignInstaller(const std::string& path, const Signing& signing);

struct SignatureInfo {
  bool present = false;      // the security directory names a table that ends the file
  uint64_t offset = 0;       // where the certificate table begins (the end of the signed data)
  uint64_t size = 0;
  std::string signer;        // the signing certificate's subject, when openssl can tell
};

// Where the data of a file ends that Authenticode signs: the start of the
// certificate table when the security directory names one that ends the
// file, else the file's size. Every search from the end starts here.
uint64_t SignedDataEnd(const std::vector<uint8_t>& head, uint64_t fileSize);

// What the security directory of the program in head says, for a file of
// fileSize bytes; reads the table itself from path for the signer.
SignatureInfo ReadSignature(const std::string& path, const std::vector<uint8_t>& head, uint64_t fileSize);
