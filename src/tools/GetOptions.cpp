// vantry-get's command line: short options (bundled flags, attached or separate values), long options
// (--name value or --name=value), "--" ending the options, and checks on every value.
#include "tools/GetOptions.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <limits>

#ifndef VANTRY_GET_VERSION
#define VANTRY_GET_VERSION "1.0.0"
#endif

namespace vantry {

namespace {

enum class Opt {
    Output,
    RemoteName,
    Text,
    Include,
    HeadOnly,
    WriteOut,
    Silent,
    ShowError,
    Verbose,
    Fail,
    Profile,
    Agent,
    Referer,
    User,
    Header,
    Compressed,
    NoCompressed,
    Location,
    NoLocation,
    MaxRedirs,
    Proxy,
    NoProxy,
    Request,
    Data,
    MaxSize,
    ConnectTimeout,
    ReadTimeout,
    MaxTime,
    Retry,
    CookieDir,
    CacheDir,
    CafDir,
    CaCert,
    Insecure,
    Help,
    Version
};

struct OptionSpec {
    char shortName; // 0: none
    const char *longName;
    bool takesValue;
    Opt id;
};

constexpr OptionSpec kOptions[] = {
    {'o', "output", true, Opt::Output},
    {'O', "remote-name", false, Opt::RemoteName},
    {0, "text", false, Opt::Text},
    {'i', "include", false, Opt::Include},
    {'I', "head", false, Opt::HeadOnly},
    {'w', "write-out", true, Opt::WriteOut},
    {'s', "silent", false, Opt::Silent},
    {'S', "show-error", false, Opt::ShowError},
    {'v', "verbose", false, Opt::Verbose},
    {'f', "fail", false, Opt::Fail},
    {0, "profile", true, Opt::Profile},
    {'A', "user-agent", true, Opt::Agent},
    {'e', "referer", true, Opt::Referer},
    {'u', "user", true, Opt::User},
    {'H', "header", true, Opt::Header},
    {0, "compressed", false, Opt::Compressed},
    {0, "no-compressed", false, Opt::NoCompressed},
    {'L', "location", false, Opt::Location},
    {0, "no-location", false, Opt::NoLocation},
    {0, "no-follow", false, Opt::NoLocation},
    {0, "max-redirs", true, Opt::MaxRedirs},
    {'x', "proxy", true, Opt::Proxy},
    {0, "noproxy", true, Opt::NoProxy},
    {'X', "request", true, Opt::Request},
    // Options that would send a request body: recognised so that they are refused in plain words.
    {'d', "data", true, Opt::Data},
    {0, "data-binary", true, Opt::Data},
    {0, "data-raw", true, Opt::Data},
    {0, "data-ascii", true, Opt::Data},
    {0, "data-urlencode", true, Opt::Data},
    {0, "json", true, Opt::Data},
    {'F', "form", true, Opt::Data},
    {'T', "upload-file", true, Opt::Data},
    {0, "max-size", true, Opt::MaxSize},
    {0, "max-filesize", true, Opt::MaxSize},
    {0, "connect-timeout", true, Opt::ConnectTimeout},
    {0, "read-timeout", true, Opt::ReadTimeout},
    {'m', "max-time", true, Opt::MaxTime},
    {0, "retry", true, Opt::Retry},
    {0, "cookie-dir", true, Opt::CookieDir},
    {0, "cache-dir", true, Opt::CacheDir},
    {0, "caf-dir", true, Opt::CafDir},
    {0, "cacert", true, Opt::CaCert},
    {'k', "insecure", false, Opt::Insecure},
    {'h', "help", false, Opt::Help},
    {'V', "version", false, Opt::Version},
};

const OptionSpec *FindShort(char c) {
    for (const auto &entry : kOptions)
        if (entry.shortName == c)
            return &entry;
    return nullptr;
}

const OptionSpec *FindLong(const std::string &name) {
    for (const auto &entry : kOptions)
        if (name == entry.longName)
            return &entry;
    return nullptr;
}

// A CR, LF or NUL in a value that becomes a request line would let the value add lines of its own.
bool HasLineBreak(const std::string &text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

constexpr uint64_t kMaxRedirectsAllowed = 1000;
constexpr uint64_t kMaxRetries = 100;

bool ParseUnsigned(const std::string &text, uint64_t max, uint64_t &out) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    char *end = nullptr;
    unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || value > max)
        return false;
    out = value;
    return true;
}

// BYTES with an optional K, M, G or T suffix (powers of 1024).
bool ParseSize(const std::string &text, uint64_t &out) {
    std::string digits = text;
    uint64_t scale = 1;
    if (!digits.empty()) {
        switch (digits.back()) {
        case 'k':
        case 'K':
            scale = 1024;
            break;
        case 'm':
        case 'M':
            scale = 1024 * 1024;
            break;
        case 'g':
        case 'G':
            scale = 1024ull * 1024 * 1024;
            break;
        case 't':
        case 'T':
            scale = 1024ull * 1024 * 1024 * 1024;
            break;
        default:
            break;
        }
        if (scale != 1)
            digits.pop_back();
    }
    const uint64_t max = std::numeric_limits<int64_t>::max();
    uint64_t value = 0;
    if (!ParseUnsigned(digits, max, value) || value > max / scale)
        return false;
    out = value * scale;
    return true;
}

bool ParseSeconds(const std::string &text, int minimum, int &out) {
    uint64_t value = 0;
    if (!ParseUnsigned(text, 86400 * 365, value) || value < static_cast<uint64_t>(minimum))
        return false;
    out = static_cast<int>(value);
    return true;
}

bool ParseHeader(const std::string &text, std::pair<std::string, std::string> &out) {
    size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || HasLineBreak(text))
        return false;
    std::string name = text.substr(0, colon);
    // A field name is a token: no blanks, no separators.
    if (name.find_first_of(" \t()<>@,;\\\"/[]?={}") != std::string::npos)
        return false;
    size_t start = text.find_first_not_of(" \t", colon + 1);
    out = {name, start == std::string::npos ? std::string() : text.substr(start)};
    return true;
}

