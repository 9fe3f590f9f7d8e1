// vantry-get's fetches over HttpMan: the body streamed through HttpMan::Get into standard output or a
// file that appears only when complete (or UTF-8 text through QuickGetHtml with --text), with retries,
// the proxy the options or the environment name, the failure message and -w.
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
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Process.h"
#include "tools/GetOutput.h"
#include "tools/GetProgress.h"
#include "tools/GetSink.h"
#include "tools/GetWriteOut.h"
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

// The URL as a message shows it: a password in it as "****".
std::string Shown(const std::string &url) {
    StringBuffer masked;
    MaskUrlCredentials(url.c_str(), masked);
    return std::string(masked.View());
}

// "vantry-get: URL: <class>: <reason>", the URL's password masked.
std::string Failure(GetExitCode code, const std::string &url, const std::string &reason) {
    return "vantry-get: " + Shown(url) + ": " + ExitCodeDescription(code) + ": " + reason;
}

// The message of a failure: one line on standard error unless -s (without -S) silences it.
void Report(const GetOptions &options, const std::string &line) {
    if (!options.Silent || options.ShowError)
        ReportLine(line);
}

// Whether a failure of this class may go away when the request is made again.
bool TransientFailure(GetExitCode code) {
    return code == kExitConnect || code == kExitTimeout;
}

// The wait before retry number `done` + 1: 1, 2, 4 ... seconds, at most 10 minutes.
uint32_t RetryDelayMs(int done) {
    uint64_t seconds = done < 10 ? 1ull << done : 600;
    return static_cast<uint32_t>(seconds < 600 ? seconds : 600) * 1000u;
}

// One fetch (with its retries), and what it left for the exit status, the message and -w.
class Transfer {
public:
    Transfer(HttpMan &http, const GetOptions &options, const std::string &url, GetOutput &output)
        : m_http(http), m_options(options), m_url(url), m_output(output),
          m_progress(platform::StdErrIsTerminal() && !options.Silent) {}

    // Runs the fetch; the exit status, with message() set for a failure.
    int Run() {
        for (int attempt = 0;; ++attempt) {
            const bool retriesLeft = attempt < m_options.Retry;
            int code = Attempt(retriesLeft);
            if (code == kExitOk || !retriesLeft || !m_transient)
                return code;
            std::string error;
            if (!m_output.Restart(error)) {
                Report(m_options,
                       "vantry-get: " + Shown(m_url) + ": not retried: part of the body was already written");
                return code;
            }
            uint32_t delay = RetryDelayMs(attempt);
            int left = m_options.Retry - attempt;
            Report(m_options, "vantry-get: " + Shown(m_url) + ": transient problem (" + m_problem +
                                  "); retrying in " + std::to_string(delay / 1000) + " s, " +
                                  std::to_string(left) + (left == 1 ? " retry" : " retries") + " left");
            platform::SleepMs(delay);
            m_progress.Restart();
        }
    }

    const std::string &Message() const { return m_message; }
    const TransferFacts &Facts() const { return m_facts; }

private:
    int Attempt(bool retryStatus) {
        m_transient = false;
        m_message.clear();
        GetSink sink(m_output, m_progress, m_options, retryStatus);
        bool ok = m_http.Get(m_url.c_str(), sink);
        m_progress.Finish();
        const HttpResult &result = m_http.LastResult();
        Gather(result, sink);
        if (ok) {
            LogVerbose(result);
            return kExitOk;
        }
        LogVerbose(result);
        switch (sink.Stopped()) {
        case GetSink::Stop::FailStatus: {
            const HttpResponseHeader &head = result.Header;
            return Failed(kExitHttpError,
                          "the server answered " + std::to_string(head.StatusCode) +
                              (head.ReasonPhrase.Length() ? " " + std::string(head.ReasonPhrase.View())
                                                          : std::string()));
        }
        case GetSink::Stop::RetryStatus:
            m_transient = true;
            m_problem = "HTTP " + std::to_string(result.Header.StatusCode);
            return Failed(kExitFailure, "the server answered " + std::to_string(result.Header.StatusCode));
        case GetSink::Stop::WriteFailed:
            return Failed(kExitWrite, sink.WriteError());
        case GetSink::Stop::None:
            break;
        }
        StringBuffer logXml;
        m_http.GetLogXml(logXml);
        std::vector<std::string> errors = CollectLogErrors(std::string(logXml.View()));
        GetExitCode code = ClassifyFailure(errors);
        m_transient = TransientFailure(code);
        m_problem = ExitCodeDescription(code);
        m_message = FailureMessage(code, Shown(m_url), errors);
        return code;
    }

