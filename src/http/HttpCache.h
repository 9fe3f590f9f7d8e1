// HttpCache: the ".caf" cache store: up to 10 entries per file found by the CRC-32 of their URL,
// header text and body bzip2-compressed, negative entries, and the DNS entries ("dns://" + host).
#pragma once
#include <cstdint>

#include "core/ExtPtrArray.h"
#include "http/CacheEntry.h"

namespace vantry {

class DataBuffer;
class StringBuffer;

class HttpCache {
public:
    HttpCache();
    virtual ~HttpCache();
    HttpCache(const HttpCache &) = delete;
    HttpCache &operator=(const HttpCache &) = delete;

    void AddRoot(const char *directory);
    int32_t NumRoots() const { return m_roots.Count(); }
    void ClearRoots();
    // Files per directory: keys are spread over this many ".caf" files (0 is taken as 1).
    void SetFileCount(uint32_t count) { m_fileCount = count; }
    uint32_t FileCount() const { return m_fileCount; }

    bool CafPath(const char *key, StringBuffer &path) const;
    // The entry for a key: its offset in the file and its fixed fields. The stored URL must equal the
    // key (a CRC-32 collision is a miss).
    bool LookUp(const char *key, uint32_t &offset, CacheEntryFields &fields) const;
    // The full entry, owned by the caller; none for a miss, or for a negative entry (negative set).
    // An entry whose body would unpack to more than maxBody bytes is a miss with overLimit set.
    CacheEntry *FetchEntry(const char *key, bool &negative, uint32_t maxBody = kDefaultMaxBody,
                           bool *overLimit = nullptr) const;
    // Deletes the file and writes it anew holding this entry alone.
    bool SaveReplacing(const char *key, const char *header, const DataBuffer &body, bool negative,
                       uint8_t caller1, uint8_t caller2, uint8_t flagValue, const char *validator);
    // Adds the entry to the file (a file holding 10 entries restarts with this one alone).
    bool SaveAppending(const char *key, const char *header, const DataBuffer &body, bool negative,
                       uint8_t caller1, uint8_t caller2, uint8_t flagValue, const char *validator);
    // A positive or a negative entry exists for the key.
    bool Exists(const char *key) const;

    // DNS entries under "dns://" + host, lower-cased.
    void IsDomainInvalid(const char *host, bool &found, bool &invalid) const;
    void MarkDomainInvalid(const char *host);
    void MarkDomainValid(const char *host);

    static constexpr uint32_t kDefaultFileCount = 50;
    // The body limit of a read when the request sets none: a planted file of a few hundred bytes can
    // hold a stream that unpacks to gigabytes.
    static constexpr uint32_t kDefaultMaxBody = 16u * 1024u * 1024u;

private:
    bool Save(const char *key, const char *header, const DataBuffer &body, bool negative, uint8_t caller1,
              uint8_t caller2, uint8_t flagValue, const char *validator, bool replace);

    ExtPtrArray m_roots; // owned StringBuffers
    uint32_t m_fileCount = kDefaultFileCount;
};

} // namespace vantry
