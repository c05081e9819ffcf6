// The decoder fuzzer: feeds our Deflate decoder and zlib's inflate the same
// random and damaged streams, in one process, and keeps every stream on which
// they disagree as a file for a test to be made from.
// Usage: inflate_fuzzer COUNT SEED FOLDER
// Prints the counts; exit code 1 when any stream disagreed.
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "inflate_referee.h"

using namespace inflate_referee;

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: inflate_fuzzer COUNT SEED FOLDER\n");
    return 2;
  }
  const long count = strtol(argv[1], nullptr, 10);
  const uint32_t seed = static_cast<uint32_t>(strtoul(argv[2], nullptr, 10));
  const std::string folder = argv[3];
  StreamSource source(seed);
  long agreed = 0, excused = 0, disagreed = 0, decoded = 0;
  for (long i = 0; i < count; ++i) {
    const Bytes stream = source.next();
    const Judgement j = judge(stream, source.chunkFor());
    if (j.oursDecoded) ++decoded;
    if (j.verdict == Verdict::kAgree) {
      ++agreed;
    } else if (j.verdict == Verdict::kExcused) {
      ++excused;
    } else {
      ++disagreed;
      const std::string name = folder + "/disagree-" + std::to_string(seed) + "-" + std::to_string(i) + ".deflate";
      FILE* f = fopen(name.c_str(), "wb");
      if (f != nullptr) {
        fwrite(stream.data(), 1, stream.size(), f);
        fclose(f);
      }
      printf("disagreement at input %ld: %s -> %s\n", i, j.detail.c_str(), name.c_str());
    }
  }
  printf("decoder fuzzer, seed %u: %ld inputs, %ld agreed, %ld excused (format rules that zlib reads more "
         "strictly), %ld disagreed; ours decoded %ld\n",
         seed, count, agreed, excused, disagreed, decoded);
  return disagreed == 0 ? 0 : 1;
}
