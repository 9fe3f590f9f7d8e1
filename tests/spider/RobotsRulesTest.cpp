// Tests of RobotsRules: the examples of RFC 9309, group selection, longest match, wildcards,
// percent-encoding, line syntax and the outcomes of fetching robots.txt.
#include <string>

#include <gtest/gtest.h>

#include "spider/RobotsPath.h"
#include "spider/RobotsRules.h"

using namespace vantry;

namespace {

bool Allowed(const std::string &robots, const char *agent, const std::string &url) {
    RobotsRules rules;
    rules.Parse(robots, agent);
    return rules.IsAllowed(url);
}

// The example file of RFC 9309 section 5.1.
constexpr const char *kRfcExample = "User-Agent: *\n"
                                    "Disallow: *.gif$\n"
                                    "Disallow: /example/\n"
                                    "Allow: /publications/\n"
                                    "\n"
                                    "User-Agent: foobot\n"
                                    "Disallow:/\n"
                                    "Allow:/example/page.html\n"
                                    "Allow:/example/allowed.gif\n"
                                    "\n"
                                    "User-Agent: barbot\n"
                                    "User-Agent: bazbot\n"
                                    "Disallow: /example/page.html\n"
                                    "\n"
                                    "User-Agent: quxbot\n"
                                    "\n";

} // namespace

TEST(RobotsRules, RfcExampleEveryOtherCrawler) {
    RobotsRules rules(kRfcExample, "unknownbot/1.0");
    EXPECT_FALSE(rules.HasOwnGroup());
    EXPECT_FALSE(rules.IsAllowed("http://www.example.com/a/b.gif"));
    EXPECT_TRUE(rules.IsAllowed("http://www.example.com/a/b.gif?x"));
    EXPECT_FALSE(rules.IsAllowed("http://www.example.com/example/x"));
    EXPECT_TRUE(rules.IsAllowed("http://www.example.com/publications/x"));
    EXPECT_TRUE(rules.IsAllowed("http://www.example.com/"));
}

TEST(RobotsRules, RfcExampleNamedGroupsReplaceTheGeneralOne) {
    RobotsRules foo(kRfcExample, "FooBot");
    EXPECT_TRUE(foo.HasOwnGroup());
    EXPECT_FALSE(foo.IsAllowed("http://www.example.com/"));
    EXPECT_TRUE(foo.IsAllowed("http://www.example.com/example/page.html"));
    EXPECT_TRUE(foo.IsAllowed("http://www.example.com/example/allowed.gif"));
    EXPECT_FALSE(foo.IsAllowed("http://www.example.com/publications/"));
    // barbot and bazbot share one group; the "*" rules do not reach them.
    for (const char *agent : {"barbot", "bazbot"}) {
        RobotsRules rules(kRfcExample, agent);
        EXPECT_FALSE(rules.IsAllowed("http://www.example.com/example/page.html")) << agent;
        EXPECT_TRUE(rules.IsAllowed("http://www.example.com/example/other.html")) << agent;
        EXPECT_TRUE(rules.IsAllowed("http://www.example.com/x.gif")) << agent;
    }
    // quxbot has a group without rules: everything is allowed.
    RobotsRules qux(kRfcExample, "quxbot");
    EXPECT_TRUE(qux.HasOwnGroup());
    EXPECT_TRUE(qux.IsAllowed("http://www.example.com/example/x.gif"));
}

TEST(RobotsRules, RfcLongestMatchExample) {
    const std::string robots =
        "User-Agent: foobot\nAllow: /example/page/\nDisallow: /example/page/disallowed.gif\n";
    EXPECT_TRUE(Allowed(robots, "foobot", "http://example.com/example/page/"));
    EXPECT_TRUE(Allowed(robots, "foobot", "http://example.com/example/page/other.gif"));
    EXPECT_FALSE(Allowed(robots, "foobot", "http://example.com/example/page/disallowed.gif"));
}

