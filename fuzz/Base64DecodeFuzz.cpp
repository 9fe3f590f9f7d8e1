// Fuzz target for the strict and lenient Base64 decoders: no crash, and the two agree wherever the
// strict one succeeds; encoding the input and decoding it again gives the input back.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/ContentCoding.h"
#include "core/DataBuffer.h"
#include "core/StringBuffer.h"

using namespace vantry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ContentCoding coding;
    const char *text = reinterpret_cast<const char *>(data);
    const uint32_t n = static_cast<uint32_t>(size);

    DataBuffer strict;
    const bool ok = coding.DecodeBase64(text, n, strict);
    uint32_t lenientLength = 0;
    unsigned char *lenient = coding.DecodeBase64Lenient(text, n, &lenientLength);
    if ((lenient == nullptr) != (size == 0)) {
        std::abort();
    }
    if (lenient != nullptr && lenient[lenientLength] != 0) {
        std::abort();
    }
    if (ok && size > 0 &&
        (strict.Length() != lenientLength ||
         (lenientLength > 0 && std::memcmp(strict.Data(), lenient, lenientLength) != 0))) {
        std::abort();
    }
    std::free(lenient);

    StringBuffer encoded;
    coding.EncodeBase64Wrapped(data, n, encoded);
    DataBuffer back;
    if (!coding.DecodeBase64(encoded.Text(), static_cast<uint32_t>(encoded.Length()), back) ||
        back.Length() != n || (n > 0 && std::memcmp(back.Data(), data, n) != 0)) {
        std::abort();
    }
    return 0;
}
