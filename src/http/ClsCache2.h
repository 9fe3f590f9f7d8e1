// ClsCache2: the ".dat" cache store, one file per key named by the MD5 of the key, spread over the
// root directories at 0, 1 or 2 directory levels; remembers the last entry read (key, expiry, tag).
#pragma once
#include <cstdint>

#include "core/ExtPtrArray.h"
#include "core/StringBuffer.h"
#include "log/ClsBase.h"

namespace vantry {

class DataBuffer;
class LogBase;

class ClsCache2 : public ClsBase {
public:
    ClsCache2();
    virtual ~ClsCache2();

    // Roots and levels (the library user's settings; nothing in the harvester sets them).
    void AddRoot(const char *directory);
    int32_t NumRoots() const { return m_roots.Count(); }
    void ClearRoots();
    void SetLevels(int32_t levels); // 0, 1 or 2; other values are clamped into that range
    int32_t Levels() const { return m_levels; }

    // The file for a key; entries go to the store's own log (Log()), cleared at each call.
    bool GetFilename(const char *key, StringBuffer &path);
    bool SaveToCache(const char *key, double expiry, const char *etag, const DataBuffer &payload,
                     LogBase &log);
    // The same with the entry's flag byte (file offset 8, written as 0 by the form above).
    bool SaveToCache(const char *key, double expiry, const char *etag, uint8_t flags,
                     const DataBuffer &payload, LogBase &log);
    // On success remembers key, expiry and entity tag.
    bool ReadCacheEntry(const char *key, DataBuffer &payload, LogBase &log);
    // About the last entry read: expired when now (local day count) is at or past its expiry.
    bool IsExpired() const;
    bool IsExpiredAt(double now) const;
    bool GetLastEtag(StringBuffer &out) const;
    bool GetLastExpiry(double &out) const;
    // The flag byte of the last entry read (0 when nothing was read, and in files written without flags).
    uint8_t GetLastFlags() const { return m_lastKey.Length() ? m_lastFlags : 0; }
    bool UpdateExpiration(const char *key, double expiry, LogBase &log);
    bool Exists(const char *key);

    static constexpr uint16_t kFileMark = 39678; // 0x9AFE at offset 6
    // Flag: the response came over TLS from a server whose certificate verified.
    static constexpr uint8_t kFlagVerifiedTls = 0x01;

private:
    ExtPtrArray m_roots; // owned StringBuffers
    int32_t m_levels = 0;
    StringBuffer m_lastKey;
    double m_lastExpiry = 0;
    uint8_t m_lastFlags = 0;
    StringBuffer m_lastEtag;
};

} // namespace vantry
