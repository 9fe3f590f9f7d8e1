// The request builders of the three profiles.
#include "http/HttpRequestBuilder.h"

#include "core/StringBuffer.h"

void HttpRequestBuilder::BuildRequest(const char *, const char *, const char *, const char *,
                                      const HttpControl &, bool, const char *, const CalendarTime *,
                                      StringBuffer &out, LogBase &) {
    out.Clear();
}
void HttpRequestBuilder::BuildMsieRequest(const char *, const char *, const char *, const char *,
                                          const HttpControl &, StringBuffer &out, LogBase &) {
    out.Clear();
}
void HttpRequestBuilder::BuildFirefoxRequest(const char *, const char *, const char *, const char *,
                                             const HttpControl &, StringBuffer &out, LogBase &) {
    out.Clear();
}
void HttpRequestBuilder::AddCookieLine(const HttpControl &, const char *, const char *, StringBuffer &,
                                       LogBase &) {}
void HttpRequestBuilder::AddAuthorization(const HttpControl &, StringBuffer &) {}
void HttpRequestBuilder::AddExtraHeaders(const HttpControl &, StringBuffer &) {}
void HttpRequestBuilder::AddRequestLine(const char *, const char *, const char *, const HttpControl &,
                                        StringBuffer &) {}
