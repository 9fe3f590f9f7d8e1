// Checks every code-page table against glibc iconv as the oracle: each byte of the single-byte pages,
// each entry of the multi-byte tables (which must also round-trip), and conversions between two pages.
#include <gtest/gtest.h>

#include <iconv.h>
#ifdef VANTRY_HAVE_ICU
#include <unicode/ucnv.h>
#endif

#include <string>
#include <vector>

#include "codec/CodePageData.h"
#include "codec/CodePageTables.h"
#include "codec/EncodingConvert.h"
#include "codec/MultiByteTable.h"
#include "core/DataBuffer.h"
#include "core/LogNull.h"

using namespace vantry;

namespace {
// One iconv descriptor; Run converts a whole input, nullopt-like false on any error.
class Iconv {
public:
    Iconv(const char *to, const char *from) : m_cd(iconv_open(to, from)) {}
    ~Iconv() {
        if (Ok())
            iconv_close(m_cd);
    }
    bool Ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    bool Run(const std::string &in, std::string *out) {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char buf[64];
        char *ip = const_cast<char *>(in.data());
        size_t il = in.size();
        char *op = buf;
        size_t ol = sizeof(buf);
        if (iconv(m_cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1) || il != 0)
            return false;
        if (iconv(m_cd, nullptr, nullptr, &op, &ol) == static_cast<size_t>(-1))
            return false;
        out->assign(buf, sizeof(buf) - ol);
        return true;
    }

private:
    iconv_t m_cd;
};

bool Conv(int32_t from, int32_t to, const std::string &in, std::string *out) {
    EncodingConvert c;
    DataBuffer buf;
    LogNull log;
    bool ok = c.Convert(from, to, in.data(), static_cast<uint32_t>(in.size()), buf, log);
    out->assign(reinterpret_cast<const char *>(buf.Data()), buf.Length());
    return ok;
}

std::string CodeBytes(uint32_t code) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8)
        if ((code >> shift) != 0 || shift == 0)
            s.push_back(static_cast<char>((code >> shift) & 0xFF));
    return s;
}

std::string Unit(uint16_t u) {
    return std::string{static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
}

// Single-byte pages whose glibc table is the same vendor table as ours. Not compared: 875, 1026, 10000,
// 10007 and 10079, whose glibc tables are older versions of the vendor's (different bytes for a few
// characters), and the pages glibc does not have at all.
struct OraclePage {
    int32_t codePage;
    const char *iconvName;
};
const OraclePage kSingleByteOracles[] = {
    {437, "CP437"},
    {500, "CP500"},
    {708, "ASMO-708"},
    {737, "CP737"},
    {775, "CP775"},
    {850, "CP850"},
    {852, "CP852"},
    {855, "CP855"},
    {857, "CP857"},
    {858, "CP858"},
    {860, "CP860"},
    {861, "CP861"},
    {862, "CP862"},
    {863, "CP863"},
    {864, "CP864"},
    {865, "CP865"},
    {866, "CP866"},
    {869, "CP869"},
    {870, "IBM870"},
    {874, "CP874"},
    {1047, "IBM1047"},
    {1140, "IBM1140"},
    {1141, "IBM1141"},
    {1142, "IBM1142"},
    {1143, "IBM1143"},
    {1144, "IBM1144"},
    {1145, "IBM1145"},
    {1146, "IBM1146"},
    {1147, "IBM1147"},
    {1148, "IBM1148"},
    {1149, "IBM1149"},
    {1250, "CP1250"},
    {1251, "CP1251"},
    {1252, "CP1252"},
    {1253, "CP1253"},
    {1254, "CP1254"},
    {1255, "CP1255"},
    {1256, "CP1256"},
    {1257, "CP1257"},
    {1258, "CP1258"},
    {10017, "MAC-UK"},
    {10029, "MAC-CENTRALEUROPE"},
    {20105, "ISO_646.IRV:1991"},
    {20106, "DIN_66003"},
    {20107, "SEN_850200_B"},
    {20108, "NS_4551-1"},
    {20127, "ASCII"},
    {20261, "T.61-8BIT"},
    {20269, "ISO_6937"},
    {20277, "IBM277"},
    {20278, "IBM278"},
    {20280, "IBM280"},
    {20284, "IBM284"},
    {20285, "IBM285"},
    {20290, "IBM290"},
    {20297, "IBM297"},
    {20420, "IBM420"},
    {20423, "IBM423"},
    {20866, "KOI8-R"},
    {20871, "IBM871"},
    {20880, "IBM880"},
    {20905, "IBM905"},
    {21025, "IBM1025"},
    {21866, "KOI8-U"},
    {28591, "ISO-8859-1"},
    {28592, "ISO-8859-2"},
    {28593, "ISO-8859-3"},
    {28594, "ISO-8859-4"},
    {28595, "ISO-8859-5"},
    {28596, "ISO-8859-6"},
    {28597, "ISO-8859-7"},
    {28598, "ISO-8859-8"},
    {28599, "ISO-8859-9"},
    {28603, "ISO-8859-13"},
    {28605, "ISO-8859-15"},
    {38598, "ISO-8859-8"},
};
} // namespace

