// HttpResponseHeader: status line and Content-Length parsing over MimeHeader.
#include "http/HttpResponseHeader.h"

HttpResponseHeader::HttpResponseHeader() = default;
HttpResponseHeader::~HttpResponseHeader() = default;
bool HttpResponseHeader::Parse(const char *) {
    return false;
}
bool HttpResponseHeader::ParseBytes(const DataBuffer &) {
    return false;
}
void HttpResponseHeader::Clear() {}
void HttpResponseHeader::CopyFrom(const HttpResponseHeader &) {}
bool HttpResponseHeader::GetField(const char *, StringBuffer &) const {
    return false;
}
bool HttpResponseHeader::HasField(const char *) const {
    return false;
}
bool HttpResponseHeader::GetFieldParam(const char *, const char *, StringBuffer &) const {
    return false;
}
bool HttpResponseHeader::GetCharset(StringBuffer &) const {
    return false;
}
void HttpResponseHeader::ToText(StringBuffer &, int32_t) const {}
void HttpResponseHeader::FieldsToText(StringBuffer &, int32_t) const {}
