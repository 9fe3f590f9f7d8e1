// libFuzzer target for the response framing: arbitrary bytes as a whole response (head, then a chunked,
// counted or unbounded body) through a memory byte source in pieces; reads must stay within the caps,
// end, and give the same body whatever the piece size.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/DataBuffer.h"
#include "core/LogNull.h"
#include "core/StringBuffer.h"
#include "http/HttpResponseHeader.h"
#include "http/MemoryByteSource.h"
#include "http/ResponseFraming.h"

using namespace vantry;

namespace {

// The head read from the bytes, then the body by the parsed head; false when either fails.
bool ReadResponse(std::string_view bytes, uint32_t piece, uint32_t maxContentLength, std::string &body) {
    MemoryByteSource src(bytes, piece);
    ResponseFraming framing;
    LogNull log;
    DataBuffer out;
    if (framing.ReadHead(src, log) != ResponseFraming::HeadResult::Ok)
        return false;
    if (framing.Parser().RawHeads().size() > ResponseFraming::kMaxHeadBytes)
        std::abort();
    HttpResponseHeader header;
    StringBuffer text;
    text.Append(framing.Parser().HeadText());
    if (!header.Parse(text.Text()) || header.StatusCode != framing.Parser().StatusCode())
        std::abort();
    bool ok = framing.ReadBody(src, maxContentLength, out, log);
    if (ok && maxContentLength && out.Length() > maxContentLength)
        std::abort();
    body.assign(reinterpret_cast<const char *>(out.Data()), out.Length());
    return ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1)
        return 0;
    // The first byte picks the framing (so every body kind is reached often) and the piece size.
    static const char *const kHeads[] = {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
                                         "HTTP/1.1 200 OK\r\nContent-Length: 64\r\n\r\n", ""};
    std::string bytes = kHeads[data[0] % 3];
    bytes.append(reinterpret_cast<const char *>(data + 1), size - 1);
    uint32_t piece = 1 + data[0] / 3 % 13;
    uint32_t limit = data[0] & 0x80 ? 200 : 0;
    std::string whole, pieces;
    bool a = ReadResponse(bytes, 1 << 20, limit, whole);
    bool b = ReadResponse(bytes, piece, limit, pieces);
    if (a != b || (a && whole != pieces))
        std::abort();
    return 0;
}
