// The cookie store over its directory: the file a host's cookies live in, the load-change-save steps
// for requests and responses under one process-wide lock, and the limits per file and in all.
#include "http/CookieMgr.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "core/AsciiText.h"
#include "core/LogBase.h"
#include "core/StringBuffer.h"
#include "http/CookieClock.h"
#include "http/CookieDomain.h"
#include "http/CookieFile.h"
#include "http/CookieJar.h"
#include "http/SetCookie.h"
#include "platform/Files.h"

namespace vantry {

namespace {

std::mutex g_storeLock;

bool IsFileNameByte(char c) {
    return ascii::IsLetterOrDigit(c) || c == '-' || c == '_';
}

void ReportUnreadable(const char *path, LogBase &log) {
    log.LogError("Cookie file cannot be read; it is left as it is.");
    log.LogData("filename", path);
}

// A file of the store's own naming in the directory: letters, digits, '-' and '_' before ".xml".
bool IsDomainFileName(const std::string &name) {
    if (name.size() <= 4 || name.compare(name.size() - 4, 4, ".xml") != 0)
        return false;
    return std::all_of(name.begin(), name.end() - 4, IsFileNameByte);
}

// The paths of the domain files in the directory.
std::vector<std::string> DomainFiles(const char *directory) {
    std::vector<std::string> names;
    int err = 0;
    if (!platform::ListDirectory(directory, names, &err))
        return {};
    std::string base(directory);
    if (!base.empty() && base.back() != '/')
        base.push_back('/');
    std::vector<std::string> paths;
    for (const std::string &name : names)
        if (IsDomainFileName(name))
            paths.push_back(base + name);
    return paths;
}

struct LoadedFile {
    std::string path;
    CookieJar jar;
    bool changed = false;
};

// The files that can be read; files that cannot are neither counted nor touched.
std::vector<std::unique_ptr<LoadedFile>> LoadReadable(const std::vector<std::string> &paths) {
    std::vector<std::unique_ptr<LoadedFile>> files;
    for (const std::string &path : paths) {
        auto file = std::make_unique<LoadedFile>();
        file->path = path;
        if (CookieFile::Load(path.c_str(), file->jar) == CookieFile::LoadStatus::Loaded)
            files.push_back(std::move(file));
    }
    return files;
}

// Removes the least recently used cookies over all files until at most maxCount remain; true when any went.
bool EvictOldestBeyond(std::vector<std::unique_ptr<LoadedFile>> &files, size_t maxCount) {
    struct Entry {
        int64_t lastAccess, creation;
        LoadedFile *file;
        Cookie *cookie;
    };
    std::vector<Entry> all;
    for (auto &file : files)
        for (auto &cookie : file->jar.Cookies)
            all.push_back({cookie->LastAccessMs, cookie->CreationMs, file.get(), cookie.get()});
    if (all.size() <= maxCount)
        return false;
    auto excess = static_cast<std::ptrdiff_t>(all.size() - maxCount);
    std::partial_sort(all.begin(), all.begin() + excess, all.end(), [](const Entry &a, const Entry &b) {
        return a.lastAccess != b.lastAccess ? a.lastAccess < b.lastAccess : a.creation < b.creation;
    });
    for (auto e = all.begin(); e != all.begin() + excess; ++e) {
        Cookie *gone = e->cookie;
        std::erase_if(e->file->jar.Cookies,
                      [gone](const std::unique_ptr<Cookie> &c) { return c.get() == gone; });
        e->file->changed = true;
    }
    return true;
}

// Keeps the whole directory within kMaxCookiesInAll. Each file holds at most kMaxCookiesPerFile, so
// only a directory with enough files needs its cookies counted.
void EnforceTotalLimit(const char *directory, LogBase &log) {
    std::vector<std::string> paths = DomainFiles(directory);
    if (static_cast<int64_t>(paths.size()) * CookieMgr::kMaxCookiesPerFile <= CookieMgr::kMaxCookiesInAll)
        return;
    std::vector<std::unique_ptr<LoadedFile>> files = LoadReadable(paths);
    if (!EvictOldestBeyond(files, static_cast<size_t>(CookieMgr::kMaxCookiesInAll)))
        return;
    for (auto &file : files)
        if (file->changed)
            CookieFile::Save(file->path.c_str(), file->jar, log);
}

// The cookies that Set-Cookie values ask for, made by the rules of the store; values to be ignored
// give none.
std::vector<std::unique_ptr<Cookie>> CookiesToStore(const std::vector<std::string> &values,
                                                    const CookieOrigin &origin, int64_t now) {
    std::vector<std::unique_ptr<Cookie>> cookies;
    for (const std::string &value : values) {
        SetCookie fields;
        auto cookie = std::make_unique<Cookie>();
        if (ParseSetCookie(value, fields) && Cookie::FromSetCookie(fields, origin, now, *cookie))
            cookies.push_back(std::move(cookie));
    }
    return cookies;
}

} // namespace

bool CookieMgr::CookieFilePath(const char *directory, const char *domain, StringBuffer &path) {
    path.Clear();
    if (!directory || !domain)
        return false;
    StringBuffer name(domain);
    name.Trim();
    name.ToLower();
    if (name.CharAt(0) == '.')
        name.RemoveRange(0, 1);
    // Every label non-empty: no "..", and no dot left at either end.
    if (name.Length() == 0 || name.Contains("..") || name.CharAt(0) == '.' || name.LastChar() == '.')
        return false;
    for (int32_t i = 0; i < name.Length(); ++i) {
        char c = static_cast<char>(name.CharAt(i));
        if (!IsFileNameByte(c) && c != '.')
            return false;
    }
    std::string base = RegistrableDomain(name.Text());
    if (base.empty())
        base = name.Text(); // an IP address or a public suffix keeps a file of its own
    std::replace(base.begin(), base.end(), '.', '_');
    if (base.empty() || !std::all_of(base.begin(), base.end(), IsFileNameByte))
        return false;
    path.Append(directory);
    if (path.Length() && path.LastChar() != '/' && path.LastChar() != '\\')
        path.AppendChar('/');
    path.Append(base.c_str());
    path.Append(".xml");
    return true;
}

CookieJar *CookieMgr::LoadJar(const char *directory, const char *domain) {
    StringBuffer file;
    if (!CookieFilePath(directory, domain, file))
        return nullptr;
    auto jar = std::make_unique<CookieJar>();
    std::lock_guard<std::mutex> lock(g_storeLock);
    if (CookieFile::Load(file.Text(), *jar) != CookieFile::LoadStatus::Loaded || jar->NumCookies() == 0)
        return nullptr;
    return jar.release();
}

void CookieMgr::BuildRequestCookies(const char *directory, const char *host, const char *path,
                                    bool secureChannel, StringBuffer &out, LogBase &log) {
    out.Clear();
    if (!directory || !*directory || !host || !*host)
        return;
    std::string hostName = ascii::Lowered(host);
    std::string requestPath = path && *path ? path : "/";
    int64_t now = CookieNowMs();
    StringBuffer file;
    if (!CookieFilePath(directory, hostName.c_str(), file))
        return;
    std::lock_guard<std::mutex> lock(g_storeLock);
    CookieJar jar;
    CookieFile::LoadStatus status = CookieFile::Load(file.Text(), jar);
    if (status == CookieFile::LoadStatus::Unreadable)
        ReportUnreadable(file.Text(), log);
    if (status != CookieFile::LoadStatus::Loaded)
        return;
    std::vector<Cookie *> sending;
    jar.CollectMatching(hostName, requestPath, secureChannel, now, sending);
    std::string line;
    CookieJar::WriteCookieLine(sending, line);
    out.SetString(line.c_str());

    // New last-access stamps, written back when they moved on enough to matter for eviction (the
    // rewrite also drops the file's expired cookies).
    bool touched = false;
    for (Cookie *cookie : sending) {
        if (now - cookie->LastAccessMs >= kLastAccessGranularityMs) {
            cookie->LastAccessMs = now;
            touched = true;
        }
    }
    if (touched) {
        jar.RemoveExpired(now);
        CookieFile::Save(file.Text(), jar, log);
    }
}

void CookieMgr::SaveResponseCookies(const char *directory, std::string_view head, const CookieOrigin &origin,
                                    LogBase &log) {
    std::vector<std::string> values;
    CollectSetCookieValues(head, values);
    if (!values.empty())
        SaveSetCookies(directory, values, origin, log);
}

void CookieMgr::SaveSetCookies(const char *directory, const std::vector<std::string> &values,
                               const CookieOrigin &origin, LogBase &log) {
    if (!directory || !*directory)
        return;
    int64_t now = CookieNowMs();
    std::vector<std::unique_ptr<Cookie>> cookies = CookiesToStore(values, origin, now);
    // Every cookie a host may set lies within its registrable domain: they all go in the host's file.
    StringBuffer file;
    if (cookies.empty() || !CookieFilePath(directory, ascii::Lowered(origin.Host).c_str(), file))
        return;
    std::lock_guard<std::mutex> lock(g_storeLock);
    CookieJar jar;
    if (CookieFile::Load(file.Text(), jar) == CookieFile::LoadStatus::Unreadable) {
        ReportUnreadable(file.Text(), log);
        return;
    }
    bool changed = jar.RemoveExpired(now);
    for (auto &cookie : cookies)
        changed = jar.Store(cookie.release(), origin.Secure, now) || changed;
    changed = jar.EvictLeastRecentlyUsed(kMaxCookiesPerFile) || changed;
    if (changed && CookieFile::Save(file.Text(), jar, log))
        EnforceTotalLimit(directory, log);
}

} // namespace vantry
