// Link extraction throughput: ClsHtmlUtil::GetHttpLinks against a gumbo parse-and-walk that collects
// the same links (anchor hrefs beginning with "http", each once), and the spider's ProcessPageLinks
// (extraction, filtering and sorting of every anchor), over the HTML documentation that Debian
// packages install. Prints the rates in MB/s and the ratios. Apart from that corpus, the spider's
// ExtractLinks over generated pages of 10,000 to 80,000 anchors (with and without "</a>"), whose
// time per anchor should stay flat as the page grows.
#include <benchmark/benchmark.h>
#include <gumbo.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

#include "OfflineFetcher.h"
#include "core/ClsStringArray.h"
#include "core/ExtPtrArray.h"
#include "core/StringBuffer.h"
#include "spider/ClsHtmlUtil.h"
#include "spider/Spider.h"

using namespace vantry;

namespace {

constexpr size_t kMinCorpusBytes = 20u * 1024 * 1024;

std::vector<std::string> &Corpus() {
    static std::vector<std::string> pages;
    return pages;
}
size_t g_corpusBytes = 0;

void LoadCorpus(const char *root) {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<fs::path> files;
    for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec))
            continue;
        std::string ext = it->path().extension().string();
        if (ext == ".html" || ext == ".htm")
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path &p : files) {
        std::ifstream in(p, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // The scanners read zero-terminated text; a page is taken up to its first zero byte.
        bytes.resize(std::strlen(bytes.c_str()));
        if (bytes.empty())
            continue;
        g_corpusBytes += bytes.size();
        Corpus().push_back(std::move(bytes));
    }
}

void BM_GetHttpLinks(benchmark::State &state) {
    ClsHtmlUtil util;
    size_t links = 0;
    for (auto _ : state) {
        links = 0;
        for (const std::string &page : Corpus()) {
            ClsStringArray out;
            util.GetHttpLinks(page.c_str(), out);
            links += static_cast<size_t>(out.Count());
        }
        benchmark::DoNotOptimize(links);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(g_corpusBytes));
    state.counters["links"] = static_cast<double>(links);
}

// Each page sorted by a spider of its own domain, as the harvester's crawl does.
void BM_ProcessPageLinks(benchmark::State &state) {
    bench::OfflineFetcher net;
    size_t links = 0;
    for (auto _ : state) {
        links = 0;
        for (const std::string &page : Corpus()) {
            Spider spider(net);
            spider.Initialize("www.example.org", false, false, false);
            StringBuffer text(page.c_str());
            spider.ProcessPageLinks("http://www.example.org/doc/page.html", text);
            links += static_cast<size_t>(spider.UnspideredCount() + spider.OutboundCount());
        }
        benchmark::DoNotOptimize(links);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(g_corpusBytes));
    state.counters["links"] = static_cast<double>(links);
}

// A page of n anchors with distinct links, closed by "</a>" or not.
std::string AnchorPage(int64_t n, bool closed) {
    std::string page = "<html><body>\n";
    for (int64_t i = 0; i < n; ++i)
        page += "<a href=\"/page" + std::to_string(i) + ".html\">link " + (closed ? "</a>\n" : "\n");
    return page + "</body></html>\n";
}

void ExtractManyAnchors(benchmark::State &state, bool closed) {
    const std::string page = AnchorPage(state.range(0), closed);
    bench::OfflineFetcher net;
    Spider spider(net);
    spider.Initialize("www.example.org", false, false, false);
    int32_t links = 0;
    for (auto _ : state) {
        StringBuffer text(page.c_str());
        ExtPtrArray found;
        spider.ExtractLinks(text, found);
        links = found.Count();
        benchmark::DoNotOptimize(links);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(page.size()));
    state.counters["links"] = links;
}

void BM_ExtractAnchorsWithoutClosingTags(benchmark::State &state) {
    ExtractManyAnchors(state, false);
}
void BM_ExtractAnchorsWithClosingTags(benchmark::State &state) {
    ExtractManyAnchors(state, true);
}

void CollectGumboLinks(const GumboNode *node, std::unordered_set<std::string> &links) {
    if (node->type != GUMBO_NODE_ELEMENT)
        return;
    if (node->v.element.tag == GUMBO_TAG_A) {
        const GumboAttribute *href = gumbo_get_attribute(&node->v.element.attributes, "href");
        if (href != nullptr && std::strncmp(href->value, "http", 4) == 0)
            links.insert(href->value);
    }
    const GumboVector &children = node->v.element.children;
    for (unsigned i = 0; i < children.length; ++i)
        CollectGumboLinks(static_cast<const GumboNode *>(children.data[i]), links);
}

void BM_GumboLinks(benchmark::State &state) {
    size_t links = 0;
    for (auto _ : state) {
        links = 0;
        for (const std::string &page : Corpus()) {
            GumboOutput *output = gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
            std::unordered_set<std::string> found;
            CollectGumboLinks(output->root, found);
            links += found.size();
            gumbo_destroy_output(&kGumboDefaultOptions, output);
        }
        benchmark::DoNotOptimize(links);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(g_corpusBytes));
    state.counters["links"] = static_cast<double>(links);
}

// Console output as usual, plus each benchmark's byte rate kept for the closing comparison.
class RateReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end())
                rates[run.run_name.function_name] = it->second;
        }
    }
    std::map<std::string, double> rates;
};

} // namespace

BENCHMARK(BM_ExtractAnchorsWithoutClosingTags)
    ->RangeMultiplier(2)
    ->Range(10000, 80000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractAnchorsWithClosingTags)
    ->RangeMultiplier(2)
    ->Range(10000, 80000)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
    const char *root = "/usr/share/doc";
    LoadCorpus(root);
    std::printf("corpus: %zu pages, %.1f MiB of HTML under %s\n", Corpus().size(),
                static_cast<double>(g_corpusBytes) / (1024.0 * 1024.0), root);
    if (g_corpusBytes >= kMinCorpusBytes) {
        benchmark::RegisterBenchmark("BM_GetHttpLinks", BM_GetHttpLinks)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(2.0);
        benchmark::RegisterBenchmark("BM_GumboLinks", BM_GumboLinks)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(2.0);
        benchmark::RegisterBenchmark("BM_ProcessPageLinks", BM_ProcessPageLinks)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(2.0);
    } else {
        std::printf("corpus skipped: it needs at least %zu MiB of HTML\n", kMinCorpusBytes / (1024 * 1024));
    }
    benchmark::Initialize(&argc, argv);
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    double ours = reporter.rates["BM_GetHttpLinks"] / 1e6;
    double gumbo = reporter.rates["BM_GumboLinks"] / 1e6;
    if (ours > 0 && gumbo > 0)
        std::printf("GetHttpLinks %.1f MB/s, gumbo %.1f MB/s, ratio %.2fx\n", ours, gumbo, ours / gumbo);
    double sorting = reporter.rates["BM_ProcessPageLinks"] / 1e6;
    if (ours > 0 && sorting > 0)
        std::printf("ProcessPageLinks %.1f MB/s beside GetHttpLinks %.1f MB/s (%.2fx)\n", sorting, ours,
                    sorting / ours);
    return 0;
}
