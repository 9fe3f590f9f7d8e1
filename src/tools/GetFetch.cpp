// vantry-get's fetches over HttpMan: bytes through the facade's pool (or UTF-8 text through
// QuickGetHtml with --text), written to standard output or a file that appears only on success.
#include "tools/GetFetch.h"

#include "core/AsciiText.h"
#include "core/DataBuffer.h"
#include "core/FileSys.h"
#include "core/LogNull.h"
#include "core/StringBuffer.h"
#include "http/HttpMan.h"
#include "http/HttpRequestBuilder.h"
#include "http/LoginOverride.h"
#include "http/RedirectSteps.h"
#include "platform/Console.h"
#include "tools/GetOutput.h"
#include "tools/GetProgress.h"
#include "url/UrlCredentials.h"
#include "url/UrlUtil.h"

namespace vantry {

namespace {

constexpr int kGetMaxUrlLen = 8000;

void WriteStderr(const std::string &text) {
    platform::WriteStdErr(text.data(), text.size());
}

void ReportLine(const std::string &line) {
    WriteStderr(line + "\n");
}

// Each line of a CR LF text with a prefix, ended by LF, as curl shows requests and heads.
std::string Prefixed(const std::string &prefix, const std::string &text) {
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        out += prefix + line + "\n";
        if (end == std::string::npos)
            break;
        pos = end + 1;
    }
    return out;
}

// The request the first exchange sends, rebuilt by the same builders the engine uses: without the
// URL's credentials, which become its login as the pool makes them.
std::string RequestText(HttpMan &http, const std::string &given) {
    StringBuffer bare, urlUser, urlPassword;
    SplitUrlCredentials(given.c_str(), bare, urlUser, urlPassword);
    LoginOverride urlLogin(http.Control(), urlUser.Length() > 0 && urlPassword.Length() > 0, urlUser.Text(),
                           urlPassword.Text());
    const std::string url(redirect::WithoutFragment(bare.View())); // the fragment is never sent
    StringBuffer host, user, password, path, query, fragment;
    int32_t port = 80;
    if (!ParseUrl(url.c_str(), host, port, user, password, path, query, fragment))
        return "";
    if (path.Length() == 0)
        path.SetString("/");
    const HttpControl &c = http.Control();
    const char *q = query.Length() ? query.Text() : nullptr;
    StringBuffer request;
    LogNull quiet;
    if (c.MimicIE)
        HttpRequestBuilder::BuildMsieRequest(url.c_str(), host.Text(), port, path.Text(), q, c, request,
                                             quiet);
    else if (c.MimicFirefox)
        HttpRequestBuilder::BuildFirefoxRequest(url.c_str(), host.Text(), port, path.Text(), q, c, request,
                                                quiet);
    else
        HttpRequestBuilder::BuildRequest(url.c_str(), host.Text(), port, path.Text(), q, c, false, "",
                                         nullptr, request, quiet);
    return std::string(request.View());
}

struct FetchOutcome {
    bool ok = false;
    DataBuffer body;   // bytes mode
    StringBuffer text; // --text mode
    HttpResult bytesResult;
};

// One fetch; the facade's log holds its entries afterwards either way.
void Fetch(HttpMan &http, const GetOptions &options, const std::string &url, FetchOutcome &outcome) {
    if (options.Text) {
        outcome.ok = http.QuickGetHtml(url.c_str(), outcome.text);
        return;
    }
    // The body as received (after gzip decoding): the facade's pool without the charset step, under a
    // context of its own in the facade's log, as the facade's own operations do.
    http.ClearLog();
    LogContext context(http.Log(), "QuickGetBody");
    outcome.bytesResult.Reset();
    outcome.ok =
        http.Pool().Fetch(url.c_str(), http.Control(), outcome.body, outcome.bytesResult, http.Log());
}

// The URL as a message shows it: a password in it as "****".
std::string Shown(const std::string &url) {
    StringBuffer masked;
    MaskUrlCredentials(url.c_str(), masked);
    return std::string(masked.View());
}

int FailWith(GetExitCode code, const std::string &url, const std::string &reason) {
    ReportLine("vantry-get: " + Shown(url) + ": " + ExitCodeDescription(code) + ": " + reason);
    return code;
}

int FetchOne(HttpMan &http, const GetOptions &options, const std::string &given, const std::string &outPath) {
    std::string url, reason;
    if (!NormaliseUrl(given, url, reason))
        return FailWith(kExitBadUrl, given, reason);

    GetOutput output;
    if (!output.Open(outPath, reason))
        return FailWith(kExitWrite, url, reason);

    if (options.Verbose)
        WriteStderr(Prefixed("> ", RequestText(http, url)));

    GetProgress progress(platform::StdErrIsTerminal());
    http.Control().Progress = &progress;
    FetchOutcome outcome;
    Fetch(http, options, url, outcome);
    http.Control().Progress = nullptr;
    progress.Finish();

    StringBuffer logText, logXml;
    http.GetLogText(logText);
    http.GetLogXml(logXml);
    if (options.Verbose)
        WriteStderr(std::string(logText.View()));
    if (!outcome.ok) {
        std::vector<std::string> errors = CollectLogErrors(std::string(logXml.View()));
        GetExitCode code = ClassifyFailure(errors);
        // A body cut short still goes to standard output as far as it came (never to a file, which
        // appears only whole).
        if (!options.Text && !output.ToFile() && FailureKeepsPartialBody(code) && outcome.body.Length() > 0)
            output.Write(outcome.body.Data(), outcome.body.Length(), reason);
        ReportLine(FailureMessage(code, Shown(url), errors));
        return code;
    }

    const HttpResult &result = options.Text ? http.LastResult() : outcome.bytesResult;
    const HttpResponseHeader &head = result.Header;
    if (options.Verbose) {
        StringBuffer headText;
        head.ToText(headText, 0);
        WriteStderr(Prefixed("< ", std::string(headText.View())));
    }
    if (options.Fail && head.StatusCode >= 400)
        return FailWith(kExitHttpError, url,
                        "the server answered " + std::to_string(head.StatusCode) +
                            (head.ReasonPhrase.Length() ? " " + std::string(head.ReasonPhrase.View()) : ""));

    if (options.IncludeHead && head.StatusCode != 0) {
        // The heads as they came (interim ones included); a header from the cache has only its text form.
        std::string text(head.ReceivedHead.View());
        if (text.empty()) {
            StringBuffer headText;
            head.ToText(headText, 0);
            text = std::string(headText.View());
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
                text.pop_back();
            text += "\r\n\r\n";
        }
        if (!output.Write(text.data(), text.size(), reason))
            return FailWith(kExitWrite, url, reason);
    }
    bool written = options.Text ? output.Write(outcome.text.Text(), outcome.text.Length(), reason)
                                : output.Write(outcome.body.Data(), outcome.body.Length(), reason);
    if (!written || !output.Commit(reason))
        return FailWith(kExitWrite, url, reason);
    return kExitOk;
}

bool EnsureDir(const std::string &dir, const char *option, std::string &error) {
    LogNull quiet;
    if (FileSys::EnsureDirectory(dir.c_str(), quiet))
        return true;
    error = std::string(option) + " " + dir + ": the directory cannot be made";
    return false;
}

} // namespace

