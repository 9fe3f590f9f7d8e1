// StateJournal: the harvester's state as an append-only file of records, one a line:
//     TAG SP TEXT SP CRC LF
// TAG is one letter, TEXT holds no LF, CRC is the CRC-32 of "TAG SP TEXT" in 8 lower-case hex digits.
// Records are gathered in memory and go to the file in one write at Flush; Sync also puts them on the
// disk. Each line is checked on its own, so a damaged line costs only itself and a line cut short by
// a crash (the last one) is dropped. Compact rewrites the file as a snapshot (a temporary file, synced,
// renamed over the journal) when it has grown.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace lanternfold {

class StateJournal {
public:
    // The first record of every journal file.
    static constexpr char kHeaderTag = 'H';
    static constexpr const char *kHeaderText = "lanternfold-journal-1";

    using Visit = std::function<void(char tag, std::string_view text)>;
    struct ReadReport {
        bool existed = false;
        uint64_t records = 0;  // intact records, the header included
        uint64_t damaged = 0;  // lines skipped because their checksum or form was wrong
        bool tornTail = false; // a last line without its LF was dropped (and cut off the file)
    };

    StateJournal() = default;
    ~StateJournal();
    StateJournal(const StateJournal &) = delete;
    StateJournal &operator=(const StateJournal &) = delete;

    // Reads the intact records of a journal file in order. False only when the file exists and cannot
    // be read or repaired.
    static bool Read(const std::string &path, const Visit &visit, ReadReport &report);

    // Opens the journal for appending, creating it with its header record when absent. Records
    // appended while it was not open are kept and go to it at the next Flush.
    bool Open(const std::string &path);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    const std::string &Path() const { return m_path; }

    void Append(char tag, std::string_view text);
    // The gathered records to the file in one write; false (records kept) when the write fails.
    bool Flush();
    // Flush, then the file's data to the disk.
    bool Sync();
    // Bytes in the file and gathered.
    uint64_t Size() const { return m_fileBytes + m_buffer.size(); }
    // The errno of the latest failed write or sync; 0 after a success.
    int LastError() const { return m_lastError; }

    // Rewrites the journal: the records of the current file whose tags are in keepTags, in their
    // order, then those that `current` appends to the new file. The old file stays in place until
    // the new one is complete and synced.
    bool Compact(std::string_view keepTags, const std::function<void(StateJournal &)> &current);
    // Writes a new journal at path in the same safe way, with the records `records` appends.
    static bool Create(const std::string &path, const std::function<void(StateJournal &)> &records);

    static void FormatRecord(char tag, std::string_view text, std::string &out);
    static bool ParseRecord(std::string_view line, char &tag, std::string_view &text);

private:
    // A fresh file at path (truncated), with the header record gathered.
    bool OpenNew(const std::string &path);
    static bool WriteAndReplace(const std::string &path, const std::function<void(StateJournal &)> &fill);

    std::string m_path;
    int m_fd = -1;
    uint64_t m_fileBytes = 0;
    std::string m_buffer;
    int m_lastError = 0;
};

} // namespace lanternfold
