// CacheEntry: one entry of the ".caf" store (URL, header text, body, stamps and flag bytes) and its
// on-disk form: 32 fixed bytes, the URL with a zero byte, the bzip2 header text, the stored body.
#pragma once
#include <cstdint>

#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "core/VantryObject.h"

namespace vantry {

// The 32 fixed bytes at the start of an entry, decoded.
struct CacheEntryFields {
    uint32_t ValidatorCrc = 0;
    uint32_t BodyCrc = 0;
    uint8_t Negative = 0;
    uint8_t Flags = 0; // 0x02: body stored bzip2-compressed
    uint8_t Caller1 = 0;
    uint8_t Caller2 = 0;
    uint8_t StampWritten[4] = {0, 0, 0, 0}; // year - 2000, month, day, hour (UTC)
    uint8_t StampValid[4] = {0, 0, 0, 0};   // the same, or all zero for a negative entry
    uint32_t UrlLengthPlusOne = 0;
    uint32_t HeaderLength = 0; // compressed header bytes
    uint32_t BodyLength = 0;   // stored body bytes

    static constexpr uint32_t kSize = 32;
    static constexpr uint8_t kCompressedBody = 0x02;
    // The response came over TLS from a server whose certificate verified (files written before this
    // flag existed lack it, and their entries count as unverified).
    static constexpr uint8_t kVerifiedTls = 0x04;

    // Decodes the fixed bytes; false when fewer than kSize bytes are given.
    bool Decode(const uint8_t *bytes, uint32_t count);
    void Encode(uint8_t out[kSize]) const;
    // A negative entry: the negative byte set, or a validity stamp whose day byte is zero.
    bool IsNegative() const { return Negative != 0 || StampValid[2] == 0; }
};

class CacheEntry : public VantryObject {
public:
    CacheEntry() = default;
    ~CacheEntry() override = default;

    uint32_t UrlCrc = 0;
    StringBuffer Url;
    StringBuffer HeaderText;
    DataBuffer Body;
    CacheEntryFields Fields;

    // Appends the on-disk form: the header text always bzip2-compressed, the body compressed unless
    // the URL names a ".gif" or ".pdf" (letter case ignored). Fills the lengths and CRCs of Fields.
    bool Serialise(DataBuffer &out);
    // Reads the entry at offset of a whole ".caf" file; false for any length or stream that does
    // not fit (nothing of a damaged entry is kept). The body unpacks to at most maxBody bytes and the
    // header text to at most kMaxHeaderText: a larger entry is refused with overLimit set (when given),
    // having cost no more than those sizes.
    bool Load(const uint8_t *file, uint32_t fileSize, uint32_t offset, uint32_t maxBody,
              bool *overLimit = nullptr);

    // Largest header text read back (a response head, its terminating zero byte included).
    static constexpr uint32_t kMaxHeaderText = 300u * 1024u + 1u;

    // Whether the body of an entry for this URL is stored as it is (".gif" and ".pdf" URLs).
    static bool StoresBodyUncompressed(const char *url);
};

} // namespace vantry
