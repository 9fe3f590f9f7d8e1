// Tests of HttpResponseHeader: status lines valid and invalid, the Content-Length forms, the fields
// behind them, parameters, copying and the text form.
#include <gtest/gtest.h>

#include <string>

#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "http/HttpResponseHeader.h"
#include "http/MimeField.h"

using namespace vantry;

namespace {

std::string Field(const HttpResponseHeader &h, const char *name) {
    StringBuffer out;
    if (!h.GetField(name, out)) {
        return "<none>";
    }
    return std::string(out.View());
}

} // namespace

TEST(HttpResponseHeader, ParsesStatusReasonFieldsAndLength) {
    HttpResponseHeader h;
    EXPECT_TRUE(h.Parse("HTTP/1.1 404 Not  Found \r\nServer: x\r\nContent-Length: 42\r\n\r\nbody"));
    EXPECT_EQ(h.StatusCode, 404);
    EXPECT_STREQ(h.ReasonPhrase.Text(), "Not  Found");
    EXPECT_STREQ(h.StatusLine.Text(), "HTTP/1.1 404 Not  Found ");
    EXPECT_EQ(h.ContentLength, 42);
    EXPECT_TRUE(h.ContentLengthPresent);
    EXPECT_EQ(Field(h, "server"), "x");
    EXPECT_EQ(h.Fields.NumFields(), 2);
}

TEST(HttpResponseHeader, StatusWithoutReasonPhraseKeepsItsFieldsAndLength) {
    HttpResponseHeader h;
    h.Parse("HTTP/1.1 200\r\nContent-Length: 5\r\nServer: x\r\n\r\n");
    EXPECT_EQ(h.StatusCode, 200);
    EXPECT_STREQ(h.ReasonPhrase.Text(), "");
    EXPECT_EQ(h.Fields.NumFields(), 2);
    EXPECT_TRUE(h.ContentLengthPresent);
    EXPECT_EQ(h.ContentLength, 5);
    EXPECT_STREQ(h.StatusLine.Text(), "HTTP/1.1 200");
}

TEST(HttpResponseHeader, BareLineFeedHeadKeepsItsFields) {
    HttpResponseHeader h;
    h.Parse("HTTP/1.1 302 Found\nLocation: /next\nContent-Length: 4\n\n");
    EXPECT_EQ(h.StatusCode, 302);
    EXPECT_STREQ(h.StatusLine.Text(), "HTTP/1.1 302 Found");
    EXPECT_EQ(Field(h, "Location"), "/next");
    EXPECT_EQ(h.ContentLength, 4);
}

TEST(HttpResponseHeader, InvalidStatusLinesGiveStatusZero) {
    HttpResponseHeader h;
    EXPECT_FALSE(h.Parse("http/1.1 200 OK\r\n\r\n"));
    EXPECT_EQ(h.StatusCode, 0);
    EXPECT_FALSE(h.Parse("HTTP/1.1 abc OK\r\n\r\n"));
    EXPECT_EQ(h.StatusCode, 0);
    EXPECT_FALSE(h.Parse("HTTP/1.1"));
    EXPECT_FALSE(h.Parse(""));
    EXPECT_FALSE(h.Parse(nullptr));
    EXPECT_FALSE(h.Parse(" HTTP/1.1 200 OK\r\n\r\n"));
    EXPECT_FALSE(h.Parse("HTTP/1.1 -5 OK\r\n\r\n"));
    EXPECT_EQ(h.StatusCode, 0);
}

TEST(HttpResponseHeader, ParseReplacesEarlierContents) {
    HttpResponseHeader h;
    h.Parse("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nA: 1\r\n\r\n");
    h.Parse("garbage");
    EXPECT_EQ(h.StatusCode, 0);
    EXPECT_EQ(h.Fields.NumFields(), 0);
    EXPECT_FALSE(h.ContentLengthPresent);
    EXPECT_STREQ(h.ReasonPhrase.Text(), "");
}

