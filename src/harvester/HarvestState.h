// HarvestState: the one owner of the harvester's state: the crawl queue, the walk queue (names whose
// address neighbourhood is still to be walked), the crawled, scanned and written sets, the output file,
// and the journal beside it that lets all of it survive a crash. Every change goes through a few
// operations, each of which journals its events before acting on them: a domain is journalled before
// its crawl is handed out (so a restart never crawls it again), and a name before its line goes to
// the output (so a restart writes it if the line did not get there). Used by one thread at a time; the
// operations are the units a lock would guard when crawl workers share it.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/ClsStringArray.h"
#include "harvester/NameOutput.h"
#include "harvester/StateJournal.h"

namespace vantry {
class StringSeen;
} // namespace vantry

namespace lanternfold {

class HarvestState {
public:
    static constexpr int32_t kQueueCap = 1000;
    static constexpr uint32_t kSyncEveryMs = 10000;
    // The journal is compacted once it is twice the size it had after the last compaction, and at
    // least this large.
    static constexpr uint64_t kCompactAtLeastBytes = 4u << 20;

    // The journal's record tags.
    static constexpr char kCrawlTaken = 'C';
    static constexpr char kCrawlDone = 'D';
    static constexpr char kScanned = 'S';
    static constexpr char kWritten = 'W';
    static constexpr char kQueued = 'Q';
    static constexpr char kToWalk = 'N';

    // `crawlable` decides which names may join the crawl queue; `report` takes one line for the user.
    HarvestState(std::function<bool(const char *)> crawlable,
                 std::function<void(const std::string &)> report);
    ~HarvestState();
    HarvestState(const HarvestState &) = delete;
    HarvestState &operator=(const HarvestState &) = delete;

    // Opens the output file and the journal beside it (outputPath + ".journal"): the names of the
    // output, the journal's records (or, when there is no journal yet, the state file of earlier
    // versions, outputPath + ".state", moved into a new journal), and writes the names that were
    // waiting to be written.
    void Open(const std::string &outputPath, uint32_t now);
    // Everything journalled and written, and on the disk.
    void Close();
    const std::string &JournalPath() const { return m_journalPath; }

    // Host names found, each put in its one spelling first (NormalizeHostName; others are dropped).
    // Names of a seed page: written (with a known top-level domain), queued to be walked unless
    // already scanned, and queued for a crawl when the queue held at most 1000 names before.
    void AddSeedHosts(const std::vector<std::string> &hosts);
    // Hosts of a crawl's outbound links: written, queued to be walked unless already scanned, and
    // queued for a crawl while the queue holds fewer than 1000.
    void AddOutboundHosts(const std::vector<std::string> &hosts);

    // The next name whose neighbourhood is to be walked.
    bool TakeNameToWalk(std::string &name);
    bool IsScanned(std::string_view name) const;
    // A walk done: the walked name and the names it found count as scanned; each found name is
    // written and queued for a crawl while the queue holds fewer than 1000. Until this is called the
    // walk has left no trace, so a walk cut short by a crash or a stop is made again, whole, at the
    // next start.
    void FinishWalk(const std::string &walked, const std::vector<std::string> &found);

    // The next domain to crawl, journalled as taken before it is given out; it and its www/bare twin
    // count as crawled from now on.
    bool TakeDomainToCrawl(std::string &domain);
    void FinishCrawl(const std::string &domain);

    // Names whose walks are running on other threads: a compaction keeps them journalled as waiting to
    // be walked, since a walk leaves no trace until it is done. Asked under the caller's lock.
    void SetWalksRunning(std::function<std::vector<std::string>()> running) {
        m_walksRunning = std::move(running);
    }

    // The periodic work: the files synced at least every 10 s, the journal compacted when it has grown.
    void Maintain(uint32_t now);
    // The least size at which the journal is compacted (tests make it small).
    void SetCompactAtLeast(uint64_t bytes) {
        m_compactAtLeast = bytes;
        m_compactAt = bytes;
    }

    bool IsCrawled(std::string_view name) const;
    bool IsWritten(std::string_view name) const;
    int32_t CrawlQueueLength() const { return m_crawlQueue.Count(); }
    int32_t WalkQueueLength() const { return m_walkQueue.Count(); }
    std::vector<std::string> CrawlQueue() const;
    std::vector<std::string> WalkQueue() const;
    uint64_t NamesInOutput() const { return m_output.LoadedCount() + m_output.WrittenCount(); }
    size_t NamesWaitingForOutput() const { return m_output.PendingCount(); }
    uint64_t DomainsCrawled() const { return m_crawledCount; }
    uint64_t NamesScanned() const { return m_scannedCount; }
    // Grows with every name written or queued: a caller compares it to tell whether a step found
    // anything new.
    uint64_t Discoveries() const { return m_discoveries; }
    uint64_t JournalBytes() const { return m_journal.Size(); }
    uint64_t Compactions() const { return m_compactions; }
    NameOutput &Output() { return m_output; }
    vantry::StringSeen &WrittenNames() { return *m_written; }

private:
    void Replay(uint32_t now);
    void MigrateStateFile(const std::string &statePath);
    void ApplyRecord(char tag, std::string_view text);
    void MarkCrawled(std::string_view domain);
    // A normalised name to be written: journalled now, its line written at Commit.
    void WriteName(const std::string &name);
    void QueueToWalk(const std::string &name);
    void QueueForCrawl(const std::string &name);
    // Journals a normalised name as scanned; false when it already was.
    bool MarkScanned(const std::string &name);
    // The journalled events to the file, then the lines to the output.
    void Commit();
    void FlushJournal();
    void ReportOutputTrouble();
    void Compact();
    void FillSnapshot(StateJournal &fresh) const;

    std::function<bool(const char *)> m_crawlable;
    std::function<void(const std::string &)> m_report;
    std::function<std::vector<std::string>()> m_walksRunning;
    std::string m_outputPath;
    std::string m_journalPath;

    vantry::ClsStringArray m_walkQueue;
    vantry::ClsStringArray m_crawlQueue;
    std::unique_ptr<vantry::StringSeen> m_scanned;
    std::unique_ptr<vantry::StringSeen> m_crawled;
    std::unique_ptr<vantry::StringSeen> m_written;
    NameOutput m_output;
    StateJournal m_journal;

    std::vector<std::string> m_toWrite; // journalled, lines not yet written
    std::unordered_set<std::string> m_toWriteSet;
    uint64_t m_crawledCount = 0;
    uint64_t m_scannedCount = 0;
    uint64_t m_discoveries = 0;
    uint64_t m_compactAtLeast = kCompactAtLeastBytes;
    uint64_t m_compactAt = kCompactAtLeastBytes;
    uint64_t m_compactions = 0;
    uint32_t m_lastSync = 0;
    bool m_outputTroubleReported = false;
    bool m_journalTroubleReported = false;

    // While replaying: the queues as journalled (filtered at the end) and the crawls not finished.
    struct ReplayLists;
    std::unique_ptr<ReplayLists> m_replay;
};

} // namespace lanternfold
