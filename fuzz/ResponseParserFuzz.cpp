// libFuzzer target for the response parser: arbitrary bytes as one response, fed whole and in pieces the
// input chooses (the first two bytes), with or without a body limit. The outcome (error, status, heads,
// body, where the message ended) must not depend on the pieces, and the body never passes the limit.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/DataBuffer.h"
#include "http/ResponseParser.h"

using namespace vantry;

namespace {

struct Outcome {
    ResponseParser::Error error;
    int status;
    std::string head, body;
    size_t used;
    bool done;
    bool operator==(const Outcome &o) const {
        return error == o.error && status == o.status && head == o.head && body == o.body && used == o.used &&
               done == o.done;
    }
};

Outcome Parse(std::string_view bytes, size_t piece, uint64_t limit) {
    ResponseParser p;
    p.SetBodyLimit(limit);
    DataBuffer body;
    size_t at = 0;
    ResponseParser::Result r = ResponseParser::Result::NeedMore;
    while (r != ResponseParser::Result::Done && r != ResponseParser::Result::Failed) {
        size_t n = bytes.size() - at < piece ? bytes.size() - at : piece;
        if (n == 0 && r != ResponseParser::Result::HeadDone) {
            r = p.Finish();
            break;
        }
        size_t used = 0;
        r = p.Feed(reinterpret_cast<const uint8_t *>(bytes.data()) + at, n, used, &body);
        at += used;
        if (used > n)
            std::abort();
    }
    if (limit && body.Length() > limit)
        std::abort();
    if (p.HeadComplete() && p.HeadText().size() > 2 * ResponseParser::kMaxHeadBytes)
        std::abort();
    Outcome o{p.GetError(),
              p.StatusCode(),
              std::string(p.HeadText()),
              std::string(reinterpret_cast<const char *>(body.Data()), body.Length()),
              0,
              r == ResponseParser::Result::Done};
    o.used = o.done ? at : 0;
    return o;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2)
        return 0;
    size_t piece = 1 + data[0] % 31;
    uint64_t limit = data[1] & 0x80 ? data[1] & 0x7F : 0;
    std::string_view bytes(reinterpret_cast<const char *>(data + 2), size - 2);
    Outcome whole = Parse(bytes, bytes.size() + 1, limit);
    Outcome pieces = Parse(bytes, piece, limit);
    if (!(whole == pieces))
        std::abort();
    return 0;
}