TEST(RobotsRules, GroupsMatchTheProductTokenWithoutRegardToCase) {
    const std::string robots = "User-agent: *\nDisallow: /\n\nUser-agent: LanternFold\nAllow: /\n";
    EXPECT_TRUE(Allowed(robots, "lanternfold", "http://h/x"));
    EXPECT_TRUE(Allowed(robots, "Lanternfold/1.1 (+http://x.org/bot)", "http://h/x"));
    EXPECT_TRUE(Allowed(robots, "LANTERNFOLD bot", "http://h/x"));
    EXPECT_FALSE(Allowed(robots, "Lanternfolder", "http://h/x"));
    EXPECT_FALSE(Allowed(robots, "other", "http://h/x"));
    // A User-agent value is read up to its product token as well.
    EXPECT_FALSE(Allowed("User-agent: FooBot/2.1 (compatible)\nDisallow: /\n", "foobot", "http://h/x"));
    EXPECT_FALSE(Allowed("User-Agent: FOO BAR\nDisallow: /\n", "Foo", "http://h/x"));
    EXPECT_EQ(RobotsRules::ProductToken("  Foo_Bot-2/1.0"), "Foo_Bot-");
    EXPECT_EQ(RobotsRules::ProductToken("/1.0"), "");
}

TEST(RobotsRules, OnlyTheMostSpecificGroupApplies) {
    const std::string robots = "User-agent: *\nDisallow: /x/\nUser-agent: FooBot\nDisallow: /y/\n";
    EXPECT_TRUE(Allowed(robots, "FooBot", "http://h/x/page"));
    EXPECT_FALSE(Allowed(robots, "FooBot", "http://h/y/page"));
    EXPECT_FALSE(Allowed(robots, "BarBot", "http://h/x/page"));
    // A named group without any rule still replaces "*".
    EXPECT_TRUE(
        Allowed("User-agent: *\nDisallow: /\nUser-agent: FooBot\nDisallow:\n", "FooBot", "http://h/a"));
    // No group at all applies: everything is allowed.
    EXPECT_TRUE(Allowed("User-agent: BarBot\nDisallow: /\n", "FooBot", "http://h/a"));
    EXPECT_TRUE(Allowed("", "FooBot", "http://h/a"));
}

TEST(RobotsRules, GroupsOfOneAgentAreMergedAndRulesOutsideGroupsIgnored) {
    const std::string robots = "allow: /foo/bar/\n"
                               "\n"
                               "user-agent: FooBot\n"
                               "disallow: /\n"
                               "allow: /x/\n"
                               "user-agent: BarBot\n"
                               "disallow: /\n"
                               "allow: /y/\n"
                               "\n"
                               "\n"
                               "allow: /w/\n"
                               "user-agent: BazBot\n"
                               "\n"
                               "user-agent: FooBot\n"
                               "allow: /z/\n"
                               "disallow: /\n";
    EXPECT_TRUE(Allowed(robots, "FooBot", "http://h/x/b"));
    EXPECT_TRUE(Allowed(robots, "FooBot", "http://h/z/d"));
    EXPECT_FALSE(Allowed(robots, "FooBot", "http://h/y/c"));
    EXPECT_TRUE(Allowed(robots, "BarBot", "http://h/y/c"));
    EXPECT_TRUE(Allowed(robots, "BarBot", "http://h/w/a")); // blank lines do not end a group
    EXPECT_FALSE(Allowed(robots, "BarBot", "http://h/z/d"));
    EXPECT_TRUE(Allowed(robots, "BazBot", "http://h/z/d")); // shares the last group with FooBot
    for (const char *agent : {"FooBot", "BarBot", "BazBot"})
        EXPECT_FALSE(Allowed(robots, agent, "http://h/foo/bar/")) << agent;
}

TEST(RobotsRules, OtherLinesDoNotEndTheListOfAgents) {
    for (const char *between :
         {"Sitemap: https://h/sitemap.xml\n", "Invalid-Unknown-Line: x\n", "Crawl-delay: 5\n"}) {
        const std::string robots =
            std::string("User-agent: FooBot\n") + between + "User-agent: *\nDisallow: /\n";
        EXPECT_FALSE(Allowed(robots, "FooBot", "http://h/")) << between;
        EXPECT_FALSE(Allowed(robots, "BarBot", "http://h/")) << between;
    }
}

