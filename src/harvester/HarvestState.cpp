// HarvestState: the queues and sets, their journal records, the replay at start, the migration of the
// old state file, and the periodic sync and compaction.
#include "harvester/HarvestState.h"

#include <deque>

#include "core/StringBuffer.h"
#include "core/StringSeen.h"
#include "harvester/StateFile.h"
#include "platform/Files.h"
#include "platform/OsError.h"
#include "url/HostName.h"
#include "url/KnownTlds.h"

namespace lanternfold {

using namespace vantry;

namespace {

// The crawled set grows by a domain per crawl; the scanned and written sets by every name found, so
// they get the large table, which keeps their lookups short up to millions of names.
constexpr uint32_t kCrawledSetBuckets = 51001;
constexpr uint32_t kNameSetBuckets = 531001;
// While replaying, a journalled queue is cleared of its taken names whenever it grows past this.
constexpr size_t kReplayFilterAbove = 4096;
// Names of unfinished crawls listed one by one at start; beyond that only their count.
constexpr size_t kListedOpenCrawls = 5;

bool Normalized(std::string_view text, std::string &name) {
    StringBuffer host;
    host.Append(text);
    if (!NormalizeHostName(host))
        return false;
    name.assign(host.View());
    return true;
}

// The other spelling of a domain: without "www." when it has it, else with it.
std::string WwwTwin(std::string_view domain) {
    const std::string_view key = SiteKey(domain);
    if (key.size() != domain.size())
        return std::string(key);
    return "www." + std::string(domain);
}

std::string ErrorText(int err) {
    char text[256];
    platform::OsErrorText(err, text, sizeof text);
    return text;
}

std::vector<std::string> Texts(const ClsStringArray &list) {
    std::vector<std::string> out;
    StringBuffer s;
    for (int32_t i = 0; list.GetString(i, s); ++i)
        out.emplace_back(s.View());
    return out;
}

} // namespace

struct HarvestState::ReplayLists {
    std::deque<std::string> crawlQueue;
    std::deque<std::string> walkQueue;
    std::vector<std::string> toWrite;
    std::unordered_set<std::string> toWriteSet;
    std::unordered_set<std::string> openCrawls;
};

HarvestState::HarvestState(std::function<bool(const char *)> crawlable,
                           std::function<void(const std::string &)> report)
    : m_crawlable(std::move(crawlable)), m_report(std::move(report)),
      m_scanned(std::make_unique<StringSeen>(kNameSetBuckets)),
      m_crawled(std::make_unique<StringSeen>(kCrawledSetBuckets)),
      m_written(std::make_unique<StringSeen>(kNameSetBuckets)), m_output(*m_written) {
    m_walkQueue.SetUnique(true);
    m_crawlQueue.SetUnique(true);
}

HarvestState::~HarvestState() = default;

// ---- opening: the output, the journal (or the old state file), the names still to write ----

void HarvestState::Open(const std::string &outputPath, uint32_t now) {
    m_outputPath = outputPath;
    m_journalPath = outputPath + ".journal";
    bool repaired = false;
    m_output.Open(outputPath.c_str(), repaired);
    if (repaired)
        m_report("output " + outputPath + ": removed a last line that a crash had cut short");
    const std::string statePath = outputPath + ".state";
    if (!platform::PathExists(m_journalPath.c_str()) && platform::PathExists(statePath.c_str()))
        MigrateStateFile(statePath);
    Replay(now);
    m_journal.Open(m_journalPath);
    m_compactAt = std::max<uint64_t>(m_compactAtLeast, 2 * m_journal.Size());
    m_lastSync = now;
    Commit();
}

void HarvestState::MigrateStateFile(const std::string &statePath) {
    SavedState saved;
    std::string reason;
    if (!StateFile::Load(statePath.c_str(), saved, reason)) {
        m_report("state file " + statePath + " ignored (" + reason + ")");
        return;
    }
    std::string name;
    const bool created = StateJournal::Create(m_journalPath, [&](StateJournal &journal) {
        for (const std::string &text : saved.crawledDomains)
            if (Normalized(text, name)) {
                journal.Append(kCrawlTaken, name);
                journal.Append(kCrawlDone, name);
            }
        for (const std::string &text : saved.scannedNames)
            if (Normalized(text, name))
                journal.Append(kScanned, name);
        for (const std::string &text : saved.crawlQueue)
            if (Normalized(text, name))
                journal.Append(kQueued, name);
    });
    if (!created) {
        m_report("state file " + statePath + " could not be moved into the journal " + m_journalPath);
        return;
    }
    int err = 0;
    platform::DeleteFile(statePath.c_str(), &err);
    m_report("moved the state file " + statePath + " of an earlier version into the journal " +
             m_journalPath);
}

void HarvestState::Replay(uint32_t) {
    m_replay = std::make_unique<ReplayLists>();
    StateJournal::ReadReport report;
    if (!StateJournal::Read(
            m_journalPath, [this](char tag, std::string_view text) { ApplyRecord(tag, text); }, report))
        m_report("journal " + m_journalPath + " cannot be read; starting without it");
    if (report.damaged > 0)
        m_report("journal " + m_journalPath + ": skipped " + std::to_string(report.damaged) +
                 " damaged records; the others are kept");
    if (report.tornTail)
        m_report("journal " + m_journalPath + ": dropped a last record that a crash had cut short");

    ReplayLists &lists = *m_replay;
    for (const std::string &name : lists.crawlQueue)
        if (!IsCrawled(name))
            m_crawlQueue.Append(name.c_str());
    for (const std::string &name : lists.walkQueue)
        if (!IsScanned(name))
            m_walkQueue.Append(name.c_str());
    size_t listed = 0;
    for (const std::string &name : lists.openCrawls)
        if (listed++ < kListedOpenCrawls)
            m_report("domain " + name +
                     " was being crawled when the harvester stopped; it counts as crawled");
    if (lists.openCrawls.size() > kListedOpenCrawls)
        m_report(std::to_string(lists.openCrawls.size() - kListedOpenCrawls) +
                 " more domains were being crawled; they count as crawled");
    m_toWrite = std::move(lists.toWrite);
    m_toWriteSet = std::move(lists.toWriteSet);
    m_replay.reset();
    if (report.existed)
        m_report("state from " + m_journalPath + ": " + std::to_string(m_crawledCount) +
                 " domains crawled, " + std::to_string(m_scannedCount) + " names scanned, " +
                 std::to_string(m_crawlQueue.Count()) + " queued for a crawl, " +
                 std::to_string(m_walkQueue.Count()) + " to walk, " + std::to_string(m_toWrite.size()) +
                 " to write");
}

// One journal record into the state. Queued names are filtered at the end against the sets, since
// a later record may take them.
void HarvestState::ApplyRecord(char tag, std::string_view text) {
    ReplayLists &lists = *m_replay;
    std::string name(text);
    switch (tag) {
    case kCrawlTaken:
        MarkCrawled(name);
        lists.openCrawls.insert(name);
        break;
    case kCrawlDone:
        lists.openCrawls.erase(name);
        break;
    case kScanned:
        if (!IsScanned(name)) {
            m_scanned->Add(name.data(), name.size());
            ++m_scannedCount;
        }
        break;
    case kWritten:
        if (!m_output.Knows(name) && lists.toWriteSet.insert(name).second)
            lists.toWrite.push_back(name);
        break;
    case kQueued:
        lists.crawlQueue.push_back(name);
        if (lists.crawlQueue.size() > kReplayFilterAbove)
            std::erase_if(lists.crawlQueue, [this](const std::string &n) { return IsCrawled(n); });
        break;
    case kToWalk:
        lists.walkQueue.push_back(name);
        if (lists.walkQueue.size() > kReplayFilterAbove)
            std::erase_if(lists.walkQueue, [this](const std::string &n) { return IsScanned(n); });
        break;
    default:
        break; // the header, or a record of a later version
    }
}

void HarvestState::MarkCrawled(std::string_view domain) {
    if (!IsCrawled(domain)) {
        m_crawled->Add(domain.data(), domain.size());
        ++m_crawledCount;
    }
    const std::string twin = WwwTwin(domain);
    m_crawled->Add(twin.data(), twin.size());
}

void HarvestState::Close() {
    Commit();
    m_journal.Sync();
    m_output.Sync();
    m_journal.Close();
}

// ---- names found ----

void HarvestState::AddSeedHosts(const std::vector<std::string> &hosts) {
    // The crawl queue takes them all when it held at most 1000 names before.
    const bool queueTakes = m_crawlQueue.Count() <= kQueueCap;
    std::string name;
    for (const std::string &host : hosts) {
        if (!Normalized(host, name))
            continue;
        WriteName(name);
        QueueToWalk(name);
        if (queueTakes && !IsCrawled(name) && m_crawlable(name.c_str()))
            QueueForCrawl(name);
    }
    Commit();
}

void HarvestState::AddOutboundHosts(const std::vector<std::string> &hosts) {
    std::string name;
    for (const std::string &host : hosts) {
        if (!Normalized(host, name))
            continue;
        WriteName(name);
        QueueToWalk(name);
        if (m_crawlQueue.Count() < kQueueCap && !IsCrawled(name) && m_crawlable(name.c_str()))
            QueueForCrawl(name);
    }
    Commit();
}

bool HarvestState::TakeNameToWalk(std::string &name) {
    StringBuffer next;
    while (m_walkQueue.GetString(0, next)) {
        m_walkQueue.RemoveAt(0);
        name.assign(next.View());
        if (!IsScanned(name))
            return true;
    }
    return false;
}

void HarvestState::FinishWalk(const std::string &walked, const std::vector<std::string> &found) {
    MarkScanned(walked);
    std::string name;
    for (const std::string &text : found) {
        if (!Normalized(text, name) || !MarkScanned(name))
            continue;
        WriteName(name);
        if (m_crawlQueue.Count() < kQueueCap && !IsCrawled(name) && m_crawlable(name.c_str()))
            QueueForCrawl(name);
    }
    Commit();
}

bool HarvestState::MarkScanned(const std::string &name) {
    if (IsScanned(name))
        return false;
    m_scanned->Add(name.data(), name.size());
    ++m_scannedCount;
    m_journal.Append(kScanned, name);
    return true;
}

void HarvestState::WriteName(const std::string &name) {
    if (!HasKnownTld(name.c_str()) || m_output.Knows(name) || m_toWriteSet.count(name) != 0)
        return;
    m_journal.Append(kWritten, name);
    m_toWriteSet.insert(name);
    m_toWrite.push_back(name);
    ++m_discoveries;
}

// A name already waiting is no news: it is neither journalled again nor counted as a discovery.
void HarvestState::QueueToWalk(const std::string &name) {
    if (IsScanned(name) || m_walkQueue.IndexedCount(name.c_str()) > 0 || !m_walkQueue.Append(name.c_str()))
        return;
    m_journal.Append(kToWalk, name);
    ++m_discoveries;
}

void HarvestState::QueueForCrawl(const std::string &name) {
    if (m_crawlQueue.IndexedCount(name.c_str()) > 0 || !m_crawlQueue.Append(name.c_str()))
        return;
    m_journal.Append(kQueued, name);
    ++m_discoveries;
}

// ---- crawls ----

bool HarvestState::TakeDomainToCrawl(std::string &domain) {
    StringBuffer next;
    while (m_crawlQueue.GetString(0, next)) {
        m_crawlQueue.RemoveAt(0);
        domain.assign(next.View());
        if (IsCrawled(domain))
            continue; // its twin was crawled since it was queued
        MarkCrawled(domain);
        m_journal.Append(kCrawlTaken, domain);
        Commit();
        return true;
    }
    return false;
}

void HarvestState::FinishCrawl(const std::string &domain) {
    m_journal.Append(kCrawlDone, domain);
    Commit();
}

// ---- the files ----

// The journal's records go first: a name's line reaches the output only after its record.
void HarvestState::Commit() {
    FlushJournal();
    for (const std::string &name : m_toWrite)
        m_output.Write(name);
    m_toWrite.clear();
    m_toWriteSet.clear();
    ReportOutputTrouble();
}

// A journal that could not be opened (its directory not writable yet) is tried again at every commit;
// its records wait in memory meanwhile and go to it, in order, once it opens.
void HarvestState::FlushJournal() {
    if (!m_journal.IsOpen() && !m_journalPath.empty())
        m_journal.Open(m_journalPath);
    const bool flushed = m_journal.IsOpen() && m_journal.Flush();
    if (!flushed && !m_journalTroubleReported) {
        m_journalTroubleReported = true;
        m_report("journal " + m_journalPath + " cannot be written (" + ErrorText(m_journal.LastError()) +
                 "); its records wait in memory until it can");
    } else if (flushed && m_journalTroubleReported) {
        m_journalTroubleReported = false;
        m_report("journal " + m_journalPath + " can be written again; the waiting records are in it");
    }
}

void HarvestState::ReportOutputTrouble() {
    const size_t waiting = m_output.PendingCount();
    if (waiting > 0 && !m_outputTroubleReported) {
        m_outputTroubleReported = true;
        m_report("output " + m_outputPath + " cannot be written (" + ErrorText(m_output.LastError()) +
                 "); names wait, kept in the journal, until it can");
    } else if (waiting == 0 && m_outputTroubleReported) {
        m_outputTroubleReported = false;
        m_report("output " + m_outputPath + " can be written again; the waiting names are in it");
    }
}

void HarvestState::Maintain(uint32_t now) {
    FlushJournal();
    if (!m_output.WritePending() || m_output.PendingCount() == 0)
        ReportOutputTrouble();
    if (now - m_lastSync >= kSyncEveryMs) {
        m_lastSync = now;
        m_journal.Sync();
        m_output.Sync();
    }
    if (m_journal.IsOpen() && m_journal.Size() >= m_compactAt)
        Compact();
}

void HarvestState::Compact() {
    Commit();
    const bool ok = m_journal.Compact("CDS", [this](StateJournal &fresh) { FillSnapshot(fresh); });
    ++m_compactions;
    m_compactAt = std::max<uint64_t>(m_compactAtLeast, 2 * m_journal.Size());
    if (!ok)
        m_report("journal " + m_journalPath + " could not be compacted; it goes on growing");
}

// The queues and the names waiting for the output, after the sets' records kept from the old file.
void HarvestState::FillSnapshot(StateJournal &fresh) const {
    StringBuffer s;
    for (int32_t i = 0; m_crawlQueue.GetString(i, s); ++i)
        fresh.Append(kQueued, s.View());
    for (int32_t i = 0; m_walkQueue.GetString(i, s); ++i)
        fresh.Append(kToWalk, s.View());
    if (m_walksRunning)
        for (const std::string &name : m_walksRunning())
            fresh.Append(kToWalk, name);
    for (const std::string &name : m_output.Pending())
        fresh.Append(kWritten, name);
}

// ---- queries ----

bool HarvestState::IsScanned(std::string_view name) const {
    return m_scanned->Contains(name.data(), name.size());
}

bool HarvestState::IsCrawled(std::string_view name) const {
    return m_crawled->Contains(name.data(), name.size());
}

bool HarvestState::IsWritten(std::string_view name) const {
    return m_written->Contains(name.data(), name.size());
}

std::vector<std::string> HarvestState::CrawlQueue() const {
    return Texts(m_crawlQueue);
}

std::vector<std::string> HarvestState::WalkQueue() const {
    return Texts(m_walkQueue);
}

} // namespace lanternfold
