// vantry-get's command line: values reach the record, bad input is refused with one reason.
#include <gtest/gtest.h>

#include "tools/GetOptions.h"

using namespace vantry;

namespace {

GetOptions Parse(std::vector<std::string> args) {
    GetOptions options;
    std::string error;
    EXPECT_TRUE(ParseGetOptions(args, options, error)) << error;
    return options;
}

std::string Refusal(std::vector<std::string> args) {
    GetOptions options;
    std::string error;
    EXPECT_FALSE(ParseGetOptions(args, options, error));
    EXPECT_EQ(error.find('\n'), std::string::npos);
    return error;
}

} // namespace

TEST(GetOptions, PlainUrlsAreCollectedInOrderWithDefaultsUntouched) {
    GetOptions o = Parse({"http://a/", "http://b/"});
    ASSERT_EQ(o.Urls.size(), 2u);
    EXPECT_EQ(o.Urls[1], "http://b/");
    EXPECT_FALSE(o.Text || o.IncludeHead || o.Verbose || o.Fail || o.Insecure || o.NoFollow);
    EXPECT_EQ(o.Profile, RequestProfile::Generic);
    EXPECT_FALSE(o.ConnectTimeout || o.ReadTimeout || o.MaxTime || o.MaxSize || o.UserAgent);
}

TEST(GetOptions, EveryOptionReachesItsField) {
    GetOptions o = Parse({"-o",
                          "out.html",
                          "--text",
                          "-i",
                          "-v",
                          "--profile",
                          "firefox",
                          "-A",
                          "Agent/1",
                          "-e",
                          "http://ref/",
                          "-u",
                          "user:pa:ss",
                          "-H",
                          "X-One: 1",
                          "-H",
                          "X-Two:2",
                          "--max-size",
                          "64K",
                          "--connect-timeout",
                          "3",
                          "--read-timeout",
                          "4",
                          "--max-time",
                          "5",
                          "--no-follow",
                          "-x",
                          "proxy.local:3128",
                          "--cookie-dir",
                          "/c",
                          "--cache-dir",
                          "/d",
                          "--cacert",
                          "/ca.pem",
                          "-k",
                          "--fail",
                          "http://x/"});
    EXPECT_EQ(o.OutputFile, "out.html");
    EXPECT_TRUE(o.Text && o.IncludeHead && o.Verbose && o.NoFollow && o.Insecure && o.Fail);
    EXPECT_EQ(o.Profile, RequestProfile::Firefox);
    EXPECT_EQ(*o.UserAgent, "Agent/1");
    EXPECT_EQ(*o.Referer, "http://ref/");
    EXPECT_EQ(o.Account->first, "user");
    EXPECT_EQ(o.Account->second, "pa:ss"); // the password may hold colons
    ASSERT_EQ(o.Headers.size(), 2u);
    EXPECT_EQ(o.Headers[0], std::make_pair(std::string("X-One"), std::string("1")));
    EXPECT_EQ(o.Headers[1], std::make_pair(std::string("X-Two"), std::string("2")));
    EXPECT_EQ(*o.MaxSize, 65536u);
    EXPECT_EQ(*o.ConnectTimeout, 3);
    EXPECT_EQ(*o.ReadTimeout, 4);
    EXPECT_EQ(*o.MaxTime, 5);
    EXPECT_EQ(o.Proxy->first, "proxy.local");
    EXPECT_EQ(o.Proxy->second, 3128);
    EXPECT_EQ(o.CookieDir, "/c");
    EXPECT_EQ(o.CacheDir, "/d");
    EXPECT_EQ(o.CaCert, "/ca.pem");
}

