// vantry-get end to end inside the private network sandbox, against nginx serving made-up names: the
// request profiles as nginx logs them, cookies kept across runs, a second run served from each cache store,
// and a name that does not resolve.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "RunProgram.h"

#ifdef VANTRY_GET_PATH

using testsupport::ProgramResult;

namespace {

const char *kSite = "http://www.vantryget-site.com:8080";

class VantryGetSandbox : public ::testing::Test {
protected:
    void SetUp() override {
        const char *sandbox = std::getenv("VANTRY_SANDBOX");
        const char *site = std::getenv("VANTRY_GET_SITE");
        if (!sandbox || std::string(sandbox) != "1" || !site)
            GTEST_SKIP() << "runs inside tests/tools/run-sandboxed";
        m_site = site;
        m_dir = testsupport::MakeTempDirectory();
    }
    void TearDown() override {
        if (!m_dir.empty())
            testsupport::RemoveTree(m_dir);
    }

    static ProgramResult Get(std::vector<std::string> args) {
        args.insert(args.begin(), VANTRY_GET_PATH);
        return testsupport::RunProgram(args);
    }

    // nginx's log lines of this server (request|agent|accept|language|referer|cookie|authorization|host) for
    // requests whose line contains `path`. nginx writes a line after its answer has gone out, so this
    // waits (at most 5 s) until there are at least `wanted` of them.
    std::vector<std::vector<std::string>> LogLines(const std::string &path, size_t wanted = 1) const {
        std::vector<std::vector<std::string>> lines;
        for (int tries = 0; tries < 100; ++tries) {
            lines = LogLinesNow(path);
            if (lines.size() >= wanted)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return lines;
    }
    std::vector<std::vector<std::string>> LogLinesNow(const std::string &path) const {
        std::vector<std::vector<std::string>> lines;
        std::istringstream log(testsupport::ReadWholeFile(m_site + "/access.log"));
        for (std::string line; std::getline(log, line);) {
            std::vector<std::string> fields;
            std::istringstream parts(line);
            for (std::string f; std::getline(parts, f, '|');)
                fields.push_back(f);
            if (!fields.empty() && fields[0].find(" " + path + " ") != std::string::npos)
                lines.push_back(fields);
        }
        return lines;
    }

    std::string m_site;
    std::string m_dir;
};

} // namespace

TEST_F(VantryGetSandbox, ProfilesReachNginxAsTheirOwnAgentAndAcceptLines) {
    std::string url = std::string(kSite) + "/profile.html";
    ASSERT_EQ(Get({url}).exitCode, 0);
    ASSERT_EQ(Get({"--profile", "ie", url}).exitCode, 0);
    ASSERT_EQ(Get({"--profile", "firefox", url}).exitCode, 0);
    ASSERT_EQ(Get({"-A", "Custom/3", "-e", "http://ref.example/", "-u", "u:p", url}).exitCode, 0);
    auto lines = LogLines("/profile.html", 4);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0][1].rfind("Vantry/1.0.0", 0), 0u) << lines[0][1];
    EXPECT_EQ(lines[0][2], "*/*");
    EXPECT_NE(lines[1][1].find("MSIE"), std::string::npos) << lines[1][1];
    EXPECT_NE(lines[2][1].find("Firefox"), std::string::npos) << lines[2][1];
    EXPECT_NE(lines[2][2], "*/*"); // Firefox sends its own Accept list
    EXPECT_EQ(lines[3][1], "Custom/3");
    EXPECT_EQ(lines[3][4], "http://ref.example/");
    EXPECT_EQ(lines[3][6], "Basic dTpw");
}

TEST_F(VantryGetSandbox, TheLoginIsNotSentToAnotherHostAfterARedirect) {
    ProgramResult r = Get({"-u", "u:p", std::string(kSite) + "/to-other"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "profile page\n");
    auto asked = LogLines("/to-other");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0][6], "Basic dTpw");
    auto landed = LogLines("/profile.html?redirected");
    ASSERT_EQ(landed.size(), 1u);
    EXPECT_EQ(landed[0][7], "www.vantryget-other.com");
    EXPECT_TRUE(landed[0][6].empty() || landed[0][6] == "-") << landed[0][6]; // absent
}

TEST_F(VantryGetSandbox, CookiesAreKeptInTheCookieDirAcrossRuns) {
    std::string cookies = m_dir + "/cookies";
    ProgramResult first = Get({"--cookie-dir", cookies, std::string(kSite) + "/setcookie"});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(first.out, "cookie set\n");
    EXPECT_FALSE(testsupport::DirectoryEntries(cookies).empty());
    ProgramResult second = Get({"--cookie-dir", cookies, std::string(kSite) + "/profile.html?cookie"});
    ASSERT_EQ(second.exitCode, 0) << second.err;
    auto lines = LogLines("/profile.html?cookie");
    ASSERT_EQ(lines.size(), 1u);
    // The value goes back exactly as the server sent it.
    EXPECT_EQ(lines[0][5], "flavour=oatmeal");
    // Without the directory no cookie goes out.
    ASSERT_EQ(Get({std::string(kSite) + "/profile.html?nocookie"}).exitCode, 0);
    EXPECT_EQ(LogLines("/profile.html?nocookie").at(0)[5], ""); // nginx logs an absent field as empty here
}