TEST(RobotsRules, LongestMatchWinsAndAllowWinsATie) {
    EXPECT_TRUE(Allowed("user-agent: FooBot\ndisallow: /x/page.html\nallow: /x/page.html\n", "FooBot",
                        "http://h/x/page.html"));
    EXPECT_TRUE(Allowed("user-agent: FooBot\nallow: /x/page.html\ndisallow: /x/page.html\n", "FooBot",
                        "http://h/x/page.html"));
    EXPECT_TRUE(Allowed("user-agent: FooBot\ndisallow: /\nallow: /\n", "FooBot", "http://h/a"));
    const std::string folder = "user-agent: FooBot\ndisallow: /x\nallow: /x/\n";
    EXPECT_FALSE(Allowed(folder, "FooBot", "http://h/x"));
    EXPECT_TRUE(Allowed(folder, "FooBot", "http://h/x/"));
    // Wildcards count with their length as written.
    const std::string html = "user-agent: FooBot\nallow: /page\ndisallow: /*.html\n";
    EXPECT_FALSE(Allowed(html, "FooBot", "http://h/page.html"));
    EXPECT_TRUE(Allowed(html, "FooBot", "http://h/page"));
    const std::string dot = "user-agent: FooBot\nallow: /x/page.\ndisallow: /*.html\n";
    EXPECT_TRUE(Allowed(dot, "FooBot", "http://h/x/page.html"));
    EXPECT_FALSE(Allowed(dot, "FooBot", "http://h/x/y.html"));
    EXPECT_TRUE(Allowed("user-agent: FooBot\nallow: /$\ndisallow: /\n", "FooBot", "http://h/"));
    EXPECT_FALSE(Allowed("user-agent: FooBot\nallow: /$\ndisallow: /\n", "FooBot", "http://h/page.html"));
}

TEST(RobotsRules, EmptyRulesMatchNothing) {
    EXPECT_TRUE(Allowed("user-agent: FooBot\ndisallow:\n", "FooBot", "http://h/a"));
    EXPECT_TRUE(Allowed("user-agent: FooBot\ndisallow: \nallow: \n", "FooBot", "http://h/a"));
    EXPECT_FALSE(Allowed("user-agent: FooBot\ndisallow: /\nallow:\n", "FooBot", "http://h/a"));
}

TEST(RobotsRules, PathsCompareWithLetterCase) {
    EXPECT_FALSE(Allowed("user-agent: FooBot\ndisallow: /x/\n", "FooBot", "http://h/x/y"));
    EXPECT_TRUE(Allowed("user-agent: FooBot\ndisallow: /X/\n", "FooBot", "http://h/x/y"));
}

TEST(RobotsRules, StarMatchesAnyRunAndFinalDollarEndsThePath) {
    const std::string star = "user-agent: FooBot\ndisallow: /\nallow: /fish*.php\n";
    EXPECT_TRUE(Allowed(star, "FooBot", "http://h/fish.php"));
    EXPECT_TRUE(Allowed(star, "FooBot", "http://h/fishheads/catfish.php?parameters"));
    EXPECT_FALSE(Allowed(star, "FooBot", "http://h/Fish.PHP"));
    const std::string dollar = "user-agent: FooBot\ndisallow: /\nallow: /*.php$\n";
    EXPECT_TRUE(Allowed(dollar, "FooBot", "http://h/folder/filename.php"));
    EXPECT_FALSE(Allowed(dollar, "FooBot", "http://h/filename.php?parameters"));
    EXPECT_FALSE(Allowed(dollar, "FooBot", "http://h/filename.php/"));
    EXPECT_FALSE(Allowed(dollar, "FooBot", "http://h/filename.php5"));
    const std::string middle = "user-agent: FooBot\ndisallow: /foo/bar/quz\nallow: /foo/*/qux\n";
    EXPECT_FALSE(Allowed(middle, "FooBot", "http://h/foo/bar/quz"));
    EXPECT_TRUE(Allowed(middle, "FooBot", "http://h/foo//quz"));
    const std::string end = "user-agent: FooBot\ndisallow: /foo/bar$\nallow: /foo/bar/qux\n";
    EXPECT_FALSE(Allowed(end, "FooBot", "http://h/foo/bar"));
    EXPECT_TRUE(Allowed(end, "FooBot", "http://h/foo/bar/"));
    // A trailing star adds nothing; a '$' anywhere but at the end is an ordinary character.
    EXPECT_TRUE(Allowed("user-agent: a\ndisallow: /\nallow: /fish*\n", "a", "http://h/fishheads"));
    EXPECT_FALSE(Allowed("user-agent: a\ndisallow: /a$b\n", "a", "http://h/a$b"));
    EXPECT_TRUE(Allowed("user-agent: a\ndisallow: /a$b\n", "a", "http://h/a"));
    EXPECT_FALSE(Allowed("user-agent: a\ndisallow: /*x*$\n", "a", "http://h/yxy"));
    EXPECT_FALSE(Allowed("user-agent: a\ndisallow: *.gif$\n", "a", "http://h/a.gif"));
}