    int Failed(GetExitCode code, const std::string &reason) {
        m_message = Failure(code, m_url, reason);
        return code;
    }

    void Gather(const HttpResult &result, const GetSink &sink) {
        const HttpResponseHeader &head = result.Header;
        m_facts.httpCode = head.StatusCode;
        m_facts.urlEffective =
            result.EffectiveUrl.Length() ? std::string(result.EffectiveUrl.View()) : Shown(m_url);
        m_facts.sizeDownload = sink.Received();
        m_facts.sizeHeader = head.ReceivedHead.Length();
        StringBuffer type;
        head.GetField("Content-Type", type);
        m_facts.contentType = std::string(type.View());
    }

    void LogVerbose(const HttpResult &result) {
        if (!m_options.Verbose)
            return;
        StringBuffer logText;
        m_http.GetLogText(logText);
        WriteStderr(std::string(logText.View()));
        if (result.Header.StatusCode != 0) {
            StringBuffer headText;
            result.Header.ToText(headText, 0);
            WriteStderr(Prefixed("< ", std::string(headText.View())));
        }
    }

    HttpMan &m_http;
    const GetOptions &m_options;
    const std::string &m_url;
    GetOutput &m_output;
    GetProgress m_progress;
    TransferFacts m_facts;
    std::string m_message;
    bool m_transient = false;
    std::string m_problem;
};

// --text: the page as UTF-8 through QuickGetHtml, held in memory.
int FetchText(HttpMan &http, const GetOptions &options, const std::string &url, GetOutput &output,
              TransferFacts &facts, std::string &message) {
    StringBuffer text;
    bool ok = http.QuickGetHtml(url.c_str(), text);
    const HttpResult &result = http.LastResult();
    const HttpResponseHeader &head = result.Header;
    facts.httpCode = head.StatusCode;
    facts.urlEffective = result.EffectiveUrl.Length() ? std::string(result.EffectiveUrl.View()) : url;
    facts.sizeHeader = head.ReceivedHead.Length();
    StringBuffer type;
    head.GetField("Content-Type", type);
    facts.contentType = std::string(type.View());
    if (options.Verbose) {
        StringBuffer logText;
        http.GetLogText(logText);
        WriteStderr(std::string(logText.View()));
    }
    std::string reason;
    if (!ok) {
        StringBuffer logXml;
        http.GetLogXml(logXml);
        std::vector<std::string> errors = CollectLogErrors(std::string(logXml.View()));
        GetExitCode code = ClassifyFailure(errors);
        message = FailureMessage(code, Shown(url), errors);
        return code;
    }
    if (options.Verbose) {
        StringBuffer headText;
        head.ToText(headText, 0);
        WriteStderr(Prefixed("< ", std::string(headText.View())));
    }
    if (options.Fail && head.StatusCode >= 400) {
        message = Failure(
            kExitHttpError, url,
            "the server answered " + std::to_string(head.StatusCode) +
                (head.ReasonPhrase.Length() ? " " + std::string(head.ReasonPhrase.View()) : std::string()));
        return kExitHttpError;
    }
    facts.sizeDownload = static_cast<uint64_t>(text.Length());
    if (options.IncludeHead && head.StatusCode != 0) {
        std::string heads(head.ReceivedHead.View());
        if (!output.Write(heads.data(), heads.size(), reason)) {
            message = Failure(kExitWrite, url, reason);
            return kExitWrite;
        }
    }
    if (!output.Write(text.Text(), text.Length(), reason)) {
        message = Failure(kExitWrite, url, reason);
        return kExitWrite;
    }
    return kExitOk;
}

// The text after "vantry-get: URL: ", as %{errormsg} shows it.
std::string ErrorText(const std::string &message, const std::string &url) {
    std::string prefix = "vantry-get: " + Shown(url) + ": ";
    return message.rfind(prefix, 0) == 0 ? message.substr(prefix.size()) : message;
}

