// StateJournal: record lines with their own checksums, a streaming reader that skips damaged lines and
// cuts a torn tail, buffered appends, and compaction through a synced temporary file.
#include "harvester/StateJournal.h"

#include <vector>

#include "core/Crc32.h"
#include "platform/Files.h"

namespace lanternfold {

using namespace vantry;

namespace {

constexpr uint32_t kReadChunk = 1u << 20;
// A line longer than this is not a record (names are at most 253 bytes); it is skipped as damaged.
constexpr size_t kLongestLine = 64 * 1024;
constexpr size_t kCrcDigits = 8;

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Feeds the lines of the file to `line` (without their LF). `complete` is the length of the part that
// ends with the last LF; the bytes after it are a line cut short.
bool ReadLines(int fd, const std::function<void(std::string_view)> &line, uint64_t &total,
               uint64_t &complete) {
    std::vector<char> chunk(kReadChunk);
    std::string carry;
    bool overlong = false;
    total = 0;
    complete = 0;
    for (;;) {
        uint32_t got = 0;
        int err = 0;
        if (!platform::ReadFile(fd, chunk.data(), kReadChunk, &got, &err))
            return false;
        if (got == 0)
            break;
        std::string_view data(chunk.data(), got);
        size_t start = 0;
        for (;;) {
            const size_t lf = data.find('\n', start);
            if (lf == std::string_view::npos) {
                if (overlong || carry.size() + (data.size() - start) > kLongestLine) {
                    overlong = true;
                    carry.clear();
                } else {
                    carry.append(data.substr(start));
                }
                break;
            }
            if (overlong) {
                line(std::string_view()); // not a record: counted as damaged
                overlong = false;
            } else if (carry.empty()) {
                line(data.substr(start, lf - start));
            } else {
                carry.append(data.substr(start, lf - start));
                line(carry);
            }
            carry.clear();
            start = lf + 1;
            complete = total + start;
        }
        total += got;
        if (got < kReadChunk)
            break;
    }
    return true;
}

} // namespace

StateJournal::~StateJournal() {
    Close();
}

void StateJournal::FormatRecord(char tag, std::string_view text, std::string &out) {
    const size_t start = out.size();
    out.push_back(tag);
    out.push_back(' ');
    out.append(text);
    const uint32_t crc = Crc32::Compute(out.data() + start, out.size() - start);
    static constexpr char kHex[] = "0123456789abcdef";
    char digits[kCrcDigits + 2];
    digits[0] = ' ';
    for (size_t i = 0; i < kCrcDigits; ++i)
        digits[1 + i] = kHex[(crc >> (4 * (kCrcDigits - 1 - i))) & 0xF];
    digits[kCrcDigits + 1] = '\n';
    out.append(digits, sizeof digits);
}

bool StateJournal::ParseRecord(std::string_view line, char &tag, std::string_view &text) {
    // "T" SP TEXT SP CRC: at least the tag, two blanks and the digits.
    if (line.size() < 2 + 1 + kCrcDigits || line[1] != ' ' || line[line.size() - kCrcDigits - 1] != ' ')
        return false;
    uint32_t stored = 0;
    for (size_t i = line.size() - kCrcDigits; i < line.size(); ++i) {
        const int digit = HexDigit(line[i]);
        if (digit < 0)
            return false;
        stored = stored << 4 | static_cast<uint32_t>(digit);
    }
    const size_t covered = line.size() - kCrcDigits - 1;
    if (Crc32::Compute(line.data(), covered) != stored)
        return false;
    tag = line[0];
    text = line.substr(2, covered - 2);
    return true;
}

bool StateJournal::Read(const std::string &path, const Visit &visit, ReadReport &report) {
    report = ReadReport();
    int err = 0;
    const int fd = platform::OpenForUpdate(path.c_str(), &err);
    if (fd < 0)
        return !platform::PathExists(path.c_str());
    report.existed = true;
    uint64_t total = 0, complete = 0;
    const bool ok = ReadLines(
        fd,
        [&](std::string_view line) {
            char tag = 0;
            std::string_view text;
            if (ParseRecord(line, tag, text)) {
                ++report.records;
                visit(tag, text);
            } else {
                ++report.damaged;
            }
        },
        total, complete);
    if (ok && complete < total) {
        // A write cut short: the bytes after the last LF go, so the next record starts a line.
        report.tornTail = true;
        platform::TruncateFile(fd, complete, &err);
        platform::SyncFile(fd, &err);
    }
    platform::CloseFile(fd);
    return ok;
}

bool StateJournal::Open(const std::string &path) {
    Close();
    m_path = path;
    int err = 0;
    const bool existed = platform::PathExists(path.c_str());
    m_fd = platform::OpenForAppend(path.c_str(), &err);
    if (m_fd < 0) {
        m_lastError = err;
        return false;
    }
    uint64_t size = 0;
    platform::FileSizeOf(m_fd, &size, &err);
    m_fileBytes = size;
    if (!existed || size == 0) {
        // A new file starts with the header, before any record gathered while it could not be opened.
        std::string header;
        FormatRecord(kHeaderTag, kHeaderText, header);
        m_buffer.insert(0, header);
        Sync();
        platform::SyncDirectoryOf(path.c_str(), &err);
    }
    return true;
}

bool StateJournal::OpenNew(const std::string &path) {
    Close();
    m_path = path;
    int err = 0;
    m_fd = platform::CreateForWrite(path.c_str(), &err);
    if (m_fd < 0) {
        m_lastError = err;
        return false;
    }
    m_fileBytes = 0;
    Append(kHeaderTag, kHeaderText);
    return true;
}

void StateJournal::Close() {
    if (m_fd < 0)
        return;
    Flush();
    platform::CloseFile(m_fd);
    m_fd = -1;
}

void StateJournal::Append(char tag, std::string_view text) {
    FormatRecord(tag, text, m_buffer);
}

bool StateJournal::Flush() {
    if (m_buffer.empty())
        return true;
    if (m_fd < 0)
        return false;
    uint32_t written = 0;
    int err = 0;
    if (!platform::WriteFile(m_fd, m_buffer.data(), static_cast<uint32_t>(m_buffer.size()), &written, &err)) {
        // A part written is a torn line for the next start to drop; the records stay gathered.
        m_lastError = err;
        m_fileBytes += written;
        return false;
    }
    m_fileBytes += written;
    m_buffer.clear();
    m_lastError = 0;
    return true;
}

bool StateJournal::Sync() {
    if (!Flush())
        return false;
    int err = 0;
    if (!platform::SyncFile(m_fd, &err)) {
        m_lastError = err;
        return false;
    }
    return true;
}

bool StateJournal::WriteAndReplace(const std::string &path, const std::function<void(StateJournal &)> &fill) {
    const std::string temp = path + ".tmp";
    StateJournal fresh;
    if (!fresh.OpenNew(temp))
        return false;
    fill(fresh);
    const bool written = fresh.Sync();
    fresh.Close();
    int err = 0;
    if (!written || !platform::RenameFile(temp.c_str(), path.c_str(), &err)) {
        platform::DeleteFile(temp.c_str(), &err);
        return false;
    }
    platform::SyncDirectoryOf(path.c_str(), &err);
    return true;
}

bool StateJournal::Create(const std::string &path, const std::function<void(StateJournal &)> &records) {
    return WriteAndReplace(path, records);
}

bool StateJournal::Compact(std::string_view keepTags, const std::function<void(StateJournal &)> &current) {
    if (!Flush())
        return false;
    const std::string path = m_path;
    bool readOk = true;
    const bool replaced = WriteAndReplace(path, [&](StateJournal &fresh) {
        ReadReport report;
        readOk = Read(
            path,
            [&](char tag, std::string_view text) {
                if (tag != kHeaderTag && keepTags.find(tag) != std::string_view::npos)
                    fresh.Append(tag, text);
                // Large snapshots go out as they are built.
                if (fresh.m_buffer.size() >= kReadChunk)
                    fresh.Flush();
            },
            report);
        current(fresh);
    });
    if (!replaced || !readOk)
        return false;
    return Open(path);
}

} // namespace lanternfold
