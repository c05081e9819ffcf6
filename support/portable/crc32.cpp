// The CRC-32 of the ZIP format: reflected polynomial 0xEDB88320, register
// inverted on entry and on exit.
//
// Why it looks the way it does:
// - Every byte of every extracted member passes through crc32Update, so it is
//   the second hot loop of extraction after the Deflate decoder. Two ways
//   compute it, with bit for bit the same result:
//   * Folding with carry-less multiplication, on every processor that has the
//     instruction (nearly all x86 processors made since 2010). Four 128-bit
//     lanes each absorb 16 bytes per step by multiplying their contents by
//     x^512 modulo the polynomial, so the lanes never wait for each other;
//     at the end the lanes are folded into one and reduced to 32 bits. The
//     instruction is asked for only in that one function (a target
//     attribute), and CPUID chooses it at run time, so the program still
//     runs on any i686 processor.
//   * Tables, "sliced" 16 wide: sixteen tables give the contribution of a
//     byte that is 0..15 positions before the end of a 16-byte group, so the
//     sixteen lookups of a group are independent and the processor runs them
//     side by side. This is the path of every processor without the
//     multiplication, and of the short pieces before and after the folding.
// - The tables are computed at run time on first use into zeroed static data
//   (4096 steps, a few microseconds): 16 KiB of constants would otherwise
//   travel in the stub, which is sent with every installer. No global
//   constructor is involved: the first caller fills them.
// - First use may come from several threads at once: the stub has one
//   thread, but the packer computes CRCs in its compressing workers. So the
//   tables and the choice of path are made exactly once and published with
//   a release store that every caller reads with an acquire load; a caller
//   that arrives while another thread is still filling them waits for it.
//   Reading a half-filled table would give wrong CRCs, not a crash: the
//   worst kind of fault for an installer. The compiler's atomic built-ins
//   are plain instructions on x86 (a locked compare-exchange and ordinary
//   loads and stores), so the stub still needs no runtime library for them.
// - crc32Raw serves the message keys of the messages block: short texts, once
//   each, with the same table and the simple shape that texts of a few dozen
//   bytes need.
#include "support/portable/crc32.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#define ZIMBRO_CRC_FOLDING 1
#endif

namespace {

const uint32_t kPolynomial = 0xEDB88320u;
const unsigned kSlices = 16;

// slice[0] is the standard table: entry i is the CRC remainder of byte i.
// slice[k] is the remainder of byte i followed by k zero bytes:
// slice[k][i] = (slice[k-1][i] >> 8) ^ slice[0][slice[k-1][i] & 0xFF].
// All zero until the first use; read only once tablesState says kReady.
uint32_t slice[kSlices][256];

enum TablesState : int { kNotMade = 0, kBeingMade = 1, kReady = 2 };
int tablesState = kNotMade;

// Whether long pieces fold; decided with the tables, so published with them.
bool foldingChosen;

bool hasCarrylessMultiply();

void makeTables() {
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t remainder = i;
    for (int bit = 0; bit < 8; ++bit) remainder = (remainder >> 1) ^ ((remainder & 1u) ? kPolynomial : 0u);
    slice[0][i] = remainder;
  }
  for (unsigned k = 1; k < kSlices; ++k) {
    for (uint32_t i = 0; i < 256; ++i) {
      const uint32_t previous = slice[k - 1][i];
      slice[k][i] = (previous >> 8) ^ slice[0][previous & 0xFFu];
    }
  }
}

// Makes the tables and the choice of path once; every thread that returns
// from here sees both complete.
void prepareOnce() {
  int expected = kNotMade;
  if (__atomic_compare_exchange_n(&tablesState, &expected, kBeingMade, false, __ATOMIC_ACQUIRE,
                                  __ATOMIC_ACQUIRE)) {
    makeTables();
    foldingChosen = hasCarrylessMultiply();
    __atomic_store_n(&tablesState, kReady, __ATOMIC_RELEASE);
    return;
  }
  // Another thread is filling them: a few microseconds of work.
  while (__atomic_load_n(&tablesState, __ATOMIC_ACQUIRE) != kReady) {
  }
}

inline const uint32_t (*tables())[256] {
  if (__atomic_load_n(&tablesState, __ATOMIC_ACQUIRE) != kReady) prepareOnce();
  return slice;
}

