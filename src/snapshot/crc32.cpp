/*
 * crc32.cpp - the file checksum of the listing.
 *
 * Crc32Update is the plain table-driven CRC, one byte per step; it defines
 * the values. Crc32UpdateFast gives the same values bit for bit, faster:
 *
 *  - On x86 processors that have the carry-less multiply instruction
 *    (PCLMULQDQ, tested once at run time), 64 bytes per step are folded
 *    into four 128-bit remainders that are congruent, modulo the
 *    polynomial, to the data they replace. What is left (one 128-bit value
 *    and fewer than 16 bytes of tail) is finished with the tables. Where
 *    the processor multiplies four such pairs in one instruction
 *    (VPCLMULQDQ on 512-bit registers), 256 bytes per step are folded into
 *    sixteen remainders first, which then fold into the four.
 *  - Elsewhere (the device's ARM processor included), eight bytes per step
 *    through eight tables ("slicing by eight").
 *
 * Only the folding code is specific to one family of processors. It sits
 * under a processor test (not an operating-system one) and is compiled with
 * a function target attribute, so this file builds for any processor and
 * the rest of the program needs no special instruction set.
 */
#if defined(__x86_64__) || defined(__i386__)
/* Before the platform header, whose C runtime names must not reach it. */
#include <immintrin.h>
#define CRC32_CLMUL 1
#else
#define CRC32_CLMUL 0
#endif
/* The 512-bit folding keeps 64-byte values, which the Windows compilers do
 * not keep aligned on the stack: there the 128-bit folding serves alone. */
#if CRC32_CLMUL && !defined(_WIN32)
#define CRC32_WIDE 1
#else
#define CRC32_WIDE 0
#endif

#include "snapshot/crc32.h"

static DWORD g_crcTable[256];       /* entry i: the crc of the byte i */
static DWORD g_sliceTables[8][256]; /* table k: byte i followed by k zero bytes */
static BYTE g_readBuffer[CRC32_READ_BYTES];
static int g_tablesReady; /* 1 once the tables are filled */

void Crc32InitTable(void) {
  DWORD a;
  int i;
  int bit;
  int k;

  if (g_tablesReady) return;
  for (i = 0; i < 256; ++i) {
    a = (DWORD)i << 24;
    for (bit = 0; bit < 8; ++bit)
      a = (a & 0x80000000UL) ? (DWORD)((a << 1) ^ CRC32_POLYNOMIAL) : (DWORD)(a << 1);
    g_crcTable[i] = a;
  }
  for (i = 0; i < 256; ++i) g_sliceTables[0][i] = g_crcTable[i];
  for (k = 1; k < 8; ++k)
    for (i = 0; i < 256; ++i) {
      a = g_sliceTables[k - 1][i];
      g_sliceTables[k][i] = (DWORD)(a << 8) ^ g_crcTable[a >> 24];
    }
  g_tablesReady = 1;
}

DWORD Crc32Update(DWORD crc, const BYTE *data, LONG length) {
  LONG i;
  for (i = 0; i < length; ++i) crc = g_crcTable[(crc >> 24) ^ data[i]] ^ (DWORD)(crc << 8);
  return crc;
}

/* Four bytes as a big-endian word: the first byte is the most significant,
 * as the CRC takes them. */
static DWORD LoadBigEndian(const BYTE *p) {
  return ((DWORD)p[0] << 24) | ((DWORD)p[1] << 16) | ((DWORD)p[2] << 8) | (DWORD)p[3];
}

/* Slicing by eight: the crc is XORed into the first four bytes of each
 * group of eight, and the eight bytes are then looked up at once, each in
 * the table that accounts for the bytes that follow it in the group. */
static DWORD Crc32Slice8(DWORD crc, const BYTE *data, size_t length) {
  DWORD high;
  DWORD low;
  while (length >= 8) {
    high = crc ^ LoadBigEndian(data);
    low = LoadBigEndian(data + 4);
    crc = g_sliceTables[7][high >> 24] ^ g_sliceTables[6][(high >> 16) & 0xFF] ^
          g_sliceTables[5][(high >> 8) & 0xFF] ^ g_sliceTables[4][high & 0xFF] ^
          g_sliceTables[3][low >> 24] ^ g_sliceTables[2][(low >> 16) & 0xFF] ^
          g_sliceTables[1][(low >> 8) & 0xFF] ^ g_sliceTables[0][low & 0xFF];
    data += 8;
    length -= 8;
  }
  while (length > 0) {
    crc = g_crcTable[(crc >> 24) ^ *data] ^ (DWORD)(crc << 8);
    ++data;
    --length;
  }
  return crc;
}

#if CRC32_CLMUL

/* x^n modulo the polynomial, as 32 coefficients. */
static DWORD PowerOfXModP(int n) {
  DWORD r = 1;
  while (n-- > 0) r = (r & 0x80000000UL) ? (DWORD)((r << 1) ^ CRC32_POLYNOMIAL) : (DWORD)(r << 1);
  return r;
}