TEST_F(VantryGetSandbox, ASecondRunIsServedFromEachCacheStore) {
    struct Store {
        const char *option;
        const char *query;
    };
    for (Store store : {Store{"--cache-dir", "?dat"}, Store{"--caf-dir", "?caf"}}) {
        std::string url = std::string(kSite) + "/cached.html" + store.query;
        std::string dir = m_dir + "/" + (store.option + 2);
        ProgramResult first = Get({store.option, dir, url});
        ASSERT_EQ(first.exitCode, 0) << first.err;
        ProgramResult second = Get({store.option, dir, url});
        ASSERT_EQ(second.exitCode, 0) << second.err;
        EXPECT_EQ(second.out, "a page the cache keeps\n") << store.option;
        ASSERT_EQ(LogLines(std::string("/cached.html") + store.query).size(), 1u) << store.option;
        std::this_thread::sleep_for(
            std::chrono::milliseconds(300)); // room for a second line that should not come
        EXPECT_EQ(LogLinesNow(std::string("/cached.html") + store.query).size(), 1u) << store.option;
        EXPECT_FALSE(testsupport::DirectoryEntries(dir).empty()) << store.option;
    }
}

TEST_F(VantryGetSandbox, AnUnknownNameExits6WithOneLine) {
    ProgramResult r = Get({"http://no-such-host.vantryget-site.com:8080/"});
    EXPECT_EQ(r.exitCode, 6) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find("host not found"), std::string::npos) << r.err;
}

TEST_F(VantryGetSandbox, ALargeBodyArrivesWholeThroughAFile) {
    std::string path = m_dir + "/big.bin";
    ProgramResult r = Get({"-o", path, std::string(kSite) + "/big.bin"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(testsupport::ReadWholeFile(path), std::string(3145728, 'v'));
    ProgramResult limited =
        Get({"--max-size", "1M", "-o", m_dir + "/limited.bin", std::string(kSite) + "/big.bin"});
    EXPECT_EQ(limited.exitCode, 63) << limited.err;
    EXPECT_FALSE(testsupport::PathExists(m_dir + "/limited.bin"));
}

TEST_F(VantryGetSandbox, AVerifiedServerIsRequiredUnlessInsecure) {
    std::string ca = m_site + "/ca.crt";
    std::string good = "https://www.vantryget-site.com:8443/profile.html";
    std::string wrongName = "https://www.vantryget-site.com:8444/profile.html";
    ProgramResult trusted = Get({"--cacert", ca, good});
    EXPECT_EQ(trusted.exitCode, 0) << trusted.err;
    EXPECT_EQ(trusted.out, "profile page\n");
    // Without the test CA the chain does not verify.
    ProgramResult untrusted = Get({good});
    EXPECT_EQ(untrusted.exitCode, 60) << untrusted.err;
    EXPECT_EQ(untrusted.out, "");
    EXPECT_EQ(std::count(untrusted.err.begin(), untrusted.err.end(), '\n'), 1) << untrusted.err;
    // A certificate for another name fails even with the CA, and is accepted with -k.
    ProgramResult mismatch = Get({"--cacert", ca, wrongName});
    EXPECT_EQ(mismatch.exitCode, 60) << mismatch.err;
    ProgramResult insecure = Get({"-k", "--cacert", ca, wrongName});
    EXPECT_EQ(insecure.exitCode, 0) << insecure.err;
    EXPECT_EQ(insecure.out, "profile page\n");
}

TEST_F(VantryGetSandbox, HeadAgainstNginxWritesTheHeadAndReadsNoBody) {
    ProgramResult r = Get({"-I", std::string(kSite) + "/big.bin?head"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\r\nContent-Length: 3145728\r\n"), std::string::npos) << r.out;
    ASSERT_GE(r.out.size(), 4u);
    EXPECT_EQ(r.out.substr(r.out.size() - 4), "\r\n\r\n"); // the head and nothing after it
    auto lines = LogLines("/big.bin?head");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0][0].rfind("HEAD /big.bin?head ", 0), 0u) << lines[0][0];
    // A GET on the same run after the HEAD: the kept connection carries on in step.
    ProgramResult both =
        Get({"-I", std::string(kSite) + "/profile.html", std::string(kSite) + "/profile.html"});
    EXPECT_EQ(both.exitCode, 0) << both.err;
}

TEST_F(VantryGetSandbox, RedirectsOfEveryKindAreFollowedToTheirTarget) {
    for (const char *path : {"/r303", "/r307"}) {
        ProgramResult r = Get({"-w", "|%{http_code}|%{url_effective}", std::string(kSite) + path});
        EXPECT_EQ(r.exitCode, 0) << path << ": " << r.err;
        EXPECT_EQ(r.out, "profile page\n|200|" + std::string(kSite) + "/profile.html") << path;
    }
    ProgramResult kept = Get({"--no-location", "-w", "%{http_code}", std::string(kSite) + "/r308"});
    EXPECT_EQ(kept.exitCode, 0) << kept.err;
    EXPECT_EQ(kept.out.substr(kept.out.size() - 3), "308");
}

TEST_F(VantryGetSandbox, NginxGzipIsDecodedAndAGzFileIsSavedAsStored) {
    const std::string text = testsupport::ReadWholeFile(m_site + "/www/gz/text.txt");
    ProgramResult r = Get({"-w", "|%{size_download}", std::string(kSite) + "/gz/text.txt"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    size_t bar = r.out.rfind('|');
    ASSERT_NE(bar, std::string::npos);
    EXPECT_EQ(r.out.substr(0, bar), text);
    EXPECT_LT(std::stoull(r.out.substr(bar + 1)), text.size() / 4); // it came compressed
    EXPECT_NE(LogLines("/gz/text.txt").at(0)[0], "");
    std::string saved = m_dir + "/archive.gz";
    ASSERT_EQ(Get({"-o", saved, std::string(kSite) + "/gz/archive.gz"}).exitCode, 0);
    EXPECT_EQ(testsupport::ReadWholeFile(saved), testsupport::ReadWholeFile(m_site + "/www/gz/archive.gz"));
}

#endif // VANTRY_GET_PATH