TEST(CodePageOracle, EveryByteOfEverySingleBytePageDecodesLikeIconv) {
    for (const OraclePage &page : kSingleByteOracles) {
        Iconv oracle("UTF-16LE", page.iconvName);
        ASSERT_TRUE(oracle.Ok()) << page.iconvName;
        for (int b = 1; b < 256; ++b) {
            // A space after the byte flushes the pages that wait for combining marks (1255, 1258).
            std::string in{static_cast<char>(b), ' '};
            std::string expected;
            bool mapped = oracle.Run(in, &expected) && expected.size() == 4;
            std::string got;
            bool ok = Conv(page.codePage, 1200, std::string(1, static_cast<char>(b)), &got);
            if (mapped) {
                EXPECT_TRUE(ok) << page.codePage << " byte " << b;
                EXPECT_EQ(expected.substr(0, 2), got) << page.codePage << " byte " << b;
            } else {
                EXPECT_FALSE(ok) << page.codePage << " byte " << b;
                EXPECT_EQ("", got) << page.codePage << " byte " << b;
            }
        }
    }
}

TEST(CodePageOracle, EverySingleBytePageRoundTripsItsMappedBytes) {
    for (int i = 0; i < codepage_data::kSingleBytePageCount; ++i) {
        const codepage_data::SingleBytePage &page = codepage_data::kSingleBytePages[i];
        for (int b = 0; b < 256; ++b) {
            uint16_t u = page.decode[b];
            if (u == 0 && b != 0)
                continue;
            std::string back;
            EXPECT_TRUE(Conv(1200, page.codePage, Unit(u), &back)) << page.codePage << " byte " << b;
            // A unit shared by two bytes encodes to the lower one.
            ASSERT_EQ(1u, back.size()) << page.codePage << " byte " << b;
            EXPECT_EQ(u, page.decode[static_cast<uint8_t>(back[0])]) << page.codePage << " byte " << b;
        }
    }
}

TEST(CodePageOracle, EveryCharacterOfEveryMultiByteTableRoundTrips) {
    // Expected disagreements with glibc, all entries glibc leaves unmapped or maps by another version
    // of the vendor table: 932 the single bytes 0x80, 0xA0, 0xFD..0xFF; 936 the private-use area;
    // 950 the kana row of Microsoft's table; 1361 the Johab symbol rows; 51932 one JIS X 0212 tilde.
    struct Page {
        int32_t codePage;
        const char *iconvName;
        int expectedMismatches;
    };
    const Page pages[] = {{932, "CP932", 5},    {936, "CP936", 2150}, {949, "CP949", 0},
                          {950, "CP950", 249},  {1361, "JOHAB", 17},  {10001, nullptr, 0},
                          {51932, "EUC-JP", 1}, {51936, "EUC-CN", 0}, {51949, "EUC-KR", 0}};
    for (const Page &page : pages) {
        const MultiByteTable *table = CodePageTables::MultiByte(page.codePage);
        ASSERT_NE(nullptr, table) << page.codePage;
        Iconv oracle("UTF-16LE", page.iconvName ? page.iconvName : "UTF-8");
        int entries = 0, mismatches = 0;
        table->ForEachDecodeEntry([&](uint32_t code, uint16_t unit) {
            ++entries;
            std::string bytes = CodeBytes(code), got, back, again;
            EXPECT_TRUE(Conv(page.codePage, 1200, bytes, &got)) << page.codePage << " " << code;
            EXPECT_EQ(Unit(unit), got) << page.codePage << " " << code;
            EXPECT_TRUE(Conv(1200, page.codePage, Unit(unit), &back)) << page.codePage << " " << code;
            EXPECT_TRUE(Conv(page.codePage, 1200, back, &again)) << page.codePage << " " << code;
            EXPECT_EQ(Unit(unit), again) << page.codePage << " " << code;
            if (page.iconvName != nullptr) {
                std::string expected;
                if (!oracle.Run(bytes, &expected) || expected != got)
                    ++mismatches;
            }
        });
        EXPECT_GT(entries, 7000) << page.codePage;
        EXPECT_EQ(page.expectedMismatches, mismatches) << page.codePage;
    }
}

