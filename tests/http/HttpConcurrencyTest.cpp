// The HTTP layer from many threads at once, each with objects of its own: facades fetching gzip, chunked
// and legacy-charset pages over plain and TLS connections from loopback servers, HTTP dates, and the
// cookie store's files shared by every thread through one cookie directory.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "codec/InflateTestHelpers.h"
#include "core/LogNull.h"
#include "core/StringBuffer.h"
#include "http/CookieJar.h"
#include "http/CookieMgr.h"
#include "http/CookieTestHelpers.h"
#include "http/DateParser.h"
#include "http/EngineTestSupport.h"
#include "http/HttpControl.h"
#include "http/HttpMan.h"
#include "http/HttpResult.h"
#include "net/VantrySocket.h"
#include "support/Concurrently.h"
#include "support/ScriptedServer.h"
#include "support/TestCertificates.h"
#include "support/TestSupport.h"
#include "support/TlsTestServer.h"

using namespace vantry;
using testsupport::RunTogether;

namespace {

constexpr int kThreads = 6;

struct Page {
    std::string path;
    std::string response; // the whole response the server sends
    std::string utf8;     // what QuickGetHtml must give back
};

std::string Chunked(const std::string &body, size_t piece) {
    std::string out;
    for (size_t at = 0; at < body.size(); at += piece) {
        std::string part = body.substr(at, piece);
        char size[16];
        std::snprintf(size, sizeof size, "%zx", part.size());
        out += std::string(size) + "\r\n" + part + "\r\n";
    }
    return out + "0\r\n\r\n";
}

std::vector<Page> Pages() {
    std::vector<Page> pages;
    std::string long_text = "<html><body>";
    for (int i = 0; i < 3000; ++i)
        long_text += "<p>line " + std::to_string(i) + "</p>\n";
    long_text += "</body></html>";
    std::string gz = inflatetest::ZCompress(long_text, 6, Z_DEFAULT_STRATEGY, 31);
    pages.push_back(
        {"/gzip", enginetest::Ok(gz, "Content-Encoding: gzip\r\nContent-Type: text/html\r\n"), long_text});
    std::string chunked_text = long_text.substr(0, 20000);
    pages.push_back({"/chunked",
                     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Type: text/html\r\n\r\n" +
                         Chunked(chunked_text, 777),
                     chunked_text});
    // Charsets named by the head and by a meta tag: the bytes come back as UTF-8.
    pages.push_back(
        {"/latin",
         enginetest::Ok("<p>caf\xE9 \x80 \x93q\x94</p>", "Content-Type: text/html; charset=windows-1252\r\n"),
         "<p>caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D</p>"});
    pages.push_back({"/koi8",
                     enginetest::Ok("<p>\xED\xC9\xD2</p>", "Content-Type: text/html; charset=koi8-r\r\n"),
                     "<p>\xD0\x9C\xD0\xB8\xD1\x80</p>"});
    pages.push_back(
        {"/sjis",
         enginetest::Ok("<html><head><meta charset=\"shift_jis\"></head><p>\x93\xFA\x96\x7B\x8C\xEA</p>"
                        "</html>",
                        "Content-Type: text/html\r\n"),
         "<html><head><meta charset=\"shift_jis\"></head><p>\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E</p>"
         "</html>"});
    pages.push_back({"/big5",
                     enginetest::Ok("<p>\xA4\xA4\xA4\xE5</p>", "Content-Type: text/html; charset=big5\r\n"),
                     "<p>\xE4\xB8\xAD\xE6\x96\x87</p>"});
    return pages;
}

std::string Log(HttpMan &man) {
    StringBuffer text;
    man.GetLogText(text);
    return text.Text();
}

} // namespace

