// The cache and cookie steps inside the GET engine, against the scripted server: revalidation with
// If-None-Match and If-Modified-Since and the 304 path, hits without network from both stores,
// negative entries, DNS marks, and cookies saved from one response and sent with the next.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "core/DataBuffer.h"
#include "http/CacheTestHelpers.h"
#include "http/EngineTestSupport.h"
#include "http/HttpClient.h"
#include "http/HttpControl.h"
#include "http/HttpMan.h"
#include "http/HttpResult.h"
#include "net/RecordingLog.h"
#include "support/ScriptedServer.h"
#include "support/TestSupport.h"

using namespace vantry;

using enginetest::AllReceived;
using enginetest::Ok;
using enginetest::Text;
using enginetest::Url;
using testsupport::ConnectionScript;
using testsupport::ScriptedServer;

namespace {

constexpr const char *kPast = "Expires: Sun, 06 Nov 1994 08:49:37 GMT\r\n";

// Answers the requests of every connection in turn from a list of replies (the last one repeats),
// and counts the requests.
class Replies {
public:
    explicit Replies(std::vector<std::string> replies) : m_replies(std::move(replies)) {}
    ConnectionScript Script() {
        return ConnectionScript().AnswerEach("\r\n\r\n", [this](const std::string &) {
            int n = m_count++;
            return m_replies[n < static_cast<int>(m_replies.size()) ? n : m_replies.size() - 1];
        });
    }
    int Count() const { return m_count; }

private:
    std::vector<std::string> m_replies;
    std::atomic<int> m_count{0};
};

struct Engine {
    cachetest::FixedClock clock;
    testsupport::TempDir dir;
    HttpClient client;
    HttpControl control;
    HttpResult result;
    DataBuffer body;
    RecordingLog log;
    Engine() {
        control.ConnectTimeout = 2;
        control.ReadTimeout = 3;
        control.CacheStore.AddRoot(dir.Path().c_str());
        control.HttpStore.AddRoot(dir.Path().c_str());
    }
    bool Get(const std::string &url) {
        result.Reset();
        log.entries.clear();
        return client.HttpGet(url.c_str(), 0, true, control, body, result, log);
    }
};

} // namespace

TEST(CacheEngine, AnExpiredEntryIsRevalidatedWithItsETagAndA304ServesTheCachedBody) {
    Replies replies(
        {Ok("cached body", std::string("ETag: \"v1\"\r\n") + kPast),
         "HTTP/1.1 304 Not Modified\r\nCache-Control: max-age=3600\r\nContent-Length: 0\r\n\r\n"});
    ScriptedServer server;
    server.SetDefaultScript(replies.Script());
    Engine e;
    const std::string url = Url(server, "/page");

    ASSERT_TRUE(e.Get(url)) << e.log.Dump();
    EXPECT_FALSE(e.result.FromCache);
    EXPECT_TRUE(e.log.Has("info: Cache updated.")) << e.log.Dump();

    ASSERT_TRUE(e.Get(url)) << e.log.Dump();
    EXPECT_TRUE(e.result.FromCache);
    EXPECT_EQ(Text(e.body), "cached body");
    EXPECT_EQ(e.result.Header.StatusCode, 200);
    EXPECT_TRUE(e.log.HasInOrder({"info: Cache entry expired.", "info: Cache hit.",
                                  "info: Updating cache entry with new expiration."}))
        << e.log.Dump();
    EXPECT_NE(AllReceived(server).find("If-None-Match: \"v1\"\r\n"), std::string::npos);

    // The renewed entry is fresh: the third request never reaches the server.
    ASSERT_TRUE(e.Get(url));
    EXPECT_TRUE(e.result.FromCache);
    EXPECT_EQ(Text(e.body), "cached body");
    EXPECT_EQ(replies.Count(), 2);
}

TEST(CacheEngine, AnExpiredEntryWithoutETagIsRevalidatedWithIfModifiedSinceAndReplacedBy200) {
    Replies replies({Ok("old", kPast), Ok("new", "Cache-Control: max-age=60\r\n")});
    ScriptedServer server;
    server.SetDefaultScript(replies.Script());
    Engine e;
    const std::string url = Url(server, "/lm");
    ASSERT_TRUE(e.Get(url));
    ASSERT_TRUE(e.Get(url));
    EXPECT_FALSE(e.result.FromCache);
    EXPECT_EQ(Text(e.body), "new");
    std::string sent = AllReceived(server);
    EXPECT_NE(sent.find("If-Modified-Since: Sun, 06 Nov 1994 08:49:37 "), std::string::npos) << sent;
    EXPECT_EQ(sent.find("If-None-Match"), std::string::npos);
    ASSERT_TRUE(e.Get(url));
    EXPECT_TRUE(e.result.FromCache);
    EXPECT_EQ(Text(e.body), "new");
    EXPECT_EQ(replies.Count(), 2);
}

