// Sandbox tests of the name lookups and the address neighbourhood scan: forward and reverse answers come
// from the sandbox's hosts file (tests/sandbox/hosts.list), and a real walk finds and writes the names.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/DataBuffer.h"
#include "core/LogNull.h"
#include "core/StringBuffer.h"
#include "core/StringSeen.h"
#include "core/StringTable.h"
#include "harvester/AddressScanner.h"
#include "log/Logger.h"
#include "net/NameLookup.h"
#include "net/VantrySocket.h"
#include "support/TestSupport.h"

using namespace vantry;
using namespace lanternfold;

namespace {

// Names are only ever resolved inside the sandbox; outside it every test here fails at once.
class Sandbox : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("VANTRY_SANDBOX"))
            GTEST_FAIL() << "run through tests/sandbox/run-in-sandbox";
    }
};

std::string Forward(const char *host) {
    StringBuffer out;
    return ResolveDottedIp(host, out) ? std::string(out.Text()) : std::string("<none>");
}

std::string Reverse(const char *address) {
    StringBuffer out;
    return ReverseLookup(address, 80, out) ? std::string(out.Text()) : std::string("<none>");
}

} // namespace

TEST_F(Sandbox, ForwardLookupsComeFromTheHostsFile) {
    EXPECT_EQ(Forward("www.harbor-lantern.com"), "127.30.0.20");
    EXPECT_EQ(Forward("quillmarsh.org"), "127.30.0.21");
    EXPECT_EQ(Forward("not-in-the-hosts-file.com"), "<none>");
}

TEST_F(Sandbox, ReverseLookupsGiveTheRegisteredNameAndRefuseDottedAnswers) {
    EXPECT_EQ(Reverse("127.30.0.21"), "quillmarsh.org");
    EXPECT_EQ(Reverse("127.30.0.24"), "www.tidewell-ferns.net");
    // No registered name: the system answers with the address itself.
    EXPECT_EQ(Reverse("127.30.0.23"), "<none>");
    // A registered name that reads as another dotted quad is no name either.
    EXPECT_EQ(Reverse("127.30.0.26"), "<none>");
}

TEST_F(Sandbox, WalkFindsAndWritesTheNeighbourNames) {
    testsupport::TempDir dir;
    const std::string out = dir.File("domains.txt");
    AddressScanner scanner;
    scanner.maxMisses = 20;
    StringSeen seen(51001);
    StringTable found;
    ASSERT_TRUE(scanner.ScanAround("www.harbor-lantern.com", seen, out.c_str(), &found));

    std::vector<std::string> names;
    StringBuffer s;
    for (int32_t i = 0; i < found.Count(); ++i) {
        found.GetString(i, s);
        names.push_back(s.Text());
    }
    // Upward: refused and dotted answers are misses; 127.30.0.45 is the 21st lookup after the last find,
    // 127.30.0.67 lies beyond 21 misses. Downward: the walk ends at 127.30.0.0, the edge of the block.
    EXPECT_EQ(names,
              (std::vector<std::string>{"quillmarsh.org", "www.tidewell-ferns.net", "www.edge-of-walk.com",
                                        "www.saltreed-cove.com", "www.brinefield.zz"}));
    // Output lines end in LF alone.
    EXPECT_EQ(testsupport::ReadFileBytes(out),
              "quillmarsh.org\nwww.tidewell-ferns.net\nwww.edge-of-walk.com\nwww.saltreed-cove.com\n");

    // A second scan of the same neighbourhood stops at the first name, already seen.
    StringTable again;
    ASSERT_TRUE(scanner.ScanAround("www.harbor-lantern.com", seen, out.c_str(), &again));
    EXPECT_EQ(again.Count(), 0);
}

TEST_F(Sandbox, SocketConnectsByNameToTheSandboxWebServer) {
    VantrySocket socket;
    socket.SetConnectTimeout(2);
    socket.SetReadTimeout(5000);
    LogNull log;
    bool lookupFailed = true;
    ASSERT_TRUE(socket.Connect("www.sandbox-alpha.com", 80, lookupFailed, log));
    const std::string request = "GET / HTTP/1.1\r\nHost: www.sandbox-alpha.com\r\nConnection: close\r\n\r\n";
    ASSERT_TRUE(socket.SendBytes(request.data(), static_cast<uint32_t>(request.size()), log));
    DataBuffer head;
    ASSERT_TRUE(socket.ReceiveHeaderBlock(head, log));
    std::string headText(reinterpret_cast<const char *>(head.Data()), head.Length());
    EXPECT_EQ(headText.rfind("HTTP/1.1 200", 0), 0u) << headText;
    DataBuffer body;
    EXPECT_TRUE(socket.ReceiveToEnd(body, log));
    std::string bodyText(reinterpret_cast<const char *>(body.Data()), body.Length());
    EXPECT_NE(bodyText.find("www.sandbox-alpha.com"), std::string::npos) << bodyText;

    VantrySocket other;
    Logger failures;
    EXPECT_FALSE(other.Connect("no-such-site.com", 80, lookupFailed, failures));
    EXPECT_TRUE(lookupFailed);
    StringBuffer text;
    failures.GetLogText(text);
    EXPECT_STREQ(text.Text(), "VantryLog:\r\n  Cannot get host by name.\r\n  hostname: no-such-site.com\r\n");
}
