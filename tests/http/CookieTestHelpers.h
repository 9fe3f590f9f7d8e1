// Helpers of the cookie tests: a clock the test sets and moves, and a cookie directory with short
// calls for "this response set these cookies" and "this request sends this Cookie line".
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/StringBuffer.h"
#include "http/CookieClock.h"
#include "http/CookieDate.h"
#include "http/CookieMgr.h"
#include "net/RecordingLog.h"
#include "support/TestSupport.h"

namespace cookietest {

// 2024-03-01 12:00:00 UTC.
constexpr int64_t kStartMs = (vantry::DaysFromCivil(2024, 3, 1) * 86400 + 12 * 3600) * 1000;

inline int64_t &NowMs() {
    static int64_t now = kStartMs;
    return now;
}

// Fixes the cookie clock at kStartMs for the life of the object; Advance moves it on.
class FixedClock {
public:
    FixedClock() {
        NowMs() = kStartMs;
        vantry::SetCookieClock([] { return NowMs(); });
    }
    ~FixedClock() { vantry::SetCookieClock(nullptr); }
    void Advance(int64_t seconds) { NowMs() += seconds * 1000; }
};

struct Origin {
    std::string host;
    std::string path = "/";
    bool secure = false;
};

// A cookie directory with a fixed clock.
class Store {
public:
    // Set-Cookie values received in one response to a request for origin.
    void Set(const Origin &origin, const std::vector<std::string> &values) {
        vantry::CookieOrigin o;
        o.Host = origin.host;
        o.Path = origin.path;
        o.Secure = origin.secure;
        vantry::CookieMgr::SaveSetCookies(dir.Path().c_str(), values, o, log);
    }
    void Set(const std::string &host, const std::vector<std::string> &values) { Set(Origin{host}, values); }
    // The Cookie line a request would carry.
    std::string Sent(const std::string &host, const std::string &path = "/", bool secure = false) {
        vantry::StringBuffer out;
        vantry::CookieMgr::BuildRequestCookies(dir.Path().c_str(), host.c_str(), path.c_str(), secure, out,
                                               log);
        return out.Text();
    }
    std::string FileText(const std::string &name) const { return testsupport::ReadFileBytes(dir.File(name)); }

    FixedClock clock;
    testsupport::TempDir dir;
    RecordingLog log;
};

} // namespace cookietest