bool NormaliseUrl(const std::string &given, std::string &url, std::string &error) {
    url = given;
    size_t scheme = url.find("://");
    if (scheme == std::string::npos) {
        url = "http://" + url;
        scheme = 4;
    }
    std::string name = ascii::Lowered(url.substr(0, scheme));
    if (name != "http" && name != "https") {
        error = "unsupported scheme '" + url.substr(0, scheme) + "' (http and https only)";
        return false;
    }
    std::string rest = url.substr(scheme + 3);
    std::string authority = rest.substr(0, rest.find_first_of("/?#"));
    if (size_t at = authority.rfind('@'); at != std::string::npos)
        authority.erase(0, at + 1);
    std::string hostPart = authority.substr(0, authority.find(':'));
    if (hostPart.empty()) {
        error = "no host name";
        return false;
    }
    for (unsigned char c : authority)
        if (c <= ' ' || c == 0x7F) {
            error = "a blank or control character in the host";
            return false;
        }
    if (size_t colon = authority.find(':'); colon != std::string::npos) {
        std::string port = authority.substr(colon + 1);
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(port) < 1 || std::stoi(port) > 65535) {
            error = "bad port '" + port + "'";
            return false;
        }
    }
    return true;
}

bool ApplyOptions(const GetOptions &o, HttpMan &http, std::string &error) {
    HttpControl &c = http.Control();
    // Any URL a user names is fetched: no media extension is refused, and URLs run to 8000 bytes.
    http.SetRefuseMediaExtensions(false);
    http.SetMaxUrlLen(kGetMaxUrlLen);
    if (o.Profile == RequestProfile::InternetExplorer)
        http.SetMimicIE(true);
    else if (o.Profile == RequestProfile::Firefox)
        http.SetMimicFirefox(true);
    if (o.UserAgent)
        http.SetUserAgent(o.UserAgent->c_str());
    if (o.Referer)
        c.Referer.SetString(o.Referer->c_str());
    if (o.Account) {
        c.Login.SetString(o.Account->first.c_str());
        c.Password.SetString(o.Account->second.c_str());
    }
    for (const auto &[name, value] : o.Headers)
        c.ExtraHeaders.Append(name.c_str(), value.c_str());
    if (o.MaxSize)
        http.SetMaxContentLength(*o.MaxSize);
    if (o.ConnectTimeout)
        http.SetConnectTimeout(*o.ConnectTimeout);
    if (o.ReadTimeout)
        http.SetReadTimeout(*o.ReadTimeout);
    if (o.MaxTime)
        c.MaxExchangeSeconds = *o.MaxTime;
    if (o.NoFollow)
        http.SetFollowRedirects(false);
    if (o.Proxy) {
        c.ProxyDomain.SetString(o.Proxy->first.c_str());
        c.ProxyPort = o.Proxy->second;
    }
    if (!o.CookieDir.empty()) {
        if (!EnsureDir(o.CookieDir, "--cookie-dir", error))
            return false;
        c.CookieDir.SetString(o.CookieDir.c_str());
    }
    // One cache store at a time, read and written.
    if (!o.CacheDir.empty()) {
        if (!EnsureDir(o.CacheDir, "--cache-dir", error))
            return false;
        http.SetUseHttpCache(false);
        c.CacheStore.AddRoot(o.CacheDir.c_str());
    }
    if (!o.CafDir.empty()) {
        if (!EnsureDir(o.CafDir, "--caf-dir", error))
            return false;
        http.SetUseHttpCache(true);
        c.HttpStore.AddRoot(o.CafDir.c_str());
    }
    if (!o.CacheDir.empty() || !o.CafDir.empty()) {
        http.SetFetchFromCache(true);
        http.SetUpdateCache(true);
    }
    return ApplyTlsOptions(o, http, error);
}

int RunFetches(const GetOptions &options) {
    HttpMan http;
    std::string error;
    if (!ApplyOptions(options, http, error)) {
        ReportLine("vantry-get: " + error);
        return kExitUsage;
    }
    int status = kExitOk;
    for (const std::string &url : options.Urls) {
        std::string outPath = options.OutputFile;
        if (options.RemoteName) {
            std::string normalised, reason;
            outPath = RemoteFileName(NormaliseUrl(url, normalised, reason) ? normalised : url);
        }
        int code = FetchOne(http, options, url, outPath);
        if (status == kExitOk)
            status = code;
    }
    return status;
}

} // namespace vantry
