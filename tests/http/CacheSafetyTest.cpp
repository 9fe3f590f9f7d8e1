// The cache rules that keep a stored response from being replayed where it must not be: entries fetched
// over an unverified TLS channel, responses private to a requester who sent credentials or cookies,
// header fields that would become lines of their own, and entries that unpack beyond the body limit
// (a planted bzip2 bomb among them). Old files, written without the verification flag, still load.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "core/Crc32.h"
#include "core/DataBuffer.h"
#include "http/CacheBzip2.h"
#include "http/CacheEntry.h"
#include "http/CacheTestHelpers.h"
#include "http/HttpCacheSteps.h"
#include "http/HttpControl.h"
#include "http/HttpResult.h"
#include "net/RecordingLog.h"
#include "support/TestSupport.h"

using namespace vantry;

using cachetest::Le32Bytes;
using cachetest::SetBytes;

namespace {

constexpr const char *kUnverified =
    "info: Cache entry did not come over a verified TLS channel; not served to a request that requires one.";
constexpr const char *kTooLarge = "info: Cache entry is larger than the maximum allowed; not served.";
constexpr const char *kOk = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n";

// bzip2 of 758 MiB of zero bytes (794820608), 594 bytes, and the CRC-32 of those bytes.
constexpr const char *kBombHex =
    "425a68393141592653590e09e2df015f8e4000c0000008200030804d4642a025a90a80973141592653590e09e2df015f8e4000c0"
    "000008200030804d4642a025a90a80973141592653590e09e2df015f8e4000c0000008200030804d4642a025a90a809731415926"
    "53590e09e2df015f8e4000c0000008200030804d4642a025a90a80973141592653590e09e2df015f8e4000c0000008200030804d"
    "4642a025a90a80973141592653590e09e2df015f8e4000c0000008200030804d4642a025a90a80973141592653590e09e2df015f"
    "8e4000c0000008200030804d4642a025a90a80973141592653590e09e2df015f8e4000c0000008200030804d4642a025a90a8097"
    "3141592653590e09e2df015f8e4000c0000008200030804d4642a025a90a80973141592653590e09e2df015f8e4000c000000820"
    "0030804d4642a025a90a80973141592653590e09e2df015f8e4000c0000008200030804d4642a025a90a80973141592653590e09"
    "e2df015f8e4000c0000008200030804d4642a025a90a80973141592653590e09e2df015f8e4000c0000008200030804d4642a025"
    "a90a80973141592653590e09e2df015f8e4000c0000008200030804d4642a025a90a80973141592653590e09e2df015f8e4000c0"
    "000008200030804d4642a025a90a80973141592653590e09e2df015f8e4000c0000008200030804d4642a025a90a809731415926"
    "53590e09e2df015f8e4000c0000008200030804d4642a025a90a8097314159265359e52c869f006f514040c00000080008200030"
    "cc09aa69a54904da8a9209e2ee48a70a120d013a42e0";
constexpr uint32_t kBombSize = 794820608u;
constexpr uint32_t kBombCrc = 0x56b58e4cu;

std::string FromHex(const std::string &hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

ExchangeTrust Trust(bool verified, bool credentials = false) {
    ExchangeTrust t;
    t.OverVerifiedTls = verified;
    t.CarriedCredentials = credentials;
    return t;
}

class CacheSafety : public ::testing::Test {
protected:
    CacheSafety() {
        control.CacheStore.AddRoot(dir.Path().c_str());
        control.HttpStore.AddRoot(dir.Path().c_str());
        control.HttpStore.SetFileCount(1);
    }
    void Store(const char *url, const std::string &head, const std::string &body,
               const ExchangeTrust &trust) {
        HttpResult result;
        result.Header.Parse(head.c_str());
        DataBuffer b;
        SetBytes(b, body);
        UpdateCacheFromResponse(url, control, result, b, trust, log);
    }
    // Whether a look-up of the URL is a hit (the found header and body stay for inspection).
    bool Hit(const char *url) {
        found.Reset();
        foundBody.Clear();
        LookUpCache(url, 0, control, foundBody, found, expired, etag, expiry, log);
        return found.CacheStatus == 1;
    }
    // Writes a ".caf" file for url holding one entry whose body is the given stream (compressed set)
    // standing for a body of bodySize bytes with the CRC-32 bodyCrc.
    void PlantCaf(const char *url, const std::string &stream, bool compressed, uint32_t bodyCrc) {
        DataBuffer header;
        ASSERT_TRUE(CacheBzip2::Pack(kOk, static_cast<uint32_t>(std::strlen(kOk)) + 1, header));
        CacheEntryFields f;
        f.BodyCrc = bodyCrc;
        f.Flags = compressed ? CacheEntryFields::kCompressedBody : 0;
        uint8_t stamp[4] = {24, 3, 1, 12};
        std::memcpy(f.StampWritten, stamp, 4);
        std::memcpy(f.StampValid, stamp, 4);
        f.UrlLengthPlusOne = static_cast<uint32_t>(std::strlen(url)) + 1;
        f.HeaderLength = header.Length();
        f.BodyLength = static_cast<uint32_t>(stream.size());
        uint8_t fixed[CacheEntryFields::kSize];
        f.Encode(fixed);
        std::string file = Le32Bytes(10) + Le32Bytes(1) + Le32Bytes(88) +
                           Le32Bytes(Crc32::Compute(url, static_cast<uint32_t>(std::strlen(url)))) +
                           std::string(72, '\0');
        file += std::string(reinterpret_cast<const char *>(fixed), sizeof fixed);
        file += std::string(url, f.UrlLengthPlusOne);
        file += cachetest::Bytes(header) + stream;
        StringBuffer path;
        ASSERT_TRUE(control.HttpStore.CafPath(url, path));
        std::filesystem::create_directories(std::filesystem::path(path.Text()).parent_path());
        testsupport::WriteFileBytes(path.Text(), file);
    }

    cachetest::FixedClock clock;
    testsupport::TempDir dir;
    HttpControl control;
    RecordingLog log;
    HttpResult found;
    DataBuffer foundBody;
    bool expired = false;
    StringBuffer etag;
    double expiry = 0;
};

} // namespace

TEST_F(CacheSafety, AnHttpsEntryFromAnUnverifiedChannelIsServedOnlyWhereVerificationIsOff) {
    for (bool caf : {false, true}) {
        control.UseHttpCache = caf;
        Store("https://bank.example/unverified", kOk, "forged?", Trust(false));
        Store("https://bank.example/verified", kOk, "genuine", Trust(true));
        Store("http://plain.example/", kOk, "plain", Trust(false));
        control.RequireVerifiedServer = true;
        log.entries.clear();
        EXPECT_FALSE(Hit("https://bank.example/unverified")) << caf;
        EXPECT_TRUE(log.Has(kUnverified)) << log.Dump();
        EXPECT_EQ(foundBody.Length(), 0u);
        EXPECT_TRUE(Hit("https://bank.example/verified")) << caf;
        EXPECT_EQ(cachetest::Bytes(foundBody), "genuine");
        // Plain http involves no certificate: its entries are served as before.
        EXPECT_TRUE(Hit("http://plain.example/")) << caf;
        control.RequireVerifiedServer = false;
        EXPECT_TRUE(Hit("https://bank.example/unverified")) << caf;
        EXPECT_EQ(cachetest::Bytes(foundBody), "forged?");
    }
}

TEST_F(CacheSafety, FilesWrittenWithoutTheFlagStillLoadAndCountAsUnverified) {
    // The forms every earlier version wrote: flag byte 0 in ".dat", flag value 2 in ".caf".
    DataBuffer payload;
    SetBytes(payload, Le32Bytes(4 + static_cast<uint32_t>(std::strlen(kOk))) + kOk + "old dat");
    ASSERT_TRUE(control.CacheStore.SaveToCache("https://old.example/", 0, "", payload, log));
    DataBuffer body;
    SetBytes(body, "old caf");
    ASSERT_TRUE(
        control.HttpStore.SaveAppending("https://old.example/", kOk, body, false, 0, 0, 2, "Nothing"));
    for (bool caf : {false, true}) {
        control.UseHttpCache = caf;
        control.RequireVerifiedServer = false;
        ASSERT_TRUE(Hit("https://old.example/")) << caf << log.Dump();
        EXPECT_EQ(cachetest::Bytes(foundBody), caf ? "old caf" : "old dat");
        control.RequireVerifiedServer = true;
        EXPECT_FALSE(Hit("https://old.example/")) << caf;
    }
}

TEST_F(CacheSafety, PrivateOrNoStoreResponsesToARequestWithCredentialsOrCookiesAreNotStored) {
    const char *marks[] = {"private", "no-store", "max-age=600, private", "Private=\"Set-Cookie\"",
                           "public, NO-STORE"};
    int n = 0;
    for (bool caf : {false, true}) {
        control.UseHttpCache = caf;
        for (const char *mark : marks) {
            std::string head = std::string("HTTP/1.1 200 OK\r\nCache-Control: ") + mark + "\r\n\r\n";
            std::string withCredentials = "http://shop.example/account?" + std::to_string(n++);
            std::string without = "http://shop.example/public?" + std::to_string(n++);
            // ".dat" refuses a whole "no-store" value by its earlier rule, whoever asked.
            bool datRefuses = std::string(mark) == "no-store";
            log.entries.clear();
            Store(withCredentials.c_str(), head, "mine", Trust(false, true));
            if (caf || !datRefuses) {
                EXPECT_TRUE(
                    log.Has("info: Not updating cache because the response is private or no-store and "
                            "the request carried credentials or cookies"))
                    << mark << log.Dump();
            }
            EXPECT_FALSE(Hit(withCredentials.c_str())) << mark << " caf=" << caf;
            // Without credentials the earlier rules alone decide.
            Store(without.c_str(), head, "anyone's", Trust(false, false));
            EXPECT_EQ(Hit(without.c_str()), caf || !datRefuses) << mark << " caf=" << caf;
        }
        // Other marks do not stop a response to a request with credentials.
        Store("http://shop.example/max-age", "HTTP/1.1 200 OK\r\nCache-Control: max-age=60\r\n\r\n", "ok",
              Trust(false, true));
        EXPECT_TRUE(Hit("http://shop.example/max-age")) << caf;
    }
}

TEST_F(CacheSafety, FieldsHoldingLineBreaksAreNotStoredSoNoneIsReplayedOrSent) {
    // Encoded words decode to CR LF: an ETag that would smuggle a line into If-None-Match, and a
    // Last-Modified that would plant a Set-Cookie line in the stored head.
    const std::string head = "HTTP/1.1 200 OK\r\n"
                             "ETag: =?utf-8?Q?\"a\"=0D=0AX-Smuggled:_1?=\r\n"
                             "Last-Modified: =?utf-8?Q?x=0D=0ASet-Cookie:_sid=planted?=\r\n"
                             "Expires: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
                             "X-Kept: yes\r\n\r\n";
    for (bool caf : {false, true}) {
        control.UseHttpCache = caf;
        log.entries.clear();
        Store("http://site.example/page", head, "body", Trust(false));
        EXPECT_TRUE(log.Has("info: Not storing a header field whose value holds a CR, LF or NUL byte"))
            << log.Dump();
        ASSERT_TRUE(Hit("http://site.example/page")) << caf << log.Dump();
        for (const char *gone : {"ETag", "Last-Modified", "X-Smuggled", "Set-Cookie"})
            EXPECT_FALSE(found.Header.HasField(gone)) << gone << " caf=" << caf;
        EXPECT_TRUE(found.Header.HasField("X-Kept"));
        if (!caf) {
            EXPECT_TRUE(expired);
            EXPECT_STREQ(etag.Text(), ""); // the tag was not stored
        }
    }
}

TEST_F(CacheSafety, APlantedEntityTagWithALineBreakIsNotTakenUp) {
    DataBuffer payload;
    SetBytes(payload, Le32Bytes(4 + static_cast<uint32_t>(std::strlen(kOk))) + kOk + "body");
    ASSERT_TRUE(control.CacheStore.SaveToCache("http://site.example/planted", 1.0, "\"a\"\r\nX-Smuggled: 1",
                                               payload, log));
    ASSERT_TRUE(Hit("http://site.example/planted"));
    EXPECT_TRUE(expired);
    EXPECT_STREQ(etag.Text(), "");
}

TEST_F(CacheSafety, APlantedBzip2BombIsAMissThatUnpacksNoFurtherThanTheLimit) {
    const char *url = "http://victim.example/";
    PlantCaf(url, FromHex(kBombHex), true, kBombCrc);
    control.UseHttpCache = true;
    ASSERT_LT(FromHex(kBombHex).size(), 600u);
    ASSERT_GT(kBombSize, 700u << 20);
    EXPECT_FALSE(Hit(url));
    EXPECT_TRUE(log.HasInOrder({kTooLarge, "data: maxContentLength=16777216"})) << log.Dump();
    EXPECT_EQ(foundBody.Length(), 0u);
    // Straight from the store, the same limit holds.
    bool negative = false, over = false;
    EXPECT_EQ(control.HttpStore.FetchEntry(url, negative, HttpCache::kDefaultMaxBody, &over), nullptr);
    EXPECT_TRUE(over);
}

TEST_F(CacheSafety, EntriesLargerThanMaxContentLengthOrSixteenMiBAreMisses) {
    const std::string big(17u << 20, 'z');
    const std::string two(2u << 20, 'y');
    control.UseHttpCache = true;
    Store("http://big.example/", kOk, big, Trust(false));
    Store("http://two.example/", kOk, two, Trust(false));
    Store("http://two.example/x.gif", kOk, two, Trust(false)); // stored as it is, not compressed
    EXPECT_FALSE(Hit("http://big.example/")) << "16 MiB when no limit is set";
    EXPECT_TRUE(Hit("http://two.example/"));
    control.MaxContentLength = 32u << 20;
    EXPECT_TRUE(Hit("http://big.example/"));
    EXPECT_EQ(foundBody.Length(), big.size());
    control.MaxContentLength = 1u << 20;
    log.entries.clear();
    EXPECT_FALSE(Hit("http://two.example/"));
    EXPECT_FALSE(Hit("http://two.example/x.gif"));
    EXPECT_TRUE(log.Has(kTooLarge)) << log.Dump();
    // The ".dat" store keeps bodies as they are; MaxContentLength bounds what it serves too.
    control.UseHttpCache = false;
    Store("http://two.example/", kOk, two, Trust(false));
    EXPECT_FALSE(Hit("http://two.example/"));
    control.MaxContentLength = 0;
    EXPECT_TRUE(Hit("http://two.example/"));
}
