// Fuzz target for the Q decoder: by length and zero-terminated, never longer than its input, and
// EncodeQ followed by DecodeQ gives every byte string back.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/ContentCoding.h"

using namespace vantry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ContentCoding coding;
    const uint32_t n = static_cast<uint32_t>(size);
    const std::string text(reinterpret_cast<const char *>(data), size);

    uint32_t outLength = 0;
    unsigned char *decoded = coding.DecodeQ(text.c_str(), n, &outLength);
    if (decoded == nullptr || outLength > n || decoded[outLength] != 0) {
        std::abort();
    }
    std::free(decoded);

    // Zero-terminated form: decodes the text up to its first zero byte.
    decoded = coding.DecodeQ(text.c_str(), 0, &outLength);
    if (decoded == nullptr || outLength > std::strlen(text.c_str())) {
        std::abort();
    }
    std::free(decoded);

    uint32_t encodedLength = 0;
    char *encoded = coding.EncodeQ(data, n, &encodedLength);
    if (encoded == nullptr) {
        std::abort();
    }
    decoded = coding.DecodeQ(encoded, encodedLength, &outLength);
    if (encodedLength > 0 && (decoded == nullptr || outLength != n || std::memcmp(decoded, data, n) != 0)) {
        std::abort();
    }
    std::free(decoded);
    std::free(encoded);
    return 0;
}
