// The real stub with an archive appended: run silently as a child process,
// it extracts into its current folder and ends with exit code 0.
#include <gtest/gtest.h>

#include <algorithm>

#include "extract_fixture.h"

namespace extract_testing {
namespace {

using testing_support::Environment;
using testing_support::FileExists;
using testing_support::ReadWholeFile;

// The stub beside the test data when the harness did not name it (both live
// in the build folder).
std::string stubPath() {
  std::string stub = Environment("ZIMBRO_STUB");
  if (!stub.empty()) return stub;
  std::string testdata = Environment("ZIMBRO_TESTDATA");
  size_t slash = testdata.find_last_of('\\');
  if (slash == std::string::npos) return std::string();
  return testdata.substr(0, slash) + "\\zimbro-sfx.exe";
}

std::vector<uint8_t> stubImage() {
  std::string stub = stubPath();
  if (stub.empty() || !FileExists(stub)) return {};
  return ReadWholeFile(stub);
}

TEST(StubSignatures, NoWholeZipSignatureInTheImage) {
  std::vector<uint8_t> image = stubImage();
  if (image.empty()) GTEST_SKIP() << "stub not built";
  // The end-record search may reach into the image in front of a short
  // archive; a signature there would be taken for the archive's own.
  for (uint8_t tail : {1, 3, 5}) {
    const uint8_t signature[4] = {0x50, 0x4B, tail, static_cast<uint8_t>(tail + 1)};
    EXPECT_EQ(image.end(), std::search(image.begin(), image.end(), signature, signature + 4))
        << "signature PK " << int(tail) << "," << int(tail + 1);
  }
}

class StubRun : public ExtractTest {};

TEST_F(StubRun, SilentRunExtractsTheAppendedArchive) {
  std::vector<uint8_t> image = stubImage();
  if (image.empty()) GTEST_SKIP() << "stub not built";
  std::vector<uint8_t> archive = ReadWholeFile(TestData("zip-l6.zip"));
  ASSERT_FALSE(archive.empty());
  image.insert(image.end(), archive.begin(), archive.end());
  std::string setup = scratch_.file("setup.exe");
  ASSERT_TRUE(testing_support::WriteWholeFile(setup, image.data(), image.size()));

  int code = testing_support::RunProcess("\"" + setup + "\" /s", destination_, 60000);
  EXPECT_EQ(0, code);
  ExpectSourcesExtracted();
}

}  // namespace
}  // namespace extract_testing