static int g_clmulChecked; /* 1 once the processor was asked */
static int g_clmulUsable;  /* 1 when it has PCLMULQDQ and PSHUFB */
#if CRC32_WIDE
static int g_wideUsable; /* 1 when it has them on 512-bit registers too */
#endif
static uint64_t g_fold2048High, g_fold2048Low, g_fold512High, g_fold512Low, g_fold128High,
    g_fold128Low;

static int ClmulUsable(void) {
  if (!g_clmulChecked) {
    g_clmulUsable = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3");
#if CRC32_WIDE
    g_wideUsable = g_clmulUsable && __builtin_cpu_supports("vpclmulqdq") &&
                   __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
#endif
    /* Folding a 128-bit value over d bits: its high half is multiplied by
     * x^(d+64) and its low half by x^d, both modulo the polynomial. */
    g_fold2048High = PowerOfXModP(2048 + 64);
    g_fold2048Low = PowerOfXModP(2048);
    g_fold512High = PowerOfXModP(512 + 64);
    g_fold512Low = PowerOfXModP(512);
    g_fold128High = PowerOfXModP(128 + 64);
    g_fold128Low = PowerOfXModP(128);
    g_clmulChecked = 1;
  }
  return g_clmulUsable;
}

/* One fold: `value` moved forward by the distance the constants stand for,
 * reduced to at most 96 bits, and added to `next`. */
