// CRC-32: the standard check values, the chaining rule, the message-key form,
// and both ways of computing it (sliced tables, carry-less folding) against a
// plain byte-at-a-time loop and against zlib's crc32.
#include "support/portable/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

namespace {

// The textbook loop over the standard polynomial, with no table at all.
uint32_t plainStep(uint32_t c, const uint8_t* data, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    c ^= data[i];
    for (int bit = 0; bit < 8; ++bit) c = (c >> 1) ^ ((c & 1u) ? 0xEDB88320u : 0u);
  }
  return c;
}

uint32_t plainCrc(uint32_t crc, const uint8_t* data, size_t length) {
  return plainStep(crc ^ 0xFFFFFFFFu, data, length) ^ 0xFFFFFFFFu;
}

const uint8_t* bytes(const char* text) { return reinterpret_cast<const uint8_t*>(text); }

uint32_t messageKey(const std::string& text) {
  return ~crc32Raw(0xFFFFFFFFu, bytes(text.data()), text.size());
}

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> data(n);
  for (auto& b : data) b = static_cast<uint8_t>(random());
  return data;
}

TEST(Crc32Update, CheckValueOfTheNineDigits) {
  EXPECT_EQ(crc32Update(0, bytes("123456789"), 9), 0xCBF43926u);
}

TEST(Crc32Update, ZeroLengthKeepsTheRunningValue) {
  EXPECT_EQ(crc32Update(0, bytes("x"), 0), 0u);
  EXPECT_EQ(crc32Update(0x12345678u, bytes("x"), 0), 0x12345678u);
}

TEST(Crc32Update, AbsentDataGivesZero) {
  EXPECT_EQ(crc32Update(0x12345678u, nullptr, 10), 0u);
  EXPECT_EQ(crc32Update(0, nullptr, 0), 0u);
}

TEST(Crc32Update, ChainedUpdatesEqualOneUpdate) {
  const auto data = randomBytes(1000, 7);
  const uint32_t whole = crc32Update(0, data.data(), data.size());
  for (size_t split : {0u, 1u, 7u, 8u, 9u, 500u, 999u, 1000u}) {
    const uint32_t first = crc32Update(0, data.data(), split);
    EXPECT_EQ(crc32Update(first, data.data() + split, data.size() - split), whole) << split;
  }
}

TEST(Crc32Update, MatchesThePlainLoopForEveryLengthAndAlignment) {
  const auto data = randomBytes(4096 + 16, 1);
  for (size_t length = 0; length <= 300; ++length) {
    for (size_t offset = 0; offset < 8; ++offset) {
      ASSERT_EQ(crc32Update(0x5A5A5A5Au, data.data() + offset, length),
                plainCrc(0x5A5A5A5Au, data.data() + offset, length))
          << "length " << length << " offset " << offset;
    }
  }
  for (size_t length : {1023u, 1024u, 1025u, 4095u, 4096u}) {
    EXPECT_EQ(crc32Update(0, data.data() + 3, length), plainCrc(0, data.data() + 3, length));
  }
}

TEST(CrcTable, IsTheStandardTable) {
  const uint32_t* table = crcTable();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table[0], 0u);
  EXPECT_EQ(table[1], 0x77073096u);
  EXPECT_EQ(table[255], 0x2D02EF8Du);
  for (uint32_t i = 0; i < 256; ++i) {
    const uint8_t byte = static_cast<uint8_t>(i);
    EXPECT_EQ(table[i], plainStep(0, &byte, 1)) << i;
  }
}

// crc32Raw fills its table on first use; afterwards the table must equal the
// constant one. Entry i is the raw step of byte i from 0.
TEST(Crc32Raw, ComputedTableEqualsTheConstantTable) {
  const uint32_t* table = crcTable();
  for (uint32_t i = 0; i < 256; ++i) {
    const uint8_t byte = static_cast<uint8_t>(i);
    ASSERT_EQ(crc32Raw(0, &byte, 1), table[i]) << i;
  }
}

TEST(Crc32Raw, MessageKeys) {
  EXPECT_EQ(messageKey("sError"), 0x664abaa4u);
  EXPECT_EQ(messageKey("$STARTDLG"), 0x3478d231u);
  EXPECT_EQ(messageKey("$LTRLTR"), 0x50a17ae8u);
}

TEST(Crc32Raw, ComplementEqualsTheUpdate) {
  const auto data = randomBytes(777, 3);
  for (size_t length : {0u, 1u, 9u, 64u, 777u}) {
    EXPECT_EQ(~crc32Raw(0xFFFFFFFFu, data.data(), length), crc32Update(0, data.data(), length));
  }
}

TEST(Crc32Raw, MatchesThePlainLoopAtEveryAlignment) {
  const auto data = randomBytes(256, 5);
  for (size_t length : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 100u}) {
    for (size_t offset = 0; offset < 16; ++offset) {
      EXPECT_EQ(crc32Raw(0x01234567u, data.data() + offset, length),
                plainStep(0x01234567u, data.data() + offset, length))
          << "length " << length << " offset " << offset;
    }
  }
}

// Both paths, every length up to a few folding steps and beyond, every
// alignment, chained from random running values: the same as zlib's crc32.
// Where the processor lacks the multiplication both calls take the tables.
TEST(Crc32Steps, TablesAndFoldingAgreeWithZlib) {
  const auto data = randomBytes(70000, 11);
  std::mt19937 random(12);
  for (int round = 0; round < 3000; ++round) {
    const size_t offset = random() % 64;
    const size_t length = round < 600 ? static_cast<size_t>(round) : random() % (data.size() - offset);
    const uint32_t start = random();
    const uLong expected = crc32(start, data.data() + offset, static_cast<uInt>(length));
    for (bool folding : {false, true}) {
      const uint32_t ours = crc32Steps(start ^ 0xFFFFFFFFu, data.data() + offset, length, folding) ^ 0xFFFFFFFFu;
      ASSERT_EQ(ours, expected) << "length " << length << " offset " << offset << " folding " << folding;
    }
    ASSERT_EQ(crc32Update(start, data.data() + offset, length), expected);
  }
}

}  // namespace
