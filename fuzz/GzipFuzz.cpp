// libFuzzer target for Gzip::Decompress and InflateState2: any input must decode without touching
// memory outside its buffers, end, and give the same bytes whether fed whole or in small pieces.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codec/Gzip.h"
#include "codec/InflateSink.h"
#include "codec/InflateState2.h"
#include "core/DataBuffer.h"
#include "core/LogNull.h"

using namespace vantry;

namespace {

class StringSink : public InflateSink {
public:
    uint32_t SpaceAvailable() override { return 64u << 20; }
    uint32_t Write(const uint8_t *bytes, uint32_t count) override {
        data.append(reinterpret_cast<const char *>(bytes), count);
        return count;
    }
    std::string data;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The whole input as a gzip body, in an exactly-sized block so that any over-read is caught.
    DataBuffer in, out;
    in.Append(data, static_cast<uint32_t>(size));
    LogNull log;
    Gzip gz;
    const bool ok = gz.Decompress(in, out, log);
    bool limitHit = false;
    DataBuffer limited;
    gz.Decompress(in, limited, 1000, &limitHit, log);
    if (limited.Length() > 1000 || (ok && !limitHit && limited.Length() != out.Length()))
        std::abort();

    // The input as raw DEFLATE, whole and then split into pieces: the same bytes either way.
    StringSink whole, pieces;
    {
        InflateState2 inf;
        inf.SetSink(&whole);
        std::vector<uint8_t> copy(data, data + size);
        inf.Inflate(copy.data(), static_cast<uint32_t>(copy.size()));
    }
    {
        InflateState2 inf;
        inf.SetSink(&pieces);
        size_t pos = 0, step = size ? 1 + data[0] % 17 : 1;
        while (pos < size) {
            const size_t n = std::min(step, size - pos);
            std::vector<uint8_t> piece(data + pos, data + pos + n);
            inf.Inflate(piece.data(), static_cast<uint32_t>(n));
            pos += n;
        }
    }
    if (whole.data != pieces.data)
        std::abort();
    return 0;
}
