// Damaged headers anywhere in the archive: flipped bytes, extreme field
// values and cut files. Whatever the damage, the engine must end (no hang),
// not crash, and write nothing outside the destination folder.
#include <gtest/gtest.h>

#include <string.h>

#include <random>

#include "common/fresh_run.h"
#include "driver/sfx_state.h"
#include "extract_fixture.h"

namespace extract_testing {
namespace {

using testing_support::ReadWholeFile;
using testing_support::WriteWholeFile;

class DamagedArchive : public ExtractTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(DamagedArchive, EndsWithoutCrashAndStaysInTheDestination) {
  std::vector<uint8_t> clean = ReadWholeFile(TestData(GetParam()));
  ASSERT_FALSE(clean.empty());
  std::mt19937 random(12345);
  const uint32_t extremes[] = {0u, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0xFFFFu, 0x10000u};
  int rounds = clean.size() < 20000 ? 150 : 25;
  // A longer run by hand: ZIMBRO_FUZZ_ROUNDS=5000.
  std::string wanted = testing_support::Environment("ZIMBRO_FUZZ_ROUNDS");
  if (!wanted.empty()) rounds = std::stoi(wanted);
  std::string archive = scratch_.file("damaged.zip");
  for (int round = 0; round < rounds; ++round) {
    std::vector<uint8_t> data = clean;
    switch (round % 3) {
      case 0:  // a few flipped bytes, more of them near the end (the directory)
        for (int i = 0; i < 1 + round % 4; ++i) {
          size_t at = random() % 2 ? random() % data.size() : data.size() - 1 - random() % std::min<size_t>(data.size(), 600);
          data[at] ^= static_cast<uint8_t>(1 + random() % 255);
        }
        break;
      case 1: {  // an extreme value in a four-byte field of the directory
        size_t span = std::min<size_t>(data.size() - 4, 800);
        size_t at = data.size() - 4 - random() % span;
        uint32_t value = extremes[random() % 6];
        for (int k = 0; k < 4; ++k) data[at + k] = static_cast<uint8_t>(value >> (8 * k));
        break;
      }
      default:  // cut short
        data.resize(random() % data.size());
        break;
    }
    ASSERT_TRUE(WriteWholeFile(archive, data.data(), data.size()));
    std::string folder = destination_ + "\\r" + std::to_string(round);
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
    ResetRunState();
    // Damage may repeat a member or set its encryption flag: answered
    // without a prompt, as a silent run would, with the password of the
    // encrypted seeds, so that damage reaches their deciphered data too.
    sfx.overwriteChoice = kOverwriteSkip;
    strcpy(sfx.password, "secret");
    ExtractPath(archive);
  }
  ASSERT_TRUE(SetCurrentDirectoryA(destination_.c_str()));
  // Everything written lies below the destination.
  for (const std::string& entry : ListTree(scratch_.path())) {
    EXPECT_TRUE(entry == "damaged.zip" || entry.compare(0, 5, "dest\\") == 0) << entry;
  }
}

INSTANTIATE_TEST_SUITE_P(Archives, DamagedArchive,
                         ::testing::Values("py-attrs.zip", "py-version.zip", "py-unsafe.zip", "py-descriptor.zip",
                                           "zip-l9.zip", "prefixed-retry-small.exe", "crypt-aes256.zip",
                                           "crypt-ae1.zip"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name;
                           for (const char* p = info.param; *p != '.'; ++p) name += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                           return name;
                         });

}  // namespace
}  // namespace extract_testing
