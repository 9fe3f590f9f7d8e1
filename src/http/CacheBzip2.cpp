// bzip2 packing and bounded unpacking for the ".caf" store.
#include "http/CacheBzip2.h"

#include <bzlib.h>
#include <cstring>

#include "core/DataBuffer.h"

namespace vantry {

namespace CacheBzip2 {

bool Pack(const void *bytes, uint32_t count, DataBuffer &out) {
    // Small entries need only the small block size; it also keeps the coder's memory small.
    int blockSize = static_cast<int>(count / 100000u) + 1;
    if (blockSize > 9)
        blockSize = 9;
    // The documented worst case: 1 % larger plus 600 bytes.
    uint64_t room64 = static_cast<uint64_t>(count) + count / 100u + 600u;
    if (room64 > 0xFFFFFFFFu - out.Length())
        return false;
    auto room = static_cast<unsigned int>(room64);
    uint32_t start = out.Length();
    if (!out.EnsureCapacity(start + room))
        return false;
    char empty = 0;
    char *src = count ? const_cast<char *>(static_cast<const char *>(bytes)) : &empty;
    int rc = BZ2_bzBuffToBuffCompress(reinterpret_cast<char *>(out.Data() + start), &room, src, count,
                                      blockSize, 0, 0);
    if (rc != BZ_OK)
        return false;
    out.SetLength(start + room);
    return true;
}

bool Unpack(const void *bytes, uint32_t count, DataBuffer &out, uint32_t maxOut, bool *overLimit) {
    if (overLimit)
        *overLimit = false;
    if (!bytes || count == 0)
        return false;
    // One byte of room beyond the limit tells a stream of exactly maxOut bytes from a longer one.
    uint32_t room = maxOut < 0xFFFFFFFFu ? maxOut + 1 : maxOut;
    bz_stream strm;
    std::memset(&strm, 0, sizeof strm);
    if (BZ2_bzDecompressInit(&strm, 0, 0) != BZ_OK)
        return false;
    uint32_t start = out.Length();
    strm.next_in = const_cast<char *>(static_cast<const char *>(bytes));
    strm.avail_in = count;
    uint32_t produced = 0;
    uint32_t chunk = count < 1024u ? 4096u : (count > 16u * 1024u * 1024u ? 64u * 1024u * 1024u : count * 4u);
    bool ok = false;
    for (;;) {
        if (produced >= room)
            break;
        // Room doubles with what was produced, so a large body costs linear time.
        uint32_t want = produced > chunk ? produced : chunk;
        if (want > room - produced)
            want = room - produced;
        if (!out.EnsureCapacity(start + produced + want))
            break;
        strm.next_out = reinterpret_cast<char *>(out.Data() + start + produced);
        strm.avail_out = want;
        int rc = BZ2_bzDecompress(&strm);
        produced += want - strm.avail_out;
        if (produced > maxOut) {
            if (overLimit)
                *overLimit = true;
            break;
        }
        if (rc == BZ_STREAM_END) {
            ok = strm.avail_in == 0; // bytes after the stream: not an entry this store wrote
            break;
        }
        if (rc != BZ_OK)
            break;
        if (strm.avail_in == 0 && strm.avail_out != 0)
            break; // truncated: all input consumed without the end of the stream
    }
    BZ2_bzDecompressEnd(&strm);
    out.SetLength(ok ? start + produced : start);
    return ok;
}

} // namespace CacheBzip2

} // namespace vantry
