// Tests of Md5 and Crc32 against OpenSSL's MD5 and zlib's crc32, on random data of many lengths,
// fed whole and in pieces.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/Crc32.h"
#include "core/Md5.h"

using namespace vantry;

namespace {

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto &b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

std::string Hex(const uint8_t *d, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[d[i] >> 4];
        s += digits[d[i] & 15];
    }
    return s;
}

std::string OpensslMd5(const uint8_t *data, size_t n) {
    uint8_t out[EVP_MAX_MD_SIZE];
    unsigned int outLen = 0;
    EVP_Digest(data, n, out, &outLen, EVP_md5(), nullptr);
    return Hex(out, outLen);
}

std::string OurMd5(const uint8_t *data, size_t n) {
    uint8_t out[16];
    Md5::Digest(data, n, out);
    return Hex(out, 16);
}

uint32_t ZlibCrc(uint32_t crc, const uint8_t *data, size_t n) {
    return static_cast<uint32_t>(crc32_z(crc, data, n));
}

std::vector<size_t> Lengths() {
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 300; ++n)
        lengths.push_back(n);
    for (size_t n = 301; n < 5000; n += 37)
        lengths.push_back(n);
    lengths.push_back(4096);
    lengths.push_back(3 * 1024 * 1024 + 13);
    return lengths;
}

TEST(Md5, KnownVectorsOfRfc1321) {
    const std::pair<const char *, const char *> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto &[text, hex] : cases)
        EXPECT_EQ(OurMd5(reinterpret_cast<const uint8_t *>(text), std::strlen(text)), hex) << text;
}

TEST(Md5, MatchesOpensslOnRandomInputsWholeAndInPieces) {
    uint32_t seed = 1;
    for (size_t n : Lengths()) {
        const auto data = RandomBytes(n, seed++);
        const std::string expected = OpensslMd5(data.data(), n);
        ASSERT_EQ(OurMd5(data.data(), n), expected) << "length " << n;

        // Pieces of random sizes, including empty ones and ones that straddle block edges.
        std::mt19937 rng(seed);
        Md5 md5;
        size_t pos = 0;
        while (pos < n) {
            size_t piece = rng() % (n < 200 ? 9 : 150);
            if (piece > n - pos)
                piece = n - pos;
            md5.Update(data.data() + pos, piece);
            pos += piece;
        }
        uint8_t out[16];
        md5.Final(out);
        ASSERT_EQ(Hex(out, 16), expected) << "pieces, length " << n;
    }
}

TEST(Md5, FinalResetsForTheNextMessage) {
    Md5 md5;
    md5.Update("junk", 4);
    uint8_t out[16];
    md5.Final(out);
    md5.Update("abc", 3);
    md5.Final(out);
    EXPECT_EQ(Hex(out, 16), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Crc32, KnownCheckValue) {
    EXPECT_EQ(Crc32::Compute("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc32::Compute("", 0), 0u);
    EXPECT_EQ(Crc32::Compute(nullptr, 5), 0u);
}

TEST(Crc32, MatchesZlibOnRandomInputsWholeAndInPieces) {
    uint32_t seed = 1000;
    for (size_t n : Lengths()) {
        const auto data = RandomBytes(n, seed++);
        const uint32_t expected = ZlibCrc(0, data.data(), n);
        ASSERT_EQ(Crc32::Compute(data.data(), n), expected) << "length " << n;
        ASSERT_EQ(Crc32::UpdatePortable(0, data.data(), n), expected) << "portable, length " << n;

        std::mt19937 rng(seed);
        uint32_t crc = 0;
        size_t pos = 0;
        while (pos < n) {
            size_t piece = rng() % (n < 200 ? 9 : 300);
            if (piece > n - pos)
                piece = n - pos;
            crc = Crc32::Update(crc, data.data() + pos, piece);
            pos += piece;
        }
        ASSERT_EQ(crc, expected) << "pieces, length " << n;
    }
}

TEST(Crc32, UnalignedStartsMatchZlib) {
    const auto data = RandomBytes(4096 + 16, 77);
    for (size_t off = 0; off < 16; ++off)
        for (size_t n : {63u, 64u, 65u, 127u, 128u, 1000u, 4096u})
            ASSERT_EQ(Crc32::Compute(data.data() + off, n), ZlibCrc(0, data.data() + off, n))
                << off << " " << n;
}

} // namespace