TEST(CodePageOracle, ConversionsBetweenTwoPagesMatchIconv) {
    const OraclePage pairs[][2] = {
        {{1252, "CP1252"}, {437, "CP437"}},        {{20866, "KOI8-R"}, {1251, "CP1251"}},
        {{28592, "ISO-8859-2"}, {1250, "CP1250"}}, {{1047, "IBM1047"}, {28591, "ISO-8859-1"}},
        {{850, "CP850"}, {1252, "CP1252"}},        {{28597, "ISO-8859-7"}, {1253, "CP1253"}},
    };
    for (const auto &pair : pairs) {
        Iconv oracle(pair[1].iconvName, pair[0].iconvName);
        ASSERT_TRUE(oracle.Ok());
        for (int b = 1; b < 256; ++b) {
            std::string in(1, static_cast<char>(b)), expected, got;
            bool mapped = oracle.Run(in, &expected);
            bool ok = Conv(pair[0].codePage, pair[1].codePage, in, &got);
            EXPECT_EQ(mapped, ok) << pair[0].codePage << "->" << pair[1].codePage << " byte " << b;
            EXPECT_EQ(mapped ? expected : "", got)
                << pair[0].codePage << "->" << pair[1].codePage << " byte " << b;
        }
    }
    // Multi-byte to multi-byte through UTF-16, entry by entry. Expected differences: U+FF5E (932's
    // 0x8160), which glibc writes as the JIS X 0212 tilde of EUC-JP while our 51932 table reads that code
    // as "~"; and GB2312's U+30FB and U+2015 (0xA1A4, 0xA1AA), which Microsoft's 936 table maps to other
    // characters, so that only glibc's one-way fallback finds a code for them.
    struct MbPair {
        int32_t from, to;
        const char *fromName, *toName;
        int expectedMismatches;
    };
    for (const MbPair &pair :
         {MbPair{51949, 949, "EUC-KR", "CP949", 0}, MbPair{51936, 936, "EUC-CN", "CP936", 2},
          MbPair{932, 51932, "CP932", "EUC-JP", 1}}) {
        Iconv oracle(pair.toName, pair.fromName);
        ASSERT_TRUE(oracle.Ok());
        int compared = 0, mismatches = 0;
        CodePageTables::MultiByte(pair.from)->ForEachDecodeEntry([&](uint32_t code, uint16_t) {
            std::string bytes = CodeBytes(code), expected, got;
            // A space after the code: glibc's EUC-CN reader reports a code at the very end as cut short.
            if (!oracle.Run(bytes + " ", &expected))
                return; // glibc has no mapping of its own to compare with
            ++compared;
            if (!Conv(pair.from, pair.to, bytes + " ", &got) || expected != got)
                ++mismatches;
        });
        EXPECT_GT(compared, 6000) << pair.fromName;
        EXPECT_EQ(pair.expectedMismatches, mismatches) << pair.fromName;
    }
}

#ifdef VANTRY_HAVE_ICU
// The single-byte pages glibc lacks (or has in an older version), whose ICU table is the vendor's.
TEST(CodePageOracle, PagesMissingFromGlibcDecodeLikeIcu) {
    const OraclePage pages[] = {{37, "ibm-37"},           {10000, "macintosh"},
                                {10006, "x-mac-greek"},   {10007, "x-mac-cyrillic"},
                                {10081, "x-mac-turkish"}, {20838, "ibm-838"}};
    for (const OraclePage &page : pages) {
        for (int b = 1; b < 256; ++b) {
            UErrorCode status = U_ZERO_ERROR;
            UConverter *cnv = ucnv_open(page.iconvName, &status);
            ASSERT_TRUE(U_SUCCESS(status)) << page.iconvName;
            ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
            UChar unit[4];
            char in = static_cast<char>(b);
            int32_t n = ucnv_toUChars(cnv, unit, 4, &in, 1, &status);
            ucnv_close(cnv);
            bool mapped = U_SUCCESS(status) && n == 1;
            std::string got;
            bool ok = Conv(page.codePage, 1200, std::string(1, in), &got);
            EXPECT_EQ(mapped, ok) << page.codePage << " byte " << b;
            if (mapped) {
                EXPECT_EQ(Unit(unit[0]), got) << page.codePage << " byte " << b;
            }
        }
    }
}
#endif
