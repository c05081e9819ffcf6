// Differential test of the Deflate decoder: 100,000 random and damaged
// streams, decoded by ours and by zlib in the same process. Both must
// succeed or fail together, and when they succeed give the same bytes.
// (The decoder fuzzer, `make fuzz`, runs the same comparison with a new seed
// and ten times as many streams.)
#include <gtest/gtest.h>

#include "inflate_referee.h"

namespace {

using namespace inflate_referee;

TEST(InflateDifferential, HundredThousandStreamsAgreeWithZlib) {
  StreamSource source(20261208);
  int agreed = 0, excused = 0, decoded = 0, failures = 0;
  for (int i = 0; i < 100000; ++i) {
    const Bytes stream = source.next();
    const Judgement j = judge(stream, source.chunkFor());
    ASSERT_NE(j.verdict, Verdict::kDisagree) << "stream " << i << " (" << stream.size() << " bytes): " << j.detail;
    if (j.verdict == Verdict::kExcused) ++excused;
    else ++agreed;
    if (j.oursDecoded) ++decoded;
    else ++failures;
  }
  // Every kind of outcome must have been reached, or the streams test little.
  EXPECT_GT(decoded, 10000);
  EXPECT_GT(failures, 10000);
  RecordProperty("agreed", agreed);
  RecordProperty("excused", excused);
  printf("agreed %d, excused %d; ours decoded %d, refused %d\n", agreed, excused, decoded, failures);
}

}  // namespace