TEST(CacheEngine, TheCafStoreAnswersASecondRequestWithoutNetwork) {
    Replies replies({Ok("caf body")});
    ScriptedServer server;
    server.SetDefaultScript(replies.Script());
    Engine e;
    e.control.UseHttpCache = true;
    const std::string url = Url(server, "/c");
    ASSERT_TRUE(e.Get(url));
    ASSERT_TRUE(e.Get(url));
    EXPECT_TRUE(e.result.FromCache);
    EXPECT_EQ(e.result.CacheStatus, 1);
    EXPECT_EQ(Text(e.body), "caf body");
    EXPECT_EQ(replies.Count(), 1);
}

TEST(CacheEngine, AFailedRequestLeavesANegativeEntryAndTheNextStillGoesToTheNetwork) {
    ScriptedServer server;
    server.AddScript(ConnectionScript().ReadUntil("\r\n\r\n").Close());
    server.SetDefaultScript(enginetest::Answer(Ok("back")));
    Engine e;
    e.control.UseHttpCache = true;
    const std::string url = Url(server, "/flaky");
    EXPECT_FALSE(e.Get(url));
    EXPECT_TRUE(e.log.Has("error: Failed to get response header"));
    EXPECT_TRUE(e.control.HttpStore.Exists(url.c_str()));

    ASSERT_TRUE(e.Get(url)) << e.log.Dump();
    EXPECT_TRUE(e.log.HasInOrder({"error: Found negative cache entry.", "data: url=" + url}));
    EXPECT_EQ(Text(e.body), "back");
    bool negative = true;
    delete e.control.HttpStore.FetchEntry(url.c_str(), negative);
    EXPECT_FALSE(negative); // the good answer replaced the negative entry
}

TEST(CacheEngine, AHostMarkedInvalidIsRefusedBeforeConnecting) {
    ScriptedServer server;
    server.SetDefaultScript(enginetest::Answer(Ok("x")));
    Engine e;
    e.control.UseHttpCache = true;
    e.control.HttpStore.MarkDomainInvalid("127.0.0.1");
    EXPECT_FALSE(e.Get(Url(server, "/")));
    EXPECT_TRUE(e.log.HasInOrder(
        {"error: Domain name is marked as invalid in the cache.", "data: domain=127.0.0.1"}));
    EXPECT_EQ(server.Accepted(), 0);

    e.control.CachePolicy.SkipInvalidDomains = 0;
    EXPECT_TRUE(e.Get(Url(server, "/")));
}

TEST(CacheEngine, ASuccessfulConnectRenewsAValidDnsEntry) {
    ScriptedServer server;
    server.SetDefaultScript(enginetest::Answer(Ok("x")));
    Engine e;
    e.control.UseHttpCache = true;
    DataBuffer empty;
    ASSERT_TRUE(e.control.HttpStore.SaveAppending("dns://127.0.0.1", "", empty, false, 0, 0, 0, ""));
    ASSERT_TRUE(e.Get(Url(server, "/")));
    bool found = false, invalid = true;
    e.control.HttpStore.IsDomainInvalid("127.0.0.1", found, invalid);
    EXPECT_TRUE(found);
    EXPECT_FALSE(invalid);
}

TEST(CacheEngine, CookiesSavedFromAResponseAreSentWithTheNextAndSuchResponsesAreNotCached) {
    Replies replies({Ok("a", "Set-Cookie: sid=abc; path=/\r\nSet-Cookie: lang=en\r\n"), Ok("b")});
    ScriptedServer server;
    server.SetDefaultScript(replies.Script());
    Engine e;
    testsupport::TempDir cookies;
    e.control.CookieDir.SetString(cookies.Path().c_str());
    ASSERT_TRUE(e.Get(Url(server, "/one")));
    EXPECT_FALSE(e.control.CacheStore.Exists(Url(server, "/one").c_str()));
    ASSERT_TRUE(e.Get(Url(server, "/two")));
    std::string sent = AllReceived(server);
    size_t second = sent.find("GET /two");
    ASSERT_NE(second, std::string::npos);
    EXPECT_NE(sent.find("Cookie: sid=abc; lang=en\r\n", second), std::string::npos) << sent;
    EXPECT_EQ(sent.substr(0, second).find("Cookie:"), std::string::npos);

    e.control.SendCookies = false;
    ASSERT_TRUE(e.Get(Url(server, "/three")));
    sent = AllReceived(server);
    EXPECT_EQ(sent.find("Cookie:", sent.find("GET /three")), std::string::npos);
}

TEST(CacheEngine, ASecureCookieIsNotSentOverPlainHttp) {
    Replies replies({Ok("a", "Set-Cookie: s=1; secure; path=/\r\nSet-Cookie: p=2\r\n"), Ok("b")});
    ScriptedServer server;
    server.SetDefaultScript(replies.Script());
    Engine e;
    testsupport::TempDir cookies;
    e.control.CookieDir.SetString(cookies.Path().c_str());
    ASSERT_TRUE(e.Get(Url(server, "/one")));
    ASSERT_TRUE(e.Get(Url(server, "/two")));
    std::string sent = AllReceived(server);
    EXPECT_NE(sent.find("Cookie: p=2\r\n", sent.find("GET /two")), std::string::npos) << sent;
}

