// The ".dat" store: MD5-named files under 0, 1 or 2 directory levels, the fixed header with its
// mark, expiry and entity tag, whole-file writes renamed into place, and the in-place expiry update.
#include "http/ClsCache2.h"

#include <cstring>

#include "core/DataBuffer.h"
#include "core/FileSys.h"
#include "core/Md5.h"
#include "http/CacheBytes.h"
#include "http/CacheClock.h"
#include "http/DateParser.h"
#include "platform/Files.h"

namespace vantry {

namespace {

constexpr const char *kNoRoots = "No cache roots have been set.  Need to call AddRoot at least once.";
constexpr uint32_t kMaxHeaderSize = 8000;
constexpr uint32_t kFixedHeader = 20; // the bytes before the entity tag

} // namespace

ClsCache2::ClsCache2() = default;
ClsCache2::~ClsCache2() = default;

void ClsCache2::AddRoot(const char *directory) {
    m_roots.Append(new StringBuffer(directory ? directory : ""));
}

void ClsCache2::ClearRoots() {
    m_roots.RemoveAllAndDelete();
}

void ClsCache2::SetLevels(int32_t levels) {
    m_levels = levels < 0 ? 0 : (levels > 2 ? 2 : levels);
}

bool ClsCache2::GetFilename(const char *key, StringBuffer &path) {
    m_log.ClearLog();
    LogContext context(m_log, "GetFilename");
    path.Clear();
    if (m_roots.Count() == 0) {
        m_log.LogError(kNoRoots);
        return false;
    }
    if (!key)
        return false;
    uint8_t digest[16];
    Md5::Digest(key, std::strlen(key), digest);
    int32_t index = digest[0] % m_roots.Count();
    const auto *root = m_roots.ElementAs<StringBuffer>(index);
    if (!root) {
        m_log.LogError("Failed to get root at index");
        m_log.LogDataInt("index", index);
        return false;
    }
    // Paths keep '/' separators here; a trailing one is added when missing.
    path.Append(root->Text());
    path.ReplaceChar('\\', '/');
    if (path.LastChar() != '/')
        path.AppendChar('/');
    for (int32_t level = 1; level <= m_levels; ++level) {
        path.AppendInt(digest[level]);
        path.AppendChar('/');
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (uint8_t b : digest) {
        path.AppendChar(kHex[b >> 4]);
        path.AppendChar(kHex[b & 15]);
    }
    path.Append(".dat");
    return true;
}

bool ClsCache2::SaveToCache(const char *key, double expiry, const char *etag, const DataBuffer &payload,
                            LogBase &log) {
    return SaveToCache(key, expiry, etag, 0, payload, log);
}

bool ClsCache2::SaveToCache(const char *key, double expiry, const char *etag, uint8_t flags,
                            const DataBuffer &payload, LogBase &log) {
    LogContext context(log, "SaveToCache");
    if (m_roots.Count() == 0) {
        log.LogError(kNoRoots);
        return false;
    }
    log.LogData("ResourceName", key ? key : "");
    StringBuffer path;
    if (!GetFilename(key, path)) {
        log.LogError("Failed to convert resource name to filename");
        return false;
    }
    log.LogData("CacheFilename", path.Text());

    StringBuffer directory;
    directory.AppendBytes(path.Text(), path.Length() > 799 ? 799 : path.Length());
    const char *last = std::strrchr(directory.Text(), '/');
    if (last) {
        directory.Shorten(directory.Length() - static_cast<int32_t>(last - directory.Text()));
        if (directory.Length() && !FileSys::EnsureDirectory(directory.Text(), log))
            return false;
    }

    const char *tag = etag ? etag : "";
    uint32_t tagLength = static_cast<uint32_t>(std::strlen(tag));
    if (tagLength > 0xFFFF || kFixedHeader + tagLength > kMaxHeaderSize)
        tagLength = 0; // a tag too long to be read back is not stored
    DataBuffer header(kFixedHeader + tagLength);
    uint8_t *h = header.Data();
    StoreLe32(h, kFixedHeader + tagLength);
    StoreLe16(h + 4, 1);
    StoreLe16(h + 6, kFileMark);
    h[8] = flags;
    h[9] = 0;
    StoreLeDouble(h + 10, expiry);
    StoreLe16(h + 18, static_cast<uint16_t>(tagLength));
    std::memcpy(h + 20, tag, tagLength);
    header.SetLength(kFixedHeader + tagLength);
    return FileSys::ReplaceFileTwoPart(path.Text(), header.Data(), header.Length(), payload.Data(),
                                       payload.Length(), &log);
}

bool ClsCache2::ReadCacheEntry(const char *key, DataBuffer &payload, LogBase &log) {
    LogContext context(log, "ReadCacheEntry");
    payload.Clear();
    if (m_roots.Count() == 0) {
        log.LogError(kNoRoots);
        return false;
    }
    m_lastKey.Clear();
    m_lastEtag.Clear();
    m_lastExpiry = 0;
    m_lastFlags = 0;
    StringBuffer path;
    if (!GetFilename(key, path)) {
        log.LogError("Failed to convert resource name to filename");
        return false;
    }
    log.LogData("CacheFilename", path.Text());
    if (!FileSys::FileExists(path.Text(), nullptr))
        return false;

    DataBuffer header;
    if (!payload.LoadFileWithHeader(path.Text(), header, kMaxHeaderSize, &log)) {
        log.LogError("Failed to load cache file");
        payload.Clear();
        return false;
    }
    // header holds the file's bytes 4 to H-1: the mark at file offset 6, the expiry at 10, the tag
    // length at 18 and the tag from 20, all inside the header.
    const uint8_t *h = header.Data();
    uint32_t n = header.Length();
    bool valid = n >= kFixedHeader - 4 && LoadLe16(h + 2) == kFileMark && 16u + LoadLe16(h + 14) <= n;
    if (!valid) {
        log.LogError("Not a valid cache file.");
        payload.Clear();
        return false;
    }
    m_lastKey.SetString(key);
    m_lastExpiry = LoadLeDouble(h + 6);
    m_lastFlags = h[4];
    m_lastEtag.AppendBytes(h + 16, LoadLe16(h + 14));
    StringBuffer formatted;
    DateParser().FormatDays(m_lastExpiry, formatted);
    log.LogData("Expiration", formatted.Text());
    return true;
}

bool ClsCache2::IsExpired() const {
    return IsExpiredAt(CacheNowLocalDays());
}

bool ClsCache2::IsExpiredAt(double now) const {
    if (m_lastExpiry == 0 || m_lastKey.Length() == 0)
        return false;
    return now >= m_lastExpiry;
}

bool ClsCache2::GetLastEtag(StringBuffer &out) const {
    out.Clear();
    if (m_lastKey.Length() == 0)
        return false;
    out.Append(m_lastEtag.Text());
    return true;
}

bool ClsCache2::GetLastExpiry(double &out) const {
    out = m_lastKey.Length() ? m_lastExpiry : 0;
    return m_lastKey.Length() != 0;
}

bool ClsCache2::UpdateExpiration(const char *key, double expiry, LogBase &log) {
    LogContext context(log, "UpdateExpiration");
    StringBuffer path;
    if (!GetFilename(key, path)) {
        log.LogError("Failed to convert resource name to filename");
        return false;
    }
    int err = 0;
    int fd = platform::OpenForUpdate(path.Text(), &err);
    if (fd == platform::kInvalidFile) {
        log.LogError("Failed to open file");
        log.LogData("filename", path.Text());
        return false;
    }
    // Only a file of this store is written to: one too short to hold the expiry, or without the
    // mark, is not extended or damaged.
    uint8_t head[18] = {};
    uint32_t got = 0;
    bool ours = platform::ReadFile(fd, head, sizeof head, &got, &err) && got == sizeof head &&
                LoadLe16(head + 6) == kFileMark;
    if (!ours) {
        platform::CloseFile(fd);
        log.LogError("Failed to seek to position in cache file.");
        log.LogData("filename", path.Text());
        return false;
    }
    uint8_t bytes[8];
    StoreLeDouble(bytes, expiry);
    uint32_t written = 0;
    bool ok = platform::WriteFileAt(fd, 10, bytes, 8, &written, &err) && written == 8;
    platform::CloseFile(fd);
    if (!ok) {
        log.LogError("Failed to update cache file.");
        log.LogData("filename", path.Text());
    }
    return ok;
}

bool ClsCache2::Exists(const char *key) {
    StringBuffer path;
    return GetFilename(key, path) && FileSys::FileExists(path.Text(), nullptr);
}

} // namespace vantry
