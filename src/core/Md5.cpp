// Md5: RFC 1321 MD5, written as a fully unrolled compression function over little-endian words.
#include "core/Md5.h"
#include "core/ByteOrder.h"

#include <cstring>

namespace vantry {

namespace {

inline void StoreLe32(uint8_t *p, uint32_t v) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap32(v);
#endif
    std::memcpy(p, &v, 4);
}

inline uint32_t Rotl(uint32_t x, int s) {
    return (x << s) | (x >> (32 - s));
}

// The four round functions in forms that shorten the dependency chain on b: F as a select,
// G as a sum of two disjoint masks (no carries, so + equals |).
#define MD5_F(b, c, d) ((((c) ^ (d)) & (b)) ^ (d))
#define MD5_G(b, c, d) (((b) & (d)) + ((c) & ~(d)))
#define MD5_H(b, c, d) ((b) ^ (c) ^ (d))
#define MD5_I(b, c, d) ((c) ^ ((b) | ~(d)))

#define MD5_STEP(f, a, b, c, d, x, t, s)                                                                     \
    a += f(b, c, d) + (x) + (t);                                                                             \
    a = Rotl(a, s) + (b)

void ProcessBlocks(uint32_t state[4], const uint8_t *p, size_t blocks) {
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    while (blocks-- > 0) {
        const uint32_t x0 = LoadLe32(p), x1 = LoadLe32(p + 4), x2 = LoadLe32(p + 8), x3 = LoadLe32(p + 12);
        const uint32_t x4 = LoadLe32(p + 16), x5 = LoadLe32(p + 20), x6 = LoadLe32(p + 24),
                       x7 = LoadLe32(p + 28);
        const uint32_t x8 = LoadLe32(p + 32), x9 = LoadLe32(p + 36), x10 = LoadLe32(p + 40),
                       x11 = LoadLe32(p + 44);
        const uint32_t x12 = LoadLe32(p + 48), x13 = LoadLe32(p + 52), x14 = LoadLe32(p + 56),
                       x15 = LoadLe32(p + 60);
        const uint32_t aa = a, bb = b, cc = c, dd = d;

        MD5_STEP(MD5_F, a, b, c, d, x0, 0xd76aa478u, 7);
        MD5_STEP(MD5_F, d, a, b, c, x1, 0xe8c7b756u, 12);
        MD5_STEP(MD5_F, c, d, a, b, x2, 0x242070dbu, 17);
        MD5_STEP(MD5_F, b, c, d, a, x3, 0xc1bdceeeu, 22);
        MD5_STEP(MD5_F, a, b, c, d, x4, 0xf57c0fafu, 7);
        MD5_STEP(MD5_F, d, a, b, c, x5, 0x4787c62au, 12);
        MD5_STEP(MD5_F, c, d, a, b, x6, 0xa8304613u, 17);
        MD5_STEP(MD5_F, b, c, d, a, x7, 0xfd469501u, 22);
        MD5_STEP(MD5_F, a, b, c, d, x8, 0x698098d8u, 7);
        MD5_STEP(MD5_F, d, a, b, c, x9, 0x8b44f7afu, 12);
        MD5_STEP(MD5_F, c, d, a, b, x10, 0xffff5bb1u, 17);
        MD5_STEP(MD5_F, b, c, d, a, x11, 0x895cd7beu, 22);
        MD5_STEP(MD5_F, a, b, c, d, x12, 0x6b901122u, 7);
        MD5_STEP(MD5_F, d, a, b, c, x13, 0xfd987193u, 12);
        MD5_STEP(MD5_F, c, d, a, b, x14, 0xa679438eu, 17);
        MD5_STEP(MD5_F, b, c, d, a, x15, 0x49b40821u, 22);

        MD5_STEP(MD5_G, a, b, c, d, x1, 0xf61e2562u, 5);
        MD5_STEP(MD5_G, d, a, b, c, x6, 0xc040b340u, 9);
        MD5_STEP(MD5_G, c, d, a, b, x11, 0x265e5a51u, 14);
        MD5_STEP(MD5_G, b, c, d, a, x0, 0xe9b6c7aau, 20);
        MD5_STEP(MD5_G, a, b, c, d, x5, 0xd62f105du, 5);
        MD5_STEP(MD5_G, d, a, b, c, x10, 0x02441453u, 9);
        MD5_STEP(MD5_G, c, d, a, b, x15, 0xd8a1e681u, 14);
        MD5_STEP(MD5_G, b, c, d, a, x4, 0xe7d3fbc8u, 20);
        MD5_STEP(MD5_G, a, b, c, d, x9, 0x21e1cde6u, 5);
        MD5_STEP(MD5_G, d, a, b, c, x14, 0xc33707d6u, 9);
        MD5_STEP(MD5_G, c, d, a, b, x3, 0xf4d50d87u, 14);
        MD5_STEP(MD5_G, b, c, d, a, x8, 0x455a14edu, 20);
        MD5_STEP(MD5_G, a, b, c, d, x13, 0xa9e3e905u, 5);
        MD5_STEP(MD5_G, d, a, b, c, x2, 0xfcefa3f8u, 9);
        MD5_STEP(MD5_G, c, d, a, b, x7, 0x676f02d9u, 14);
        MD5_STEP(MD5_G, b, c, d, a, x12, 0x8d2a4c8au, 20);

        MD5_STEP(MD5_H, a, b, c, d, x5, 0xfffa3942u, 4);
        MD5_STEP(MD5_H, d, a, b, c, x8, 0x8771f681u, 11);
        MD5_STEP(MD5_H, c, d, a, b, x11, 0x6d9d6122u, 16);
        MD5_STEP(MD5_H, b, c, d, a, x14, 0xfde5380cu, 23);
        MD5_STEP(MD5_H, a, b, c, d, x1, 0xa4beea44u, 4);
        MD5_STEP(MD5_H, d, a, b, c, x4, 0x4bdecfa9u, 11);
        MD5_STEP(MD5_H, c, d, a, b, x7, 0xf6bb4b60u, 16);
        MD5_STEP(MD5_H, b, c, d, a, x10, 0xbebfbc70u, 23);
        MD5_STEP(MD5_H, a, b, c, d, x13, 0x289b7ec6u, 4);
        MD5_STEP(MD5_H, d, a, b, c, x0, 0xeaa127fau, 11);
        MD5_STEP(MD5_H, c, d, a, b, x3, 0xd4ef3085u, 16);
        MD5_STEP(MD5_H, b, c, d, a, x6, 0x04881d05u, 23);
        MD5_STEP(MD5_H, a, b, c, d, x9, 0xd9d4d039u, 4);
        MD5_STEP(MD5_H, d, a, b, c, x12, 0xe6db99e5u, 11);
        MD5_STEP(MD5_H, c, d, a, b, x15, 0x1fa27cf8u, 16);
        MD5_STEP(MD5_H, b, c, d, a, x2, 0xc4ac5665u, 23);

        MD5_STEP(MD5_I, a, b, c, d, x0, 0xf4292244u, 6);
        MD5_STEP(MD5_I, d, a, b, c, x7, 0x432aff97u, 10);
        MD5_STEP(MD5_I, c, d, a, b, x14, 0xab9423a7u, 15);
        MD5_STEP(MD5_I, b, c, d, a, x5, 0xfc93a039u, 21);
        MD5_STEP(MD5_I, a, b, c, d, x12, 0x655b59c3u, 6);
        MD5_STEP(MD5_I, d, a, b, c, x3, 0x8f0ccc92u, 10);
        MD5_STEP(MD5_I, c, d, a, b, x10, 0xffeff47du, 15);
        MD5_STEP(MD5_I, b, c, d, a, x1, 0x85845dd1u, 21);
        MD5_STEP(MD5_I, a, b, c, d, x8, 0x6fa87e4fu, 6);
        MD5_STEP(MD5_I, d, a, b, c, x15, 0xfe2ce6e0u, 10);
        MD5_STEP(MD5_I, c, d, a, b, x6, 0xa3014314u, 15);
        MD5_STEP(MD5_I, b, c, d, a, x13, 0x4e0811a1u, 21);
        MD5_STEP(MD5_I, a, b, c, d, x4, 0xf7537e82u, 6);
        MD5_STEP(MD5_I, d, a, b, c, x11, 0xbd3af235u, 10);
        MD5_STEP(MD5_I, c, d, a, b, x2, 0x2ad7d2bbu, 15);
        MD5_STEP(MD5_I, b, c, d, a, x9, 0xeb86d391u, 21);

        a += aa;
        b += bb;
        c += cc;
        d += dd;
        p += 64;
    }
    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
}

} // namespace

