// HMAC-SHA1 (hmac_sha1.cpp), incremental, so that an authentication code
// can run over data that arrives block by block.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "support/portable/sha1.h"

struct HmacSha1 {
  Sha1 inner;  // keyed with the inner pad, then takes the message
  Sha1 outer;  // keyed with the outer pad, waiting for the inner digest
};

void hmacSha1Start(HmacSha1* hmac, const uint8_t* key, size_t keyLength);
void hmacSha1Update(HmacSha1* hmac, const uint8_t* data, size_t length);
// Writes kSha1DigestBytes; the record is spent.
void hmacSha1Finish(HmacSha1* hmac, uint8_t* code);