TEST(RobotsRules, ManyStarsNeedNoBacktracking) {
    std::string pattern = "/";
    for (int i = 0; i < 2000; ++i)
        pattern += "*a";
    const std::string robots = "user-agent: a\ndisallow: " + pattern + "b\ndisallow: " + pattern + "$\n";
    const std::string as(5000, 'a');
    RobotsRules rules(robots, "a");
    EXPECT_FALSE(rules.IsAllowed("http://h/" + as));                          // ends in "a": the '$' rule
    EXPECT_TRUE(rules.IsAllowed("http://h/" + as + "c"));                     // neither
    EXPECT_FALSE(rules.IsAllowed("http://h/" + as + "b"));                    // the "b" rule
    EXPECT_TRUE(rules.IsAllowed("http://h/" + std::string(1999, 'a') + "b")); // one "a" short
}

TEST(RobotsRules, PercentEncodingIsNormalisedOnBothSides) {
    const std::string utf8 = "User-agent: FooBot\nDisallow: /\nAllow: /foo/bar/\xE3\x83\x84\n";
    EXPECT_TRUE(Allowed(utf8, "FooBot", "http://h/foo/bar/%E3%83%84"));
    EXPECT_TRUE(Allowed(utf8, "FooBot", "http://h/foo/bar/%e3%83%84"));
    EXPECT_TRUE(Allowed(utf8, "FooBot", "http://h/foo/bar/\xE3\x83\x84"));
    const std::string escaped = "User-agent: FooBot\nDisallow: /\nAllow: /foo/bar/%e3%83%84\n";
    EXPECT_TRUE(Allowed(escaped, "FooBot", "http://h/foo/bar/%E3%83%84"));
    // Escapes of unreserved characters mean the characters themselves.
    const std::string unreserved = "User-agent: FooBot\nDisallow: /\nAllow: /foo/bar/%62%61%7A\n";
    EXPECT_TRUE(Allowed(unreserved, "FooBot", "http://h/foo/bar/baz"));
    EXPECT_TRUE(Allowed(unreserved, "FooBot", "http://h/foo/bar/%62%61%7a"));
    EXPECT_FALSE(Allowed("User-agent: a\nDisallow: /~joe/\n", "a", "http://h/%7Ejoe/x"));
    // Reserved characters keep their difference: an escaped '/' is not a '/'.
    EXPECT_TRUE(Allowed("User-agent: a\nDisallow: /a/b\n", "a", "http://h/a%2Fb"));
    EXPECT_TRUE(
        Allowed("User-agent: FooBot\nDisallow: /\nAllow: /foo/bar?qux=taz&baz=http://foo.bar?tar&par\n",
                "FooBot", "http://h/foo/bar?qux=taz&baz=http://foo.bar?tar&par"));
}

TEST(RobotsRules, UrlsAreMatchedByPathAndQuery) {
    const std::string robots = "user-agent: FooBot\ndisallow: /\nallow: /fish\n";
    EXPECT_TRUE(Allowed(robots, "FooBot", "http://h/fish.html?id=anything"));
    EXPECT_FALSE(Allowed(robots, "FooBot", "http://h/?id=fish"));
    EXPECT_FALSE(Allowed(robots, "FooBot", "http://h/catfish"));
    EXPECT_FALSE(Allowed("user-agent: a\ndisallow: /*?\n", "a", "http://h/list?page=2"));
    EXPECT_TRUE(Allowed("user-agent: a\ndisallow: /*?\n", "a", "http://h/list#?"));
    // A URL without a path stands for "/"; an empty one too.
    EXPECT_FALSE(Allowed("user-agent: a\ndisallow: /$\n", "a", "http://h"));
    EXPECT_FALSE(Allowed("user-agent: a\ndisallow: /\n", "a", ""));
}

