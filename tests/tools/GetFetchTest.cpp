// vantry-get's URL checks and how its options land in the facade's settings (no network).
#include <gtest/gtest.h>

#include "http/HttpMan.h"
#include "tools/GetFetch.h"

using namespace vantry;

namespace {

GetOptions Options(std::vector<std::string> args) {
    GetOptions o;
    std::string error;
    args.push_back("http://x/");
    EXPECT_TRUE(ParseGetOptions(args, o, error)) << error;
    return o;
}

} // namespace

TEST(NormaliseUrl, AddsHttpToABareHostAndKeepsHttps) {
    std::string url, error;
    ASSERT_TRUE(NormaliseUrl("example.org/a", url, error));
    EXPECT_EQ(url, "http://example.org/a");
    ASSERT_TRUE(NormaliseUrl("HTTPS://Example.org:8443/", url, error));
    EXPECT_EQ(url, "HTTPS://Example.org:8443/");
    ASSERT_TRUE(NormaliseUrl("http://user:pw@host:81/x", url, error)) << error;
}

TEST(NormaliseUrl, RefusesOtherSchemesEmptyHostsBadPortsAndBlanks) {
    std::string url, error;
    for (const char *bad : {"ftp://h/", "file:///etc/passwd", "http://", "http://:80/", "http://h:0/",
                            "http://h:65536/", "http://h:8x/", "http://h:/", "http://a b/", "http://h\t/"}) {
        EXPECT_FALSE(NormaliseUrl(bad, url, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(ApplyOptions, DefaultsRequireAVerifiedServerAndLiftTheCrawlersUrlLimits) {
    HttpMan http;
    std::string error;
    ASSERT_TRUE(ApplyOptions(Options({}), http, error)) << error;
    const HttpControl &c = http.Control();
    HttpControl defaults;
    EXPECT_TRUE(c.RequireVerifiedServer);
    EXPECT_EQ(c.ConnectTimeout, defaults.ConnectTimeout);
    EXPECT_EQ(c.ReadTimeout, defaults.ReadTimeout);
    EXPECT_EQ(c.MaxExchangeSeconds, 0); // no limit on a whole transfer unless -m
    EXPECT_EQ(c.MaxRedirects, 4);
    EXPECT_FALSE(c.DecodeGzipByMagic); // a .gz file is saved as it is
    EXPECT_EQ(c.Method, HttpMethod::Get);
    StringBuffer encoding;
    EXPECT_TRUE(c.ExtraHeaders.GetField("Accept-Encoding", encoding));
    EXPECT_STREQ(encoding.Text(), "gzip");
    EXPECT_EQ(c.MaxContentLength, 0u);
    EXPECT_TRUE(c.FollowRedirects);
    EXPECT_FALSE(c.MimicIE || c.MimicFirefox);
    EXPECT_EQ(c.CookieDir.Length(), 0);
    EXPECT_EQ(c.CacheStore.NumRoots() + c.HttpStore.NumRoots(), 0);
    // Any URL a user names: no media extension refused, up to 8000 bytes.
    EXPECT_FALSE(c.RefuseMediaExtensions);
    EXPECT_EQ(c.MaxUrlLen, 8000);
}

TEST(ApplyOptions, EachOptionSetsItsSetting) {
    HttpMan http;
    std::string error;
    ASSERT_TRUE(ApplyOptions(Options({"-k", "--profile",      "ie", "--max-size", "100", "--connect-timeout",
                                      "3",  "--read-timeout", "4",  "--max-time", "0",   "--no-follow",
                                      "-x", "p:3128",         "-e", "http://r/",  "-u",  "a:b",
                                      "-H", "X-A: 1"}),
                             http, error))
        << error;
    const HttpControl &c = http.Control();
    EXPECT_FALSE(c.RequireVerifiedServer);
    EXPECT_TRUE(c.MimicIE);
    EXPECT_EQ(c.MaxContentLength, 100u);
    EXPECT_EQ(c.ConnectTimeout, 3);
    EXPECT_EQ(c.ReadTimeout, 4);
    EXPECT_EQ(c.MaxExchangeSeconds, 0);
    EXPECT_FALSE(c.FollowRedirects);
    EXPECT_STREQ(c.ProxyDomain.Text(), "p");
    EXPECT_EQ(c.ProxyPort, 3128);
    EXPECT_STREQ(c.Referer.Text(), "http://r/");
    EXPECT_STREQ(c.Login.Text(), "a");
    EXPECT_STREQ(c.Password.Text(), "b");
    StringBuffer value;
    EXPECT_TRUE(c.ExtraHeaders.GetField("X-A", value));
    EXPECT_STREQ(value.Text(), "1");
}

TEST(ApplyOptions, CacheDirectoriesChooseTheirStoreAndAreMade) {
    char tmpl[] = "/tmp/vantry-get-apply-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    {
        HttpMan http;
        std::string error;
        ASSERT_TRUE(
            ApplyOptions(Options({"--cache-dir", dir + "/dat/sub", "--cookie-dir", dir + "/c"}), http, error))
            << error;
        EXPECT_FALSE(http.Control().UseHttpCache);
        EXPECT_EQ(http.Control().CacheStore.NumRoots(), 1);
        EXPECT_TRUE(http.GetFetchFromCache() && http.GetUpdateCache());
        EXPECT_STREQ(http.Control().CookieDir.Text(), (dir + "/c").c_str());
    }
    {
        HttpMan http;
        std::string error;
        ASSERT_TRUE(ApplyOptions(Options({"--caf-dir", dir + "/caf"}), http, error)) << error;
        EXPECT_TRUE(http.Control().UseHttpCache);
        EXPECT_EQ(http.Control().HttpStore.NumRoots(), 1);
    }
    for (const char *sub : {"/dat/sub", "/c", "/caf"})
        EXPECT_EQ(access((dir + sub).c_str(), W_OK), 0) << sub;
    std::system(("rm -rf " + dir).c_str());
}

TEST(ApplyOptions, AMissingCaFileOrAnUnmakeableDirectoryIsRefused) {
    HttpMan http;
    std::string error;
    EXPECT_FALSE(ApplyOptions(Options({"--cacert", "/nonexistent/ca.pem"}), http, error));
    EXPECT_NE(error.find("/nonexistent/ca.pem"), std::string::npos);
    EXPECT_FALSE(ApplyOptions(Options({"--cookie-dir", "/proc/vantry-no/such"}), http, error));
    EXPECT_NE(error.find("--cookie-dir"), std::string::npos);
}

TEST(ApplyOptions, CompressionHeadAndRedirectOptions) {
    struct Case {
        std::vector<std::string> args;
        const char *encoding; // null: no Accept-Encoding line of ours
    } cases[] = {
        {{"--no-compressed"}, nullptr},
        {{"--compressed"}, "gzip"},
        {{"-H", "Accept-Encoding: identity"}, "identity"},
        {{"--profile", "ie"}, nullptr}, // the browser profiles send their own line
    };
    for (const Case &k : cases) {
        HttpMan http;
        std::string error;
        ASSERT_TRUE(ApplyOptions(Options(k.args), http, error)) << error;
        StringBuffer value;
        bool has = http.Control().ExtraHeaders.GetField("Accept-Encoding", value);
        EXPECT_EQ(has, k.encoding != nullptr) << k.args[0];
        if (k.encoding) {
            EXPECT_STREQ(value.Text(), k.encoding) << k.args[0];
        }
    }
    HttpMan http;
    std::string error;
    ASSERT_TRUE(ApplyOptions(Options({"-I", "-m", "30", "--max-redirs", "9"}), http, error)) << error;
    EXPECT_EQ(http.Control().Method, HttpMethod::Head);
    EXPECT_EQ(http.Control().MaxExchangeSeconds, 30);
    EXPECT_EQ(http.Control().MaxRedirects, 9);
}
