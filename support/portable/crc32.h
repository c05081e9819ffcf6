// The CRC-32 of the ZIP format (reflected polynomial 0xEDB88320).
#pragma once

#include <stddef.h>
#include <stdint.h>

// The standard table, 256 entries (made on first use).
const uint32_t* crcTable();

// Running CRC over a buffer, inverting on entry and exit, so that updates
// chain: crc32Update(crc32Update(0, A), B) == crc32Update(0, A+B).
// An absent data pointer gives 0.
uint32_t crc32Update(uint32_t crc, const uint8_t* data, size_t length);

// The table step without inversions; the message keys of the messages block
// are formed with it.
uint32_t crc32Raw(uint32_t value, const uint8_t* data, size_t length);

// The register steps behind crc32Update, without inversions. allowFolding
// false keeps to the tables, so that both ways can be compared and timed.
uint32_t crc32Steps(uint32_t c, const uint8_t* data, size_t length, bool allowFolding);

// Whether this processor has carry-less multiplication, which crc32Update
// then uses for long pieces.
bool crc32HasFolding();
