// vantry-get against the scripted server for redirects and the requests a user may ask for: relative
// and encoded Locations, a redirect without Location, another scheme, a loop, the fragment, the Host
// port, -H lines that replace or remove the profile's own, media extensions and long URLs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RunProgram.h"
#include "support/ScriptedServer.h"

#ifdef VANTRY_GET_PATH

using testsupport::ConnectionScript;
using testsupport::ProgramResult;
using testsupport::ScriptedServer;

namespace {

std::string Response(int status, const std::string &body, const std::string &extraHeaders = "") {
    return "HTTP/1.1 " + std::to_string(status) +
           " Status\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extraHeaders + "\r\n" +
           body;
}

ConnectionScript Answer(const std::string &response) {
    return ConnectionScript().ReadUntil("\r\n\r\n").Send(response).Close();
}

std::string Url(const ScriptedServer &server, const std::string &path) {
    return "http://127.0.0.1:" + std::to_string(server.Port()) + path;
}

ProgramResult Get(std::vector<std::string> args) {
    args.insert(args.begin(), VANTRY_GET_PATH);
    return testsupport::RunProgram(args);
}

std::string RequestLine(const ScriptedServer &server, int connection) {
    if (!server.WaitFinished(connection, 5000))
        return "(no request)";
    std::string received = server.Received(connection);
    return received.substr(0, received.find("\r\n"));
}

} // namespace

TEST(VantryGetRedirect, RelativeAndEncodedLocationsLeadToTheRightPath) {
    ScriptedServer server;
    server.AddScript(Answer(Response(301, "", "Location: http-errors.html\r\n")));
    server.AddScript(Answer(Response(303, "", "Location: ../a b/\xC3\xA9.html\r\n")));
    server.AddScript(Answer(Response(200, "arrived")));
    ProgramResult r = Get({Url(server, "/docs/start.html#part")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "arrived");
    EXPECT_EQ(RequestLine(server, 0), "GET /docs/start.html HTTP/1.1");
    EXPECT_EQ(RequestLine(server, 1), "GET /docs/http-errors.html HTTP/1.1");
    EXPECT_EQ(RequestLine(server, 2), "GET /a%20b/%C3%A9.html HTTP/1.1");
    EXPECT_NE(server.Received(2).find("\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n"),
              std::string::npos);
}

TEST(VantryGetRedirect, RedirectWithoutLocationIsPrintedAsTheAnswer) {
    ScriptedServer server;
    server.AddScript(Answer(Response(302, "no location here")));
    ProgramResult r = Get({"-i", Url(server, "/")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("HTTP/1.1 302 Status\r\n", 0), 0u) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - 16), "no location here");
    EXPECT_EQ(server.Accepted(), 1);
}

TEST(VantryGetRedirect, OtherSchemeFailsWithOneLineAndALoopExits47) {
    ScriptedServer server;
    server.AddScript(Answer(Response(307, "", "Location: ftp://127.0.0.1/file\r\n")));
    ProgramResult other = Get({Url(server, "/")});
    EXPECT_EQ(other.exitCode, 1) << other.err;
    EXPECT_NE(other.err.find("scheme other than http and https"), std::string::npos) << other.err;
    EXPECT_EQ(std::count(other.err.begin(), other.err.end(), '\n'), 1);
    EXPECT_EQ(other.out, "");

    ScriptedServer loop;
    loop.SetDefaultScript(Answer(Response(308, "", "Location: /again\r\n")));
    ProgramResult looped = Get({Url(loop, "/again")});
    EXPECT_EQ(looped.exitCode, 47) << looped.err;
    EXPECT_EQ(loop.Accepted(), 5);
}

TEST(VantryGetRedirect, MediaExtensionsAndLongUrlsAreFetched) {
    ScriptedServer server;
    server.SetDefaultScript(Answer(Response(200, "ok")));
    EXPECT_EQ(Get({Url(server, "/song.mp3")}).exitCode, 0);
    std::string base = Url(server, "/long?");
    ProgramResult r = Get({base + std::string(8000 - base.size(), 'q')});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "ok");
    EXPECT_EQ(Get({base + std::string(8001 - base.size(), 'q')}).exitCode, 3);
    EXPECT_EQ(server.Accepted(), 2);
}

TEST(VantryGetRedirect, HeaderOptionReplacesOrRemovesTheProfilesOwnLine) {
    ScriptedServer server;
    server.SetDefaultScript(Answer(Response(200, "ok")));
    std::string longValue(3000, 'v');
    ProgramResult r =
        Get({"-H", "Accept:", "-H", "User-Agent: mine/1", "-H", "X-Long: a; " + longValue, Url(server, "/")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ASSERT_TRUE(server.WaitFinished(0, 5000));
    std::string request = server.Received(0);
    EXPECT_EQ(request.find("Accept:"), std::string::npos) << request;
    EXPECT_EQ(request.find("User-Agent: Vantry"), std::string::npos) << request;
    EXPECT_NE(request.find("\r\nUser-Agent: mine/1\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("\r\nX-Long: a; " + longValue + "\r\n"), std::string::npos);
}

TEST(VantryGetRedirect, TheLoginGoesOnlyToTheOriginOfEachUrlNamed) {
    for (bool inUrl : {false, true}) {
        ScriptedServer first, second;
        first.AddScript(Answer(Response(302, "", "Location: /same\r\n")));
        first.AddScript(Answer(Response(302, "", "Location: " + Url(second, "/elsewhere") + "\r\n")));
        second.AddScript(Answer(Response(200, "landed")));
        std::string start = Url(first, "/start");
        std::vector<std::string> args = {start};
        if (inUrl)
            args = {"http://user:s3cr3t@" + start.substr(7)};
        else
            args = {"-u", "user:s3cr3t", start};
        ProgramResult r = Get(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, "landed");
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(first.WaitFinished(i, 5000));
            EXPECT_NE(first.Received(i).find("\r\nAuthorization: Basic dXNlcjpzM2NyM3Q=\r\n"),
                      std::string::npos)
                << first.Received(i);
        }
        ASSERT_TRUE(second.WaitFinished(0, 5000));
        EXPECT_EQ(second.Received(0).find("Authorization"), std::string::npos) << second.Received(0);
    }
}

TEST(VantryGetRedirect, AFailureMessageShowsTheUrlWithItsPasswordMasked) {
    ScriptedServer server;
    server.AddScript(Answer(Response(404, "gone")));
    ProgramResult r = Get({"--fail", "http://user:s3cr3t@" + Url(server, "/x").substr(7)});
    EXPECT_EQ(r.exitCode, 22) << r.err;
    EXPECT_EQ(r.err.find("s3cr3t"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("user:****@127.0.0.1"), std::string::npos) << r.err;
}

#endif