void Md5::Reset() {
    m_state[0] = 0x67452301u;
    m_state[1] = 0xefcdab89u;
    m_state[2] = 0x98badcfeu;
    m_state[3] = 0x10325476u;
    m_length = 0;
}

void Md5::Update(const void *data, size_t length) {
    if (data == nullptr || length == 0)
        return;
    const uint8_t *p = static_cast<const uint8_t *>(data);
    size_t used = static_cast<size_t>(m_length & 63);
    m_length += length;
    if (used != 0) {
        const size_t take = 64 - used < length ? 64 - used : length;
        std::memcpy(m_buffer + used, p, take);
        p += take;
        length -= take;
        if (used + take < 64)
            return;
        ProcessBlocks(m_state, m_buffer, 1);
    }
    if (length >= 64) {
        ProcessBlocks(m_state, p, length / 64);
        p += length & ~static_cast<size_t>(63);
        length &= 63;
    }
    if (length != 0)
        std::memcpy(m_buffer, p, length);
}

void Md5::Final(uint8_t digest[16]) {
    const uint64_t bits = m_length * 8;
    size_t used = static_cast<size_t>(m_length & 63);
    m_buffer[used++] = 0x80;
    if (used > 56) {
        std::memset(m_buffer + used, 0, 64 - used);
        ProcessBlocks(m_state, m_buffer, 1);
        used = 0;
    }
    std::memset(m_buffer + used, 0, 56 - used);
    StoreLe32(m_buffer + 56, static_cast<uint32_t>(bits));
    StoreLe32(m_buffer + 60, static_cast<uint32_t>(bits >> 32));
    ProcessBlocks(m_state, m_buffer, 1);
    for (int i = 0; i < 4; ++i)
        StoreLe32(digest + 4 * i, m_state[i]);
    Reset();
}

void Md5::Digest(const void *data, size_t length, uint8_t digest[16]) {
    Md5 md5;
    md5.Update(data, length);
    md5.Final(digest);
}

} // namespace vantry
