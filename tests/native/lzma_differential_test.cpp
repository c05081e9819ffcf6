// Differential test of the LZMA decoder: 10,000 random and damaged streams,
// decoded by ours and by liblzma in the same process, built with the address
// and undefined-behaviour sanitizers (any write past the dictionary or the
// probabilities ends the run). Both must succeed or fail together; when they
// succeed, give the same bytes and end at the same input byte; an intact
// stream must give back its input. (The LZMA fuzzer, `make fuzz`, runs the
// same comparison with a new seed and a hundred times as many streams.)
#include <gtest/gtest.h>

#include "lzma_referee.h"

namespace {

using namespace lzma_referee;

TEST(LzmaDifferential, TenThousandStreamsAgreeWithLiblzma) {
  CaseSource source(20261210);
  int decoded = 0, refused = 0, intact = 0, sizeEnded = 0;
  for (int i = 0; i < 10000; ++i) {
    const Case c = source.next();
    const Judgement j = judge(c, source.chunkFor(), source.piecesFor());
    ASSERT_EQ(j.verdict, Verdict::kAgree) << "case " << i << " (" << c.stream.size() << " bytes): " << j.detail;
    if (j.oursDecoded) ++decoded;
    else ++refused;
    if (c.intact) ++intact;
    if (j.oursDecoded && c.ending == Ending::kSize) ++sizeEnded;
  }
  // Every kind of outcome must have been reached, or the streams test little.
  EXPECT_GT(decoded, 1500);
  EXPECT_GT(refused, 5000);
  EXPECT_GT(intact, 800);
  EXPECT_GT(sizeEnded, 200);
  printf("ours and liblzma agree: %d decoded (%d ending at the declared size alone), %d refused\n", decoded,
         sizeEnded, refused);
}

}  // namespace
