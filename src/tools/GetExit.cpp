// vantry-get's exit status: the error entries of the log are matched, most specific class first,
// against the fixed sentences the library logs for each kind of failure.
#include "tools/GetExit.h"

#include <algorithm>

#include "core/AsciiText.h"

namespace vantry {

namespace {

bool AnyContains(const std::vector<std::string> &lowered, std::initializer_list<const char *> needles) {
    for (const auto &entry : lowered)
        for (const char *needle : needles)
            if (entry.find(needle) != std::string::npos)
                return true;
    return false;
}

} // namespace

std::vector<std::string> CollectLogErrors(const std::string &logXml) {
    // The XML rendering writes a text as it is, or, when it holds markup characters, as CDATA sections
    // (a "]]>" inside split across two of them).
    static const std::string kOpen = "<error>", kClose = "</error>", kCdata = "<![CDATA[", kCdataEnd = "]]>";
    std::vector<std::string> errors;
    size_t pos = 0;
    while ((pos = logXml.find(kOpen, pos)) != std::string::npos) {
        pos += kOpen.size();
        std::string text;
        if (logXml.compare(pos, kCdata.size(), kCdata) == 0) {
            while (logXml.compare(pos, kCdata.size(), kCdata) == 0) {
                size_t start = pos + kCdata.size();
                size_t end = logXml.find(kCdataEnd, start);
                if (end == std::string::npos)
                    return errors;
                text.append(logXml, start, end - start);
                pos = end + kCdataEnd.size();
            }
        } else {
            size_t end = logXml.find(kClose, pos);
            if (end == std::string::npos)
                break;
            text = logXml.substr(pos, end - pos);
            pos = end;
        }
        errors.push_back(text);
    }
    return errors;
}

GetExitCode ClassifyFailure(const std::vector<std::string> &errors) {
    // The "connect to HOST port N: reason" entries name a host, whose name could hold any of the words
    // below; the entries around them tell the class.
    std::vector<std::string> lowered;
    for (const auto &e : errors)
        if (e.rfind("connect to ", 0) != 0)
            lowered.push_back(ascii::Lowered(e));
    // The URL itself was refused before any network use.
    if (AnyContains(lowered,
                    {"failed to parse url", "url is longer than the maximum",
                     "does not support urls with this file extension", "failed to construct new url"}))
        return kExitBadUrl;
    if (AnyContains(lowered, {"aborted to avoid infinite redirects"}))
        return kExitRedirects;
    if (AnyContains(lowered, {"content length more than the maximum allowed", "chunked response is too large",
                              "renegotiation is larger"}))
        return kExitTooLarge;
    if (AnyContains(lowered, {"error authenticating server credentials", "certificate verify",
                              "certificate verification", "certificate did not verify", "winverifytrust"}))
        return kExitTlsVerify;
    if (AnyContains(lowered, {"failed to connect to proxy server"}) &&
        AnyContains(lowered, {"domain name lookup failed", "cannot get host by name"}))
        return kExitProxy;
    // Time-outs before the failures they cause: a connect or handshake that timed out is a time-out.
    if (AnyContains(lowered, {"timed out", "timeout", "time-out", "deadline", "maxexchangeseconds"}))
        return kExitTimeout;
    if (AnyContains(lowered, {"handshake", "ssl", "tls", "schannel", "secure channel", "https is not"}))
        return kExitTls;
    if (AnyContains(lowered, {"domain name lookup failed", "cannot get host by name",
                              "domain name is marked as invalid"}))
        return kExitResolve;
    if (AnyContains(lowered, {"failed to connect to http server", "failed to connect to proxy server",
                              "unable to connect to http server", "connect function failed"}))
        return kExitConnect;
    if (AnyContains(lowered, {"transfer-encoding that cannot be decoded", "gzip-encoded body is damaged"}))
        return kExitBadEncoding;
    if (AnyContains(lowered, {"response header line without a colon", "response header contains",
                              "invalid content-length", "content-length values that differ"}))
        return kExitWeirdReply;
    if (AnyContains(lowered, {"valid http/1.x status line"}))
        return kExitFailure;
    if (AnyContains(lowered, {"without sending a response"}))
        return kExitGotNothing;
    if (AnyContains(lowered, {"ended before its content-length", "failed to get response data (",
                              "closed inside the response header", "before the end of the response"}))
        return kExitPartial;
    if (AnyContains(lowered,
                    {"failed to get response header", "invalid response header received", "peer has closed",
                     "failed to receive", "ended before", "chunk", "did not end with the close"}))
        return kExitReceive;
    return kExitFailure;
}

bool FailureKeepsPartialBody(GetExitCode code) {
    return code == kExitPartial || code == kExitReceive || code == kExitTimeout;
}

const char *ExitCodeDescription(GetExitCode code) {
    switch (code) {
    case kExitOk:
        return "ok";
    case kExitUsage:
        return "bad usage";
    case kExitBadUrl:
        return "bad URL";
    case kExitProxy:
        return "proxy not usable";
    case kExitResolve:
        return "host not found";
    case kExitConnect:
        return "could not connect";
    case kExitHttpError:
        return "HTTP error";
    case kExitWrite:
        return "cannot write output";
    case kExitTimeout:
        return "timed out";
    case kExitTls:
        return "TLS failure";
    case kExitRedirects:
        return "too many redirects";
    case kExitReceive:
        return "no valid response";
    case kExitWeirdReply:
        return "invalid response";
    case kExitPartial:
        return "response cut short";
    case kExitGotNothing:
        return "empty reply";
    case kExitBadEncoding:
        return "bad encoding";
    case kExitTlsVerify:
        return "server certificate not verified";
    case kExitTooLarge:
        return "body too large";
    case kExitFailure:
        break;
    }
    return "fetch failed";
}

std::string FailureMessage(GetExitCode code, const std::string &url, const std::vector<std::string> &errors) {
    std::string line = "vantry-get: " + url + ": " + ExitCodeDescription(code);
    const std::string *chosen = errors.empty() ? nullptr : &errors.front();
    for (const char *telling :
         {"connect to ", "The server's certificate did not verify", "TLS handshake failed"}) {
        auto it = std::find_if(errors.begin(), errors.end(),
                               [&](const std::string &e) { return e.rfind(telling, 0) == 0; });
        if (it != errors.end()) {
            chosen = &*it;
            break;
        }
    }
    if (chosen)
        line += ": \"" + *chosen + "\"";
    // One line whatever the entry holds.
    std::replace(line.begin(), line.end(), '\r', ' ');
    std::replace(line.begin(), line.end(), '\n', ' ');
    return line;
}

} // namespace vantry
