// vantry-get's proxy choice: the environment variables curl reads, in curl's order and letter cases, the
// no_proxy list, and -x / --noproxy over the environment (no environment of the test process is read).
#include <gtest/gtest.h>

#include <map>

#include "tools/GetProxy.h"

using namespace vantry;

namespace {

struct FakeEnv {
    std::map<std::string, std::string> vars;
    EnvReader Reader() const {
        return [this](const char *name) -> const char * {
            auto it = vars.find(name);
            return it == vars.end() ? nullptr : it->second.c_str();
        };
    }
};

// "host:port" of the proxy chosen, "" for none, "error" when refused.
std::string Chosen(const FakeEnv &env, const std::string &url, const GetOptions &options = GetOptions()) {
    ProxyChoice choice;
    std::string error;
    if (!ChooseProxy(options, url, env.Reader(), choice, error))
        return "error";
    return choice.use ? choice.host + ":" + std::to_string(choice.port) : "";
}

} // namespace

TEST(GetProxy, EachSchemeReadsItsOwnVariableAsCurlDoes) {
    FakeEnv env;
    env.vars = {{"http_proxy", "http://plain.proxy:3128/"}, {"HTTPS_PROXY", "secure.proxy:8443"}};
    EXPECT_EQ(Chosen(env, "http://a.example/"), "plain.proxy:3128");
    EXPECT_EQ(Chosen(env, "https://a.example/"), "secure.proxy:8443");
    // http_proxy is read in lower case only; https_proxy in lower case first.
    env.vars = {{"HTTP_PROXY", "upper.proxy:1"}, {"https_proxy", "lower:2"}, {"HTTPS_PROXY", "upper:3"}};
    EXPECT_EQ(Chosen(env, "http://a.example/"), "");
    EXPECT_EQ(Chosen(env, "https://a.example/"), "lower:2");
    // all_proxy serves a scheme without its own; no port gives 80.
    env.vars = {{"ALL_PROXY", "every.proxy"}};
    EXPECT_EQ(Chosen(env, "http://a.example/"), "every.proxy:80");
    EXPECT_EQ(Chosen(env, "https://a.example/"), "every.proxy:80");
    env.vars = {{"http_proxy", "socks5://s:1080"}};
    EXPECT_EQ(Chosen(env, "http://a.example/"), "error");
}

TEST(GetProxy, NoProxyListsHostsReachedDirectly) {
    FakeEnv env;
    env.vars = {{"http_proxy", "p:3128"}, {"NO_PROXY", "localhost, .internal.example,10.0.0.0/8,127.0.0.1"}};
    EXPECT_EQ(Chosen(env, "http://localhost:8080/"), "");
    EXPECT_EQ(Chosen(env, "http://internal.example/"), "");
    EXPECT_EQ(Chosen(env, "http://deep.INTERNAL.example/"), "");
    EXPECT_EQ(Chosen(env, "http://notinternal.example/"), "p:3128");
    EXPECT_EQ(Chosen(env, "http://10.1.2.3/"), "");
    EXPECT_EQ(Chosen(env, "http://11.1.2.3/"), "p:3128");
    EXPECT_EQ(Chosen(env, "http://user:pw@127.0.0.1:81/"), "");
    env.vars["no_proxy"] = "*"; // the lower-case form is read first
    EXPECT_EQ(Chosen(env, "http://anything.example/"), "");
    EXPECT_TRUE(NoProxyMatches("a.example b.example", "b.example"));
    EXPECT_FALSE(NoProxyMatches("", "b.example"));
    EXPECT_FALSE(NoProxyMatches("example", "badexample"));
}

TEST(GetProxy, OptionsWinOverTheEnvironment) {
    FakeEnv env;
    env.vars = {{"http_proxy", "env.proxy:1"}, {"no_proxy", "direct.example"}};
    GetOptions options;
    options.Proxy = std::make_pair(std::string("given.proxy"), 9);
    EXPECT_EQ(Chosen(env, "http://a.example/", options), "given.proxy:9");
    EXPECT_EQ(Chosen(env, "http://direct.example/", options), ""); // no_proxy still applies to -x
    options.NoProxy = "";                                          // --noproxy "" replaces no_proxy
    EXPECT_EQ(Chosen(env, "http://direct.example/", options), "given.proxy:9");
    GetOptions none;
    none.NoProxyAtAll = true; // -x ""
    EXPECT_EQ(Chosen(env, "http://a.example/", none), "");
}
