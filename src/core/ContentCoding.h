// ContentCoding: Base64 (wrapped and unwrapped, strict and lenient decoding), Q encoding and
// RFC 2047 encoded words. Returned blocks are zero-terminated, std::malloc'd, freed by the caller.
#pragma once
#include <cstdint>

namespace vantry {

class DataBuffer;
class StringBuffer;

class ContentCoding {
public:
    ContentCoding() = default;
    virtual ~ContentCoding() = default;

    void EncodeBase64Wrapped(const void *bytes, uint32_t count, StringBuffer &out) const;
    void EncodeBase64(const void *bytes, uint32_t count, StringBuffer &out) const;
    char *EncodeBase64Block(const void *bytes, uint32_t count, uint32_t *outLength) const;

    bool DecodeBase64(const char *text, uint32_t length, DataBuffer &out) const;
    unsigned char *DecodeBase64Lenient(const char *text, uint32_t length, uint32_t *outLength) const;
    void AppendDecodedBase64(StringBuffer &out, const char *text) const;

    char *EncodeQ(const void *bytes, uint32_t count, uint32_t *outLength) const;
    unsigned char *DecodeQ(const char *text, uint32_t length, uint32_t *outLength) const;

    void EncodeWordB(const void *bytes, uint32_t count, const char *charset, StringBuffer &out) const;
    void EncodeWordQ(const void *bytes, uint32_t count, const char *charset, StringBuffer &out) const;
    // Encoded words of whole texts: defined in codec/, since they convert between charsets.
    void EncodeWordsB(const char *text, uint32_t length, const char *charset, StringBuffer &out) const;
    void EncodeWordsQ(const char *text, uint32_t length, const char *charset, StringBuffer &out) const;
    void DecodeEncodedWords(StringBuffer &text) const;

    uint32_t LineLength() const { return m_lineLength; }

private:
    uint32_t m_lineLength = 72;
};

} // namespace vantry
