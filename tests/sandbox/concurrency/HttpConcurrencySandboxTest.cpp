// Several threads, each with its own HttpMan, against the sandbox's nginx at once: gzip and chunked pages
// and pages in legacy charsets (nginx-http.conf of sandbox/http on 127.0.0.1:8081), and the sandbox's
// made-up names looked up both ways from every thread.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "core/StringBuffer.h"
#include "http/HttpMan.h"
#include "http/HttpResult.h"
#include "net/NameLookup.h"
#include "support/Concurrently.h"

using namespace vantry;
using testsupport::RunTogether;

namespace {

constexpr int kThreads = 6;
const std::string kBase = "http://127.0.0.1:8081";

struct Page {
    std::string path;
    std::string expected; // the page as QuickGetHtml returns it (UTF-8)
};

class HttpConcurrencySandbox : public ::testing::Test {
protected:
    void SetUp() override {
        const char *dir = std::getenv("VANTRY_SANDBOX_DIR");
        if (!dir)
            GTEST_FAIL() << "run through tests/sandbox/run-in-sandbox with sandbox/http/nginx-http.conf";
        m_site = std::string(dir) + "/nginx/engine-site";
        for (const char *sub : {"", "/gz", "/chunked", "/ct"})
            mkdir((m_site + sub).c_str(), 0755);
    }
    void Put(const std::string &path, const std::string &bytes) {
        std::ofstream(m_site + path, std::ios::binary) << bytes;
    }
    // The site's pages, written before any thread starts.
    std::vector<Page> MakePages() {
        std::vector<Page> pages;
        std::string text = "<html><body>";
        for (int i = 0; i < 4000; ++i)
            text += "<p>row " + std::to_string(i) + " of the compressed page</p>\n";
        text += "</body></html>";
        Put("/gz/rows.html", text);
        pages.push_back({"/gz/rows.html", text});
        // nginx sends pages under /chunked/ chunked, with "marker" replaced on the way.
        std::string chunked;
        while (chunked.size() < 300000)
            chunked += "a marker in a line\n";
        Put("/chunked/rows.txt", chunked);
        std::string replaced = chunked;
        for (size_t at = 0; (at = replaced.find("marker", at)) != std::string::npos; at += 6)
            replaced.replace(at, 6, "MARKER");
        pages.push_back({"/chunked/rows.txt", replaced});
        // The charset named by the Content-Type (the file extension, see nginx-http.conf).
        struct Legacy {
            const char *charset;
            std::string bytes, utf8;
        } legacy[] = {
            {"windows-1252", "caf\xE9 \x80", "caf\xC3\xA9 \xE2\x82\xAC"},
            {"koi8-r", "\xED\xC9\xD2", "\xD0\x9C\xD0\xB8\xD1\x80"},
            {"iso-8859-2", "\xA3\xF3\x64\xBC", "\xC5\x81\xC3\xB3\x64\xC5\xBA"},
            {"shift_jis", "\x93\xFA\x96\x7B\x8C\xEA", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
            {"gb2312", "\xD6\xD0\xCE\xC4", "\xE4\xB8\xAD\xE6\x96\x87"},
            {"euc-kr", "\xC7\xD1\xB1\xB9\xBE\xEE", "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4"},
            {"big5", "\xA4\xA4\xA4\xE5", "\xE4\xB8\xAD\xE6\x96\x87"},
        };
        for (const Legacy &l : legacy) {
            std::string path = std::string("/ct/rows.") + l.charset;
            Put(path, "<html><body><p>" + l.bytes + "</p></body></html>");
            pages.push_back({path, "<html><body><p>" + l.utf8 + "</p></body></html>"});
        }
        return pages;
    }
    std::string m_site;
};

std::string Log(HttpMan &man) {
    StringBuffer text;
    man.GetLogText(text);
    return text.Text();
}

void Report(const std::vector<std::vector<std::string>> &problems) {
    for (size_t t = 0; t < problems.size(); ++t)
        for (const std::string &p : problems[t])
            ADD_FAILURE() << "thread " << t << ": " << p;
}

} // namespace

TEST_F(HttpConcurrencySandbox, ThreadsWithTheirOwnHttpManFetchDecodeAndConvertAtOnce) {
    const std::vector<Page> pages = MakePages();
    std::vector<std::vector<std::string>> problems(kThreads);
    RunTogether(kThreads, [&](int t) {
        HttpMan man;
        man.SetConnectTimeout(5);
        man.SetReadTimeout(10);
        man.SetMimicFirefox(t % 2 == 1); // the Firefox profile asks for gzip
        for (int round = 0; round < 3; ++round) {
            for (size_t k = 0; k < pages.size(); ++k) {
                const Page &p = pages[(k + static_cast<size_t>(t)) % pages.size()];
                StringBuffer out;
                if (!man.QuickGetHtml((kBase + p.path).c_str(), out))
                    problems[static_cast<size_t>(t)].push_back(p.path + " failed: " + Log(man));
                else if (std::string(out.Text(), out.Length()) != p.expected)
                    problems[static_cast<size_t>(t)].push_back(p.path + " gave other text (" +
                                                               std::to_string(out.Length()) + " bytes)");
                else if (man.LastResult().Header.StatusCode != 200)
                    problems[static_cast<size_t>(t)].push_back(
                        p.path + " status " + std::to_string(man.LastResult().Header.StatusCode));
            }
        }
    });
    Report(problems);
}

TEST_F(HttpConcurrencySandbox, ThreadsLookUpAndFetchSandboxNamesAtOnce) {
    struct Name {
        const char *host, *address;
    } names[] = {{"www.sandbox-alpha.com", "127.40.0.1"},
                 {"www.sandbox-beta.org", "127.40.0.2"},
                 {"sandbox-gamma.net", "127.40.0.3"}};
    std::vector<std::vector<std::string>> problems(kThreads);
    RunTogether(kThreads, [&](int t) {
        HttpMan man;
        man.SetConnectTimeout(5);
        man.SetReadTimeout(10);
        for (int round = 0; round < 5; ++round) {
            const Name &n = names[static_cast<size_t>(round + t) % 3];
            StringBuffer address, host, page;
            if (!ResolveDottedIp(n.host, address) || std::string(address.Text()) != n.address)
                problems[static_cast<size_t>(t)].push_back(std::string("lookup of ") + n.host);
            if (!ReverseLookup(n.address, 80, host) || std::string(host.Text()) != n.host)
                problems[static_cast<size_t>(t)].push_back(std::string("reverse lookup of ") + n.address);
            if (!man.QuickGetHtml((std::string("http://") + n.host + "/").c_str(), page) ||
                std::string(page.Text()).find(std::string("<p>") + n.host + "</p>") == std::string::npos)
                problems[static_cast<size_t>(t)].push_back(std::string("page of ") + n.host + ": " +
                                                           Log(man));
        }
    });
    Report(problems);
}
