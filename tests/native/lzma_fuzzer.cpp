// The LZMA fuzzer: feeds our LZMA decoder and liblzma the same random and
// damaged streams, in one process, and keeps every case on which they
// disagree as a file.
// Usage: lzma_fuzzer COUNT SEED FOLDER
//        lzma_fuzzer --replay FILE...   (the judgement of kept cases, fed whole)
// Prints the counts; exit code 1 when any case disagreed.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <iterator>
#include <string>

#include "lzma_referee.h"

using namespace lzma_referee;

namespace {

int replay(int count, char** files) {
  int disagreed = 0;
  for (int i = 0; i < count; ++i) {
    std::ifstream in(files[i], std::ios::binary);
    const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Case c;
    if (!loadCase(file, &c)) {
      printf("%s: not a kept case\n", files[i]);
      ++disagreed;
      continue;
    }
    const Judgement j = judge(c, 8192, 0);
    if (j.verdict != Verdict::kAgree) ++disagreed;
    printf("%s: %s (ours %s, liblzma %s) %s\n", files[i], j.verdict == Verdict::kAgree ? "agree" : "DISAGREE",
           j.oursDecoded ? "decodes" : "refuses", j.liblzmaDecoded ? "decodes" : "refuses", j.detail.c_str());
  }
  return disagreed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && strcmp(argv[1], "--replay") == 0) return replay(argc - 2, argv + 2);
  if (argc != 4) {
    fprintf(stderr, "usage: lzma_fuzzer COUNT SEED FOLDER | lzma_fuzzer --replay FILE...\n");
    return 2;
  }
  const long count = strtol(argv[1], nullptr, 10);
  const uint32_t seed = static_cast<uint32_t>(strtoul(argv[2], nullptr, 10));
  const std::string folder = argv[3];
  long agreed = 0, disagreed = 0, decoded = 0;
  // A new set of seed streams every so often: more data and encoder
  // settings than one set holds.
  const long kCasesPerSource = 20000;
  CaseSource* source = nullptr;
  for (long i = 0; i < count; ++i) {
    if (i % kCasesPerSource == 0) {
      delete source;
      source = new CaseSource(seed + static_cast<uint32_t>(i / kCasesPerSource));
    }
    const Case c = source->next();
    const Judgement j = judge(c, source->chunkFor(), source->piecesFor());
    if (j.oursDecoded) ++decoded;
    if (j.verdict == Verdict::kAgree) {
      ++agreed;
      continue;
    }
    ++disagreed;
    const std::string name = folder + "/disagree-" + std::to_string(seed) + "-" + std::to_string(i) + ".lzmacase";
    const Bytes file = saveCase(c);
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                 static_cast<std::streamsize>(file.size()));
    printf("disagreement at case %ld: %s -> %s\n", i, j.detail.c_str(), name.c_str());
  }
  delete source;
  printf("LZMA fuzzer, seed %u: %ld cases, %ld agreed, %ld disagreed; ours decoded %ld\n", seed, count, agreed,
         disagreed, decoded);
  return disagreed == 0 ? 0 : 1;
}
