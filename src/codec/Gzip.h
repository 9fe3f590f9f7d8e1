// Gzip: decodes one gzip member (RFC 1952) held whole in memory, as the GET engine receives a
// response body; the DEFLATE data goes through InflateState2.
#pragma once
#include <cstdint>

namespace vantry {

class DataBuffer;
class LogBase;

class Gzip {
public:
    Gzip() = default;
    virtual ~Gzip() = default;

    // Clears out, then decodes the member in in into it. True means out holds the decoded data
    // (possibly empty; corrupt or truncated DEFLATE data gives what was decoded before the fault).
    bool Decompress(const DataBuffer &in, DataBuffer &out, LogBase &log);

    // The same with a limit on the decoded size (0 = none): once the output would pass maxOutput,
    // decoding stops, an error is logged, *limitExceeded is set (when given) and the result is false.
    bool Decompress(const DataBuffer &in, DataBuffer &out, uint32_t maxOutput, bool *limitExceeded,
                    LogBase &log);
    // The same, and *intact tells whether the member decoded whole: the DEFLATE data reached its final
    // block and the trailer's CRC-32 and length match the decoded bytes.
    bool Decompress(const DataBuffer &in, DataBuffer &out, uint32_t maxOutput, bool *limitExceeded,
                    bool *intact, LogBase &log);
};

} // namespace vantry
