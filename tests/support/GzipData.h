// Gzip data made by zlib, the reference the tests serve compressed bodies with.
#pragma once
#include <string>
#include <zlib.h>

namespace testsupport {

// `plain` as one gzip member, compressed by zlib at the given level.
inline std::string GzipOf(const std::string &plain, int level = 6) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, plain.size()) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(plain.data()));
    z.avail_in = static_cast<uInt>(plain.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

} // namespace testsupport
