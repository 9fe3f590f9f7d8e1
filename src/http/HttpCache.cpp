// The ".caf" store: paths from the MD5 of the key, the ten-slot directory, whole-entry reads that
// check the stored URL, and writes that build the new file beside the old one and rename it in.
#include "http/HttpCache.h"

#include <cstring>
#include <string>

#include "core/Crc32.h"
#include "core/DataBuffer.h"
#include "core/FileSys.h"
#include "core/LogNull.h"
#include "core/Md5.h"
#include "core/StringBuffer.h"
#include "http/CacheBytes.h"
#include "http/CacheClock.h"
#include "http/CacheFileDir.h"
#include "http/DateParser.h"

namespace vantry {

namespace {

// The whole file, or nothing: a missing or unreadable file reads as empty.
bool LoadCafFile(const char *path, DataBuffer &file) {
    LogNull quiet;
    if (!FileSys::FileExists(path, nullptr))
        return false;
    return file.LoadFile(path, quiet);
}

// The entry of the file that belongs to the key: the first slot with the key's CRC whose entry's
// stored URL is the key itself. A slot pointing outside the file, or at another URL, is passed over.
bool FindEntry(const DataBuffer &file, const char *key, uint32_t &offset, CacheEntryFields &fields) {
    CacheFileDir dir;
    if (!dir.Decode(file.Data(), file.Length()))
        return false;
    uint32_t keyLength = static_cast<uint32_t>(std::strlen(key));
    uint32_t crc = Crc32::Compute(key, keyLength);
    for (int32_t slot = dir.FindSlot(crc); slot >= 0;
         slot = dir.FindSlot(crc, static_cast<uint32_t>(slot) + 1)) {
        uint32_t at = dir.Slots[slot].Offset;
        CacheEntryFields candidate;
        if (at < CacheFileDir::kSize || at > file.Length() ||
            !candidate.Decode(file.Data() + at, file.Length() - at))
            continue;
        uint64_t urlAt = static_cast<uint64_t>(at) + CacheEntryFields::kSize;
        if (candidate.UrlLengthPlusOne != keyLength + 1 || urlAt + keyLength + 1 > file.Length())
            continue;
        if (std::memcmp(file.Data() + urlAt, key, keyLength) != 0 || file.Data()[urlAt + keyLength] != 0)
            continue;
        offset = at;
        fields = candidate;
        return true;
    }
    return false;
}

void DirectoryOf(const char *path, StringBuffer &dir) {
    dir.Clear();
    dir.AppendBytes(path, static_cast<int32_t>(std::strlen(path) > 799 ? 799 : std::strlen(path)));
    const char *last = std::strrchr(dir.Text(), '/');
    if (!last) {
        dir.Clear();
        return;
    }
    dir.Shorten(dir.Length() - static_cast<int32_t>(last - dir.Text()));
}

void DnsKey(const char *host, StringBuffer &key) {
    key.SetString("dns://");
    key.Append(host ? host : "");
    key.ToLower();
}

} // namespace

HttpCache::HttpCache() = default;
HttpCache::~HttpCache() = default;

void HttpCache::AddRoot(const char *directory) {
    m_roots.Append(new StringBuffer(directory ? directory : ""));
}

void HttpCache::ClearRoots() {
    m_roots.RemoveAllAndDelete();
}

bool HttpCache::CafPath(const char *key, StringBuffer &path) const {
    path.Clear();
    if (m_roots.Count() == 0 || !key)
        return false;
    uint8_t digest[16];
    Md5::Digest(key, std::strlen(key), digest);
    const auto *root = m_roots.ElementAs<StringBuffer>(digest[0] % m_roots.Count());
    if (!root)
        return false;
    path.Append(root->Length() ? root->Text() : "/tmp/");
    if (path.LastChar() != '/')
        path.AppendChar('/');
    uint32_t files = m_fileCount ? m_fileCount : 1;
    path.AppendInt(digest[1]);
    path.AppendChar('/');
    path.AppendInt(digest[2]);
    path.AppendChar('/');
    path.Append(std::to_string(LoadLe32(digest + 3) % files));
    path.Append(".caf");
    return true;
}

bool HttpCache::LookUp(const char *key, uint32_t &offset, CacheEntryFields &fields) const {
    StringBuffer path;
    DataBuffer file;
    if (!CafPath(key, path) || !LoadCafFile(path.Text(), file))
        return false;
    return FindEntry(file, key, offset, fields);
}

CacheEntry *HttpCache::FetchEntry(const char *key, bool &negative, uint32_t maxBody, bool *overLimit) const {
    negative = false;
    if (overLimit)
        *overLimit = false;
    StringBuffer path;
    DataBuffer file;
    uint32_t offset = 0;
    CacheEntryFields fields;
    if (!CafPath(key, path) || !LoadCafFile(path.Text(), file) || !FindEntry(file, key, offset, fields))
        return nullptr;
    if (fields.IsNegative()) {
        negative = true;
        return nullptr;
    }
    auto *entry = new CacheEntry();
    if (!entry->Load(file.Data(), file.Length(), offset, maxBody, overLimit)) {
        delete entry;
        return nullptr;
    }
    return entry;
}

bool HttpCache::Exists(const char *key) const {
    uint32_t offset = 0;
    CacheEntryFields fields;
    return LookUp(key, offset, fields);
}

bool HttpCache::SaveReplacing(const char *key, const char *header, const DataBuffer &body, bool negative,
                              uint8_t caller1, uint8_t caller2, uint8_t flagValue, const char *validator) {
    return Save(key, header, body, negative, caller1, caller2, flagValue, validator, true);
}

bool HttpCache::SaveAppending(const char *key, const char *header, const DataBuffer &body, bool negative,
                              uint8_t caller1, uint8_t caller2, uint8_t flagValue, const char *validator) {
    return Save(key, header, body, negative, caller1, caller2, flagValue, validator, false);
}

bool HttpCache::Save(const char *key, const char *header, const DataBuffer &body, bool negative,
                     uint8_t caller1, uint8_t caller2, uint8_t flagValue, const char *validator,
                     bool replace) {
    StringBuffer path;
    if (!key || !CafPath(key, path))
        return false;

    CacheEntry entry;
    entry.Url.SetString(key);
    entry.HeaderText.SetString(header ? header : "");
    entry.Body.AppendData(body);
    CacheEntryFields &f = entry.Fields;
    const char *validatorText = validator ? validator : "";
    f.ValidatorCrc = Crc32::Compute(validatorText, std::strlen(validatorText));
    f.Negative = negative ? 1 : 0;
    f.Flags = flagValue;
    f.Caller1 = caller1;
    f.Caller2 = caller2;
    CalendarTime now;
    CacheNowUtc(now);
    uint8_t stamp[4] = {static_cast<uint8_t>(now.Year >= 2000 ? now.Year - 2000 : 0),
                        static_cast<uint8_t>(now.Month), static_cast<uint8_t>(now.Day),
                        static_cast<uint8_t>(now.Hour)};
    std::memcpy(f.StampWritten, stamp, 4);
    if (!negative)
        std::memcpy(f.StampValid, stamp, 4);
    DataBuffer packed;
    if (!entry.Serialise(packed))
        return false;

    // The current file, unless it is to be replaced; a file that is not a directory of this store
    // (foreign, truncated, full) is restarted with this entry alone.
    DataBuffer file;
    CacheFileDir dir;
    bool appendTo = !replace && LoadCafFile(path.Text(), file) && dir.Decode(file.Data(), file.Length()) &&
                    dir.Count < dir.Capacity;
    uint32_t crc = Crc32::Compute(key, std::strlen(key));
    if (!appendTo) {
        dir = CacheFileDir();
        file.Clear();
        file.SetLength(0);
        uint8_t blank[CacheFileDir::kSize] = {};
        file.Append(blank, sizeof blank);
    }
    uint64_t offset = file.Length();
    if (offset + packed.Length() > 0xFFFFFFFFu)
        return false;
    dir.Slots[dir.Count].Offset = static_cast<uint32_t>(offset);
    dir.Slots[dir.Count].UrlCrc = crc;
    ++dir.Count;
    dir.Encode(file.Data());

    StringBuffer directory;
    DirectoryOf(path.Text(), directory);
    LogNull quiet;
    if (directory.Length() && !FileSys::EnsureDirectory(directory.Text(), quiet))
        return false;
    return FileSys::ReplaceFileTwoPart(path.Text(), file.Data(), file.Length(), packed.Data(),
                                       packed.Length(), nullptr);
}

void HttpCache::IsDomainInvalid(const char *host, bool &found, bool &invalid) const {
    StringBuffer key;
    DnsKey(host, key);
    uint32_t offset = 0;
    CacheEntryFields fields;
    found = LookUp(key.Text(), offset, fields);
    invalid = found && fields.IsNegative();
}

void HttpCache::MarkDomainInvalid(const char *host) {
    bool found = false, invalid = false;
    IsDomainInvalid(host, found, invalid);
    StringBuffer key;
    DnsKey(host, key);
    DataBuffer empty;
    if (!found)
        SaveAppending(key.Text(), "", empty, true, 0, 0, 0, "");
    else if (invalid)
        SaveReplacing(key.Text(), "", empty, true, 0, 0, 0, "");
}

void HttpCache::MarkDomainValid(const char *host) {
    bool found = false, invalid = false;
    IsDomainInvalid(host, found, invalid);
    if (!found || invalid)
        return;
    StringBuffer key;
    DnsKey(host, key);
    DataBuffer empty;
    SaveReplacing(key.Text(), "", empty, false, 0, 0, 0, "");
}

} // namespace vantry
