// The response parser's own throughput: a long chunked body (64 MiB in chunks of 16 KiB, and of 256 bytes)
// fed in 64 KiB pieces as the framing's read-ahead block would hand it over, the body copied out.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "core/DataBuffer.h"
#include "http/ResponseParser.h"

using namespace vantry;

namespace {

std::string ChunkedResponse(size_t total, size_t chunk) {
    std::string out =
        "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nTransfer-Encoding: chunked\r\n\r\n";
    out.reserve(total + total / chunk * 12 + 128);
    std::string data(chunk, 'c');
    char size[20];
    std::snprintf(size, sizeof size, "%zx\r\n", chunk);
    for (size_t at = 0; at < total; at += chunk) {
        out += size;
        out += data;
        out += "\r\n";
    }
    return out + "0\r\n\r\n";
}

void ParseChunkedBody(benchmark::State &state) {
    const size_t total = 64u << 20;
    const std::string bytes = ChunkedResponse(total, static_cast<size_t>(state.range(0)));
    DataBuffer body;
    body.EnsureCapacity(static_cast<uint32_t>(total));
    for (auto _ : state) {
        ResponseParser parser;
        body.Clear();
        size_t at = 0;
        ResponseParser::Result r = ResponseParser::Result::NeedMore;
        while (r != ResponseParser::Result::Done && r != ResponseParser::Result::Failed) {
            size_t n = bytes.size() - at < 65536 ? bytes.size() - at : 65536;
            size_t used = 0;
            r = parser.Feed(reinterpret_cast<const uint8_t *>(bytes.data()) + at, n, used, &body);
            at += used;
        }
        if (r != ResponseParser::Result::Done || body.Length() != total)
            state.SkipWithError("the body did not parse");
        benchmark::DoNotOptimize(body.Data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}

} // namespace

BENCHMARK(ParseChunkedBody)->Arg(16384)->Arg(256)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
