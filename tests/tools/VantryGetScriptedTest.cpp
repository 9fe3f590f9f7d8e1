// vantry-get end to end against the scripted loopback server: the bytes each option puts on the wire,
// what reaches standard output, files and standard error, and the exit status of each failure class.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include "RunProgram.h"
#include "support/ScriptedServer.h"
#include "support/TestSupport.h"

#ifdef VANTRY_GET_PATH

using testsupport::ConnectionScript;
using testsupport::ProgramResult;
using testsupport::ScriptedServer;

namespace {

std::string Response(int status, const std::string &reason, const std::string &body,
                     const std::string &extraHeaders = "") {
    return "HTTP/1.1 " + std::to_string(status) + " " + reason +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extraHeaders + "\r\n" + body;
}

ConnectionScript Answer(const std::string &response) {
    return ConnectionScript().ReadUntil("\r\n\r\n").Send(response).Close();
}

std::string Url(const ScriptedServer &server, const std::string &path = "/") {
    return "http://127.0.0.1:" + std::to_string(server.Port()) + path;
}

ProgramResult Get(std::vector<std::string> args, const std::string &cwd = "") {
    args.insert(args.begin(), VANTRY_GET_PATH);
    return testsupport::RunProgram(args, cwd);
}

size_t CountLines(const std::string &text) {
    return std::count(text.begin(), text.end(), '\n');
}

} // namespace

