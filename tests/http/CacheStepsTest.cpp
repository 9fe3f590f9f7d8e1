// Tests of the engine's cache steps: the freshness rules with a fixed clock, the directive rules
// that forbid storing, the store and look-up over both stores, expired entries and their
// validators, bad body offsets, negative entries, the 304 renewal, and the no-roots road.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "http/CacheTestHelpers.h"
#include "http/DateParser.h"
#include "http/HttpCacheSteps.h"
#include "http/HttpControl.h"
#include "http/HttpResult.h"
#include "net/RecordingLog.h"
#include "support/TestSupport.h"

using namespace vantry;

using cachetest::Bytes;
using cachetest::FixedNow;
using cachetest::SetBytes;

namespace {

constexpr double kSecond = 1.0 / 86400.0;

double Expiry(const std::string &headFields, const CacheControl &policy = CacheControl()) {
    HttpResponseHeader header;
    header.Parse(("HTTP/1.1 200 OK\r\n" + headFields + "\r\n").c_str());
    return ComputeExpirationAt(policy, header, FixedNow());
}

// The seconds between now and an expiry, rounded.
long SecondsAfterNow(double expiry) {
    return std::lround((expiry - FixedNow()) / kSecond);
}

void Respond(HttpResult &result, const std::string &head) {
    result.Header.Parse(head.c_str());
}

class CacheSteps : public ::testing::Test {
protected:
    CacheSteps() {
        control.CacheStore.AddRoot(dir.Path().c_str());
        control.HttpStore.AddRoot(dir.Path().c_str());
    }
    // Stores a response for the URL and looks it up again into fresh objects.
    void Store(const char *url, const std::string &head, const std::string &body, RecordingLog &log) {
        HttpResult result;
        Respond(result, head);
        DataBuffer b;
        SetBytes(b, body);
        UpdateCacheFromResponse(url, control, result, b, ExchangeTrust(), log);
    }
    void LookUp(const char *url, RecordingLog &log) {
        found.Reset();
        foundBody.Clear();
        LookUpCache(url, 0, control, foundBody, found, expired, etag, expiry, log);
    }

    cachetest::FixedClock clock;
    testsupport::TempDir dir;
    HttpControl control;
    HttpResult found;
    DataBuffer foundBody;
    bool expired = false;
    StringBuffer etag;
    double expiry = 0;
};

} // namespace