__attribute__((target("pclmul,ssse3"))) static inline __m128i Fold(__m128i value, __m128i constants,
                                                                   __m128i next) {
  __m128i high = _mm_clmulepi64_si128(value, constants, 0x11);
  __m128i low = _mm_clmulepi64_si128(value, constants, 0x00);
  return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

#if CRC32_WIDE
/* The same on four pairs at once: each 128-bit lane of `value` moved
 * forward by the distance the constants (in every lane) stand for, and
 * added to `next`. */
__attribute__((target("pclmul,ssse3,avx512f,avx512bw,vpclmulqdq"))) static inline __m512i Fold4(
    __m512i value, __m512i constants, __m512i next) {
  __m512i high = _mm512_clmulepi64_epi128(value, constants, 0x11);
  __m512i low = _mm512_clmulepi64_epi128(value, constants, 0x00);
  return _mm512_ternarylogic_epi64(high, low, next, 0x96); /* high ^ low ^ next */
}

/* 64 bytes in one 512-bit register, each 16-byte lane reversed as Crc32Clmul
 * loads them. */
__attribute__((target("pclmul,ssse3,avx512f,avx512bw,vpclmulqdq"))) static inline __m512i Load4(
    const BYTE *data) {
  const __m512i reverse = _mm512_set_epi64(
      0x0001020304050607LL, 0x08090A0B0C0D0E0FLL, 0x0001020304050607LL, 0x08090A0B0C0D0E0FLL,
      0x0001020304050607LL, 0x08090A0B0C0D0E0FLL, 0x0001020304050607LL, 0x08090A0B0C0D0E0FLL);
  return _mm512_shuffle_epi8(_mm512_loadu_si512((const void *)data), reverse);
}

/* Folds at least 256 bytes into the four 128-bit remainders of the last 64
 * bytes taken, which Crc32Clmul goes on from; returns the bytes taken. The
 * first 256 bytes are sixteen remainders in four registers, each folded
 * 2048 bits forward over the next 256 bytes; the four registers then fold
 * into one, 512 bits at a time, and that one over what is left in steps of
 * 64 bytes. */
__attribute__((target("pclmul,ssse3,avx512f,avx512bw,vpclmulqdq"))) static size_t Crc32FoldWide(
    DWORD crc, const BYTE *data, size_t length, __m128i *x) {
  const long long h2048 = (long long)g_fold2048High, l2048 = (long long)g_fold2048Low;
  const long long h512 = (long long)g_fold512High, l512 = (long long)g_fold512Low;
  const __m512i k2048 = _mm512_set_epi64(h2048, l2048, h2048, l2048, h2048, l2048, h2048, l2048);
  const __m512i k512 = _mm512_set_epi64(h512, l512, h512, l512, h512, l512, h512, l512);
  BYTE lanes[64];
  __m512i y0 =
      _mm512_xor_si512(Load4(data), _mm512_zextsi128_si512(_mm_set_epi32((int)crc, 0, 0, 0)));
  __m512i y1 = Load4(data + 64);
  __m512i y2 = Load4(data + 128);
  __m512i y3 = Load4(data + 192);
  size_t taken = 256;
  while (length - taken >= 256) {
    y0 = Fold4(y0, k2048, Load4(data + taken));
    y1 = Fold4(y1, k2048, Load4(data + taken + 64));
    y2 = Fold4(y2, k2048, Load4(data + taken + 128));
    y3 = Fold4(y3, k2048, Load4(data + taken + 192));
    taken += 256;
  }
  y1 = Fold4(y0, k512, y1);
  y2 = Fold4(y1, k512, y2);
  y3 = Fold4(y2, k512, y3);
  while (length - taken >= 64) {
    y3 = Fold4(y3, k512, Load4(data + taken));
    taken += 64;
  }
  _mm512_storeu_si512((void *)lanes, y3);
  x[0] = _mm_loadu_si128((const __m128i *)(const void *)lanes);
  x[1] = _mm_loadu_si128((const __m128i *)(const void *)(lanes + 16));
  x[2] = _mm_loadu_si128((const __m128i *)(const void *)(lanes + 32));
  x[3] = _mm_loadu_si128((const __m128i *)(const void *)(lanes + 48));
  return taken;
}

#endif /* CRC32_WIDE */

/* The crc of at least 64 bytes by folding. Each 16-byte block is loaded
 * with its bytes reversed, so that the register holds it as a polynomial
 * with the first byte's bits as the highest coefficients. */
__attribute__((target("pclmul,ssse3"))) static DWORD Crc32Clmul(DWORD crc, const BYTE *data,
                                                                size_t length) {
  const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  const __m128i k512 = _mm_set_epi64x((long long)g_fold512High, (long long)g_fold512Low);
  const __m128i k128 = _mm_set_epi64x((long long)g_fold128High, (long long)g_fold128Low);
  __m128i x0, x1, x2, x3;
  BYTE rest[16];

#if CRC32_WIDE
  if (length >= 256 && g_wideUsable) {
    __m128i x[4];
    size_t taken = Crc32FoldWide(crc, data, length, x);
    x0 = x[0];
    x1 = x[1];
    x2 = x[2];
    x3 = x[3];
    data += taken;
    length -= taken;
  } else
#endif
  {
    x0 = _mm_shuffle_epi8(_mm_loadu_si128((const __m128i *)(const void *)data), reverse);
    x1 = _mm_shuffle_epi8(_mm_loadu_si128((const __m128i *)(const void *)(data + 16)), reverse);
    x2 = _mm_shuffle_epi8(_mm_loadu_si128((const __m128i *)(const void *)(data + 32)), reverse);
    x3 = _mm_shuffle_epi8(_mm_loadu_si128((const __m128i *)(const void *)(data + 48)), reverse);
    /* A crc carried in from earlier data is the same as those four bits
     * XORed into the first four bytes. */
    x0 = _mm_xor_si128(x0, _mm_set_epi32((int)crc, 0, 0, 0));
    data += 64;
    length -= 64;
  }
  while (length >= 64) {
    x0 = Fold(x0, k512,
              _mm_shuffle_epi8(_mm_loadu_si128((const __m128i *)(const void *)data), reverse));
    x1 = Fold(
        x1, k512,
        _mm_shuffle_epi8(_mm_loadu_si128((const __m128i *)(const void *)(data + 16)), reverse));
    x2 = Fold(
        x2, k512,
        _mm_shuffle_epi8(_mm_loadu_si128((const __m128i *)(const void *)(data + 32)), reverse));
    x3 = Fold(
        x3, k512,
        _mm_shuffle_epi8(_mm_loadu_si128((const __m128i *)(const void *)(data + 48)), reverse));
    data += 64;
    length -= 64;
  }
  x0 = Fold(x0, k128, x1);
  x0 = Fold(x0, k128, x2);
  x0 = Fold(x0, k128, x3);
  while (length >= 16) {
    x0 = Fold(x0, k128,
              _mm_shuffle_epi8(_mm_loadu_si128((const __m128i *)(const void *)data), reverse));
    data += 16;
    length -= 16;
  }
  /* The remainder stands where the last 16 bytes stood, so the crc of
   * everything so far is the crc of its 16 bytes in message order. */
  _mm_storeu_si128((__m128i *)(void *)rest, _mm_shuffle_epi8(x0, reverse));
  crc = Crc32Slice8(0, rest, 16);
  return Crc32Slice8(crc, data, length);
}

#endif /* CRC32_CLMUL */

DWORD Crc32UpdateFast(DWORD crc, const BYTE *data, LONG length) {
  if (length <= 0) return crc;
  Crc32InitTable();
#if CRC32_CLMUL
  if (length >= 64 && ClmulUsable()) return Crc32Clmul(crc, data, (size_t)length);
#endif
  return Crc32Slice8(crc, data, (size_t)length);
}

DWORD FileCrc32(LPCWSTR path) {
  FILE *file;
  DWORD crc;
  size_t count;

  /* By the wide path, so that a name the code page cannot hold is found. */
  file = _wfopen(path, L"rb");
  if (file == NULL) return 0;
  Crc32InitTable();
  crc = 0;
  for (;;) {
    count = fread(g_readBuffer, 1, CRC32_READ_BYTES, file);
    if (count == 0) break;
    crc = Crc32UpdateFast(crc, g_readBuffer, (LONG)count);
  }
  fclose(file);
  return crc;
}