inline uint32_t littleEndianWord(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

// ---------------------------------------------------------------------------
// The table path: sixteen bytes per pass
// ---------------------------------------------------------------------------
// With c the register and w0..w3 the group's bytes read as four little-endian
// words, the plain loop over the 16 bytes equals the XOR of T[15 - i][b_i]
// with b0..b3 taken from (c ^ w0): each byte's contribution is its own
// remainder pushed through the zero bytes that follow it in the group, and
// the register, four bytes wide, only mixes into the first four. The twelve
// lookups of w1..w3 do not depend on the register, so they run beside the
// chain from one group to the next.

uint32_t tableSteps(uint32_t c, const uint8_t* data, size_t length) {
  const uint32_t(*const t)[256] = tables();
  while (length >= 16) {
    const uint32_t w1 = littleEndianWord(data + 4);
    const uint32_t w2 = littleEndianWord(data + 8);
    const uint32_t w3 = littleEndianWord(data + 12);
    const uint32_t w0 = c ^ littleEndianWord(data);
    const uint32_t a = (t[15][w0 & 0xFF] ^ t[14][(w0 >> 8) & 0xFF]) ^ (t[13][(w0 >> 16) & 0xFF] ^ t[12][w0 >> 24]);
    const uint32_t b = (t[11][w1 & 0xFF] ^ t[10][(w1 >> 8) & 0xFF]) ^ (t[9][(w1 >> 16) & 0xFF] ^ t[8][w1 >> 24]);
    const uint32_t d = (t[7][w2 & 0xFF] ^ t[6][(w2 >> 8) & 0xFF]) ^ (t[5][(w2 >> 16) & 0xFF] ^ t[4][w2 >> 24]);
    const uint32_t e = (t[3][w3 & 0xFF] ^ t[2][(w3 >> 8) & 0xFF]) ^ (t[1][(w3 >> 16) & 0xFF] ^ t[0][w3 >> 24]);
    c = (a ^ b) ^ (d ^ e);
    data += 16;
    length -= 16;
  }
  while (length-- != 0) c = t[0][(c ^ *data++) & 0xFF] ^ (c >> 8);
  return c;
}

// ---------------------------------------------------------------------------
// The folding path
// ---------------------------------------------------------------------------
// In the reflected bit order a 128-bit lane holds a polynomial whose lowest
// byte comes first in the data. Multiplying the lane's two 64-bit halves by
// x^(d+32) and x^(d-32) modulo the polynomial (d = the fold distance in bits;
// the constants below are those remainders, reflected and shifted left by
// one, as the reflected multiplication needs) moves its contents d bits
// further on, where they are XORed into the data found there. Four lanes
// fold 512 bits per step; then they are folded into one lane 128 bits at a
// time, the lane is reduced to 64 and to 32 bits, and a Barrett reduction
// (mu = floor(x^64 / P), P itself with its top bit) gives the register.

bool hasCarrylessMultiply() {
#if ZIMBRO_CRC_FOLDING
  unsigned eax, ebx, ecx, edx;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  return (ecx & bit_PCLMUL) != 0 && (ecx & bit_SSE4_1) != 0;
#else
  return false;
#endif
}

#if ZIMBRO_CRC_FOLDING

// Takes c (not inverted) and a length that is a multiple of 16, at least 64.
__attribute__((target("pclmul,sse4.1"))) uint32_t foldSteps(uint32_t c, const uint8_t* data, size_t length) {
  const __m128i fold512 = _mm_set_epi64x(0x1C6E41596LL, 0x154442BD4LL);
  const __m128i fold128 = _mm_set_epi64x(0x0CCAA009ELL, 0x1751997D0LL);
  const __m128i fold64 = _mm_set_epi64x(0, 0x163CD6124LL);
  const __m128i barrett = _mm_set_epi64x(0x1F7011641LL, 0x1DB710641LL);
  const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
  const __m128i* in = reinterpret_cast<const __m128i*>(data);

  __m128i x0 = _mm_xor_si128(_mm_loadu_si128(in + 0), _mm_cvtsi32_si128(static_cast<int>(c)));
  __m128i x1 = _mm_loadu_si128(in + 1);
  __m128i x2 = _mm_loadu_si128(in + 2);
  __m128i x3 = _mm_loadu_si128(in + 3);
  in += 4;
  length -= 64;

#define FOLD(x, k, next)                                         \
  do {                                                           \
    const __m128i low = _mm_clmulepi64_si128((x), (k), 0x00);    \
    const __m128i high = _mm_clmulepi64_si128((x), (k), 0x11);   \
    (x) = _mm_xor_si128(_mm_xor_si128(low, high), (next));       \
  } while (0)

  while (length >= 64) {
    FOLD(x0, fold512, _mm_loadu_si128(in + 0));
    FOLD(x1, fold512, _mm_loadu_si128(in + 1));
    FOLD(x2, fold512, _mm_loadu_si128(in + 2));
    FOLD(x3, fold512, _mm_loadu_si128(in + 3));
    in += 4;
    length -= 64;
  }
  FOLD(x0, fold128, x1);
  FOLD(x0, fold128, x2);
  FOLD(x0, fold128, x3);
  while (length >= 16) {
    FOLD(x0, fold128, _mm_loadu_si128(in));
    ++in;
    length -= 16;
  }
#undef FOLD

  // 128 -> 64 bits: the low half moves 64 bits on, into the high half.
  x0 = _mm_xor_si128(_mm_clmulepi64_si128(x0, fold128, 0x10), _mm_srli_si128(x0, 8));
  // 64 -> 32 bits.
  x0 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x0, low32), fold64, 0x00), _mm_srli_si128(x0, 4));
  // Barrett reduction to the 32-bit remainder.
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x0, low32), barrett, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
  return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(x0, t), 1));
}

#endif

// Pieces below this length go to the tables: folding has a fixed cost of a
// dozen multiplications at its end.
const size_t kFoldMinimum = 128;

}  // namespace

const uint32_t* crcTable() { return tables()[0]; }

uint32_t crc32Steps(uint32_t c, const uint8_t* data, size_t length, bool allowFolding) {
  tables();
#if ZIMBRO_CRC_FOLDING
  if (allowFolding && foldingChosen && length >= kFoldMinimum) {
    const size_t folded = length & ~static_cast<size_t>(15);
    c = foldSteps(c, data, folded);
    data += folded;
    length -= folded;
  }
#else
  (void)allowFolding;
#endif
  return tableSteps(c, data, length);
}

bool crc32HasFolding() {
  tables();
  return foldingChosen;
}

uint32_t crc32Update(uint32_t crc, const uint8_t* data, size_t length) {
  if (data == nullptr) return 0;
  return crc32Steps(crc ^ 0xFFFFFFFFu, data, length, true) ^ 0xFFFFFFFFu;
}

uint32_t crc32Raw(uint32_t value, const uint8_t* data, size_t length) {
  const uint32_t* t = tables()[0];
  uint32_t c = value;
  while (length-- != 0) c = t[(c ^ *data++) & 0xFF] ^ (c >> 8);
  return c;
}