TEST(RobotsRules, PathAndQueryOfUrls) {
    const std::pair<const char *, const char *> cases[] = {
        {"", "/"},
        {"http://www.example.com", "/"},
        {"http://www.example.com/a/", "/a/"},
        {"http://www.example.com/a/b?c=http://d.e/", "/a/b?c=http://d.e/"},
        {"http://www.example.com/a/b?c=d&e=f#fragment", "/a/b?c=d&e=f"},
        {"example.com/a", "/a"},
        {"example.com?a", "/?a"},
        {"example.com/a;b#c", "/a;b"},
        {"a", "/"},
        {"/a", "/a"},
        {"a/b", "/b"},
        {"//a/b/c", "/b/c"},
        {"http://h#x/y", "/"},
    };
    for (const auto &[url, path] : cases)
        EXPECT_EQ(robotspath::PathAndQuery(url), path) << url;
}

TEST(RobotsRules, LineSyntax) {
    // Keys without regard to case, optional white space, a missing colon between two words.
    EXPECT_FALSE(Allowed("USER-AGENT: FooBot\nDISALLOW: /\n", "FooBot", "http://h/a"));
    EXPECT_FALSE(Allowed("  User-agent :FooBot  \n\tDisallow :  /  \n", "FooBot", "http://h/a"));
    EXPECT_FALSE(Allowed("user-agent FooBot\ndisallow /\n", "FooBot", "http://h/a"));
    EXPECT_TRUE(Allowed("user-agent FooBot\ndisallow / x\n", "FooBot", "http://h/a"));
    EXPECT_TRUE(Allowed("foo: FooBot\nbar: /\n", "FooBot", "http://h/a"));
    // Comments, on their own line or after a rule.
    const std::string comments = "User-agent: FooBot\n# Disallow: /\nDisallow: /foo/quz#qux\nAllow: /\n";
    EXPECT_TRUE(Allowed(comments, "FooBot", "http://h/foo/bar"));
    EXPECT_FALSE(Allowed(comments, "FooBot", "http://h/foo/quz"));
    // CR, LF and CR LF line ends, mixed.
    EXPECT_FALSE(
        Allowed("User-agent: FooBot\rDisallow: /a\r\nDisallow: /b\nDisallow: /c", "FooBot", "http://h/a"));
    EXPECT_FALSE(
        Allowed("User-agent: FooBot\rDisallow: /a\r\nDisallow: /b\nDisallow: /c", "FooBot", "http://h/b"));
    EXPECT_FALSE(
        Allowed("User-agent: FooBot\rDisallow: /a\r\nDisallow: /b\nDisallow: /c", "FooBot", "http://h/c"));
}

TEST(RobotsRules, CommonMisspellingsOfKeys) {
    for (const char *agentKey : {"user-agent", "User Agent", "useragent"})
        for (const char *disallowKey :
             {"disallow", "Dissallow", "dissalow", "disalow", "diasllow", "disallaw"}) {
            const std::string robots = std::string(agentKey) + ": FooBot\n" + disallowKey + ": /\n";
            EXPECT_FALSE(Allowed(robots, "FooBot", "http://h/a")) << robots;
        }
}

TEST(RobotsRules, ByteOrderMarkIsSkippedOnlyAtTheStart) {
    EXPECT_FALSE(Allowed("\xEF\xBB\xBFUser-agent: FooBot\nDisallow: /\n", "FooBot", "http://h/a"));
    EXPECT_FALSE(Allowed("\xEF\xBBUser-agent: FooBot\nDisallow: /\n", "FooBot", "http://h/a"));
    EXPECT_FALSE(Allowed("\xEFUser-agent: FooBot\nDisallow: /\n", "FooBot", "http://h/a"));
    EXPECT_TRUE(Allowed("User-agent: FooBot\n\xEF\xBB\xBF"
                        "Disallow: /\n",
                        "FooBot", "http://h/a"));
    EXPECT_TRUE(Allowed("\xEF\x11\xBFUser-agent: FooBot\nDisallow: /\n", "FooBot", "http://h/a"));
}

