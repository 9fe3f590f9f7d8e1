// Fuzzes EncodingConvert::Convert over random pairs of code pages, error modes and input bytes.
// Input: byte 0 and 1 pick the source and target page, byte 2 the error mode, the rest is converted.
#include <cstddef>
#include <cstdint>

#include "codec/EncodingConvert.h"
#include "core/DataBuffer.h"
#include "core/LogNull.h"

using namespace vantry;

namespace {
const int32_t kPages[] = {
    1200,  1201,  65000, 65001, 65005, 65006, 50220, 50221, 50222, 50225, 932,   936,   949,   950,
    1361,  10001, 51932, 51936, 51949, 37,    437,   500,   708,   720,   850,   866,   874,   875,
    1047,  1140,  1250,  1251,  1252,  1253,  1255,  1256,  1258,  10000, 10004, 10005, 10021, 20105,
    20127, 20261, 20269, 20290, 20420, 20866, 20924, 21866, 28591, 28596, 28598, 38598, 0,     12345,
};
const int kPageCount = sizeof(kPages) / sizeof(kPages[0]);
const int32_t kModes[] = {0, 1, 2, 6, 7};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3)
        return 0;
    int32_t from = kPages[data[0] % kPageCount];
    int32_t to = kPages[data[1] % kPageCount];
    EncodingConvert converter;
    converter.SetErrorMode(kModes[data[2] % 5]);
    converter.SetSubstitution("?", (data[2] & 0x80) ? 1 : 0);
    converter.SetAlternateCodePage((data[2] & 0x40) ? 65001 : 0);
    LogNull log;
    DataBuffer out;
    converter.Convert(from, to, data + 3, static_cast<uint32_t>(size - 3), out, log);
    // And back again: whatever came out is input for the reverse direction.
    DataBuffer back;
    converter.Convert(to, from, out.Data(), out.Length(), back, log);
    return 0;
}