// Values of -X: the methods this program sends.
bool MethodAllowed(const std::string &method, bool &head) {
    head = method == "HEAD";
    return method == "GET" || head;
}

class Parser {
public:
    Parser(GetOptions &out, std::string &error) : m_out(out), m_error(error) {}

    bool Apply(const OptionSpec &entry, const std::string &shown, const std::string &value) {
        switch (entry.id) {
        case Opt::Output:
            if (value.empty())
                return Fail("option " + shown + ": the file name is empty");
            m_out.OutputFile = value;
            return true;
        case Opt::RemoteName:
            m_out.RemoteName = true;
            return true;
        case Opt::Text:
            m_out.Text = true;
            return true;
        case Opt::Include:
            m_out.IncludeHead = true;
            return true;
        case Opt::HeadOnly:
            m_out.Head = true;
            m_out.IncludeHead = true;
            return true;
        case Opt::WriteOut:
            m_out.WriteOut = value;
            return true;
        case Opt::Silent:
            m_out.Silent = true;
            return true;
        case Opt::ShowError:
            m_out.ShowError = true;
            return true;
        case Opt::Verbose:
            m_out.Verbose = true;
            return true;
        case Opt::Fail:
            m_out.Fail = true;
            return true;
        case Opt::Profile:
            if (value == "generic")
                m_out.Profile = RequestProfile::Generic;
            else if (value == "ie")
                m_out.Profile = RequestProfile::InternetExplorer;
            else if (value == "firefox")
                m_out.Profile = RequestProfile::Firefox;
            else
                return Fail("option " + shown + ": unknown profile '" + value + "' (generic, ie or firefox)");
            return true;
        case Opt::Agent:
        case Opt::Referer:
            if (HasLineBreak(value))
                return Fail("option " + shown + ": the value must not contain a line break");
            (entry.id == Opt::Agent ? m_out.UserAgent : m_out.Referer) = value;
            return true;
        case Opt::User: {
            size_t colon = value.find(':');
            if (colon == std::string::npos || colon == 0 || HasLineBreak(value))
                return Fail("option " + shown + ": expected USER:PASSWORD");
            m_out.Account = std::make_pair(value.substr(0, colon), value.substr(colon + 1));
            return true;
        }
        case Opt::Header: {
            std::pair<std::string, std::string> header;
            if (!ParseHeader(value, header))
                return Fail("option " + shown + ": expected \"Name: value\" on one line");
            m_out.Headers.push_back(header);
            return true;
        }
        case Opt::Compressed:
        case Opt::NoCompressed:
            m_out.Compressed = entry.id == Opt::Compressed;
            return true;
        case Opt::Location:
        case Opt::NoLocation:
            m_out.NoFollow = entry.id == Opt::NoLocation;
            return true;
        case Opt::MaxRedirs: {
            uint64_t n = 0;
            if (value == "-1")
                n = kMaxRedirectsAllowed; // curl's "unlimited", bounded here
            else if (!ParseUnsigned(value, kMaxRedirectsAllowed, n))
                return Fail("option " + shown + ": expected a number of redirects from 0 to " +
                            std::to_string(kMaxRedirectsAllowed));
            m_out.MaxRedirects = static_cast<int>(n);
            return true;
        }
        case Opt::Proxy: {
            if (value.empty()) {
                m_out.NoProxyAtAll = true;
                m_out.Proxy.reset();
                return true;
            }
            std::pair<std::string, int> proxy;
            if (!ParseProxy(value, proxy))
                return Fail("option " + shown + ": expected [http://]HOST[:PORT]");
            m_out.Proxy = proxy;
            m_out.NoProxyAtAll = false;
            return true;
        }
        case Opt::NoProxy:
            m_out.NoProxy = value;
            return true;
        case Opt::Request: {
            bool head = false;
            if (!MethodAllowed(value, head))
                return Fail("option " + shown + " " + value + ": only GET and HEAD are supported");
            if (head)
                m_out.Head = true;
            return true;
        }
        case Opt::Data:
            return Fail("option " + shown + ": only GET and HEAD are supported (no request body is sent)");
        case Opt::MaxSize: {
            uint64_t size = 0;
            if (!ParseSize(value, size))
                return Fail("option " + shown + ": expected a byte count (K, M, G, T allowed)");
            m_out.MaxSize = size;
            return true;
        }
        case Opt::ConnectTimeout:
        case Opt::ReadTimeout: {
            int seconds = 0;
            if (!ParseSeconds(value, 1, seconds))
                return Fail("option " + shown + ": expected a whole number of seconds, at least 1");
            (entry.id == Opt::ConnectTimeout ? m_out.ConnectTimeout : m_out.ReadTimeout) = seconds;
            return true;
        }
        case Opt::MaxTime: {
            int seconds = 0;
            if (!ParseSeconds(value, 0, seconds))
                return Fail("option " + shown + ": expected a whole number of seconds (0: no limit)");
            m_out.MaxTime = seconds;
            return true;
        }
        case Opt::Retry: {
            uint64_t n = 0;
            if (!ParseUnsigned(value, kMaxRetries, n))
                return Fail("option " + shown + ": expected a number of retries from 0 to " +
                            std::to_string(kMaxRetries));
            m_out.Retry = static_cast<int>(n);
            return true;
        }
        case Opt::CookieDir:
        case Opt::CacheDir:
        case Opt::CafDir:
        case Opt::CaCert: {
            if (value.empty())
                return Fail("option " + shown + ": the path is empty");
            std::string &field = entry.id == Opt::CookieDir  ? m_out.CookieDir
                                 : entry.id == Opt::CacheDir ? m_out.CacheDir
                                 : entry.id == Opt::CafDir   ? m_out.CafDir
                                                             : m_out.CaCert;
            field = value;
            return true;
        }
        case Opt::Insecure:
            m_out.Insecure = true;
            return true;
        case Opt::Help:
            m_out.Help = true;
            return true;
        case Opt::Version:
            m_out.Version = true;
            return true;
        }
        return Fail("internal option error");
    }

