// HttpResponseHeader: the parsed status line, fields and Content-Length of an HTTP response head.
// A status code of 0 means the head could not be parsed.
#pragma once
#include <cstdint>

#include "core/StringBuffer.h"
#include "http/MimeHeader.h"

namespace vantry {

class DataBuffer;

class HttpResponseHeader {
public:
    HttpResponseHeader();
    HttpResponseHeader(const HttpResponseHeader &) = delete;
    HttpResponseHeader &operator=(const HttpResponseHeader &) = delete;
    virtual ~HttpResponseHeader();

    // Replace the whole contents; true when a status code was read.
    bool Parse(const char *text);
    bool ParseBytes(const DataBuffer &bytes);
    void Clear();
    // Content length, status code, reason phrase, status line and a deep copy of every field.
    void CopyFrom(const HttpResponseHeader &other);

    bool GetField(const char *name, StringBuffer &out) const; // appends the first match's value
    bool HasField(const char *name) const;
    bool GetFieldParam(const char *name, const char *param, StringBuffer &out) const;
    bool GetCharset(StringBuffer &out) const; // the charset parameter of Content-Type

    // The status line, CR LF and the fields; FieldsToText the fields only (codePage 0: the header's own).
    void ToText(StringBuffer &out, int32_t codePage) const;
    void FieldsToText(StringBuffer &out, int32_t codePage) const;

    int32_t StatusCode = 0;
    StringBuffer ReasonPhrase;
    StringBuffer StatusLine;
    MimeHeader Fields;
    int64_t ContentLength = 0;
    bool ContentLengthPresent = false;
    // The heads as the server sent them (interim 1xx heads first); empty when the header did not come
    // from a connection. Kept for showing the response exactly as it arrived.
    StringBuffer ReceivedHead;
};

} // namespace vantry