TEST(CacheExpiry, ExpiresDateIsTakenAsItStands) {
    DateParser dates;
    CalendarTime t;
    ASSERT_TRUE(dates.ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT", t));
    EXPECT_EQ(Expiry("Expires:  Sun, 06 Nov 1994 08:49:37 GMT \r\nCache-Control: max-age=60\r\n"),
              dates.TimeToDays(t));
}

TEST(CacheExpiry, MaxAgeCountsFromNowAndZeroOrUnreadableFallsThrough) {
    EXPECT_EQ(SecondsAfterNow(Expiry("Cache-Control: max-age=3600\r\n")), 3600);
    EXPECT_EQ(SecondsAfterNow(Expiry("Cache-Control: public, max-age=120, must-revalidate\r\n")), 120);
    EXPECT_EQ(SecondsAfterNow(Expiry("Expires: not a date\r\nCache-Control: max-age=90\r\n")), 90);
    EXPECT_EQ(SecondsAfterNow(Expiry("Cache-Control: max-age=0\r\n")), 7 * 86400);
    EXPECT_EQ(SecondsAfterNow(Expiry("Cache-Control: s-maxage=50\r\n")), 7 * 86400);
}

TEST(CacheExpiry, LastModifiedGivesTheConfiguredShareOfTheAge) {
    DateParser dates;
    CalendarTime t;
    dates.DaysToTime(FixedNow() - 10.0, t);
    StringBuffer text;
    dates.FormatHttpDate(t, 0, text);
    EXPECT_EQ(SecondsAfterNow(Expiry(std::string("Last-Modified: ") + text.Text() + "\r\n")),
              216000); // 2.5 days

    CacheControl off;
    off.FreshnessAlgorithm = 0;
    EXPECT_EQ(SecondsAfterNow(Expiry(std::string("Last-Modified: ") + text.Text() + "\r\n", off)), 7 * 86400);

    dates.DaysToTime(FixedNow() + 1.0, t); // a date in the future is not used
    dates.FormatHttpDate(t, 0, text);
    EXPECT_EQ(SecondsAfterNow(Expiry(std::string("Last-Modified: ") + text.Text() + "\r\n")), 7 * 86400);
}

TEST(CacheExpiry, DefaultFreshnessIsSevenDaysAndNeverBelow600Seconds) {
    EXPECT_EQ(SecondsAfterNow(Expiry("")), 7 * 86400);
    CacheControl shortFresh;
    shortFresh.DefaultFreshnessMinutes = 5;
    EXPECT_EQ(SecondsAfterNow(Expiry("", shortFresh)), 600);
    shortFresh.DefaultFreshnessMinutes = 11;
    EXPECT_EQ(SecondsAfterNow(Expiry("", shortFresh)), 660);
}

TEST_F(CacheSteps, DirectivesThatForbidStoringAreWholeValuesOnly) {
    struct Case {
        const char *fields;
        const char *entry; // null: stored
    } cases[] = {
        {"Cache-Control: private, max-age=0\r\n",
         "info: Not updating cache because of cache-control directive"},
        {"Cache-Control:  NO-CACHE \r\n", "info: Not updating cache because of cache-control directive"},
        {"Cache-Control: no-store\r\n", "info: Not updating cache because of cache-control directive"},
        {"Cache-Control: s-maxage=0\r\n", "info: Not updating cache because of cache-control directive"},
        {"Cache-Control: no-cache, no-store\r\n", nullptr},
        {"Pragma: no-cache\r\n", "info: Not updating cache because of no-cache pragma"},
        {"Expires:  0 \r\n", "info: Not updating cache because of Expires=0 header"},
        {"Expires: -1\r\n", nullptr},
    };
    int n = 0;
    for (const Case &c : cases) {
        std::string url = "http://d.example/" + std::to_string(n++);
        RecordingLog log;
        Store(url.c_str(), std::string("HTTP/1.1 200 OK\r\n") + c.fields + "\r\n", "b", log);
        if (c.entry) {
            EXPECT_TRUE(log.Has(c.entry)) << c.fields << log.Dump();
            EXPECT_FALSE(control.CacheStore.Exists(url.c_str())) << c.fields;
        } else {
            EXPECT_TRUE(log.Has("info: Cache updated.")) << c.fields << log.Dump();
        }
    }
    control.CachePolicy.IgnoreNoCacheDirectives = 1;
    RecordingLog log;
    Store("http://d.example/ignored", "HTTP/1.1 200 OK\r\nCache-Control: no-store\r\n\r\n", "b", log);
    EXPECT_TRUE(log.Has("info: Cache updated."));
}

TEST_F(CacheSteps, OnlyStatus200IsStoredInTheDatStoreAnd304IsSilent) {
    RecordingLog log;
    Store("http://s.example/404", "HTTP/1.1 404 Not Found\r\n\r\n", "x", log);
    EXPECT_TRUE(
        log.HasInOrder({"info: Not updating cache because status code != 200", "data: statusCode=404"}));
    RecordingLog quiet;
    Store("http://s.example/304", "HTTP/1.1 304 Not Modified\r\n\r\n", "", quiet);
    EXPECT_TRUE(quiet.entries.empty()) << quiet.Dump();
    control.CachePolicy.UpdateCache = 0;
    Store("http://s.example/off", "HTTP/1.1 200 OK\r\n\r\n", "x", quiet);
    EXPECT_TRUE(quiet.entries.empty());
}

TEST_F(CacheSteps, AStoredResponseIsAFreshHitWithItsHeaderAndBody) {
    RecordingLog log;
    Store("http://h.example/a",
          "HTTP/1.1 200 OK\r\nETag: \"v1\"\r\nContent-Type: text/html\r\nX-A: 1\r\n\r\n", "<html>hi</html>",
          log);
    EXPECT_TRUE(log.HasInOrder({"data: UrlToCache=http://h.example/a"}));
    EXPECT_TRUE(log.Has("data: Etag=\"v1\""));
    EXPECT_TRUE(log.Has("info: Cache updated."));

    RecordingLog look;
    LookUp("http://h.example/a", look);
    EXPECT_EQ(found.CacheStatus, 1);
    EXPECT_FALSE(expired);
    EXPECT_TRUE(look.Has("info: Cache hit."));
    EXPECT_EQ(Bytes(foundBody), "<html>hi</html>");
    EXPECT_EQ(found.Header.StatusCode, 200);
    StringBuffer v;
    found.Header.GetField("X-A", v);
    EXPECT_STREQ(v.Text(), "1");
}

TEST_F(CacheSteps, AnEntryPastItsExpiryIsAHitMarkedExpiredWithItsValidators) {
    RecordingLog log;
    Store("http://h.example/old",
          "HTTP/1.1 200 OK\r\nETag: \"e7\"\r\nExpires: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\n", "old", log);
    ASSERT_TRUE(log.Has("info: Cache updated.")) << log.Dump();
    RecordingLog look;
    LookUp("http://h.example/old", look);
    EXPECT_TRUE(expired);
    EXPECT_EQ(found.CacheStatus, 1);
    EXPECT_STREQ(etag.Text(), "\"e7\"");
    EXPECT_GT(expiry, 0);
    EXPECT_TRUE(look.HasInOrder({"info: Cache entry expired.", "data: ExpiredEtag=\"e7\""}));
    EXPECT_TRUE(look.Has("info: Cache hit."));
}

TEST_F(CacheSteps, BodiesShorterThanFourBytesAndEmptyBodiesAreServed) {
    RecordingLog log;
    Store("http://h.example/3", "HTTP/1.1 200 OK\r\nX-Pad: 0123456789\r\n\r\n", "abc", log);
    Store("http://h.example/0", "HTTP/1.1 200 OK\r\nX-Pad: 0123456789\r\n\r\n", "", log);
    RecordingLog look;
    LookUp("http://h.example/3", look);
    EXPECT_EQ(found.CacheStatus, 1);
    EXPECT_EQ(Bytes(foundBody), "abc");
    LookUp("http://h.example/0", look);
    EXPECT_EQ(found.CacheStatus, 1);
    EXPECT_EQ(foundBody.Length(), 0u);
    EXPECT_FALSE(look.Has("error: Bad offset in cache file"));
}

TEST_F(CacheSteps, FetchFromCacheOffFindsNothing) {
    RecordingLog log;
    Store("http://h.example/f", "HTTP/1.1 200 OK\r\n\r\n", "b", log);
    control.CachePolicy.FetchFromCache = 0;
    RecordingLog look;
    LookUp("http://h.example/f", look);
    EXPECT_EQ(found.CacheStatus, 0);
    EXPECT_EQ(foundBody.Length(), 0u);
}

TEST_F(CacheSteps, ABodyOffsetOutOfRangeIsAMissWithTheOffsetEntries) {
    std::string payload = cachetest::Le32Bytes(5000) + std::string(30, 'p');
    DataBuffer p;
    SetBytes(p, payload);
    RecordingLog log;
    ASSERT_TRUE(control.CacheStore.SaveToCache("http://bad/", 0, "", p, log));
    RecordingLog look;
    LookUp("http://bad/", look);
    EXPECT_EQ(found.CacheStatus, 0);
    EXPECT_TRUE(look.HasInOrder({"error: Bad offset in cache file", "data: offset=5000", "data: dbSize=34"}));

    SetBytes(p, cachetest::Le32Bytes(2) + std::string(30, 'p')); // inside the offset field itself
    ASSERT_TRUE(control.CacheStore.SaveToCache("http://bad2/", 0, "", p, log));
    LookUp("http://bad2/", look);
    EXPECT_EQ(found.CacheStatus, 0);

    SetBytes(p, cachetest::Le32Bytes(4) + std::string(10, 'p')); // 20 bytes or fewer are not used
    ASSERT_TRUE(control.CacheStore.SaveToCache("http://short/", 0, "", p, log));
    RecordingLog shortLook;
    LookUp("http://short/", shortLook);
    EXPECT_EQ(found.CacheStatus, 0);
    EXPECT_FALSE(shortLook.Has("error: Bad offset in cache file"));
}

TEST_F(CacheSteps, WithoutRootsA200LogsTheRoadOfAnUnstoredResponse) {
    HttpControl bare;
    HttpResult result;
    Respond(result, "HTTP/1.1 200 OK\r\nETag: \"x\"\r\n\r\n");
    DataBuffer body;
    RecordingLog log;
    UpdateCacheFromResponse("http://n.example/", bare, result, body, ExchangeTrust(), log);
    EXPECT_TRUE(log.HasInOrder({"data: UrlToCache=http://n.example/", "data: Etag=\"x\"",
                                "error: No cache roots have been set.  Need to call AddRoot at least once.",
                                "error: Cache not updated."}))
        << log.Dump();
    bool sawExpire = false;
    for (auto &e : log.entries)
        sawExpire |= e.rfind("data: NewExpireTime=", 0) == 0;
    EXPECT_TRUE(sawExpire);
}

TEST_F(CacheSteps, RenewAfter304MovesTheExpiryOfTheDatEntry) {
    RecordingLog log;
    Store("http://r.example/", "HTTP/1.1 200 OK\r\nExpires: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\n", "kept",
          log);
    HttpResponseHeader notModified;
    notModified.Parse("HTTP/1.1 304 Not Modified\r\nCache-Control: max-age=600\r\n\r\n");
    RecordingLog renew;
    RenewCachedEntry("http://r.example/", control, notModified, renew);
    bool named = false;
    for (auto &e : renew.entries)
        named |= e.rfind("data: NewExpiration=", 0) == 0;
    EXPECT_TRUE(named);
    RecordingLog look;
    LookUp("http://r.example/", look);
    EXPECT_FALSE(expired);
    EXPECT_EQ(Bytes(foundBody), "kept");
}

TEST_F(CacheSteps, TheCafStoreKeepsResponsesFrom200To499AndServesThem) {
    control.UseHttpCache = true;
    RecordingLog log;
    Store("http://c.example/404", "HTTP/1.1 404 Not Found\r\nX: y\r\n\r\n", "missing", log);
    Store("http://c.example/500", "HTTP/1.1 500 Oops\r\n\r\n", "e", log);
    Store("http://c.example/100", "HTTP/1.1 100 Continue\r\n\r\n", "", log);
    EXPECT_TRUE(control.HttpStore.Exists("http://c.example/404"));
    EXPECT_FALSE(control.HttpStore.Exists("http://c.example/500"));
    EXPECT_FALSE(control.HttpStore.Exists("http://c.example/100"));
    RecordingLog look;
    LookUp("http://c.example/404", look);
    EXPECT_EQ(found.CacheStatus, 1);
    EXPECT_EQ(found.Header.StatusCode, 404);
    EXPECT_EQ(Bytes(foundBody), "missing");
    // Storing again replaces the entry.
    Store("http://c.example/404", "HTTP/1.1 200 OK\r\n\r\n", "found now", log);
    LookUp("http://c.example/404", look);
    EXPECT_EQ(Bytes(foundBody), "found now");
}

TEST_F(CacheSteps, ANegativeCafEntryGivesStatus2AndItsEntryUnlessQuiet) {
    control.UseHttpCache = true;
    HttpResult failed;
    DataBuffer none;
    RecordingLog log;
    StoreNegativeEntry("http://dead.example/", control, failed, none, log);
    RecordingLog look;
    LookUp("http://dead.example/", look);
    EXPECT_EQ(found.CacheStatus, 2);
    EXPECT_TRUE(look.HasInOrder({"error: Found negative cache entry.", "data: url=http://dead.example/"}));
    control.CachePolicy.QuietNegativeHits = 1;
    RecordingLog quiet;
    LookUp("http://dead.example/", quiet);
    EXPECT_EQ(found.CacheStatus, 2);
    EXPECT_TRUE(quiet.entries.empty());
}

TEST_F(CacheSteps, ACachedRedirectIsFollowedAndAFailedOneGoesToTheNetwork) {
    control.UseHttpCache = true;
    RecordingLog log;
    Store("http://m.example/old", "HTTP/1.1 301 Moved\r\nLocation: http://m.example/new\r\n\r\n", "", log);
    int calls = 0;
    bool succeed = true;
    CachedRedirectFollower follow = [&](const char *url, int32_t depth, HttpControl &, DataBuffer &body,
                                        HttpResult &result, LogBase &) {
        ++calls;
        EXPECT_STREQ(url, "http://m.example/old");
        EXPECT_EQ(depth, 0);
        EXPECT_EQ(result.Header.StatusCode, 301);
        body.Clear();
        body.Append("new", 3);
        return succeed;
    };
    found.Reset();
    foundBody.Clear();
    LookUpCache("http://m.example/old", 0, control, foundBody, found, expired, etag, expiry, log, follow);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(found.CacheStatus, 1);
    EXPECT_EQ(Bytes(foundBody), "new");
    EXPECT_FALSE(found.CachedRedirectFailed);

    succeed = false;
    found.Reset();
    foundBody.Clear();
    LookUpCache("http://m.example/old", 0, control, foundBody, found, expired, etag, expiry, log, follow);
    EXPECT_TRUE(found.CachedRedirectFailed);
    EXPECT_EQ(found.CacheStatus, 0);
    EXPECT_EQ(foundBody.Length(), 0u);
}

TEST_F(CacheSteps, EveryRedirectStatusTheEngineFollowsIsFollowedFromTheCache) {
    control.UseHttpCache = true;
    RecordingLog log;
    for (int status : {302, 303, 307, 308, 300}) {
        std::string url = "http://m.example/s" + std::to_string(status);
        Store(url.c_str(),
              "HTTP/1.1 " + std::to_string(status) + " R\r\nLocation: http://m.example/new\r\n\r\n", "", log);
        int calls = 0;
        CachedRedirectFollower follow = [&](const char *, int32_t, HttpControl &, DataBuffer &, HttpResult &,
                                            LogBase &) { return ++calls > 0; };
        found.Reset();
        foundBody.Clear();
        LookUpCache(url.c_str(), 0, control, foundBody, found, expired, etag, expiry, log, follow);
        EXPECT_EQ(calls, status == 300 ? 0 : 1) << status;
    }
}

TEST_F(CacheSteps, DnsConditionsNeedTheCafStoreWithARootAndMarksNeedUpdateCache) {
    HttpControl bare;
    bare.UseHttpCache = true;
    EXPECT_FALSE(DnsEntriesActive(bare));
    EXPECT_FALSE(DnsEntriesActive(control)); // roots, but the .dat store is in use
    control.UseHttpCache = true;
    EXPECT_TRUE(DnsEntriesActive(control));
    EXPECT_TRUE(DnsMarksActive(control));
    control.CachePolicy.UpdateCache = 0;
    EXPECT_FALSE(DnsMarksActive(control));
}