TEST(RobotsRules, LongLinesAreCutAndLargeFilesReadToTheirLimit) {
    // A rule longer than a line may be is cut, and matches as cut.
    std::string longPath = "/x/" + std::string(20000, 'a');
    const std::string robots = "user-agent: FooBot\ndisallow: " + longPath + "/qux\n";
    EXPECT_TRUE(Allowed(robots, "FooBot", "http://h/fux"));
    const std::string kept = longPath.substr(0, 16663 - std::string("disallow: ").size());
    EXPECT_FALSE(Allowed(robots, "FooBot", "http://h" + kept + "/fux"));
    EXPECT_TRUE(Allowed(robots, "FooBot", "http://h" + kept.substr(0, kept.size() - 1) + "/fux"));

    // Up to 500 KiB are read; what follows is ignored, the line cut by the limit included.
    std::string big = "User-agent: *\n";
    while (big.size() < 400 * 1024)
        big += "Disallow: /filler/padding/for/a/large/file\n";
    big += "Disallow: /inside\n";
    while (big.size() < 500 * 1024 - 5)
        big += "#";
    big += "\nDisallow: /cut-by-the-limit\nDisallow: /beyond\n";
    EXPECT_FALSE(Allowed(big, "a", "http://h/inside"));
    EXPECT_TRUE(Allowed(big, "a", "http://h/cut-by-the-limit"));
    EXPECT_TRUE(Allowed(big, "a", "http://h/beyond"));
}

TEST(RobotsRules, AllowOfAnIndexPageAllowsItsDirectory) {
    const std::string robots = "User-Agent: *\nAllow: /allowed-slash/index.html\nDisallow: /\n";
    EXPECT_TRUE(Allowed(robots, "foobot", "http://h/allowed-slash/"));
    EXPECT_TRUE(Allowed(robots, "foobot", "http://h/allowed-slash/index.html"));
    EXPECT_FALSE(Allowed(robots, "foobot", "http://h/allowed-slash/index.htm"));
    EXPECT_FALSE(Allowed(robots, "foobot", "http://h/allowed-slash/x"));
}

TEST(RobotsRules, RobotsFileItselfIsAlwaysAllowed) {
    RobotsRules rules("User-agent: *\nDisallow: /\n", "a");
    EXPECT_TRUE(rules.IsAllowed("http://h/robots.txt"));
    EXPECT_FALSE(rules.IsAllowed("http://h/robots.txt.bak"));
    rules.SetDisallowAll();
    EXPECT_TRUE(rules.IsAllowed("http://h/robots.txt"));
    EXPECT_FALSE(rules.IsAllowed("http://h/"));
}

TEST(RobotsRules, FetchOutcomes) {
    const char *body = "User-agent: *\nDisallow: /private\n";
    RobotsRules rules;
    EXPECT_TRUE(rules.IsAllowed("http://h/private")); // nothing read yet
    rules.FromFetch(200, body, "a");
    EXPECT_FALSE(rules.IsAllowed("http://h/private"));
    EXPECT_TRUE(rules.IsAllowed("http://h/public"));
    for (int unavailable : {301, 400, 401, 403, 404, 410, 429, 499}) {
        rules.FromFetch(unavailable, body, "a");
        EXPECT_TRUE(rules.IsAllowed("http://h/private")) << unavailable;
    }
    for (int unreachable : {0, 100, 500, 503, 599, 600}) {
        rules.FromFetch(unreachable, body, "a");
        EXPECT_FALSE(rules.IsAllowed("http://h/public")) << unreachable;
        EXPECT_TRUE(rules.IsAllowed("http://h/robots.txt")) << unreachable;
    }
    rules.SetAllowAll();
    EXPECT_TRUE(rules.IsAllowed("http://h/private"));
}

TEST(RobotsRules, CrawlDelayOfTheGroupInForce) {
    const std::string robots = "User-agent: *\nCrawl-delay: 2\nDisallow: /a\n\n"
                               "User-agent: FooBot\nUser-agent: BarBot\nCrawl-delay: 0.5\nDisallow: /b\n"
                               "User-agent: FooBot\nCrawl-delay: 7\nCrawl-delay: x\n";
    RobotsRules every(robots, "other");
    ASSERT_TRUE(every.HasCrawlDelay());
    EXPECT_DOUBLE_EQ(every.CrawlDelaySeconds(), 2);
    RobotsRules foo(robots, "FooBot");
    EXPECT_DOUBLE_EQ(foo.CrawlDelaySeconds(), 7);
    EXPECT_FALSE(foo.IsAllowed("http://h/b"));
    RobotsRules bar(robots, "BarBot");
    EXPECT_DOUBLE_EQ(bar.CrawlDelaySeconds(), 0.5);
    RobotsRules none("User-agent: *\nDisallow: /\n", "a");
    EXPECT_FALSE(none.HasCrawlDelay());
    EXPECT_EQ(none.CrawlDelaySeconds(), 0);
}

