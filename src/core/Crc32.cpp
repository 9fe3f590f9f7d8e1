// Crc32: slicing-by-16 tables for any machine, and on x86-64 with PCLMULQDQ a carry-less multiply
// folding path (four 128-bit lanes, then Barrett reduction) for runs of 64 bytes and more.
#include "core/Crc32.h"
#include "core/ByteOrder.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VANTRY_CRC_PCLMUL 1
#include <immintrin.h>
#endif

namespace vantry {

namespace {

constexpr uint32_t kPoly = 0xEDB88320u;

using Tables = std::array<std::array<uint32_t, 256>, 16>;

constexpr Tables MakeTables() {
    Tables t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ kPoly : c >> 1;
        t[0][n] = c;
    }
    for (uint32_t n = 0; n < 256; ++n)
        for (int k = 1; k < 16; ++k)
            t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    return t;
}

constexpr Tables kTables = MakeTables();

// Works on the complemented register value.
uint32_t TableCrc(uint32_t c, const uint8_t *p, size_t n) {
    const auto &t = kTables;
    while (n >= 16) {
        const uint32_t w0 = LoadLe32(p) ^ c;
        const uint32_t w1 = LoadLe32(p + 4);
        const uint32_t w2 = LoadLe32(p + 8);
        const uint32_t w3 = LoadLe32(p + 12);
        c = t[15][w0 & 0xFF] ^ t[14][(w0 >> 8) & 0xFF] ^ t[13][(w0 >> 16) & 0xFF] ^ t[12][w0 >> 24] ^
            t[11][w1 & 0xFF] ^ t[10][(w1 >> 8) & 0xFF] ^ t[9][(w1 >> 16) & 0xFF] ^ t[8][w1 >> 24] ^
            t[7][w2 & 0xFF] ^ t[6][(w2 >> 8) & 0xFF] ^ t[5][(w2 >> 16) & 0xFF] ^ t[4][w2 >> 24] ^
            t[3][w3 & 0xFF] ^ t[2][(w3 >> 8) & 0xFF] ^ t[1][(w3 >> 16) & 0xFF] ^ t[0][w3 >> 24];
        p += 16;
        n -= 16;
    }
    while (n-- > 0)
        c = (c >> 8) ^ t[0][(c ^ *p++) & 0xFF];
    return c;
}

#ifdef VANTRY_CRC_PCLMUL
// Folding constants for the reflected polynomial: x^(4*128+32), x^(4*128-32) mod P for the
// four-lane fold, x^(128+32), x^(128-32) for the one-lane fold, x^64 mod P, then P' and mu.
// Takes the complemented register value; n is a multiple of 16 and at least 64.
__attribute__((target("pclmul,sse4.1"))) uint32_t FoldCrc(uint32_t c, const uint8_t *p, size_t n) {
    alignas(16) static const uint64_t k1k2[2] = {0x0154442bd4ull, 0x01c6e41596ull};
    alignas(16) static const uint64_t k3k4[2] = {0x01751997d0ull, 0x00ccaa009eull};
    alignas(16) static const uint64_t k5k0[2] = {0x0163cd6124ull, 0};
    alignas(16) static const uint64_t poly[2] = {0x01db710641ull, 0x01f7011641ull};

    __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16));
    __m128i x3 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 32));
    __m128i x4 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 48));
    x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(static_cast<int>(c)));
    __m128i k = _mm_load_si128(reinterpret_cast<const __m128i *>(k1k2));
    p += 64;
    n -= 64;

    while (n >= 64) {
        const __m128i x5 = _mm_clmulepi64_si128(x1, k, 0x00);
        const __m128i x6 = _mm_clmulepi64_si128(x2, k, 0x00);
        const __m128i x7 = _mm_clmulepi64_si128(x3, k, 0x00);
        const __m128i x8 = _mm_clmulepi64_si128(x4, k, 0x00);
        x1 = _mm_clmulepi64_si128(x1, k, 0x11);
        x2 = _mm_clmulepi64_si128(x2, k, 0x11);
        x3 = _mm_clmulepi64_si128(x3, k, 0x11);
        x4 = _mm_clmulepi64_si128(x4, k, 0x11);
        x1 = _mm_xor_si128(_mm_xor_si128(x1, x5), _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
        x2 = _mm_xor_si128(_mm_xor_si128(x2, x6), _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16)));
        x3 = _mm_xor_si128(_mm_xor_si128(x3, x7), _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 32)));
        x4 = _mm_xor_si128(_mm_xor_si128(x4, x8), _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 48)));
        p += 64;
        n -= 64;
    }

    // Four lanes into one.
    k = _mm_load_si128(reinterpret_cast<const __m128i *>(k3k4));
    __m128i x5 = _mm_clmulepi64_si128(x1, k, 0x00);
    x1 = _mm_clmulepi64_si128(x1, k, 0x11);
    x1 = _mm_xor_si128(_mm_xor_si128(x1, x2), x5);
    x5 = _mm_clmulepi64_si128(x1, k, 0x00);
    x1 = _mm_clmulepi64_si128(x1, k, 0x11);
    x1 = _mm_xor_si128(_mm_xor_si128(x1, x3), x5);
    x5 = _mm_clmulepi64_si128(x1, k, 0x00);
    x1 = _mm_clmulepi64_si128(x1, k, 0x11);
    x1 = _mm_xor_si128(_mm_xor_si128(x1, x4), x5);

    while (n >= 16) {
        x2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        x5 = _mm_clmulepi64_si128(x1, k, 0x00);
        x1 = _mm_clmulepi64_si128(x1, k, 0x11);
        x1 = _mm_xor_si128(_mm_xor_si128(x1, x2), x5);
        p += 16;
        n -= 16;
    }

    // 128 bits to 64.
    x2 = _mm_clmulepi64_si128(x1, k, 0x10);
    x3 = _mm_setr_epi32(~0, 0, ~0, 0);
    x1 = _mm_srli_si128(x1, 8);
    x1 = _mm_xor_si128(x1, x2);
    k = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(k5k0));
    x2 = _mm_srli_si128(x1, 4);
    x1 = _mm_and_si128(x1, x3);
    x1 = _mm_clmulepi64_si128(x1, k, 0x00);
    x1 = _mm_xor_si128(x1, x2);

    // Barrett reduction to 32 bits.
    k = _mm_load_si128(reinterpret_cast<const __m128i *>(poly));
    x2 = _mm_and_si128(x1, x3);
    x2 = _mm_clmulepi64_si128(x2, k, 0x10);
    x2 = _mm_and_si128(x2, x3);
    x2 = _mm_clmulepi64_si128(x2, k, 0x00);
    x1 = _mm_xor_si128(x1, x2);
    return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

bool HavePclmul() {
    static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return have;
}
#endif

} // namespace

uint32_t Crc32::UpdatePortable(uint32_t crc, const void *data, size_t length) {
    if (data == nullptr || length == 0)
        return crc;
    return ~TableCrc(~crc, static_cast<const uint8_t *>(data), length);
}

uint32_t Crc32::Update(uint32_t crc, const void *data, size_t length) {
    if (data == nullptr || length == 0)
        return crc;
    const uint8_t *p = static_cast<const uint8_t *>(data);
    uint32_t c = ~crc;
#ifdef VANTRY_CRC_PCLMUL
    if (length >= 64 && HavePclmul()) {
        const size_t chunk = length & ~static_cast<size_t>(15);
        c = FoldCrc(c, p, chunk);
        p += chunk;
        length -= chunk;
    }
#endif
    return ~TableCrc(c, p, length);
}

} // namespace vantry