TEST(VantryGetScripted, BodyGoesToStandardOutputAfterTheGenericRequest) {
    ScriptedServer server;
    server.AddScript(Answer(Response(200, "OK", "hello body")));
    ProgramResult r = Get({Url(server, "/page?q=1")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "hello body");
    EXPECT_EQ(r.err, "");
    std::string request = server.Received(0);
    EXPECT_EQ(request.rfind("GET /page?q=1 HTTP/1.1\r\n", 0), 0u) << request;
    EXPECT_NE(request.find("\r\nHost: 127.0.0.1"), std::string::npos) << request;
    EXPECT_NE(request.find("\r\nUser-Agent: Vantry/1.0.0"), std::string::npos) << request;
}

TEST(VantryGetScripted, AgentRefererHeadersAndAccountShapeTheRequest) {
    ScriptedServer server;
    server.AddScript(Answer(Response(200, "OK", "x")));
    ProgramResult r = Get({"-A", "TestAgent/2.0", "-e", "http://referrer.example/", "-H", "X-First: one",
                           "-H", "X-Second: two", "-u", "alice:s3cret", Url(server)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string request = server.Received(0);
    EXPECT_NE(request.find("\r\nUser-Agent: TestAgent/2.0\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("\r\nReferer: http://referrer.example/\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("\r\nX-First: one\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("\r\nX-Second: two\r\n"), std::string::npos) << request;
    // alice:s3cret in Base64
    EXPECT_NE(request.find("\r\nAuthorization: Basic YWxpY2U6czNjcmV0\r\n"), std::string::npos) << request;
}

TEST(VantryGetScripted, BrowserProfilesSendTheirOwnRequests) {
    ScriptedServer server;
    server.AddScript(Answer(Response(200, "OK", "x")));
    server.AddScript(Answer(Response(200, "OK", "x")));
    ASSERT_EQ(Get({"--profile", "ie", Url(server)}).exitCode, 0);
    ASSERT_EQ(Get({"--profile", "firefox", Url(server)}).exitCode, 0);
    ASSERT_TRUE(server.WaitAccepted(2, 5000));
    EXPECT_NE(server.Received(0).find("MSIE"), std::string::npos) << server.Received(0);
    EXPECT_NE(server.Received(1).find("Firefox"), std::string::npos) << server.Received(1);
}

TEST(VantryGetScripted, IncludePrintsTheResponseHeadBeforeTheBody) {
    ScriptedServer server;
    server.AddScript(Answer(Response(200, "OK", "the body", "X-Mark: seen\r\n")));
    ProgramResult r = Get({"-i", Url(server)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("X-Mark: seen\r\n"), std::string::npos) << r.out;
    size_t blank = r.out.find("\r\n\r\n");
    ASSERT_NE(blank, std::string::npos);
    EXPECT_EQ(r.out.substr(blank + 4), "the body");
}

TEST(VantryGetScripted, OutputFileHoldsTheBodyAndNothingElseIsLeftBeside) {
    ScriptedServer server;
    server.AddScript(Answer(Response(200, "OK", "file body")));
    std::string dir = testsupport::MakeTempDirectory();
    ProgramResult r = Get({"-o", dir + "/saved.html", Url(server)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(testsupport::ReadWholeFile(dir + "/saved.html"), "file body");
    EXPECT_EQ(testsupport::DirectoryEntries(dir), std::vector<std::string>{"saved.html"});
    testsupport::RemoveTree(dir);
}

TEST(VantryGetScripted, RemoteNameSavesEachUrlUnderItsLastSegment) {
    ScriptedServer server;
    server.SetDefaultScript(ConnectionScript().AnswerEach("\r\n\r\n", [](const std::string &request) {
        return Response(200, "OK", request.find("GET /dir/a.txt") != std::string::npos ? "AAA" : "root");
    }));
    std::string dir = testsupport::MakeTempDirectory();
    ProgramResult r = Get({"-O", Url(server, "/dir/a.txt?x=1"), Url(server, "/")}, dir);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(testsupport::ReadWholeFile(dir + "/a.txt"), "AAA");
    EXPECT_EQ(testsupport::ReadWholeFile(dir + "/index.html"), "root");
    EXPECT_EQ(testsupport::DirectoryEntries(dir), (std::vector<std::string>{"a.txt", "index.html"}));
    // Both fetches went over one kept-alive connection.
    EXPECT_EQ(server.Accepted(), 1);
    testsupport::RemoveTree(dir);
}

TEST(VantryGetScripted, FailExits22WithNoBodyAndNoFile) {
    ScriptedServer server;
    server.AddScript(Answer(Response(404, "Not Found", "missing page")));
    std::string dir = testsupport::MakeTempDirectory();
    ProgramResult r = Get({"--fail", "-o", dir + "/out.html", Url(server, "/nothing")});
    EXPECT_EQ(r.exitCode, 22);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("404"), std::string::npos) << r.err;
    EXPECT_EQ(CountLines(r.err), 1u) << r.err;
    EXPECT_TRUE(testsupport::DirectoryEntries(dir).empty());
    testsupport::RemoveTree(dir);
}

TEST(VantryGetScripted, ErrorStatusWithoutFailIsAnAnswerLikeAnyOther) {
    ScriptedServer server;
    server.AddScript(Answer(Response(500, "Internal Server Error", "error page")));
    ProgramResult r = Get({Url(server)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "error page");
}

TEST(VantryGetScripted, MaxSizeRefusalExits63AndLeavesNoFile) {
    ScriptedServer server;
    server.AddScript(Answer(Response(200, "OK", std::string(5000, 'z'))));
    std::string dir = testsupport::MakeTempDirectory();
    ProgramResult r = Get({"--max-size", "1000", "-o", dir + "/big.bin", Url(server)});
    EXPECT_EQ(r.exitCode, 63) << r.err;
    EXPECT_NE(r.err.find("body too large: \"Content length more than the maximum allowed"), std::string::npos)
        << r.err;
    EXPECT_EQ(CountLines(r.err), 1u) << r.err;
    EXPECT_TRUE(testsupport::DirectoryEntries(dir).empty());
    testsupport::RemoveTree(dir);
}

TEST(VantryGetScripted, AnInterruptedFetchLeavesNoFileBehind) {
    ScriptedServer server;
    ConnectionScript drip;
    drip.ReadUntil("\r\n\r\n").Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial");
    drip.HoldOpen();
    server.AddScript(drip);
    std::string dir = testsupport::MakeTempDirectory();
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        std::string out = dir + "/page.html", url = Url(server);
        execl(VANTRY_GET_PATH, VANTRY_GET_PATH, "-o", out.c_str(), url.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    ASSERT_TRUE(server.WaitAccepted(1, 10000));
    // The temporary file exists once the request is out; wait for the body to start arriving.
    for (int i = 0; i < 200 && testsupport::DirectoryEntries(dir).empty(); ++i)
        usleep(10000);
    usleep(200000);
    EXPECT_EQ(testsupport::DirectoryEntries(dir).size(), 1u);
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
    EXPECT_TRUE(testsupport::DirectoryEntries(dir).empty());
    testsupport::RemoveTree(dir);
}

TEST(VantryGetScripted, MaxTimeEndsADrippingServerWithExit28) {
    ScriptedServer server;
    ConnectionScript drip;
    drip.ReadUntil("\r\n\r\n").Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n");
    for (int i = 0; i < 40; ++i)
        drip.Send("x").Pause(250);
    server.AddScript(drip);
    ProgramResult r = Get({"--max-time", "1", "--read-timeout", "5", Url(server)});
    EXPECT_EQ(r.exitCode, 28) << r.err;
    // What came before the deadline is written, as it arrived.
    EXPECT_LT(r.out.size(), 100u);
    EXPECT_EQ(r.out, std::string(r.out.size(), 'x'));
    EXPECT_EQ(CountLines(r.err), 1u) << r.err;
}

TEST(VantryGetScripted, RedirectsAreFollowedUnlessNoFollow) {
    ScriptedServer server;
    std::string redirect = Response(302, "Found", "moved", "Location: /target\r\n");
    server.AddScript(Answer(redirect));
    server.AddScript(Answer(Response(200, "OK", "target body")));
    server.AddScript(Answer(redirect));
    ProgramResult followed = Get({Url(server, "/start")});
    EXPECT_EQ(followed.exitCode, 0) << followed.err;
    EXPECT_EQ(followed.out, "target body");
    ASSERT_TRUE(server.WaitAccepted(2, 5000));
    EXPECT_EQ(server.Received(1).rfind("GET /target HTTP/1.1", 0), 0u);

    ProgramResult kept = Get({"--no-follow", "-i", Url(server, "/start")});
    EXPECT_EQ(kept.exitCode, 0) << kept.err;
    EXPECT_EQ(kept.out.rfind("HTTP/1.1 302 Found\r\n", 0), 0u) << kept.out;
    EXPECT_EQ(kept.out.substr(kept.out.size() - 5), "moved");
    EXPECT_EQ(server.Accepted(), 3);
}

TEST(VantryGetScripted, TheCookieDirCarriesCookiesFromOneRunToTheNextUnquotedAndInOrder) {
    testsupport::TempDir dir;
    const std::string cookies = dir.Path() + "/jar";
    ScriptedServer server;
    server.AddScript(
        Answer(Response(200, "OK", "set",
                        "Set-Cookie: b=2; path=/\r\nSet-Cookie: long=1; path=/cookie-parser-result\r\n"
                        "Set-Cookie: nameless\r\nSet-Cookie: q=\"x, y\"\r\nSet-Cookie: s=1; secure\r\n"
                        "Set-Cookie: other=1; path=/elsewhere\r\n")));
    server.AddScript(Answer(Response(200, "OK", "result")));
    ProgramResult set = Get({"--cookie-dir", cookies, Url(server, "/cookie-parser?7")});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    ProgramResult sent = Get({"--cookie-dir", cookies, Url(server, "/cookie-parser-result?7")});
    ASSERT_EQ(sent.exitCode, 0) << sent.err;
    ASSERT_TRUE(server.WaitAccepted(2, 5000));
    EXPECT_NE(server.Received(1).find("\r\nCookie: long=1; b=2; nameless; q=\"x, y\"\r\n"), std::string::npos)
        << server.Received(1);
}

TEST(VantryGetScripted, ProxyReceivesTheAbsoluteUrl) {
    ScriptedServer proxy;
    proxy.AddScript(Answer(Response(200, "OK", "via proxy")));
    ProgramResult r = Get({"-x", "127.0.0.1:" + std::to_string(proxy.Port()), "http://origin.invalid/path"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "via proxy");
    EXPECT_EQ(proxy.Received(0).rfind("GET http://origin.invalid/path HTTP/1.1\r\n", 0), 0u)
        << proxy.Received(0);
}

TEST(VantryGetScripted, RefusedConnectionExits7WithOneLineQuotingTheLog) {
    ProgramResult r = Get(
        {"--connect-timeout", "2", "http://127.0.0.1:" + std::to_string(testsupport::ClosedPort()) + "/"});
    EXPECT_EQ(r.exitCode, 7) << r.err;
    EXPECT_EQ(CountLines(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find("could not connect: \""), std::string::npos) << r.err;
}

TEST(VantryGetScripted, MalformedUrlsExit3BeforeAnyConnection) {
    for (const char *url : {"ftp://127.0.0.1/", "http://", "http:///path", "http://127.0.0.1:99999/",
                            "http://127.0.0.1:/", "http://bad host/"}) {
        ProgramResult r = Get({url});
        EXPECT_EQ(r.exitCode, 3) << url << ": " << r.err;
        EXPECT_EQ(CountLines(r.err), 1u) << r.err;
    }
}

TEST(VantryGetScripted, UsageErrorsExit2WithOneLine) {
    for (std::vector<std::string> args :
         {std::vector<std::string>{"--no-such-option", "http://x/"},
          std::vector<std::string>{"http://x/", "-o"}, std::vector<std::string>{}}) {
        ProgramResult r = Get(args);
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_EQ(CountLines(r.err), 1u) << r.err;
        EXPECT_EQ(r.out, "");
    }
    ProgramResult help = Get({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Usage: vantry-get"), std::string::npos);
    EXPECT_EQ(Get({"--version"}).out.rfind("vantry-get ", 0), 0u);
}

TEST(VantryGetScripted, UnwritableOutputExits23WithoutAnyRequest) {
    ScriptedServer server;
    ProgramResult r = Get({"-o", "/nonexistent-vantry-dir/out.html", Url(server)});
    EXPECT_EQ(r.exitCode, 23) << r.err;
    EXPECT_EQ(CountLines(r.err), 1u) << r.err;
    EXPECT_EQ(server.Accepted(), 0);
}

TEST(VantryGetScripted, GzipBodiesAreDecodedAndTextModeGivesUtf8) {
    ScriptedServer server;
    std::string page = "<html><body>caf\xE9</body></html>";
    std::string latin1 = "Content-Type: text/html; charset=iso-8859-1\r\n";
    server.AddScript(
        Answer(Response(200, "OK", testsupport::GzipOf(page), latin1 + "Content-Encoding: gzip\r\n")));
    server.AddScript(Answer(Response(200, "OK", page, latin1)));
    ProgramResult bytes = Get({Url(server)});
    EXPECT_EQ(bytes.exitCode, 0) << bytes.err;
    EXPECT_EQ(bytes.out, page); // decoded, charset untouched
    ProgramResult text = Get({"--text", Url(server)});
    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(text.out, "<html><body>caf\xC3\xA9</body></html>");
}

TEST(VantryGetScripted, VerboseShowsTheRequestHeadAndLogOnStandardError) {
    ScriptedServer server;
    server.AddScript(Answer(Response(200, "OK", "quiet body")));
    ProgramResult r = Get({"-v", Url(server, "/v")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "quiet body");
    EXPECT_NE(r.err.find("> GET /v HTTP/1.1\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("< HTTP/1.1 200 OK\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Get:"), std::string::npos) << r.err;
}

TEST(VantryGetScripted, ProgressLineOnlyWhenStandardErrorIsATerminal) {
    if (access("/usr/bin/script", X_OK) != 0)
        GTEST_SKIP() << "script (util-linux) is not installed";
    ScriptedServer server;
    std::string body(3 * 1024 * 1024, 'b');
    server.AddScript(Answer(Response(200, "OK", body)));
    server.AddScript(Answer(Response(200, "OK", body)));
    std::string dir = testsupport::MakeTempDirectory();
    // Not a terminal: nothing on standard error.
    ProgramResult plain = Get({"-o", dir + "/plain.bin", Url(server)});
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(plain.err, "");
    // Under a pseudo-terminal made by script: the line is drawn in place and ended.
    std::string command = std::string(VANTRY_GET_PATH) + " -o " + dir + "/tty.bin " + Url(server);
    ProgramResult tty = testsupport::RunProgram({"/usr/bin/script", "-qfec", command, "/dev/null"});
    EXPECT_EQ(tty.exitCode, 0) << tty.out;
    EXPECT_NE(tty.out.find("\r"), std::string::npos) << tty.out;
    EXPECT_NE(tty.out.find("3.0 MiB"), std::string::npos) << tty.out;
    EXPECT_EQ(testsupport::ReadWholeFile(dir + "/tty.bin").size(), body.size());
    testsupport::RemoveTree(dir);
}

#endif // VANTRY_GET_PATH

TEST(VantryGetScripted, EachKindOfBrokenResponseHasItsExitCodeAndACutBodyIsWrittenAsFarAsItCame) {
    struct Case {
        std::string response;
        int exitCode;
        std::string out;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nshort", 18, "short"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n", 18, "abc"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabcX", 56, "abc"},
        {"HTTP/1.1 200 OK\r\nBroken header line\r\nContent-Length: 2\r\n\r\nok", 8, ""},
        {"HTTP/1.1 200 OK\r\nContent-Length: -2\r\n\r\nok", 8, ""},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: compress\r\n\r\nok", 61, ""},
        {"", 52, ""},
        {"<html>no status line</html>", 1, ""},
    };
    for (const Case &c : cases) {
        ScriptedServer server;
        server.SetDefaultScript(Answer(c.response));
        ProgramResult r = Get({Url(server)});
        EXPECT_EQ(r.exitCode, c.exitCode) << c.response << "\n" << r.err;
        EXPECT_EQ(r.out, c.out) << c.response;
        EXPECT_EQ(CountLines(r.err), 1u) << r.err;
    }
}

TEST(VantryGetScripted, IncludeWritesTheHeadsExactlyAsTheyCame) {
    const std::string heads =
        "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200\nX-Spaced:   a  b \nContent-Length: 4\n"
        "X-Fold: one\n two\n\n";
    ScriptedServer server;
    server.AddScript(Answer(heads + "body"));
    ProgramResult r = Get({"-i", Url(server)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, heads + "body");
}
