// The HTTP engine against a real server: the sandbox's nginx on 127.0.0.1:8081 (nginx-http.conf beside
// this file), with site files written by the tests. Keep-alive, gzip, chunks, redirects, error pages,
// large bodies, size refusals, the three request profiles and page charsets, and the connection kept in
// use after each kind of response that has no body or an error body.
#include <cstdlib>
#include <fstream>
#include <iconv.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "http/HttpConnPool.h"
#include "http/HttpControl.h"
#include "http/HttpMan.h"
#include "http/HttpResult.h"
#include "net/RecordingLog.h"

using namespace vantry;

namespace {

const std::string kBase = "http://127.0.0.1:8081";

class HttpSandbox : public ::testing::Test {
protected:
    void SetUp() override {
        const char *dir = std::getenv("VANTRY_SANDBOX_DIR");
        if (!dir)
            GTEST_FAIL() << "run through tests/sandbox/run-in-sandbox with nginx-http.conf";
        m_nginx = std::string(dir) + "/nginx";
        for (const char *sub : {"/engine-site", "/engine-site/gz", "/engine-site/chunked", "/engine-site/dir",
                                "/engine-site/ct", "/engine-site/meta"})
            mkdir((m_nginx + sub).c_str(), 0755);
    }
    void Put(const std::string &path, const std::string &bytes) {
        std::ofstream(m_nginx + "/engine-site" + path, std::ios::binary) << bytes;
    }
    std::vector<std::string> AccessLog() const {
        std::ifstream in(m_nginx + "/temp/engine-access.log");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    // nginx writes the access log line after the response has gone out, so the line may lag a little.
    std::string LastLogFor(const std::string &path) const {
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string found;
            for (const std::string &line : AccessLog())
                if (line.find("\"GET " + path + " ") != std::string::npos)
                    found = line;
            if (!found.empty())
                return found;
            usleep(20000);
        }
        return "";
    }
    std::string m_nginx;
};

std::string Get(HttpMan &man, const std::string &path, bool *ok = nullptr) {
    StringBuffer page;
    bool got = man.QuickGetHtml((kBase + path).c_str(), page);
    if (ok)
        *ok = got;
    return std::string(page.Text(), page.Length());
}

std::string Log(HttpMan &man) {
    StringBuffer text;
    man.GetLogText(text);
    return text.Text();
}

// The UTF-8 text in another charset, through the C library's converter.
std::string Encode(const std::string &utf8, const char *charset) {
    iconv_t cd = iconv_open(charset, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return "";
    std::string out(utf8.size() * 4 + 16, '\0');
    char *in = const_cast<char *>(utf8.data());
    size_t inLeft = utf8.size(), outLeft = out.size();
    char *o = out.data();
    iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace

TEST_F(HttpSandbox, TwoFetchesFromOneServerUseOneTcpConnection) {
    Put("/ka1.html", "<p>one</p>");
    Put("/ka2.html", "<p>two</p>");
    HttpMan man;
    EXPECT_EQ(Get(man, "/ka1.html"), "<p>one</p>");
    EXPECT_EQ(Get(man, "/ka2.html"), "<p>two</p>");
    std::string first = LastLogFor("/ka1.html"), second = LastLogFor("/ka2.html");
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(first.substr(0, first.find(' ')), second.substr(0, second.find(' '))) << first << "\n"
                                                                                    << second;
    EXPECT_EQ(second.substr(second.find(' ') + 1, 2), "2 ");
}

// nginx's connection number of the last request for path.
std::string ConnectionOf(const std::string &logLine) {
    return logLine.substr(0, logLine.find(' '));
}

TEST_F(HttpSandbox, AfterEachKindOfAnswerTheNextFetchUsesTheSameConnection) {
    Put("/next.html", "<p>next</p>");
    Put("/chunked/missing-page.html", "<p>marker: not here</p>");
    struct Case {
        const char *path;
        int status;
        const char *body;
    } cases[] = {{"/nocontent", 204, ""},
                 {"/chunked-errors/nothing.html", 404, "<p>MARKER: not here</p>"},
                 {"/no-such-page.html", 404, nullptr},
                 {"/r308", 308, nullptr}};
    for (const Case &c : cases) {
        HttpMan man;
        man.SetFollowRedirects(false);
        bool ok = false;
        std::string page = Get(man, c.path, &ok);
        EXPECT_TRUE(ok) << c.path << Log(man);
        EXPECT_EQ(man.LastResult().Header.StatusCode, c.status) << c.path;
        if (c.body) {
            EXPECT_EQ(page, c.body);
        }
        // A query of its own per case, so the log line found is this case's and not an earlier one's.
        std::string next = std::string("/next.html?after=") + c.path;
        EXPECT_EQ(Get(man, next), "<p>next</p>") << c.path;
        std::string first = LastLogFor(c.path), second = LastLogFor(next);
        ASSERT_FALSE(first.empty());
        EXPECT_EQ(ConnectionOf(first), ConnectionOf(second)) << first << "\n" << second;
    }
    std::string chunkedLine = LastLogFor("/chunked-errors/nothing.html");
    EXPECT_NE(chunkedLine.find(" 404 "), std::string::npos) << chunkedLine;
}

TEST_F(HttpSandbox, GzipBodyIsDecoded) {
    std::string text = "<html>";
    for (int i = 0; i < 2000; ++i)
        text += "line " + std::to_string(i) + "\n";
    text += "</html>";
    Put("/gz/page.html", text);
    HttpMan man;
    man.SetMimicFirefox(true);
    EXPECT_EQ(Get(man, "/gz/page.html"), text);
    std::string line = LastLogFor("/gz/page.html");
    EXPECT_EQ(line.find("gz=-"), std::string::npos) << line; // nginx did compress it
}

TEST_F(HttpSandbox, ChunkedBodyOfSeveralMegabytesIsJoined) {
    std::string text;
    while (text.size() < 3 * 1024 * 1024)
        text += "a marker in a line of text\n";
    Put("/chunked/big.txt", text);
    HttpMan man;
    std::string expected = text;
    for (size_t at = 0; (at = expected.find("marker", at)) != std::string::npos; at += 6)
        expected.replace(at, 6, "MARKER");
    bool ok = false;
    std::string got = Get(man, "/chunked/big.txt", &ok);
    ASSERT_TRUE(ok) << Log(man);
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
    StringBuffer te;
    man.LastResult().Header.GetField("Transfer-Encoding", te);
    EXPECT_STREQ(te.Text(), "chunked");
}

TEST_F(HttpSandbox, CountedBodyOfSeveralMegabytesArrivesWhole) {
    std::string bytes(6 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>('a' + (i * 7919) % 26);
    Put("/big.bin", bytes);
    HttpControl control;
    HttpConnPool pool;
    HttpResult result;
    DataBuffer body;
    RecordingLog log;
    ASSERT_TRUE(pool.Fetch((kBase + "/big.bin").c_str(), control, body, result, log)) << log.Dump();
    ASSERT_EQ(body.Length(), bytes.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(body.Data()), body.Length()), bytes);
}

TEST_F(HttpSandbox, RedirectsWithAbsoluteAndRelativeLocationsAreFollowed) {
    Put("/target.html", "target");
    Put("/dir/page2.html", "page two");
    HttpMan man;
    StringBuffer final;
    EXPECT_EQ(Get(man, "/r301-abs"), "target");
    EXPECT_TRUE(man.GetWasRedirected());
    man.GetFinalUrl(final);
    EXPECT_EQ(std::string(final.Text()), kBase + "/target.html");
    EXPECT_EQ(Get(man, "/dir/r302-rel"), "page two") << Log(man);
    man.GetFinalUrl(final);
    EXPECT_EQ(std::string(final.Text()), kBase + "/dir/page2.html");
    EXPECT_EQ(Get(man, "/r301-root"), "target");
}

TEST_F(HttpSandbox, SeeOtherTemporaryAndPermanentRedirectsAreFollowed) {
    Put("/target.html", "target");
    Put("/dir/page2.html", "page two");
    Put("/dir/http-errors.html", "errors page");
    HttpMan man;
    StringBuffer final;
    for (const char *path : {"/r303", "/r307", "/r308"}) {
        bool ok = false;
        EXPECT_EQ(Get(man, path, &ok), "target") << path << "\n" << Log(man);
        EXPECT_TRUE(ok);
        EXPECT_TRUE(man.GetWasRedirected()) << path;
        man.GetFinalUrl(final);
        EXPECT_EQ(std::string(final.Text()), kBase + "/target.html") << path;
    }
    // Relative Locations go from the directory of the URL they answered.
    EXPECT_EQ(Get(man, "/dir/sub/r307-up"), "page two") << Log(man);
    EXPECT_NE(LastLogFor("/dir/page2.html?from=307").find(" 200 "), std::string::npos);
    EXPECT_EQ(Get(man, "/dir/r308-http-named"), "errors page") << Log(man);
    man.GetFinalUrl(final);
    EXPECT_EQ(std::string(final.Text()), kBase + "/dir/http-errors.html");
}

TEST_F(HttpSandbox, RedirectToAnotherSchemeIsNotFollowed) {
    HttpMan man;
    bool ok = true;
    Get(man, "/r302-ftp", &ok);
    EXPECT_FALSE(ok);
    EXPECT_NE(Log(man).find("Not following a redirect to a URL scheme other than http and https."),
              std::string::npos)
        << Log(man);
}

TEST_F(HttpSandbox, NotFoundAndServerErrorPagesAreResults) {
    HttpMan man;
    bool ok = false;
    std::string page = Get(man, "/no-such-page.html", &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(man.LastResult().Header.StatusCode, 404);
    EXPECT_NE(page.find("404"), std::string::npos);
    page = Get(man, "/err500", &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(man.LastResult().Header.StatusCode, 500);
    EXPECT_EQ(page, "server broke\n");
}

TEST_F(HttpSandbox, BodiesOverMaxContentLengthAreRefused) {
    Put("/over.html", std::string(300000, 'o'));
    Put("/chunked/over.txt", std::string(300000, 'c'));
    Put("/gz/over.html", std::string(300000, 'g'));
    HttpMan man;
    man.SetMaxContentLength(250000);
    bool ok = true;
    Get(man, "/over.html", &ok);
    EXPECT_FALSE(ok);
    EXPECT_NE(Log(man).find("Content length more than the maximum allowed."), std::string::npos);
    Get(man, "/chunked/over.txt", &ok);
    EXPECT_FALSE(ok);
    EXPECT_NE(Log(man).find("Chunked response is too large."), std::string::npos) << Log(man);
    man.SetMimicIE(true);
    Get(man, "/gz/over.html", &ok); // small compressed, too large decoded
    EXPECT_FALSE(ok);
    EXPECT_NE(Log(man).find("Content length more than the maximum allowed..."), std::string::npos)
        << Log(man);
    Put("/fits.html", std::string(250000, 'f'));
    EXPECT_EQ(Get(man, "/fits.html", &ok).size(), 250000u);
    EXPECT_TRUE(ok);
}

TEST_F(HttpSandbox, TheThreeRequestProfilesAsNginxLogsThem) {
    Put("/generic.html", "g");
    Put("/msie.html", "i");
    Put("/firefox.html", "f");
    HttpMan man;
    Get(man, "/generic.html");
    man.SetMimicIE(true);
    Get(man, "/msie.html");
    man.SetMimicFirefox(true);
    Get(man, "/firefox.html");
    std::string g = LastLogFor("/generic.html"), i = LastLogFor("/msie.html"),
                f = LastLogFor("/firefox.html");
    EXPECT_NE(g.find("ua=\"Vantry/1.0.0 (+http://"), std::string::npos) << g;
    EXPECT_NE(g.find("accept=\"*/*\" ae=\"-\" conn=\"Keep-Alive\" lang=\"en-us,en;q=0.5\" "
                     "acs=\"ISO-8859-1,utf-8;q=0.7,*;q=0.7\" ka=\"-\" host=\"127.0.0.1:8081\""),
              std::string::npos)
        << g;
    EXPECT_NE(
        i.find("ua=\"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 1.0.3705; .NET CLR "
               "1.1.4322)\""),
        std::string::npos)
        << i;
    EXPECT_NE(i.find("ae=\"gzip\" conn=\"Keep-Alive\" lang=\"en-us,en;q=0.5\" acs=\"-\""), std::string::npos)
        << i;
    EXPECT_NE(f.find("ua=\"Mozilla/5.0 (Windows; U; Windows NT 5.1; en-US; rv:1.7.7) Gecko/20050414 "
                     "Firefox/1.0.3\""),
              std::string::npos)
        << f;
    EXPECT_NE(
        f.find("accept=\"text/xml,application/xml,application/xhtml+xml,text/html;q=0.9,text/plain;q=0.8,"
               "image/png,* /*;q=0.5\" ae=\"gzip\" conn=\"keep-alive\""),
        std::string::npos)
        << f;
    EXPECT_NE(f.find("ka=\"300\" host=\"127.0.0.1:8081\""), std::string::npos) << f;
    EXPECT_NE(i.find("host=\"127.0.0.1:8081\""), std::string::npos) << i;
}

TEST_F(HttpSandbox, PagesInLegacyCharsetsComeBackAsUtf8) {
    struct Case {
        const char *charset;
        const char *iconvName;
        const char *text;
    } cases[] = {
        {"windows-1252", "WINDOWS-1252", "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cquoted\xE2\x80\x9D"},
        {"iso-8859-2", "ISO-8859-2",
         "\xC5\x81\xC3\xB3\x64\xC5\xBA \xC5\xBC\x61\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87"},
        {"koi8-r", "KOI8-R", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xD0\xBC\xD0\xB8\xD1\x80"},
        {"shift_jis", "SHIFT_JIS",
         "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x83\x9A\xE3\x83\xBC\xE3\x82\xB8"},
        {"gb2312", "GB2312", "\xE4\xB8\xAD\xE6\x96\x87\xE7\xBD\x91\xE9\xA1\xB5"},
        {"euc-kr", "EUC-KR", "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4 \xED\x8E\x98\xEC\x9D\xB4\xEC\xA7\x80"},
        {"big5", "BIG5", "\xE4\xB8\xAD\xE6\x96\x87\xE7\xB6\xB2\xE9\xA0\x81"}};
    HttpMan man;
    for (const Case &c : cases) {
        std::string cs = c.charset;
        std::string body = "<html><body><p>" + Encode(c.text, c.iconvName) + "</p></body></html>";
        ASSERT_GT(body.size(), 40u) << cs;
        std::string equiv =
            "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + cs +
            "\"></head><body><p>" + Encode(c.text, c.iconvName) + "</p></body></html>";
        std::string short_ = "<html><head><meta charset=\"" + cs + "\"></head><body><p>" +
                             Encode(c.text, c.iconvName) + "</p></body></html>";
        Put("/ct/page." + cs, body);
        Put("/meta/equiv-" + cs + ".html", equiv);
        Put("/meta/short-" + cs + ".html", short_);
        for (const std::string &path :
             {"/ct/page." + cs, "/meta/equiv-" + cs + ".html", "/meta/short-" + cs + ".html"}) {
            bool ok = false;
            std::string page = Get(man, path, &ok);
            ASSERT_TRUE(ok) << path << Log(man);
            EXPECT_NE(page.find(std::string("<p>") + c.text + "</p>"), std::string::npos)
                << path << ": " << page;
        }
    }
}

TEST_F(HttpSandbox, UnresolvableNameFailsWithTheLookupEntries) {
    HttpMan man;
    bool ok = true;
    Get(man, "/", &ok); // warm: nothing to do with the failure below
    StringBuffer page;
    EXPECT_FALSE(man.QuickGetHtml("http://no-such-host.sandbox-missing.zz/", page));
    std::string log = Log(man);
    EXPECT_NE(log.find("Cannot get host by name."), std::string::npos) << log;
    EXPECT_NE(log.find("Failed to connect to HTTP server"), std::string::npos);
    EXPECT_NE(log.find("Domain name lookup failed.."), std::string::npos);
}
