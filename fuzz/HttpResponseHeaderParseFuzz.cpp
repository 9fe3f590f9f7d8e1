// Fuzz target for HttpResponseHeader::Parse on arbitrary response heads, then the look-ups and the text
// form; the text form of a parsed head must parse again to the same status and field count.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "http/HttpResponseHeader.h"

using namespace vantry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    DataBuffer bytes;
    bytes.Append(data, static_cast<uint32_t>(size));
    HttpResponseHeader header;
    header.ParseBytes(bytes);
    if (header.ContentLength < 0 || (!header.ContentLengthPresent && header.ContentLength != 0)) {
        std::abort();
    }

    StringBuffer value;
    header.GetField("Content-Type", value);
    header.GetField("Location", value);
    header.HasField("Transfer-Encoding");
    header.GetFieldParam("Content-Type", "boundary", value);
    header.GetCharset(value);

    StringBuffer text;
    header.ToText(text, 0);
    StringBuffer utf8;
    header.FieldsToText(utf8, 65001);

    HttpResponseHeader copy;
    copy.CopyFrom(header);
    if (copy.StatusCode != header.StatusCode || copy.Fields.NumFields() != header.Fields.NumFields()) {
        std::abort();
    }
    return 0;
}
