// HttpResponseHeader: the status line and Content-Length of a response head, the fields through
// MimeHeader, and the text forms written to the cache.
#include "http/HttpResponseHeader.h"

#include <climits>
#include <string>
#include <string_view>

#include "core/AsciiText.h"
#include "core/DataBuffer.h"

namespace vantry {

namespace {

// Decimal digits at the start of s; saturates at INT32_MAX. False when there is no digit.
bool ReadDecimal(std::string_view s, int32_t &value) {
    if (s.empty() || !ascii::IsDigit(s.front())) {
        return false;
    }
    long long v = 0;
    for (char c : s) {
        if (!ascii::IsDigit(c)) {
            break;
        }
        v = v * 10 + (c - '0');
        if (v > INT32_MAX) {
            v = INT32_MAX;
        }
    }
    value = static_cast<int32_t>(v);
    return true;
}

// The same for a 64-bit count, saturating at the largest value.
bool ReadDecimal64(std::string_view s, int64_t &value) {
    if (s.empty() || !ascii::IsDigit(s.front()))
        return false;
    int64_t v = 0;
    for (char c : s) {
        if (!ascii::IsDigit(c))
            break;
        int d = c - '0';
        v = v > (INT64_MAX - d) / 10 ? INT64_MAX : v * 10 + d;
    }
    value = v;
    return true;
}

// The field lines up to the first empty line, each ending in CR LF (a bare LF ends a line as well).
std::string FieldText(std::string_view rest) {
    std::string out;
    out.reserve(rest.size() + 16);
    for (size_t i = 0; i < rest.size(); ++i) {
        char c = rest[i];
        if (c == '\n' && (i == 0 || rest[i - 1] != '\r')) {
            out += "\r\n";
        } else {
            out += c;
        }
        if (c == '\n' && out.size() >= 4 && out.compare(out.size() - 4, 4, "\r\n\r\n") == 0) {
            break;
        }
    }
    return out;
}

} // namespace

HttpResponseHeader::HttpResponseHeader() = default;

HttpResponseHeader::~HttpResponseHeader() = default;

bool HttpResponseHeader::Parse(const char *text) {
    Clear();
    if (text == nullptr) {
        return false;
    }
    std::string_view all(text);
    // The status line ends at its CR LF, or at a bare LF.
    size_t lineEnd = all.find_first_of("\r\n");
    std::string_view statusLine =
        lineEnd == std::string_view::npos ? std::string_view() : all.substr(0, lineEnd);
    StatusLine.Append(statusLine);
    if (all.substr(0, 4) != "HTTP") {
        return false;
    }
    size_t blank = all.find(' ');
    if (blank == std::string_view::npos) {
        return false;
    }
    size_t codeStart = blank + 1;
    while (codeStart < all.size() && all[codeStart] == ' ') {
        ++codeStart;
    }
    int32_t code = 0;
    if (!ReadDecimal(all.substr(codeStart), code)) {
        return false;
    }
    StatusCode = code;
    if (lineEnd == std::string_view::npos) {
        return StatusCode != 0;
    }
    size_t codeEnd = codeStart;
    while (codeEnd < lineEnd && ascii::IsDigit(all[codeEnd])) {
        ++codeEnd;
    }
    // The reason phrase (which may be missing) is the rest of the status line.
    if (codeEnd < lineEnd) {
        ReasonPhrase.Append(ascii::TrimWhite(all.substr(codeEnd, lineEnd - codeEnd)));
    }
    size_t cr = lineEnd;

    size_t lengthAt = ascii::FindNoCase(all, "\nContent-Length:");
    if (lengthAt != std::string_view::npos) {
        ContentLengthPresent = true;
        std::string_view number = all.substr(lengthAt + 16);
        while (!number.empty() && (number.front() == ' ' || number.front() == '\t')) {
            number.remove_prefix(1);
        }
        if (!ReadDecimal64(number, ContentLength)) {
            ContentLength = 0;
        }
    }

    // A head that ends right after its status line has no fields: what follows is already the body.
    if (all.substr(cr, 4) == "\r\n\r\n" || all.substr(cr, 2) == "\n\n" || all.substr(cr, 3) == "\r\n\n" ||
        all.substr(cr, 3) == "\n\r\n") {
        return true;
    }
    size_t rest = cr;
    while (rest < all.size() &&
           (all[rest] == ' ' || all[rest] == '\t' || all[rest] == '\r' || all[rest] == '\n')) {
        ++rest;
    }
    Fields.Load(FieldText(all.substr(rest)).c_str());
    return StatusCode != 0;
}

bool HttpResponseHeader::ParseBytes(const DataBuffer &bytes) {
    StringBuffer text;
    text.AppendBytes(bytes.Data(), static_cast<int32_t>(bytes.Length()));
    return Parse(text.Text());
}

void HttpResponseHeader::Clear() {
    StatusCode = 0;
    ReasonPhrase.Clear();
    StatusLine.Clear();
    Fields.Clear();
    ContentLength = 0;
    ContentLengthPresent = false;
    ReceivedHead.Clear();
}

void HttpResponseHeader::CopyFrom(const HttpResponseHeader &other) {
    if (&other == this) {
        return;
    }
    ContentLength = other.ContentLength;
    ContentLengthPresent = other.ContentLengthPresent;
    StatusCode = other.StatusCode;
    ReasonPhrase.SetBuffer(other.ReasonPhrase);
    StatusLine.SetBuffer(other.StatusLine);
    Fields.CopyFrom(other.Fields);
    ReceivedHead.SetBuffer(other.ReceivedHead);
}

bool HttpResponseHeader::GetField(const char *name, StringBuffer &out) const {
    return Fields.GetField(name, out);
}

bool HttpResponseHeader::HasField(const char *name) const {
    return Fields.HasField(name);
}

bool HttpResponseHeader::GetFieldParam(const char *name, const char *param, StringBuffer &out) const {
    return Fields.GetFieldParam(name, param, out);
}

bool HttpResponseHeader::GetCharset(StringBuffer &out) const {
    return Fields.GetFieldParam("Content-Type", "charset", out);
}

void HttpResponseHeader::ToText(StringBuffer &out, int32_t codePage) const {
    out.AppendBuffer(StatusLine);
    out.Append("\r\n");
    Fields.Serialise(out, nullptr, codePage);
}

void HttpResponseHeader::FieldsToText(StringBuffer &out, int32_t codePage) const {
    Fields.Serialise(out, nullptr, codePage);
}

} // namespace vantry