    bool Fail(const std::string &text) {
        m_error = text;
        return false;
    }

private:
    GetOptions &m_out;
    std::string &m_error;
};

} // namespace

bool ParseProxy(std::string text, std::pair<std::string, int> &out) {
    if (size_t scheme = text.find("://"); scheme != std::string::npos) {
        std::string name = text.substr(0, scheme);
        for (char &c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (name != "http")
            return false; // an HTTPS or SOCKS proxy is not spoken to
        text.erase(0, scheme + 3);
    }
    if (!text.empty() && text.back() == '/')
        text.pop_back();
    int port = kDefaultProxyPort;
    size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        uint64_t value = 0;
        if (!ParseUnsigned(text.substr(colon + 1), 65535, value) || value == 0)
            return false;
        port = static_cast<int>(value);
        text.erase(colon);
    }
    if (text.empty() || text.find_first_of("/@ \t") != std::string::npos || HasLineBreak(text))
        return false;
    out = {text, port};
    return true;
}

bool ParseGetOptions(const std::vector<std::string> &args, GetOptions &out, std::string &error) {
    out = GetOptions();
    error.clear();
    Parser parser(out, error);
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            out.Urls.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg[1] == '-') {
            std::string name = arg.substr(2);
            std::optional<std::string> attached;
            if (size_t eq = name.find('='); eq != std::string::npos) {
                attached = name.substr(eq + 1);
                name.erase(eq);
            }
            const OptionSpec *entry = FindLong(name);
            if (!entry)
                return parser.Fail("unknown option --" + name);
            std::string shown = "--" + name;
            if (!entry->takesValue) {
                if (attached)
                    return parser.Fail("option " + shown + " takes no value");
                if (!parser.Apply(*entry, shown, ""))
                    return false;
                continue;
            }
            if (!attached) {
                if (i + 1 >= args.size())
                    return parser.Fail("option " + shown + " needs a value");
                attached = args[++i];
            }
            if (!parser.Apply(*entry, shown, *attached))
                return false;
            continue;
        }
        // Short options: flags may be bundled (-iv); a value is the rest of the word or the next word.
        for (size_t k = 1; k < arg.size(); ++k) {
            const OptionSpec *entry = FindShort(arg[k]);
            std::string shown = std::string("-") + arg[k];
            if (!entry)
                return parser.Fail("unknown option " + shown);
            if (!entry->takesValue) {
                if (!parser.Apply(*entry, shown, ""))
                    return false;
                continue;
            }
            std::string value;
            if (k + 1 < arg.size())
                value = arg.substr(k + 1);
            else if (i + 1 < args.size())
                value = args[++i];
            else
                return parser.Fail("option " + shown + " needs a value");
            if (!parser.Apply(*entry, shown, value))
                return false;
            break;
        }
    }
    if (out.Help || out.Version)
        return true;
    if (out.Urls.empty())
        return parser.Fail("no URL given (try --help)");
    if (out.Head && out.Text)
        return parser.Fail("--text needs a body; a HEAD request (-I) has none");
    if (!out.OutputFile.empty() && out.RemoteName)
        return parser.Fail("-o and -O exclude each other");
    if (!out.OutputFile.empty() && out.Urls.size() > 1)
        return parser.Fail("-o takes one URL; use -O to save several");
    if (!out.CacheDir.empty() && !out.CafDir.empty())
        return parser.Fail("--cache-dir and --caf-dir exclude each other (one cache store at a time)");
    return true;
}

