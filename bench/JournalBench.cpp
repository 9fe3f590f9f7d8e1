// The harvester's state journal: the cost of recording a name, and the resident memory after 1,000,000
// names. The names come as a harvest gives them: hosts of a page's outbound links in batches of 20,
// each then walked (its walk finding nothing). Per name that journals it as written, queued to walk,
// scanned, and (while the crawl queue has room) queued for a crawl, and writes its output line. The
// cost is given per block of 100,000 names (goal: constant, under 2 us a name for the journal), first
// for the journal alone (StateJournal records), then for the whole state owner (journal, sets, output
// file); the memory is the resident set's growth over the whole run (goal: at most 48 MiB).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "BenchProcess.h"
#include "harvester/HarvestState.h"
#include "harvester/StateJournal.h"

using namespace lanternfold;
using bench::MiB;
using bench::ResidentBytes;

namespace {

constexpr int kNames = 1000000;
constexpr int kBlock = 100000;
constexpr int kBatch = 20;

using Clock = std::chrono::steady_clock;

std::string Name(int i) {
    char text[64];
    std::snprintf(text, sizeof text, "www.site%07d-example.com", i);
    return text;
}

double MicrosPerName(Clock::time_point start, int names) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / names;
}

// The journal alone: the records of one name (W, N, S, Q), flushed once per batch as the state does.
void JournalAlone(const std::string &dir) {
    StateJournal journal;
    if (!journal.Open(dir + "/alone.journal"))
        return;
    std::printf("journal alone, 4 records a name, one write per batch of %d names:\n", kBatch);
    auto block = Clock::now();
    for (int i = 0; i < kNames; ++i) {
        const std::string name = Name(i);
        journal.Append('W', name);
        journal.Append('N', name);
        journal.Append('S', name);
        journal.Append('Q', name);
        if (i % kBatch == kBatch - 1)
            journal.Flush();
        if ((i + 1) % kBlock == 0) {
            std::printf("  names %7d-%7d: %.3f us a name\n", i + 1 - kBlock, i + 1,
                        MicrosPerName(block, kBlock));
            block = Clock::now();
        }
    }
    journal.Close();
    std::printf("  journal file: %.1f MiB\n", MiB(static_cast<size_t>(journal.Size())));
}

} // namespace

int main() {
    char dir[] = "/tmp/lanternfold-journalbench-XXXXXX";
    if (mkdtemp(dir) == nullptr)
        return 1;
    const std::string output = std::string(dir) + "/domains.txt";

    JournalAlone(dir);

    const size_t before = ResidentBytes();
    size_t after = 0;
    {
        HarvestState state([](const char *) { return true; },
                           [](const std::string &line) { std::fprintf(stderr, "%s\n", line.c_str()); });
        state.Open(output, 0);
        std::printf("state owner (journal, sets, output line), per name:\n");
        std::vector<std::string> batch;
        std::string walked;
        auto block = Clock::now();
        uint32_t tick = 0;
        for (int i = 0; i < kNames; ++i) {
            batch.push_back(Name(i));
            if (batch.size() == kBatch) {
                state.AddOutboundHosts(batch);
                batch.clear();
                while (state.TakeNameToWalk(walked))
                    state.FinishWalk(walked, {});
                state.Maintain(tick += 50);
            }
            if ((i + 1) % kBlock == 0) {
                std::printf("  names %7d-%7d: %.3f us a name (journal %.1f MiB, %llu compactions so far)\n",
                            i + 1 - kBlock, i + 1, MicrosPerName(block, kBlock),
                            MiB(static_cast<size_t>(state.JournalBytes())),
                            static_cast<unsigned long long>(state.Compactions()));
                block = Clock::now();
            }
        }
        after = ResidentBytes();
        std::printf("names in the output: %llu, scanned: %llu, crawl queue: %d\n",
                    static_cast<unsigned long long>(state.NamesInOutput()),
                    static_cast<unsigned long long>(state.NamesScanned()), state.CrawlQueueLength());
        state.Close();
    }
    std::printf("resident memory after %d names: %.1f MiB more than before (goal <= 48 MiB)\n", kNames,
                MiB(after - before));
    std::system((std::string("rm -rf ") + dir).c_str());
    return 0;
}
