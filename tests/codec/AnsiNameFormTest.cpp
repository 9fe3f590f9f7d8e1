// The file routines decide a name's message form (ANSI or UTF-8) without the charset converter; these
// tests hold that decision to the converter's own answer (XString::IsAnsiExact) over every BMP
// character, malformed and four-byte sequences and random bytes.
#include <gtest/gtest.h>
#include <random>
#include <string>

#include "codec/XString.h"
#include "core/FileSys.h"

using namespace vantry;

namespace {

bool ConverterSaysExact(const std::string &name) {
    XString x;
    x.SetUtf8(name.c_str());
    return x.IsAnsiExact();
}

std::string Utf8Of(uint32_t cp) {
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (cp >> 18));
        s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

void ExpectAgreement(const std::string &name) {
    EXPECT_EQ(FileSys::UsesAnsiNameForm(name.c_str()), ConverterSaysExact(name)) << "name bytes: " << [&] {
        std::string hex;
        for (unsigned char c : name) {
            char b[4];
            std::snprintf(b, sizeof b, "%02X ", c);
            hex += b;
        }
        return hex;
    }();
}

} // namespace

TEST(AnsiNameForm, KnownNames) {
    EXPECT_TRUE(FileSys::UsesAnsiNameForm("plain.txt"));
    EXPECT_TRUE(FileSys::UsesAnsiNameForm("caf\xC3\xA9.txt"));  // é
    EXPECT_TRUE(FileSys::UsesAnsiNameForm("\xE2\x82\xAC.txt")); // € is 0x80 of the page
    EXPECT_FALSE(FileSys::UsesAnsiNameForm("\xCE\xA9.txt"));    // Ω
    EXPECT_FALSE(FileSys::UsesAnsiNameForm("\xC2\x81.txt"));    // 0x81 has no character
    EXPECT_FALSE(FileSys::UsesAnsiNameForm("a\xEF\xBB\xBF"
                                           "b")); // a byte-order mark inside the name
    EXPECT_TRUE(FileSys::UsesAnsiNameForm("\xEF\xBB\xBF"
                                          "b")); // a leading one is skipped
    EXPECT_TRUE(FileSys::UsesAnsiNameForm(""));
    EXPECT_TRUE(FileSys::UsesAnsiNameForm(nullptr));
}

TEST(AnsiNameForm, AgreesWithTheConverterForEveryBmpCharacter) {
    for (uint32_t cp = 1; cp < 0x10000; ++cp) {
        ExpectAgreement("n" + Utf8Of(cp) + "x");
        if (HasFailure())
            return;
    }
}

TEST(AnsiNameForm, AgreesWithTheConverterOnMalformedAndFourByteSequences) {
    for (uint32_t cp : {0x10000u, 0x1F600u, 0x10FFFFu})
        ExpectAgreement("a" + Utf8Of(cp) + "b");
    for (int b0 = 0x80; b0 <= 0xFF; ++b0) {
        for (int b1 = 1; b1 <= 0xFF; ++b1) {
            ExpectAgreement(std::string{static_cast<char>(b0), static_cast<char>(b1)});
            ExpectAgreement(std::string{static_cast<char>(b0), static_cast<char>(b1), '\x80'});
            ExpectAgreement(std::string{'z', static_cast<char>(b0), static_cast<char>(b1), '\xA9'});
        }
        if (HasFailure())
            return;
    }
    ExpectAgreement("\xEF\xBB\xBF");
    ExpectAgreement("\xEF\xBB\xBF\xEF\xBB\xBF");
    ExpectAgreement("\xEF\xBB");
}

TEST(AnsiNameForm, AgreesWithTheConverterOnRandomBytes) {
    std::mt19937 rng(20240611);
    const unsigned char pool[] = {'a',  '.',  0x80, 0x81, 0x8F, 0x9F, 0xA0, 0xA9, 0xBF, 0xC0, 0xC2,
                                  0xC3, 0xC5, 0xCE, 0xDF, 0xE0, 0xE2, 0xED, 0xEF, 0xF0, 0xF4, 0xFF};
    for (int i = 0; i < 40000; ++i) {
        std::string name;
        const int n = 1 + static_cast<int>(rng() % 9);
        for (int k = 0; k < n; ++k)
            name += static_cast<char>(pool[rng() % sizeof pool]);
        ExpectAgreement(name);
        if (HasFailure())
            return;
    }
}
