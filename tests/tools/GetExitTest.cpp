// vantry-get's exit status: error entries are read from the log's XML and classed, most specific first.
#include <gtest/gtest.h>

#include "core/StringBuffer.h"
#include "log/Logger.h"
#include "tools/GetExit.h"

using namespace vantry;

TEST(GetExit, ErrorEntriesComeFromTheLogInOrderWithTheirMarkupIntact) {
    Logger log;
    log.EnterContext("QuickGetHtml");
    log.LogInfo("an info entry");
    log.LogError("first <error> & \"quoted\"");
    log.LogData("url", "http://x/?a=1&b=2");
    log.EnterContext("inner");
    log.LogError("second ]]> split");
    log.LogError("third");
    log.LeaveContext();
    log.LeaveContext();
    StringBuffer xml;
    log.GetLogXml(xml);
    std::vector<std::string> errors = CollectLogErrors(xml.Text());
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0], "first <error> & \"quoted\"");
    EXPECT_EQ(errors[1], "second ]]> split");
    EXPECT_EQ(errors[2], "third");
}

TEST(GetExit, EachFailureClassHasItsCode) {
    EXPECT_EQ(ClassifyFailure({"Failed to parse URL"}), kExitBadUrl);
    EXPECT_EQ(ClassifyFailure({"URL is longer than the maximum allowed length."}), kExitBadUrl);
    EXPECT_EQ(ClassifyFailure({"Does not support URLs with this file extension"}), kExitBadUrl);
    EXPECT_EQ(ClassifyFailure({"Cannot get host by name.", "Failed to connect to HTTP server",
                               "Domain name lookup failed."}),
              kExitResolve);
    EXPECT_EQ(ClassifyFailure({"Connect function failed.", "Failed to connect to HTTP server"}),
              kExitConnect);
    EXPECT_EQ(ClassifyFailure({"Failed to connect to proxy server"}), kExitConnect);
    EXPECT_EQ(ClassifyFailure({"Content length more than the maximum allowed..."}), kExitTooLarge);
    EXPECT_EQ(ClassifyFailure({"WaitForData timed out.", "Failed to get response header"}), kExitTimeout);
    EXPECT_EQ(ClassifyFailure({"Failed to get response header"}), kExitReceive);
    EXPECT_EQ(ClassifyFailure({"Invalid response header received"}), kExitReceive);
    EXPECT_EQ(ClassifyFailure({"Error authenticating server credentials!"}), kExitTlsVerify);
    EXPECT_EQ(ClassifyFailure({"Handshake failed"}), kExitTls);
    EXPECT_EQ(ClassifyFailure({"Response header line without a colon.", "Invalid response header received"}),
              kExitWeirdReply);
    EXPECT_EQ(ClassifyFailure({"The peer has closed the socket (TCP) connection",
                               "Response body ended before its Content-Length."}),
              kExitPartial);
    EXPECT_EQ(ClassifyFailure({"The server closed the connection without sending a response.",
                               "Failed to get response header"}),
              kExitGotNothing);
    EXPECT_EQ(ClassifyFailure({"The gzip-encoded body is damaged and cannot be decoded."}), kExitBadEncoding);
    EXPECT_EQ(ClassifyFailure({"Chunk data is not followed by CRLF."}), kExitReceive);
    EXPECT_EQ(ClassifyFailure({"Aborted to avoid infinite redirects."}), kExitRedirects);
    EXPECT_EQ(ClassifyFailure({"Failed to construct new URL"}), kExitBadUrl);
    EXPECT_EQ(ClassifyFailure({"Not following a redirect to a URL scheme other than http and https."}),
              kExitFailure);
    EXPECT_EQ(ClassifyFailure({"Something else entirely"}), kExitFailure);
    EXPECT_EQ(ClassifyFailure({}), kExitFailure);
}

TEST(GetExit, AConnectThatTimedOutIsATimeOut) {
    EXPECT_EQ(ClassifyFailure({"Connection attempt timed out, trying again.", "Connect function failed.",
                               "Failed to connect to HTTP server"}),
              kExitTimeout);
}

TEST(GetExit, ASizeRefusalWinsOverTheEntriesThatFollowIt) {
    EXPECT_EQ(ClassifyFailure({"Content length more than the maximum allowed...", "Failed to receive"}),
              kExitTooLarge);
}

TEST(GetExit, TheNameOfTheHostInAConnectEntryDoesNotDecideTheClass) {
    EXPECT_EQ(ClassifyFailure({"Connect function failed.",
                               "connect to tls.ssl.example port 443: Connection refused",
                               "Failed to connect to HTTP server"}),
              kExitConnect);
    EXPECT_EQ(ClassifyFailure({"Cannot get host by name.", "Failed to connect to proxy server",
                               "Domain name lookup failed."}),
              kExitProxy);
    EXPECT_EQ(ClassifyFailure({"The server's certificate did not verify: certificate has expired",
                               "Error authenticating server credentials!"}),
              kExitTlsVerify);
}

TEST(GetExit, MessageQuotesTheEntryThatSaysMostAboutTheFailure) {
    EXPECT_EQ(
        FailureMessage(kExitConnect, "http://127.0.0.1:18080/",
                       {"Connect function failed.", "connect to 127.0.0.1 port 18080: Connection refused",
                        "Failed to connect to HTTP server"}),
        "vantry-get: http://127.0.0.1:18080/: could not connect: \"connect to 127.0.0.1 port 18080: "
        "Connection refused\"");
    EXPECT_NE(FailureMessage(kExitTls, "u", {"Error reading", "TLS handshake failed: tlsv1 alert unknown ca"})
                  .find("\"TLS handshake failed: tlsv1 alert unknown ca\""),
              std::string::npos);
    EXPECT_NE(FailureMessage(kExitTlsVerify, "u",
                             {"Error building", "The server's certificate did not verify: hostname mismatch"})
                  .find("hostname mismatch"),
              std::string::npos);
}

TEST(GetExit, MessageIsOneLineQuotingTheFirstErrorEntry) {
    std::string line = FailureMessage(kExitConnect, "http://127.0.0.1:1/",
                                      {"Connect function\r\nfailed.", "Failed to connect to HTTP server"});
    EXPECT_EQ(line, "vantry-get: http://127.0.0.1:1/: could not connect: \"Connect function  failed.\"");
    EXPECT_EQ(FailureMessage(kExitFailure, "u", {}), "vantry-get: u: fetch failed");
}
