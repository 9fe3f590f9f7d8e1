// The GET engine's cache steps over the two stores: look-up with the expired-entry validators, the
// freshness rules, the store after a response with its directive rules, negative entries, the 304
// renewal and the conditions of the DNS entries.
#include "http/HttpCacheSteps.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "codec/Charset.h"
#include "core/AsciiText.h"
#include "core/DataBuffer.h"
#include "core/LogBase.h"
#include "core/LogNull.h"
#include "core/StringBuffer.h"
#include "http/CacheBytes.h"
#include "http/CacheClock.h"
#include "http/DateParser.h"
#include "http/HttpControl.h"
#include "http/HttpResult.h"
#include "http/MimeField.h"
#include "http/RedirectSteps.h"

namespace vantry {

namespace {

constexpr double kSecond = 1.0 / 86400.0;
constexpr int32_t kUtf8 = 65001;
constexpr const char *kUnverifiedEntry =
    "Cache entry did not come over a verified TLS channel; not served to a request that requires one.";
constexpr const char *kEntryTooLarge = "Cache entry is larger than the maximum allowed; not served.";

using ascii::HasLineBreakOrNul;

// An https request that insists on a verified server takes only entries fetched over such a channel.
bool NeedsVerifiedEntry(const HttpControl &control, const char *url) {
    return control.RequireVerifiedServer && ascii::StartsWithNoCase(url, "https:");
}

// Whether a Cache-Control field of the response lists the directive (letter case ignored, with or
// without an argument after '=').
bool HasCacheDirective(const HttpResponseHeader &header, std::string_view name) {
    for (int32_t i = 0; i < header.Fields.NumFields(); ++i) {
        const MimeField *field = header.Fields.FieldAt(i);
        if (!field || !field->Name.EqualsNoCase("Cache-Control"))
            continue;
        std::string_view rest = field->Value.View();
        for (;;) {
            size_t comma = rest.find(',');
            std::string_view item = ascii::TrimWhite(rest.substr(0, comma));
            if (ascii::EqualsNoCase(ascii::TrimWhite(item.substr(0, item.find('='))), name))
                return true;
            if (comma == std::string_view::npos)
                break;
            rest.remove_prefix(comma + 1);
        }
    }
    return false;
}

// A response meant for its requester alone is not kept once the request identified that requester.
bool PrivateToTheRequester(const HttpResponseHeader &header, const ExchangeTrust &trust, LogBase &log) {
    if (!trust.CarriedCredentials ||
        (!HasCacheDirective(header, "private") && !HasCacheDirective(header, "no-store")))
        return false;
    log.LogInfo("Not updating cache because the response is private or no-store and the request carried "
                "credentials or cookies");
    return true;
}

// The header text an entry keeps: every field but those whose value holds a CR, LF or NUL (decoded
// from an encoded word, say), which would turn into lines of their own when the text is read back.
void StorableHeaderText(const HttpResponseHeader &header, int32_t codePage, StringBuffer &text,
                        LogBase &log) {
    HttpResponseHeader kept;
    kept.CopyFrom(header);
    for (int32_t i = 0; i < kept.Fields.NumFields();) {
        const MimeField *field = kept.Fields.FieldAt(i);
        if (field && HasLineBreakOrNul(field->Value.View())) {
            log.LogInfo("Not storing a header field whose value holds a CR, LF or NUL byte");
            log.LogData("field", field->Name.Text());
            delete kept.Fields.Fields.RemoveAt(i);
            continue;
        }
        ++i;
    }
    kept.ToText(text, codePage);
}

// A header date as a day count; false when absent, unparsable or not a valid calendar time.
bool HeaderDate(const HttpResponseHeader &header, const char *name, double &days) {
    StringBuffer value;
    header.GetField(name, value);
    value.Trim();
    if (value.Length() == 0)
        return false;
    DateParser dates;
    CalendarTime t;
    if (!dates.ParseHttpDate(value.Text(), t))
        return false;
    days = dates.TimeToDays(t);
    return days != 0;
}

// The integer after "max-age=" inside a Cache-Control value (0 when there is none).
long MaxAgeOf(const StringBuffer &cacheControl) {
    const char *at = FindNoCase(cacheControl.Text(), "max-age");
    while (at && at != cacheControl.Text() &&
           (std::isalnum(static_cast<unsigned char>(at[-1])) || at[-1] == '-'))
        at = FindNoCase(at + 7, "max-age"); // s-maxage and other names ending the same way are not it
    if (!at)
        return 0;
    at += 7;
    while (*at == ' ' || *at == '\t')
        ++at;
    if (*at != '=')
        return 0;
    ++at;
    while (*at == ' ' || *at == '\t' || *at == '"')
        ++at;
    long n = std::strtol(at, nullptr, 10);
    return n;
}

// The value with every blank removed, for the whole-value directive tests.
void WithoutSpaces(const StringBuffer &in, StringBuffer &out) {
    out.Clear();
    for (int32_t i = 0; i < in.Length(); ++i)
        if (in.CharAt(i) != ' ' && in.CharAt(i) != '\t')
            out.AppendChar(static_cast<char>(in.CharAt(i)));
}

// The Cache-Control, Pragma and Expires rules that forbid storing; logs the reason when one holds.
bool ForbidsStoring(const HttpResponseHeader &header, LogBase &log) {
    StringBuffer value;
    header.GetField("Cache-Control", value);
    value.Trim();
    if (value.Length()) {
        static const char *const kWhole[] = {"no-cache", "no-store", "private, max-age=0", "max-age=0",
                                             "s-maxage=0"};
        for (const char *directive : kWhole) {
            if (value.EqualsNoCase(directive)) {
                log.LogInfo("Not updating cache because of cache-control directive");
                return true;
            }
        }
    }
    value.Clear();
    header.GetField("Pragma", value);
    value.Trim();
    if (value.EqualsNoCase("no-cache")) {
        log.LogInfo("Not updating cache because of no-cache pragma");
        return true;
    }
    value.Clear();
    header.GetField("Expires", value);
    StringBuffer compact;
    WithoutSpaces(value, compact);
    if (compact.Equals("0")) {
        log.LogInfo("Not updating cache because of Expires=0 header");
        return true;
    }
    return false;
}

bool StoreHasRoots(const HttpControl &control) {
    return control.HttpStore.NumRoots() > 0;
}

void LookUpDatStore(const char *url, HttpControl &control, DataBuffer &body, HttpResult &result,
                    bool &expired, StringBuffer &etag, double &expiry, LogBase &log) {
    ClsCache2 &store = control.CacheStore;
    DataBuffer payload;
    LogNull quiet;
    if (!store.ReadCacheEntry(url, payload, quiet) || payload.Length() <= 20)
        return;
    if (NeedsVerifiedEntry(control, url) && !(store.GetLastFlags() & ClsCache2::kFlagVerifiedTls)) {
        log.LogInfo(kUnverifiedEntry);
        return;
    }
    uint32_t offset = LoadLe32(payload.Data());
    // The body runs from the offset to the end: any offset inside the payload past the offset field
    // itself is sound, so bodies of fewer than four bytes (and empty ones) are served too.
    if (offset < 4 || offset > payload.Length() || offset > 0x7FFFFFFFu) {
        log.LogError("Bad offset in cache file");
        log.LogDataInt("offset", static_cast<int32_t>(offset));
        log.LogDataInt("dbSize", static_cast<int32_t>(payload.Length()));
        return;
    }
    uint32_t max = control.MaxContentLength;
    if (max != 0 && payload.Length() - offset > max) {
        log.LogInfo(kEntryTooLarge);
        log.LogDataInt("maxContentLength", static_cast<int32_t>(max));
        return;
    }
    StringBuffer headerText;
    headerText.AppendBytes(payload.Data() + 4, static_cast<int32_t>(offset - 4));
    result.Header.Parse(headerText.Text());
    body.Append(payload.Data() + offset, payload.Length() - offset);

    if (store.IsExpired()) {
        log.LogInfo("Cache entry expired.");
        expired = true;
        store.GetLastEtag(etag);
        if (HasLineBreakOrNul(etag.View()))
            etag.Clear(); // never sent: it would cut the request's If-None-Match line
        log.LogData("ExpiredEtag", etag.Text());
        store.GetLastExpiry(expiry);
        StringBuffer formatted;
        DateParser().FormatDays(expiry, formatted);
        log.LogData("ExpiredDateTime", formatted.Text());
    }
    result.CacheStatus = 1;
    log.LogInfo("Cache hit.");
}

void LookUpCafStore(const char *url, int32_t depth, HttpControl &control, DataBuffer &body,
                    HttpResult &result, LogBase &log, const CachedRedirectFollower &followRedirect) {
    const CacheControl &policy = control.CachePolicy;
    if (!(policy.FetchFromCache || policy.UpdateCache) || !StoreHasRoots(control))
        return;
    bool negative = false;
    bool tooLarge = false;
    uint32_t maxBody = control.MaxContentLength ? control.MaxContentLength : HttpCache::kDefaultMaxBody;
    std::unique_ptr<CacheEntry> entry(control.HttpStore.FetchEntry(url, negative, maxBody, &tooLarge));
    if (tooLarge) {
        log.LogInfo(kEntryTooLarge);
        log.LogDataInt("maxContentLength", static_cast<int32_t>(maxBody));
        return;
    }
    if (entry && NeedsVerifiedEntry(control, url) &&
        !(entry->Fields.Flags & CacheEntryFields::kVerifiedTls)) {
        log.LogInfo(kUnverifiedEntry);
        return;
    }
    if (entry) {
        result.CacheStatus = 1;
        if (!policy.FetchFromCache)
            return;
        result.Header.Parse(entry->HeaderText.Text());
        body.AppendData(entry->Body);
        int32_t status = result.Header.StatusCode;
        if (redirect::IsFollowedStatus(status) && followRedirect) {
            entry.reset();
            if (followRedirect(url, depth, control, body, result, log)) {
                result.CacheStatus = 1; // answered: the followed target's response is the result
            } else {
                // A failed cached redirect does not fail the request: it goes to the network.
                result.CachedRedirectFailed = true;
                result.CacheStatus = 0;
                result.Header.Clear();
                body.Clear();
            }
        }
        return;
    }
    if (negative) {
        result.CacheStatus = 2;
        if (policy.FetchFromCache && !policy.QuietNegativeHits) {
            log.LogError("Found negative cache entry.");
            log.LogData("url", url);
        }
    }
}

void UpdateDatStore(const char *url, HttpControl &control, HttpResult &result, const DataBuffer &body,
                    const ExchangeTrust &trust, LogBase &log) {
    const HttpResponseHeader &header = result.Header;
    if (header.StatusCode == 304)
        return;
    if (header.StatusCode != 200) {
        log.LogInfo("Not updating cache because status code != 200");
        log.LogDataInt("statusCode", header.StatusCode);
        return;
    }
    if (!control.CachePolicy.IgnoreNoCacheDirectives && ForbidsStoring(header, log))
        return;
    if (PrivateToTheRequester(header, trust, log))
        return;

    log.LogData("UrlToCache", url);
    StringBuffer etag;
    header.GetField("ETag", etag);
    if (HasLineBreakOrNul(etag.View())) {
        log.LogInfo("Not storing an ETag that holds a CR, LF or NUL byte");
        etag.Clear();
    }
    double expiry = ComputeExpiration(control.CachePolicy, header);
    StringBuffer formatted;
    DateParser().FormatDays(expiry, formatted);
    log.LogData("NewExpireTime", formatted.Text());
    log.LogData("Etag", etag.Text());

    // Without roots the save can only fail (and log why): spare the copy of a possibly large body.
    DataBuffer payload;
    if (control.CacheStore.NumRoots() > 0) {
        StringBuffer charset;
        header.GetCharset(charset);
        int32_t codePage = charset.Length() ? CodePageForName(charset.Text()) : 0;
        StringBuffer headerText;
        StorableHeaderText(header, codePage ? codePage : kUtf8, headerText, log);
        uint8_t offset[4];
        StoreLe32(offset, 4u + static_cast<uint32_t>(headerText.Length()));
        payload.EnsureCapacity(4u + static_cast<uint32_t>(headerText.Length()) + body.Length());
        payload.Append(offset, 4);
        payload.Append(headerText.Text(), static_cast<uint32_t>(headerText.Length()));
        payload.AppendData(body);
    }

    uint8_t flags = trust.OverVerifiedTls ? ClsCache2::kFlagVerifiedTls : 0;
    if (control.CacheStore.SaveToCache(url, expiry, etag.Text(), flags, payload, log))
        log.LogInfo("Cache updated.");
    else
        log.LogError("Cache not updated.");
}

// Writes a ".caf" entry for the URL: replacing when the URL has one, else appending.
void SaveCafEntry(const char *url, HttpControl &control, const HttpResponseHeader &header,
                  const DataBuffer &body, bool negative, bool verifiedTls, LogBase &log) {
    StringBuffer headerText;
    if (header.StatusCode != 0)
        StorableHeaderText(header, kUtf8, headerText, log);
    HttpCache &store = control.HttpStore;
    uint8_t flags = CacheEntryFields::kCompressedBody | (verifiedTls ? CacheEntryFields::kVerifiedTls : 0);
    if (store.Exists(url))
        store.SaveReplacing(url, headerText.Text(), body, negative, 0, 0, flags, "Nothing");
    else
        store.SaveAppending(url, headerText.Text(), body, negative, 0, 0, flags, "Nothing");
}

} // namespace

void LookUpCache(const char *url, int32_t depth, HttpControl &control, DataBuffer &body, HttpResult &result,
                 bool &expired, StringBuffer &etag, double &expiry, LogBase &log,
                 const CachedRedirectFollower &followRedirect) {
    expired = false;
    etag.Clear();
    expiry = 0;
    if (!url)
        return;
    if (control.UseHttpCache)
        LookUpCafStore(url, depth, control, body, result, log, followRedirect);
    else if (control.CachePolicy.FetchFromCache)
        LookUpDatStore(url, control, body, result, expired, etag, expiry, log);
}

double ComputeExpiration(const CacheControl &policy, const HttpResponseHeader &header) {
    return ComputeExpirationAt(policy, header, CacheNowLocalDays());
}

double ComputeExpirationAt(const CacheControl &policy, const HttpResponseHeader &header, double now) {
    double expires = 0;
    if (HeaderDate(header, "Expires", expires))
        return expires;

    StringBuffer cacheControl;
    header.GetField("Cache-Control", cacheControl);
    cacheControl.Trim();
    if (cacheControl.Length()) {
        long maxAge = MaxAgeOf(cacheControl);
        if (maxAge != 0)
            return now + static_cast<double>(maxAge) * kSecond;
    }

    double lastModified = 0;
    if (policy.FreshnessAlgorithm == 1 && HeaderDate(header, "Last-Modified", lastModified) &&
        lastModified < now)
        return now + (now - lastModified) * policy.LastModifiedPercent / 100.0;

    double seconds = static_cast<double>(policy.DefaultFreshnessMinutes) * 60.0;
    if (seconds < 600)
        seconds = 600;
    return now + seconds * kSecond;
}

void UpdateCacheFromResponse(const char *url, HttpControl &control, HttpResult &result,
                             const DataBuffer &body, const ExchangeTrust &trust, LogBase &log) {
    if (!url || !control.CachePolicy.UpdateCache)
        return;
    if (!control.UseHttpCache) {
        UpdateDatStore(url, control, result, body, trust, log);
        return;
    }
    int32_t status = result.Header.StatusCode;
    if (!StoreHasRoots(control) || status < 200 || status >= 500)
        return;
    if (PrivateToTheRequester(result.Header, trust, log))
        return;
    SaveCafEntry(url, control, result.Header, body, false, trust.OverVerifiedTls, log);
}

void StoreNegativeEntry(const char *url, HttpControl &control, HttpResult &result, const DataBuffer &body,
                        LogBase &log) {
    if (!url || !control.UseHttpCache || !control.CachePolicy.UpdateCache || !StoreHasRoots(control))
        return;
    SaveCafEntry(url, control, result.Header, body, true, false, log);
}

void RenewCachedEntry(const char *url, HttpControl &control, const HttpResponseHeader &notModified,
                      LogBase &log) {
    double expiry = ComputeExpiration(control.CachePolicy, notModified);
    control.CacheStore.UpdateExpiration(url, expiry, log);
    StringBuffer formatted;
    DateParser().FormatDays(expiry, formatted);
    log.LogData("NewExpiration", formatted.Text());
}

bool DnsEntriesActive(const HttpControl &control) {
    return control.UseHttpCache && StoreHasRoots(control);
}

bool DnsMarksActive(const HttpControl &control) {
    return DnsEntriesActive(control) && control.CachePolicy.UpdateCache;
}

} // namespace vantry