int FetchOne(HttpMan &http, const GetOptions &options, const std::string &given, const std::string &outPath,
             const EnvReader &env) {
    const uint32_t start = platform::GetTickCount();
    TransferFacts facts;
    std::string message;
    int code = kExitOk;
    std::string url = given, reason;
    GetOutput output;
    ProxyChoice proxy;
    if (!NormaliseUrl(given, url, reason)) {
        url = given;
        code = kExitBadUrl;
        message = Failure(kExitBadUrl, given, reason);
    } else if (!ChooseProxy(options, url, env, proxy, reason)) {
        code = kExitProxy;
        message = Failure(kExitProxy, url, reason);
    } else if (!output.Open(outPath, reason)) {
        code = kExitWrite;
        message = Failure(kExitWrite, url, reason);
    }
    if (code == kExitOk) {
        HttpControl &c = http.Control();
        c.ProxyDomain.SetString(proxy.use ? proxy.host.c_str() : "");
        c.ProxyPort = proxy.use ? proxy.port : kDefaultProxyPort;
        if (options.Verbose) {
            if (proxy.use)
                WriteStderr("* Using proxy " + proxy.host + ":" + std::to_string(proxy.port) + " (" +
                            proxy.from + ")\n");
            WriteStderr(Prefixed("> ", RequestText(http, url)));
        }
        if (options.Text) {
            code = FetchText(http, options, url, output, facts, message);
        } else {
            Transfer transfer(http, options, url, output);
            code = transfer.Run();
            facts = transfer.Facts();
            message = transfer.Message();
        }
        if (code == kExitOk && !output.Commit(reason)) {
            code = kExitWrite;
            message = Failure(kExitWrite, url, reason);
        }
    }
    if (!message.empty())
        Report(options, message);
    if (!options.WriteOut.empty()) {
        if (facts.urlEffective.empty())
            facts.urlEffective = url;
        facts.timeTotal = (platform::GetTickCount() - start) / 1000.0;
        facts.exitCode = code;
        facts.errorMessage = ErrorText(message, url);
        std::string text = ExpandWriteOut(options.WriteOut, facts);
        std::string ignored;
        GetOutput stdoutOnly;
        stdoutOnly.Open("", ignored);
        stdoutOnly.Write(text.data(), text.size(), ignored);
    }
    return code;
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
    // The generic profile asks for a gzip body unless told not to, or a -H line of that name decides.
    bool ownEncoding = false;
    for (const auto &header : o.Headers)
        ownEncoding |= ascii::EqualsNoCase(header.first, "Accept-Encoding");
    if (o.Compressed && o.Profile == RequestProfile::Generic && !ownEncoding)
        c.ExtraHeaders.Append("Accept-Encoding", "gzip");
    for (const auto &[name, value] : o.Headers)
        c.ExtraHeaders.Append(name.c_str(), value.c_str());
    if (o.MaxSize)
        http.SetMaxContentLength(*o.MaxSize);
    if (o.ConnectTimeout)
        http.SetConnectTimeout(*o.ConnectTimeout);
    if (o.ReadTimeout)
        http.SetReadTimeout(*o.ReadTimeout);
    // No limit on a whole transfer unless -m asks for one: a download may take as long as data flows.
    c.MaxExchangeSeconds = o.MaxTime.value_or(0);
    if (o.NoFollow)
        http.SetFollowRedirects(false);
    c.MaxRedirects = o.MaxRedirects.value_or(kDefaultMaxRedirects);
    if (o.Head)
        c.Method = HttpMethod::Head;
    // A body is decoded only when the server says it is gzip-encoded: a .gz file arrives as it is stored.
    c.DecodeGzipByMagic = false;
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
    return RunFetches(options, [](const char *name) { return platform::EnvironmentValue(name); });
}

int RunFetches(const GetOptions &options, const EnvReader &env) {
    HttpMan http;
    std::string error;
    if (!ApplyOptions(options, http, error)) {
        ReportLine("vantry-get: " + error);
        return kExitUsage;
    }
    if (!options.WriteOut.empty() && !options.Silent) {
        std::vector<std::string> unknown;
        ExpandWriteOut(options.WriteOut, TransferFacts(), &unknown);
        for (const std::string &name : unknown)
            ReportLine("vantry-get: -w: unknown variable %{" + name + "} (written as nothing)");
    }
    int status = kExitOk;
    for (const std::string &url : options.Urls) {
        std::string outPath = options.OutputFile;
        if (options.RemoteName) {
            std::string normalised, reason;
            outPath = RemoteFileName(NormaliseUrl(url, normalised, reason) ? normalised : url);
        }
        int code = FetchOne(http, options, url, outPath, env);
        if (status == kExitOk)
            status = code;
    }
    return status;
}

} // namespace vantry
