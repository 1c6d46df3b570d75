#include "install/zip_crc.h"

#include <zlib.h>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define TIDEWAKE_CLMUL_CRC 1
#endif

namespace {

uint32_t ZlibCrc32(uint32_t crc, const char* data, size_t size) {
  uLong value = crc;
  // zlib takes its lengths as unsigned int.
  while (size > 0) {
    const uInt step = size > (1u << 30) ? (1u << 30) : static_cast<uInt>(size);
    value = crc32(value, reinterpret_cast<const Bytef*>(data), step);
    data += step;
    size -= step;
  }
  return static_cast<uint32_t>(value);
}

#ifdef TIDEWAKE_CLMUL_CRC

#define TIDEWAKE_CLMUL __attribute__((target("pclmul,sse4.1")))

TIDEWAKE_CLMUL inline __m128i Load(const unsigned char* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// value times both halves of by, added to next.
TIDEWAKE_CLMUL inline __m128i Fold(__m128i value, __m128i by, __m128i next) {
  const __m128i low = _mm_clmulepi64_si128(value, by, 0x00);
  const __m128i high = _mm_clmulepi64_si128(value, by, 0x11);
  return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

// Folding 64 bytes at a time with carry-less multiplication, then a Barrett reduction (Gopal et
// al., "Fast CRC Computation for Generic Polynomials Using PCLMULQDQ Instruction", Intel 2009).
// The constants are the bit-reflected powers of x modulo the zip polynomial the paper derives.
// state: the CRC register (the inverted CRC); size: at least 64, a multiple of 16.
TIDEWAKE_CLMUL uint32_t FoldCrc32(uint32_t state, const unsigned char* data, size_t size) {
  alignas(16) static const uint64_t k1k2[] = {0x0154442bd4, 0x01c6e41596};
  alignas(16) static const uint64_t k3k4[] = {0x01751997d0, 0x00ccaa009e};
  alignas(16) static const uint64_t k5k0[] = {0x0163cd6124, 0x0000000000};
  alignas(16) static const uint64_t poly[] = {0x01db710641, 0x01f7011641};

  __m128i x1 = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(static_cast<int>(state)));
  __m128i x2 = Load(data + 16);
  __m128i x3 = Load(data + 32);
  __m128i x4 = Load(data + 48);
  data += 64;
  size -= 64;
  __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
  for (; size >= 64; data += 64, size -= 64) {
    x1 = Fold(x1, k, Load(data));
    x2 = Fold(x2, k, Load(data + 16));
    x3 = Fold(x3, k, Load(data + 32));
    x4 = Fold(x4, k, Load(data + 48));
  }
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
  x1 = Fold(x1, k, x2);
  x1 = Fold(x1, k, x3);
  x1 = Fold(x1, k, x4);
  for (; size >= 16; data += 16, size -= 16) x1 = Fold(x1, k, Load(data));

  // 128 bits to 64.
  const __m128i mask = _mm_setr_epi32(~0, 0, ~0, 0);
  x2 = _mm_clmulepi64_si128(x1, k, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
  k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
  x2 = _mm_srli_si128(x1, 4);
  x1 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask), k, 0x00);
  x1 = _mm_xor_si128(x1, x2);
  // Barrett reduction to 32.
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
  x2 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask), k, 0x10);
  x2 = _mm_clmulepi64_si128(_mm_and_si128(x2, mask), k, 0x00);
  x1 = _mm_xor_si128(x1, x2);
  return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

bool CanFold() {
  static const bool can = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return can;
}

#endif

}  // namespace

uint32_t ZipCrc32(uint32_t crc, const char* data, size_t size) {
#ifdef TIDEWAKE_CLMUL_CRC
  if (size >= 64 && CanFold()) {
    const size_t folded = size & ~size_t{15};
    crc = ~FoldCrc32(~crc, reinterpret_cast<const unsigned char*>(data), folded);
    data += folded;
    size -= folded;
  }
#endif
  return size > 0 ? ZlibCrc32(crc, data, size) : crc;
}
