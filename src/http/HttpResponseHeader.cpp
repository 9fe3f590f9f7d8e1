// HttpResponseHeader: the status line and Content-Length of a response head, the fields through
// MimeHeader, and the text forms written to the cache.
#include "http/HttpResponseHeader.h"

#include <climits>
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

} // namespace

HttpResponseHeader::HttpResponseHeader() = default;

HttpResponseHeader::~HttpResponseHeader() = default;

bool HttpResponseHeader::Parse(const char *text) {
    Clear();
    if (text == nullptr) {
        return false;
    }
    std::string_view all(text);
    size_t cr = all.find('\r');
    std::string_view statusLine = cr == std::string_view::npos ? std::string_view() : all.substr(0, cr);
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
    size_t codeEnd = codeStart;
    while (codeEnd < all.size() && ascii::IsDigit(all[codeEnd])) {
        ++codeEnd;
    }
    // The reason phrase lies between the blank after the code and the end of the status line.
    size_t reasonBlank = all.find(' ', codeEnd);
    if (reasonBlank == std::string_view::npos || cr == std::string_view::npos || reasonBlank > cr) {
        return StatusCode != 0;
    }
    ReasonPhrase.Append(ascii::TrimWhite(all.substr(reasonBlank, cr - reasonBlank)));

    size_t lengthAt = ascii::FindNoCase(all, "\r\nContent-Length:");
    if (lengthAt != std::string_view::npos) {
        ContentLengthPresent = true;
        std::string_view number = all.substr(lengthAt + 17);
        while (!number.empty() && (number.front() == ' ' || number.front() == '\t')) {
            number.remove_prefix(1);
        }
        if (!ReadDecimal(number, ContentLength)) {
            ContentLength = 0;
        }
    }

    // A head that ends right after its status line has no fields: what follows is already the body.
    if (all.substr(cr, 4) == "\r\n\r\n") {
        return true;
    }
    size_t rest = cr;
    while (rest < all.size() &&
           (all[rest] == ' ' || all[rest] == '\t' || all[rest] == '\r' || all[rest] == '\n')) {
        ++rest;
    }
    Fields.Load(text + rest);
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
