// Tests of lanternfold's command line: the options, their values, and the refusal of anything else.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harvester/Options.h"

using namespace lanternfold;

namespace {

bool Parse(std::vector<const char *> args, Options &options, std::string &error) {
    args.insert(args.begin(), "lanternfold");
    return ParseOptions(static_cast<int>(args.size()), args.data(), options, error);
}

} // namespace

TEST(Options, NoArgumentsGiveTheDefaults) {
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({}, o, error));
    EXPECT_FALSE(o.help);
    EXPECT_TRUE(o.dir.empty());
    EXPECT_TRUE(o.seeds.empty());
    EXPECT_EQ(o.hostSpacingMs, 1000u);
}

TEST(Options, ValuesComeAfterTheOptionOrAfterAnEqualsSign) {
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({"--dir", "/tmp/x", "--seed", "https://a.example/", "--seed=http://b.example/list",
                       "--host-spacing=50"},
                      o, error))
        << error;
    EXPECT_EQ(o.dir, "/tmp/x");
    EXPECT_EQ(o.seeds, (std::vector<std::string>{"https://a.example/", "http://b.example/list"}));
    EXPECT_EQ(o.hostSpacingMs, 50u);
    ASSERT_TRUE(Parse({"--help"}, o, error));
    EXPECT_TRUE(o.help);
    ASSERT_TRUE(Parse({"--version"}, o, error));
    EXPECT_TRUE(o.version);
}

TEST(Options, UnknownOptionsStrayArgumentsAndBadValuesAreRefused) {
    Options o;
    std::string error;
    EXPECT_FALSE(Parse({"--fast"}, o, error));
    EXPECT_EQ(error, "unknown option --fast");
    EXPECT_FALSE(Parse({"-x"}, o, error));
    EXPECT_FALSE(Parse({"crawl"}, o, error));
    EXPECT_EQ(error, "unexpected argument 'crawl'");
    EXPECT_FALSE(Parse({"--dir"}, o, error));
    EXPECT_EQ(error, "option --dir needs a directory");
    EXPECT_FALSE(Parse({"--seed", "ftp://x.org/"}, o, error));
    EXPECT_FALSE(Parse({"--seed", "http:///path"}, o, error));
    EXPECT_FALSE(Parse({"--host-spacing", "-5"}, o, error));
    EXPECT_FALSE(Parse({"--host-spacing", "1s"}, o, error));
    EXPECT_FALSE(Parse({"--host-spacing", "600001"}, o, error));
    EXPECT_FALSE(Parse({"--help=yes"}, o, error));
}

TEST(Options, HelpListsEveryOption) {
    const std::string help = HelpText();
    for (const char *option : {"--dir", "--seed", "--host-spacing", "--help", "--version"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}