const char *GetUsageText() {
    return "Usage: vantry-get [options] URL...\n"
           "Fetches each URL over HTTP/1.1 (http: and https:) and writes its body to standard output as it\n"
           "arrives. Defaults are in brackets.\n"
           "\n"
           "Output:\n"
           "  -o, --output FILE        write the body to FILE (one URL; - is standard output); the file\n"
           "                           appears only when complete [standard output]\n"
           "  -O, --remote-name        write each body to a file named after the URL's last path segment,\n"
           "                           %XX decoded [off]\n"
           "      --text               the page as UTF-8 text (charset from Content-Type or meta tags),\n"
           "                           held in memory [off: the bytes as received]\n"
           "  -i, --include            the response head before the body [off]\n"
           "  -I, --head               a HEAD request: the response head only [off]\n"
           "  -w, --write-out FORMAT   after each transfer write FORMAT to standard output: %{http_code},\n"
           "                           %{url_effective}, %{size_download}, %{size_header}, %{time_total},\n"
           "                           %{speed_download}, %{content_type}, %{exitcode}, %{errormsg},\n"
           "                           \\n, \\t, %% [none]\n"
           "  -s, --silent             no progress line and no failure message [off]\n"
           "  -S, --show-error         the failure message even with -s [off]\n"
           "  -v, --verbose            the request sent and the library's log on standard error [off]\n"
           "  -f, --fail               exit 22, writing no body, when the status is 400 or more [off]\n"
           "Request:\n"
           "      --profile NAME       request profile: generic, ie or firefox [generic]\n"
           "  -A, --user-agent AGENT   User-Agent of the generic profile [Vantry/1.0.0 (+http://...)]\n"
           "  -e, --referer URL        Referer line [none]\n"
           "  -u, --user USER:PASSWORD Basic authorisation [none]\n"
           "  -H, --header \"N: v\"      an extra request line (generic profile; repeatable); it replaces\n"
           "                           the profile's own line of that name, \"N:\" removes that line [none]\n"
           "      --compressed         ask for a gzip body (Accept-Encoding: gzip) and decode it [on]\n"
           "      --no-compressed      do not ask for gzip (a gzip body sent anyway is still decoded)\n"
           "  -L, --location           follow 301, 302, 303, 307 and 308 redirects [on]\n"
           "      --no-location        do not follow redirects (--no-follow is the same)\n"
           "      --max-redirs N       redirects followed in a row [4]\n"
           "  -X, --request METHOD     GET or HEAD; no other method is supported [GET]\n"
           "  -x, --proxy HOST[:PORT]  HTTP proxy, port 80 when not given; https goes through CONNECT; \"\"\n"
           "                           for none [http_proxy, https_proxy, no_proxy from the environment]\n"
           "      --noproxy LIST       hosts (comma-separated, * for all) reached without a proxy "
           "[no_proxy]\n"
           "Limits:\n"
           "      --max-size BYTES     refuse a body larger than BYTES (K, M, G, T suffixes) [no limit]\n"
           "      --connect-timeout S  connect time-out in seconds [10]\n"
           "      --read-timeout S     stall time-out: the longest wait while nothing arrives, in seconds\n"
           "                           [20]\n"
           "  -m, --max-time S         limit on one whole transfer, in seconds [none]\n"
           "      --retry N            retry a transient failure (connect, time-out, HTTP 408, 429, 5xx)\n"
           "                           up to N times, waiting 1, 2, 4 ... seconds [0]\n"
           "State:\n"
           "      --cookie-dir DIR     keep cookies in DIR (read and written) [no cookies]\n"
           "      --cache-dir DIR      HTTP cache in DIR, .dat store [no cache]\n"
           "      --caf-dir DIR        HTTP cache in DIR, .caf store [no cache]\n"
           "TLS:\n"
           "      --cacert FILE        trust the CA certificates in FILE as well [the system's CA store]\n"
           "  -k, --insecure           accept a server whose certificate fails verification [off]\n"
           "Other:\n"
           "  -h, --help               this text\n"
           "  -V, --version            the version\n"
           "\n"
           "Exit status: 0 success, 1 other failure, 2 bad usage, 3 bad URL, 5 proxy not found,\n"
           "6 host not found, 7 connect failed, 8 invalid response, 18 response cut short, 22 HTTP status\n"
           ">= 400 with --fail, 23 write error, 28 time-out, 35 TLS failure, 47 too many redirects,\n"
           "52 empty reply, 56 receive failure, 60 certificate not verified, 61 bad encoding,\n"
           "63 body too large.\n";
}

std::string GetVersionText() {
    return std::string("vantry-get ") + VANTRY_GET_VERSION + " (vantry library)";
}

} // namespace vantry