TEST(HttpResponseHeader, ContentLengthForms) {
    HttpResponseHeader h;
    h.Parse("HTTP/1.1 200 OK\r\ncontent-length: 7\r\n\r\n");
    EXPECT_TRUE(h.ContentLengthPresent);
    EXPECT_EQ(h.ContentLength, 7);
    h.Parse("HTTP/1.1 200 OK\r\nContent-Length:12\r\n\r\n");
    EXPECT_EQ(h.ContentLength, 12);
    h.Parse("HTTP/1.1 200 OK\r\nContent-Length: \t 9\r\n\r\n");
    EXPECT_EQ(h.ContentLength, 9);
    h.Parse("HTTP/1.1 200 OK\r\nContent-Length: abc\r\n\r\n");
    EXPECT_TRUE(h.ContentLengthPresent);
    EXPECT_EQ(h.ContentLength, 0);
    h.Parse("HTTP/1.1 200 OK\r\nX-Content-Length: 5\r\n\r\n");
    EXPECT_FALSE(h.ContentLengthPresent);
}

TEST(HttpResponseHeader, ContentLengthIsSixtyFourBitAndNeverBecomesNegative) {
    HttpResponseHeader h;
    h.Parse("HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n");
    EXPECT_TRUE(h.ContentLengthPresent);
    EXPECT_EQ(h.ContentLength, 0);
    h.Parse("HTTP/1.1 200 OK\r\nContent-Length: 6442450944\r\n\r\n"); // 6 GiB
    EXPECT_EQ(h.ContentLength, 6442450944LL);
    h.Parse("HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n");
    EXPECT_EQ(h.ContentLength, INT64_MAX);
}

TEST(HttpResponseHeader, ParseBytesReadsTheBufferAsText) {
    DataBuffer bytes;
    const char text[] = "HTTP/1.0 302 Found\r\nLocation: /x\r\n\r\n";
    bytes.Append(text, sizeof(text) - 1);
    HttpResponseHeader h;
    EXPECT_TRUE(h.ParseBytes(bytes));
    EXPECT_EQ(h.StatusCode, 302);
    EXPECT_EQ(Field(h, "LOCATION"), "/x");
}

TEST(HttpResponseHeader, CharsetParameterOfContentType) {
    HttpResponseHeader h;
    h.Parse("HTTP/1.1 200 OK\r\nContent-Type: text/html; Charset=\"ISO-8859-1\" \r\n\r\n");
    StringBuffer cs("stale");
    EXPECT_TRUE(h.GetCharset(cs));
    EXPECT_STREQ(cs.Text(), "ISO-8859-1");
    h.Parse("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n");
    EXPECT_FALSE(h.GetCharset(cs));
    EXPECT_STREQ(cs.Text(), "");
}

TEST(HttpResponseHeader, CopyFromIsDeep) {
    HttpResponseHeader a;
    a.Parse("HTTP/1.1 301 Moved\r\nLocation: http://b/\r\nContent-Length: 4\r\n\r\n");
    HttpResponseHeader b;
    b.CopyFrom(a);
    a.Parse("HTTP/1.1 200 OK\r\n\r\n");
    EXPECT_EQ(b.StatusCode, 301);
    EXPECT_STREQ(b.ReasonPhrase.Text(), "Moved");
    EXPECT_EQ(b.ContentLength, 4);
    EXPECT_TRUE(b.ContentLengthPresent);
    EXPECT_STREQ(b.StatusLine.Text(), "HTTP/1.1 301 Moved"); // so a copy writes the same text form
    EXPECT_EQ(Field(b, "Location"), "http://b/");
}

TEST(HttpResponseHeader, ToTextWritesStatusLineThenFields) {
    HttpResponseHeader h;
    h.Parse("HTTP/1.1 200 OK\r\nServer: nginx\r\nContent-Length: 4\r\n\r\n");
    StringBuffer text;
    h.ToText(text, 0);
    EXPECT_STREQ(text.Text(), "HTTP/1.1 200 OK\r\nServer: nginx\r\nContent-Length: 4");
    StringBuffer fields;
    h.FieldsToText(fields, 65001);
    EXPECT_STREQ(fields.Text(), "Server: nginx\r\nContent-Length: 4");
    // The text form loads back to the same header.
    text.Append("\r\n\r\n");
    HttpResponseHeader again;
    again.Parse(text.Text());
    EXPECT_EQ(again.StatusCode, 200);
    EXPECT_EQ(again.ContentLength, 4);
    EXPECT_EQ(Field(again, "server"), "nginx");
}

TEST(HttpResponseHeader, BodyAfterAnEmptyHeadIsNotTakenForFields) {
    HttpResponseHeader h;
    h.Parse("HTTP/1.1 204 No Content\r\n\r\nLocation: http://evil/\r\n");
    EXPECT_EQ(h.StatusCode, 204);
    EXPECT_EQ(h.Fields.NumFields(), 0);
    EXPECT_FALSE(h.HasField("Location"));
}