TEST(GetOptions, LongOptionsTakeAttachedValuesAndShortOnesBundle) {
    GetOptions o = Parse({"--output=f", "--profile=ie", "-ivk", "-Hx-a: b", "-m7", "http://x/"});
    EXPECT_EQ(o.OutputFile, "f");
    EXPECT_EQ(o.Profile, RequestProfile::InternetExplorer);
    EXPECT_TRUE(o.IncludeHead && o.Verbose && o.Insecure);
    ASSERT_EQ(o.Headers.size(), 1u);
    EXPECT_EQ(o.Headers[0].second, "b");
    EXPECT_EQ(*o.MaxTime, 7);
}

TEST(GetOptions, DoubleDashEndsOptions) {
    GetOptions o = Parse({"--", "-i"});
    ASSERT_EQ(o.Urls.size(), 1u);
    EXPECT_EQ(o.Urls[0], "-i");
    EXPECT_FALSE(o.IncludeHead);
}

TEST(GetOptions, HelpAndVersionNeedNoUrl) {
    EXPECT_TRUE(Parse({"--help"}).Help);
    EXPECT_TRUE(Parse({"-V"}).Version);
}

TEST(GetOptions, UnknownOptionsAndMissingValuesAreRefused) {
    EXPECT_EQ(Refusal({"--bogus", "http://x/"}), "unknown option --bogus");
    EXPECT_EQ(Refusal({"-Z", "http://x/"}), "unknown option -Z");
    EXPECT_EQ(Refusal({"http://x/", "-o"}), "option -o needs a value");
    EXPECT_EQ(Refusal({"http://x/", "--max-time"}), "option --max-time needs a value");
    EXPECT_EQ(Refusal({"--text=yes", "http://x/"}), "option --text takes no value");
    EXPECT_NE(Refusal({}).find("no URL"), std::string::npos);
}

TEST(GetOptions, BadValuesAreRefused) {
    Refusal({"--profile", "opera", "http://x/"});
    Refusal({"--max-size", "12X", "http://x/"});
    Refusal({"--max-size", "9000000T", "http://x/"}); // beyond 64 bits
    Refusal({"--max-size", "-1", "http://x/"});
    Refusal({"--connect-timeout", "0", "http://x/"});
    Refusal({"--read-timeout", "1.5", "http://x/"});
    Refusal({"--max-time", "", "http://x/"});
    Refusal({"-u", "nocolon", "http://x/"});
    Refusal({"-H", "NoColon", "http://x/"});
    Refusal({"-H", ": empty name", "http://x/"});
    Refusal({"-H", "Bad Name: v", "http://x/"});
    Refusal({"-x", "host:0", "http://x/"});
    Refusal({"-x", "host:70000", "http://x/"});
    Refusal({"-x", ":8080", "http://x/"});
    Refusal({"-o", "", "http://x/"});
}

TEST(GetOptions, MaxTimeZeroMeansNoDeadlineAndSizesTakeSuffixes) {
    EXPECT_EQ(*Parse({"--max-time", "0", "http://x/"}).MaxTime, 0);
    EXPECT_EQ(*Parse({"--max-size", "2M", "http://x/"}).MaxSize, 2u * 1024 * 1024);
    EXPECT_EQ(*Parse({"--max-size", "4294967295", "http://x/"}).MaxSize, 4294967295u);
    EXPECT_EQ(*Parse({"--max-size", "8G", "http://x/"}).MaxSize, 8ull << 30); // lengths are 64-bit
    EXPECT_EQ(Parse({"-x", "http://p.local/", "http://x/"}).Proxy->second, 80);
}

TEST(GetOptions, LineBreaksCannotSmuggleRequestLines) {
    Refusal({"-H", "X-A: 1\r\nX-Injected: 2", "http://x/"});
    Refusal({"-A", "agent\r\nX-Injected: 1", "http://x/"});
    Refusal({"-e", "http://r/\nX: 1", "http://x/"});
    Refusal({"-u", "u:p\r\nX: 1", "http://x/"});
}

