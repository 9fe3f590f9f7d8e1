// Gzip: reads the member header, takes the trailer from the last 8 bytes, and inflates the bytes in
// between into the output buffer.
#include "codec/Gzip.h"

#include <algorithm>
#include <cstring>

#include "codec/InflateBufferSink.h"
#include "codec/InflateState2.h"
#include "core/Crc32.h"
#include "core/DataBuffer.h"
#include "core/LogBase.h"

namespace vantry {

namespace {

// The announced size (ISIZE) comes from the input, so the up-front reservation is capped; the
// buffer grows further only as decoded data really arrives.
constexpr uint64_t kMaxReservation = 16u << 20;

constexpr uint8_t kFlagHeaderCrc = 0x02;
constexpr uint8_t kFlagExtra = 0x04;
constexpr uint8_t kFlagName = 0x08;
constexpr uint8_t kFlagComment = 0x10;

// Skips a zero-terminated field at cursor; false when it runs to or past the end of the input.
// On success the field (with its terminator inside the input) is logged under name.
bool SkipZeroTerminated(const uint8_t *data, uint32_t size, uint32_t &cursor, const char *name,
                        LogBase &log) {
    const uint32_t start = cursor;
    while (cursor < size && data[cursor] != 0)
        ++cursor;
    if (cursor >= size || ++cursor >= size) {
        log.LogError("Buffer would have been overrun");
        return false;
    }
    log.LogData(name, reinterpret_cast<const char *>(data + start));
    return true;
}

} // namespace

bool Gzip::Decompress(const DataBuffer &in, DataBuffer &out, LogBase &log) {
    return Decompress(in, out, 0, nullptr, log);
}

bool Gzip::Decompress(const DataBuffer &in, DataBuffer &out, uint32_t maxOutput, bool *limitExceeded,
                      LogBase &log) {
    return Decompress(in, out, maxOutput, limitExceeded, nullptr, log);
}

bool Gzip::Decompress(const DataBuffer &in, DataBuffer &out, uint32_t maxOutput, bool *limitExceeded,
                      bool *intact, LogBase &log) {
    if (intact)
        *intact = false;
    out.Clear();
    if (limitExceeded)
        *limitExceeded = false;
    const uint8_t *data = in.Data();
    const uint32_t size = in.Length();
    if (size < 10) {
        log.LogError("Gzip data too small");
        return false;
    }
    if (data[0] != 0x1F || data[1] != 0x8B) {
        log.LogError("Invalid GZip ID");
        return false;
    }
    if (data[2] != 8) {
        log.LogError("Invalid GZip compression method");
        return false;
    }
    const uint8_t flags = data[3];
    uint32_t cursor = 10;

    if (flags & kFlagExtra) {
        log.LogInfo("Skipping extra data");
        if (cursor + 2 > size) {
            log.LogError("Buffer would have been overrun");
            return false;
        }
        const uint32_t extraSize = data[cursor] | (uint32_t(data[cursor + 1]) << 8);
        log.LogDataInt("extraSize", static_cast<int32_t>(extraSize));
        cursor += 2;
        if (cursor >= size || cursor + extraSize >= size) {
            log.LogError("Buffer would have been overrun");
            return false;
        }
        cursor += extraSize;
    }
    if (flags & kFlagName) {
        log.LogInfo("Skipping filename");
        if (!SkipZeroTerminated(data, size, cursor, "filename", log))
            return false;
    }
    if (flags & kFlagComment) {
        log.LogInfo("Skipping comment");
        if (!SkipZeroTerminated(data, size, cursor, "comment", log))
            return false;
    }
    if (flags & kFlagHeaderCrc) {
        cursor += 2;
        if (cursor >= size) {
            log.LogError("Buffer would have been overrun");
            return false;
        }
    }

    const uint32_t remaining = size - cursor;
    if (remaining < 8) {
        log.LogError("Not enough data for trailing CRC32 or ISIZE");
        return false;
    }
    if (remaining == 8) {
        if (intact)
            *intact = std::memcmp(data + cursor, "\0\0\0\0\0\0\0\0", 8) == 0;
        return true;
    }
    const uint32_t compressedSize = remaining - 8;
    const uint8_t *trailer = data + size - 8;
    const uint32_t isize = trailer[4] | (uint32_t(trailer[5]) << 8) | (uint32_t(trailer[6]) << 16) |
                           (uint32_t(trailer[7]) << 24);
    log.LogDataInt("CompressedSize", static_cast<int32_t>(compressedSize));
    log.LogDataInt("UncompressedSize", static_cast<int32_t>(isize));

    uint64_t reserve = std::min<uint64_t>(uint64_t(isize) + 200, kMaxReservation);
    if (maxOutput != 0)
        reserve = std::min<uint64_t>(reserve, uint64_t(maxOutput) + 200);
    out.EnsureCapacity(static_cast<uint32_t>(reserve));

    InflateBufferSink sink(out, maxOutput);
    sink.SetSizeHint(uint64_t(isize) + 200);
    InflateState2 inflater;
    inflater.SetSink(&sink);
    inflater.Inflate(data + cursor, compressedSize);

    if (sink.WriteFailed())
        return false;
    if (inflater.GetStatus() == InflateState2::Status::SinkFull) {
        log.LogError("Decoded data exceeds the size limit");
        log.LogDataInt("maxDecodedSize", static_cast<int32_t>(maxOutput));
        if (limitExceeded)
            *limitExceeded = true;
        return false;
    }
    if (intact) {
        uint32_t crc = trailer[0] | (uint32_t(trailer[1]) << 8) | (uint32_t(trailer[2]) << 16) |
                       (uint32_t(trailer[3]) << 24);
        *intact = inflater.GetStatus() == InflateState2::Status::Done && out.Length() == isize &&
                  Crc32::Compute(out.Data(), out.Length()) == crc;
    }
    return true;
}

} // namespace vantry
