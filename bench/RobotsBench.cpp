// robots.txt cost per crawled page: a generated file of about 750 KB (groups for other crawlers, a
// "*" group of prefix and wildcard rules) and pages of 500 links. RobotsRules read once and asked
// about each link, against reading the file again for every link, and against the spider's default
// prefix matcher, which splits the text again for every link. Prints the time per page of each and
// the ratios.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "OfflineFetcher.h"
#include "core/StringBuffer.h"
#include "spider/RobotsRules.h"
#include "spider/Spider.h"

using namespace vantry;

namespace {

constexpr int kLinksPerPage = 500;
constexpr size_t kRobotsBytes = 750 * 1000;
constexpr const char *kAgent = "Lanternfold/1.1 (+http://lanternfold.example/bot)";

const std::string &RobotsText() {
    static const std::string text = [] {
        std::string t = "# generated for the benchmark\n";
        for (int g = 0; g < 40; ++g) {
            t += "User-agent: otherbot" + std::to_string(g) + "\nCrawl-delay: 5\n";
            for (int r = 0; r < 50; ++r)
                t += "Disallow: /other" + std::to_string(g) + "/" + std::to_string(r) + "/\n";
            t += "\n";
        }
        t += "User-agent: *\nAllow: /public/\n";
        for (int i = 0; t.size() < kRobotsBytes; ++i) {
            const std::string n = std::to_string(i);
            switch (i % 4) {
            case 0:
                t += "Disallow: /section" + n + "/private/\n";
                break;
            case 1:
                t += "Disallow: /*/draft-" + n + ".html$\n";
                break;
            case 2:
                t += "Allow: /section" + n + "/private/open-*.html\n";
                break;
            default:
                t += "Disallow: /search?q=" + n + "*\n";
                break;
            }
        }
        return t;
    }();
    return text;
}

const std::vector<std::string> &PageLinks() {
    static const std::vector<std::string> links = [] {
        std::vector<std::string> v;
        for (int i = 0; i < kLinksPerPage; ++i) {
            const std::string n = std::to_string(i * 37);
            switch (i % 5) {
            case 0:
                v.push_back("http://www.example.com/section" + n + "/private/page.html");
                break;
            case 1:
                v.push_back("http://www.example.com/section" + n + "/private/open-" + n + ".html");
                break;
            case 2:
                v.push_back("http://www.example.com/blog/2024/draft-" + n + ".html");
                break;
            case 3:
                v.push_back("http://www.example.com/search?q=" + n + "&page=2");
                break;
            default:
                v.push_back("http://www.example.com/public/articles/" + n + ".html");
                break;
            }
        }
        return v;
    }();
    return links;
}

// Serves the generated robots.txt for every URL; the spider asks for nothing else here.
class RobotsOnly : public bench::OfflineFetcher {
public:
    bool QuickGetHtml(const char *, StringBuffer &out) override {
        out.SetString(RobotsText().c_str());
        return true;
    }
    int LastStatusCode() override { return 200; }
};

void BM_RobotsRulesParse(benchmark::State &state) {
    for (auto _ : state) {
        RobotsRules rules(RobotsText(), kAgent);
        benchmark::DoNotOptimize(rules.RuleCount());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(RobotsText().size()));
}

// Read once per site, then each link of a page is asked about.
void BM_PageParsedOnce(benchmark::State &state) {
    RobotsRules rules(RobotsText(), kAgent);
    int allowed = 0;
    for (auto _ : state) {
        allowed = 0;
        for (const std::string &link : PageLinks())
            allowed += rules.IsAllowed(link) ? 1 : 0;
        benchmark::DoNotOptimize(allowed);
    }
    state.counters["allowed"] = allowed;
}

// The same answers with the file read again for every link.
void BM_PageParsedPerLink(benchmark::State &state) {
    int allowed = 0;
    for (auto _ : state) {
        allowed = 0;
        for (const std::string &link : PageLinks())
            allowed += RobotsRules(RobotsText(), kAgent).IsAllowed(link) ? 1 : 0;
        benchmark::DoNotOptimize(allowed);
    }
    state.counters["allowed"] = allowed;
}

// The spider's link test, with its default prefix matcher or with RobotsRules.
void SpiderPage(benchmark::State &state, bool useRobotsRules) {
    RobotsOnly net;
    Spider spider(net);
    spider.Initialize("www.example.com", false, false, false);
    spider.SetUserAgent(kAgent);
    spider.SetUseRobotsRules(useRobotsRules);
    int allowed = 0;
    for (auto _ : state) {
        allowed = 0;
        for (const std::string &link : PageLinks())
            allowed += spider.IsDisallowed(link.c_str()) ? 0 : 1;
        benchmark::DoNotOptimize(allowed);
    }
    state.counters["allowed"] = allowed;
}

void BM_SpiderPageDefaultMatcher(benchmark::State &state) {
    SpiderPage(state, false);
}
void BM_SpiderPageRobotsRules(benchmark::State &state) {
    SpiderPage(state, true);
}

class TimeReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs)
            seconds[run.run_name.function_name] = run.GetAdjustedRealTime() / 1e3; // reported in ms
    }
    std::map<std::string, double> seconds;
};

} // namespace

BENCHMARK(BM_RobotsRulesParse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageParsedOnce)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageParsedPerLink)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SpiderPageRobotsRules)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpiderPageDefaultMatcher)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char **argv) {
    std::printf("robots.txt: %zu bytes (%zu read), %d links per page\n", RobotsText().size(),
                std::min(RobotsText().size(), size_t{500 * 1024}), kLinksPerPage);
    benchmark::Initialize(&argc, argv);
    TimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const double once = reporter.seconds["BM_PageParsedOnce"];
    const double perLink = reporter.seconds["BM_PageParsedPerLink"];
    const double spiderRules = reporter.seconds["BM_SpiderPageRobotsRules"];
    const double spiderDefault = reporter.seconds["BM_SpiderPageDefaultMatcher"];
    if (once > 0 && perLink > 0)
        std::printf("per page: parsed once %.3f ms, parsed per link %.1f ms (%.0fx)\n", once * 1e3,
                    perLink * 1e3, perLink / once);
    if (spiderRules > 0 && spiderDefault > 0)
        std::printf("spider per page: RobotsRules %.3f ms, default matcher %.1f ms (%.0fx)\n",
                    spiderRules * 1e3, spiderDefault * 1e3, spiderDefault / spiderRules);
    return 0;
}