TEST(FacadeConcurrency, ObjectsAndTheSocketStartUpOnManyThreadsAtOnce) {
    std::vector<int> failed(kThreads, 0);
    RunTogether(kThreads, [&](int t) {
        for (int i = 0; i < 100; ++i) {
            LogNull log;
            if (!VantrySocket::StartWinsock(log))
                ++failed[static_cast<size_t>(t)];
            VantrySocket socket;
            HttpMan man;
            man.SetUserAgent(("agent " + std::to_string(t)).c_str());
            StringBuffer agent;
            man.GetUserAgent(agent);
            if (agent.Text() != "agent " + std::to_string(t))
                ++failed[static_cast<size_t>(t)];
        }
    });
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(failed[static_cast<size_t>(t)], 0) << "thread " << t;
}

TEST(FacadeConcurrency, ThreadsWithTheirOwnHttpManFetchDecodeAndConvertAtOnce) {
    const std::vector<Page> pages = Pages();
    testsupport::ScriptedServer server(64);
    ASSERT_TRUE(server.Ok());
    server.SetDefaultScript(
        testsupport::ConnectionScript().AnswerEach("\r\n\r\n", [&](const std::string &req) {
            for (const Page &p : pages)
                if (req.rfind("GET " + p.path + " ", 0) == 0)
                    return p.response;
            return std::string("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        }));
    std::vector<std::vector<std::string>> problems(kThreads);
    RunTogether(kThreads, [&](int t) {
        HttpMan man;
        man.SetConnectTimeout(5);
        man.SetReadTimeout(5);
        if (t % 3 == 1)
            man.SetMimicFirefox(true);
        else if (t % 3 == 2)
            man.SetMimicIE(true);
        for (int round = 0; round < 4; ++round) {
            for (size_t k = 0; k < pages.size(); ++k) {
                const Page &p = pages[(k + static_cast<size_t>(t)) % pages.size()];
                StringBuffer out;
                if (!man.QuickGetHtml(enginetest::Url(server, p.path).c_str(), out))
                    problems[static_cast<size_t>(t)].push_back(p.path + " failed: " + Log(man));
                else if (std::string(out.Text(), out.Length()) != p.utf8)
                    problems[static_cast<size_t>(t)].push_back(p.path + " gave other text");
            }
        }
    });
    for (int t = 0; t < kThreads; ++t)
        for (const std::string &p : problems[static_cast<size_t>(t)])
            ADD_FAILURE() << "thread " << t << ": " << p;
    // Each facade kept its connection: far fewer connections than requests.
    EXPECT_LE(server.Accepted(), kThreads * 2);
}

TEST(FacadeConcurrency, ThreadsVerifyingTlsServersAtOnceShareTheLibrarySetUp) {
    testsupport::TempDir dir;
    testsupport::TestCa ca(dir.Path(), "concurrency");
    ASSERT_TRUE(ca.Ok());
    testsupport::CertFiles good = ca.Good();
    const std::string body = "<p>over TLS</p>";
    testsupport::TlsTestServer server(good.cert, good.key, [&](testsupport::TlsSession &s) {
        if (!s.Handshake())
            return;
        for (int n = 1; n <= 3 && s.ReadCount("\r\n\r\n", n); ++n)
            s.Send(enginetest::Ok(body, "Content-Type: text/html\r\n"));
        s.WaitPeerClose(5000);
    });
    ASSERT_TRUE(server.Ok());
    const std::string url = "https://127.0.0.1:" + std::to_string(server.Port()) + "/page";
    std::vector<std::vector<std::string>> problems(kThreads);
    RunTogether(kThreads, [&](int t) {
        HttpMan man;
        man.SetConnectTimeout(5);
        man.SetReadTimeout(5);
        man.Control().TlsCaFile.SetString(ca.CaFile().c_str());
        man.Control().RequireVerifiedServer = true;
        for (int i = 0; i < 3; ++i) {
            StringBuffer out;
            if (!man.QuickGetHtml(url.c_str(), out))
                problems[static_cast<size_t>(t)].push_back("fetch failed: " + Log(man));
            else if (body != out.Text())
                problems[static_cast<size_t>(t)].push_back(std::string("other text: ") + out.Text());
        }
    });
    for (int t = 0; t < kThreads; ++t)
        for (const std::string &p : problems[static_cast<size_t>(t)])
            ADD_FAILURE() << "thread " << t << ": " << p;
}

TEST(DateConcurrency, DatesParsedAndWrittenOnManyThreadsMatchOneThread) {
    const std::vector<std::string> texts = {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
                                            "Sun Nov  6 08:49:37 1994", "Thu, 29 Feb 2024 23:59:59 GMT",
                                            "Fri, 31 Dec 1999 23:59:59 GMT"};
    const DateParser parser;
    std::vector<double> days;
    std::vector<std::string> written;
    for (const std::string &text : texts) {
        CalendarTime time;
        ASSERT_TRUE(parser.ParseHttpDate(text.c_str(), time)) << text;
        days.push_back(parser.TimeToDays(time));
        StringBuffer out;
        parser.FormatHttpDate(time, -120, out);
        written.push_back(out.Text());
    }
    std::vector<int> wrong(kThreads, 0);
    RunTogether(kThreads, [&](int t) {
        DateParser mine;
        for (int round = 0; round < 500; ++round) {
            size_t i = static_cast<size_t>(round + t) % texts.size();
            CalendarTime time, back;
            StringBuffer out;
            bool ok = mine.ParseHttpDate(texts[i].c_str(), time);
            mine.FormatHttpDate(time, -120, out);
            mine.DaysToTime(days[i], back);
            if (!ok || mine.TimeToDays(time) != days[i] || written[i] != out.Text() ||
                back.Year != time.Year || back.Second != time.Second)
                ++wrong[static_cast<size_t>(t)];
            // The machine's clock and zone through the reentrant calls.
            CalendarTime now;
            DateParser::CurrentUtcTime(now);
            DateParser::CurrentLocalTime(now);
            int32_t bias = DateParser::LocalBiasMinutes();
            if (now.Year < 2024 || bias < -24 * 60 || bias > 24 * 60)
                ++wrong[static_cast<size_t>(t)];
        }
    });
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(wrong[static_cast<size_t>(t)], 0) << "thread " << t;
}

TEST(CookieConcurrency, ThreadsStoringIntoOneCookieDirectoryLoseNoCookie) {
    // Every thread stores cookies for hosts of one registrable domain (so all land in one file) and reads
    // the Cookie line between its stores; the store's lock makes each load-change-save whole.
    cookietest::FixedClock clock;
    testsupport::TempDir dir;
    constexpr int kThreadsHere = 4, kPerThread = 10; // 40 stays under the per-file limit
    std::vector<int> wrong(kThreadsHere, 0);
    RunTogether(kThreadsHere, [&](int t) {
        LogNull log;
        CookieOrigin origin;
        origin.Host = "h" + std::to_string(t) + ".shared.example";
        origin.Path = "/";
        for (int i = 0; i < kPerThread; ++i) {
            std::string name = "c" + std::to_string(t) + "_" + std::to_string(i);
            CookieMgr::SaveSetCookies(dir.Path().c_str(), {name + "=v; Domain=shared.example; Path=/"},
                                      origin, log);
            StringBuffer line;
            CookieMgr::BuildRequestCookies(dir.Path().c_str(), origin.Host.c_str(), "/", false, line, log);
            // The thread's own cookies so far are all sent (others' may be there as well).
            for (int j = 0; j <= i; ++j)
                if (std::string(line.Text()).find("c" + std::to_string(t) + "_" + std::to_string(j) + "=v") ==
                    std::string::npos)
                    ++wrong[static_cast<size_t>(t)];
        }
    });
    for (int t = 0; t < kThreadsHere; ++t)
        EXPECT_EQ(wrong[static_cast<size_t>(t)], 0) << "thread " << t;
    std::unique_ptr<CookieJar> jar(CookieMgr::LoadJar(dir.Path().c_str(), "shared.example"));
    ASSERT_NE(jar, nullptr);
    EXPECT_EQ(jar->NumCookies(), kThreadsHere * kPerThread);
}
