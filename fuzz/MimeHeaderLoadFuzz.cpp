// Fuzz target for MimeHeader::Load on arbitrary header text, then Serialise with a few code pages
// (Latin, UTF-8, the B-word pages and an ISO-2022 page) and a reload of each result.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/StringBuffer.h"
#include "http/MimeField.h"
#include "http/MimeHeader.h"

using namespace vantry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);
    MimeHeader header;
    header.Load(input.c_str());
    if (header.NumFields() > 1000) {
        std::abort();
    }
    static const int32_t kCodePages[] = {0, 1252, 28591, 65001, 20127, 932, 936, 1200, 50220, 50225};
    int32_t pick = size > 0 ? data[0] % 10 : 0;
    for (int32_t cp : {kCodePages[pick], kCodePages[(pick + 3) % 10]}) {
        StringBuffer out;
        header.Serialise(out, size > 1 && (data[1] & 1) ? "x-" : nullptr, cp);
        out.Append("\r\n\r\n");
        MimeHeader again;
        again.Load(out.Text());
    }
    StringBuffer param;
    header.GetFieldParam("Content-Type", "charset", param);
    for (int32_t i = 0; i < header.NumFields(); ++i) {
        MimeField *copy = header.FieldAt(i)->Clone();
        delete copy;
    }
    return 0;
}