TEST(GetOptions, ConflictingOutputsAndStoresAreRefused) {
    EXPECT_NE(Refusal({"-o", "f", "-O", "http://x/"}).find("exclude"), std::string::npos);
    EXPECT_NE(Refusal({"-o", "f", "http://x/", "http://y/"}).find("-O"), std::string::npos);
    EXPECT_NE(Refusal({"--cache-dir", "a", "--caf-dir", "b", "http://x/"}).find("exclude"),
              std::string::npos);
}

TEST(GetOptions, UsageListsTheExitCodes) {
    std::string usage = GetUsageText();
    for (const char *text : {"22 HTTP status", "28 time-out", "63 body too large", "3 bad URL", "7 connect"})
        EXPECT_NE(usage.find(text), std::string::npos) << text;
    EXPECT_EQ(GetVersionText().rfind("vantry-get ", 0), 0u);
}

TEST(GetOptions, CurlHabitsReachTheirFields) {
    GetOptions o =
        Parse({"-sSIL", "--max-redirs", "7", "-w", "%{http_code}\\n", "--retry", "3", "--no-compressed", "-o",
               "-", "--noproxy", "a.example,b", "-X", "GET", "http://x/"});
    EXPECT_TRUE(o.Silent && o.ShowError && o.Head && o.IncludeHead && !o.NoFollow);
    EXPECT_EQ(*o.MaxRedirects, 7);
    EXPECT_EQ(o.WriteOut, "%{http_code}\\n");
    EXPECT_EQ(o.Retry, 3);
    EXPECT_FALSE(o.Compressed);
    EXPECT_EQ(o.OutputFile, "-");
    EXPECT_EQ(*o.NoProxy, "a.example,b");

    GetOptions d = Parse({"http://x/"});
    EXPECT_TRUE(d.Compressed && !d.Head && !d.Silent && !d.NoFollow && !d.MaxRedirects && d.Retry == 0);
    EXPECT_TRUE(Parse({"--no-location", "http://x/"}).NoFollow);
    EXPECT_TRUE(Parse({"--no-follow", "http://x/"}).NoFollow);
    EXPECT_FALSE(Parse({"--no-location", "-L", "http://x/"}).NoFollow);
    GetOptions head = Parse({"-X", "HEAD", "http://x/"});
    EXPECT_TRUE(head.Head && !head.IncludeHead); // -X HEAD sends HEAD; -I also shows the head
    EXPECT_TRUE(Parse({"-x", "", "http://x/"}).NoProxyAtAll);
    EXPECT_EQ(*Parse({"--max-redirs", "-1", "http://x/"}).MaxRedirects, 1000);
}

TEST(GetOptions, MethodsOtherThanGetAndHeadAndRequestBodiesAreRefusedInOneLine) {
    for (std::vector<std::string> args : {std::vector<std::string>{"-X", "POST"},
                                          {"--request=PUT"},
                                          {"-d", "a=1"},
                                          {"--data-binary", "@f"},
                                          {"-F", "f=@x"},
                                          {"-T", "file"},
                                          {"--json", "{}"}}) {
        args.push_back("http://x/");
        std::string error = Refusal(args);
        EXPECT_NE(error.find("only GET and HEAD are supported"), std::string::npos) << error;
    }
    Refusal({"--max-redirs", "1001", "http://x/"});
    Refusal({"--retry", "x", "http://x/"});
    Refusal({"-x", "socks5://p:1080", "http://x/"});
    Refusal({"-x", "user:pw@p:8080", "http://x/"});
    Refusal({"-I", "--text", "http://x/"});
}

TEST(GetOptions, HelpShowsEveryDefault) {
    std::string usage = GetUsageText();
    for (const char *text :
         {"[standard output]", "connect time-out in seconds [10]", "[20]",
          "limit on one whole transfer, in seconds [none]", "redirects followed in a row [4]", "[0]",
          "[generic]", "http_proxy, https_proxy, no_proxy", "[on]", "[no limit]"})
        EXPECT_NE(usage.find(text), std::string::npos) << text;
}