TEST(CacheEngine, CookiesOfARedirectResponseAreSaved) {
    Engine e;
    testsupport::TempDir cookies;
    e.control.CookieDir.SetString(cookies.Path().c_str());
    // The redirect response itself carries the cookie.
    Replies withCookie(
        {"HTTP/1.1 302 Found\r\nLocation: /landing\r\nSet-Cookie: r=1\r\nContent-Length: 0\r\n\r\n",
         Ok("landed"), Ok("again")});
    ScriptedServer cookieServer;
    cookieServer.SetDefaultScript(withCookie.Script());
    ASSERT_TRUE(e.Get(Url(cookieServer, "/start"))) << e.log.Dump();
    EXPECT_EQ(Text(e.body), "landed");
    ASSERT_TRUE(e.Get(Url(cookieServer, "/next")));
    std::string sent = AllReceived(cookieServer);
    EXPECT_NE(sent.find("Cookie: r=1\r\n", sent.find("GET /next")), std::string::npos) << sent;
}

TEST(CacheEngine, TheFacadeTurnsTheCacheOnWithARoot) {
    cachetest::FixedClock clock;
    Replies replies({Ok("<html>page</html>", "Content-Type: text/html\r\n")});
    ScriptedServer server;
    server.SetDefaultScript(replies.Script());
    testsupport::TempDir dir;
    HttpMan man;
    man.SetConnectTimeout(2);
    man.SetReadTimeout(3);
    man.AddCacheRoot(dir.Path().c_str());
    man.SetCacheLevels(2);
    EXPECT_EQ(man.GetNumCacheRoots(), 1);
    StringBuffer out;
    ASSERT_TRUE(man.QuickGetHtml(Url(server, "/f").c_str(), out));
    ASSERT_TRUE(man.QuickGetHtml(Url(server, "/f").c_str(), out));
    EXPECT_STREQ(out.Text(), "<html>page</html>");
    EXPECT_TRUE(man.LastResult().FromCache);
    EXPECT_EQ(replies.Count(), 1);

    man.SetUseHttpCache(true);
    man.SetCacheFileCount(3);
    ASSERT_TRUE(man.QuickGetHtml(Url(server, "/f").c_str(), out)); // the .caf store is empty yet
    EXPECT_FALSE(man.LastResult().FromCache);
    ASSERT_TRUE(man.QuickGetHtml(Url(server, "/f").c_str(), out));
    EXPECT_TRUE(man.LastResult().FromCache);
    EXPECT_EQ(replies.Count(), 2);
}

TEST(CacheEngine, AnETagDecodedToALineBreakSmugglesNoLineIntoTheRevalidation) {
    Replies replies(
        {Ok("first", std::string("ETag: =?utf-8?Q?\"v1\"=0D=0AX-Smuggled:_1?=\r\n") + kPast), Ok("second")});
    ScriptedServer server;
    server.SetDefaultScript(replies.Script());
    Engine e;
    const std::string url = Url(server, "/etag");
    ASSERT_TRUE(e.Get(url)) << e.log.Dump();
    ASSERT_TRUE(e.Get(url)) << e.log.Dump();
    EXPECT_EQ(Text(e.body), "second");
    std::string sent = AllReceived(server);
    EXPECT_EQ(sent.find("X-Smuggled"), std::string::npos) << sent;
    EXPECT_EQ(sent.find("If-None-Match"), std::string::npos) << sent;
    // The expiry still revalidates the entry.
    EXPECT_NE(sent.find("If-Modified-Since: "), std::string::npos) << sent;
}

TEST(CacheEngine, APrivateResponseToARequestWithALoginOrCookiesIsFetchedAgainNotCached) {
    for (bool caf : {false, true}) {
        for (bool cookie : {false, true}) {
            Replies replies({Ok("account page", "Cache-Control: private, max-age=600\r\n")});
            ScriptedServer server;
            server.SetDefaultScript(replies.Script());
            Engine e;
            e.control.UseHttpCache = caf;
            if (cookie) {
                e.control.ExtraHeaders.Append("Cookie", "sid=1");
            } else {
                e.control.Login.SetString("user");
                e.control.Password.SetString("secret");
            }
            const std::string url = Url(server, "/account");
            ASSERT_TRUE(e.Get(url)) << e.log.Dump();
            ASSERT_TRUE(e.Get(url)) << e.log.Dump();
            EXPECT_FALSE(e.result.FromCache) << caf << cookie;
            EXPECT_EQ(replies.Count(), 2) << caf << cookie;
        }
    }
}
