// bzip2 packing of the ".caf" store's header texts and bodies, through libbzip2's buffer and
// stream calls; unpacking is bounded so that a hostile stream cannot claim unbounded memory.
#pragma once
#include <cstdint>

namespace vantry {

class DataBuffer;

namespace CacheBzip2 {
// Largest output an entry's stream may unpack to.
constexpr uint32_t kMaxUnpacked = 256u * 1024u * 1024u;

// Appends the bzip2 stream of the bytes to out.
bool Pack(const void *bytes, uint32_t count, DataBuffer &out);
// Appends the unpacked bytes of exactly one complete stream; false for a damaged, truncated or
// oversized stream (out is then left as it was). A stream that would unpack to more than maxOut bytes
// is stopped there, with overLimit set (when given).
bool Unpack(const void *bytes, uint32_t count, DataBuffer &out, uint32_t maxOut = kMaxUnpacked,
            bool *overLimit = nullptr);
} // namespace CacheBzip2

} // namespace vantry