TEST(RobotsRules, ParsingAgainReplacesEverything) {
    RobotsRules rules("User-agent: *\nDisallow: /a\nCrawl-delay: 3\n", "x");
    rules.Parse("User-agent: *\nDisallow: /b\n", "x");
    EXPECT_TRUE(rules.IsAllowed("http://h/a"));
    EXPECT_FALSE(rules.IsAllowed("http://h/b"));
    EXPECT_FALSE(rules.HasCrawlDelay());
    EXPECT_EQ(rules.RuleCount(), 1u);
}

TEST(RobotsRules, ManyRulesSharingPrefixes) {
    // The prefix index must find every rule whose literal prefix begins the path, whatever its length.
    std::string robots = "User-agent: *\n";
    for (int i = 0; i < 300; ++i)
        robots += "Disallow: /d" + std::to_string(i) + "\nAllow: /d" + std::to_string(i) + "/open\n";
    robots += "Disallow: /\nAllow: /d1\nAllow: *keep\nDisallow: /d2*/x\n";
    RobotsRules rules(robots, "a");
    EXPECT_FALSE(rules.IsAllowed("http://h/d0"));
    EXPECT_TRUE(rules.IsAllowed("http://h/d0/open/more"));
    EXPECT_FALSE(rules.IsAllowed("http://h/d299x"));
    EXPECT_TRUE(rules.IsAllowed("http://h/d299/open"));
    EXPECT_TRUE(rules.IsAllowed("http://h/d1"));           // "/d1" allows, ties with the same disallow
    EXPECT_FALSE(rules.IsAllowed("http://h/d10"));         // "/d10" is longer than "/d1"
    EXPECT_TRUE(rules.IsAllowed("http://h/zz/keep"));      // "*keep" beats "/"
    EXPECT_FALSE(rules.IsAllowed("http://h/d2/closed/x")); // "/d2*/x" beats "/d2"
    EXPECT_TRUE(rules.IsAllowed("http://h/d2/open/x"));    // "/d2/open" beats "/d2*/x"
    EXPECT_FALSE(rules.IsAllowed("http://h/other"));
}

TEST(RobotsRules, ManyRulesEndingInDollar) {
    // Rules found by their literal end must still check their beginning and the pieces between.
    std::string robots = "User-agent: *\nAllow: /keep/f7.html\nAllow: /open/\n";
    for (int i = 0; i < 300; ++i)
        robots +=
            "Disallow: /*/f" + std::to_string(i) + ".html$\nDisallow: /x*y*/g" + std::to_string(i) + "$\n";
    RobotsRules rules(robots, "a");
    EXPECT_FALSE(rules.IsAllowed("http://h/a/b/f12.html"));
    EXPECT_TRUE(rules.IsAllowed("http://h/a/b/f12.htmlx"));
    EXPECT_TRUE(rules.IsAllowed("http://h/f12.html")); // no '/' left for the "/*/" part
    EXPECT_TRUE(rules.IsAllowed("http://h/a/b/xf12.html"));
    EXPECT_TRUE(rules.IsAllowed("http://h/keep/f7.html"));  // the longer Allow wins
    EXPECT_FALSE(rules.IsAllowed("http://h/open/f7.html")); // the longer Disallow wins
    EXPECT_FALSE(rules.IsAllowed("http://h/x1y2/g299"));
    EXPECT_TRUE(rules.IsAllowed("http://h/x1/g299"));   // no 'y'
    EXPECT_TRUE(rules.IsAllowed("http://h/z1y2/g299")); // wrong beginning
}

TEST(RobotsRules, EscapedStarAndDollarMatchThoseCharactersInUrls) {
    const std::string robots = "User-agent: a\nDisallow: /file-with-a-%2A.html\nDisallow: /foo-%24\n";
    EXPECT_FALSE(Allowed(robots, "a", "http://h/file-with-a-*.html"));
    EXPECT_TRUE(Allowed(robots, "a", "http://h/file-with-a-b.html"));
    EXPECT_FALSE(Allowed(robots, "a", "http://h/foo-$"));
    EXPECT_FALSE(Allowed(robots, "a", "http://h/foo-%24x"));
    // An escaped star is no wildcard; a wildcard covers a star in the URL like any character.
    EXPECT_TRUE(Allowed("User-agent: a\nDisallow: /x%2A\n", "a", "http://h/xy"));
    EXPECT_FALSE(Allowed("User-agent: a\nDisallow: /a*c\n", "a", "http://h/a*c"));
}
