// ".caf" entries: the fixed fields, the packed form and the bounded reading of a stored entry.
#include "http/CacheEntry.h"

#include <cstring>

#include "core/Crc32.h"
#include "http/CacheBytes.h"
#include "http/CacheBzip2.h"
#include "http/CacheFileDir.h"

namespace vantry {

bool CacheEntryFields::Decode(const uint8_t *bytes, uint32_t count) {
    if (!bytes || count < kSize)
        return false;
    ValidatorCrc = LoadLe32(bytes);
    BodyCrc = LoadLe32(bytes + 4);
    Negative = bytes[8];
    Flags = bytes[9];
    Caller1 = bytes[10];
    Caller2 = bytes[11];
    std::memcpy(StampWritten, bytes + 12, 4);
    std::memcpy(StampValid, bytes + 16, 4);
    UrlLengthPlusOne = LoadLe32(bytes + 20);
    HeaderLength = LoadLe32(bytes + 24);
    BodyLength = LoadLe32(bytes + 28);
    return true;
}

void CacheEntryFields::Encode(uint8_t out[kSize]) const {
    StoreLe32(out, ValidatorCrc);
    StoreLe32(out + 4, BodyCrc);
    out[8] = Negative;
    out[9] = Flags;
    out[10] = Caller1;
    out[11] = Caller2;
    std::memcpy(out + 12, StampWritten, 4);
    std::memcpy(out + 16, StampValid, 4);
    StoreLe32(out + 20, UrlLengthPlusOne);
    StoreLe32(out + 24, HeaderLength);
    StoreLe32(out + 28, BodyLength);
}

bool CacheEntry::StoresBodyUncompressed(const char *url) {
    return url && (FindNoCase(url, ".gif") || FindNoCase(url, ".pdf"));
}

bool CacheEntry::Serialise(DataBuffer &out) {
    DataBuffer header;
    DataBuffer packedHeader;
    header.Append(HeaderText.Text(), static_cast<uint32_t>(HeaderText.Length()));
    header.AppendByte(0);
    if (!CacheBzip2::Pack(header.Data(), header.Length(), packedHeader))
        return false;

    DataBuffer packedBody;
    const DataBuffer *storedBody = &Body;
    if (StoresBodyUncompressed(Url.Text())) {
        Fields.Flags &= static_cast<uint8_t>(~CacheEntryFields::kCompressedBody);
    } else {
        if (!CacheBzip2::Pack(Body.Data(), Body.Length(), packedBody))
            return false;
        Fields.Flags |= CacheEntryFields::kCompressedBody;
        storedBody = &packedBody;
    }
    Fields.BodyCrc = Crc32::Compute(Body.Data(), Body.Length());
    Fields.UrlLengthPlusOne = static_cast<uint32_t>(Url.Length()) + 1;
    Fields.HeaderLength = packedHeader.Length();
    Fields.BodyLength = storedBody->Length();

    uint8_t fixed[CacheEntryFields::kSize];
    Fields.Encode(fixed);
    return out.Append(fixed, sizeof fixed) && out.Append(Url.Text(), Fields.UrlLengthPlusOne) &&
           out.AppendData(packedHeader) && out.AppendData(*storedBody);
}

bool CacheEntry::Load(const uint8_t *file, uint32_t fileSize, uint32_t offset, uint32_t maxBody,
                      bool *overLimit) {
    if (overLimit)
        *overLimit = false;
    CacheEntryFields fields;
    if (!file || offset < CacheFileDir::kSize || offset > fileSize ||
        !fields.Decode(file + offset, fileSize - offset))
        return false;
    uint64_t at = static_cast<uint64_t>(offset) + CacheEntryFields::kSize;
    uint64_t end = at + fields.UrlLengthPlusOne + fields.HeaderLength + fields.BodyLength;
    if (fields.UrlLengthPlusOne == 0 || fields.HeaderLength == 0 || end > fileSize)
        return false;

    const uint8_t *url = file + at;
    uint32_t urlLength = fields.UrlLengthPlusOne - 1;
    if (url[urlLength] != 0 || std::memchr(url, 0, urlLength))
        return false;
    at += fields.UrlLengthPlusOne;

    DataBuffer header;
    bool over = false;
    if (!CacheBzip2::Unpack(file + at, fields.HeaderLength, header, kMaxHeaderText, &over) ||
        header.Length() == 0 || header.Data()[header.Length() - 1] != 0) {
        if (overLimit)
            *overLimit = over;
        return false;
    }
    at += fields.HeaderLength;

    DataBuffer body;
    bool compressed = (fields.Flags & CacheEntryFields::kCompressedBody) != 0;
    if (!compressed && fields.BodyLength > maxBody)
        over = true;
    bool bodyOk =
        !over && (compressed ? CacheBzip2::Unpack(file + at, fields.BodyLength, body, maxBody, &over)
                             : body.Append(file + at, fields.BodyLength));
    if (over && overLimit)
        *overLimit = true;
    if (!bodyOk || Crc32::Compute(body.Data(), body.Length()) != fields.BodyCrc)
        return false;

    Fields = fields;
    Url.Clear();
    Url.AppendBytes(url, static_cast<int32_t>(urlLength));
    UrlCrc = Crc32::Compute(url, urlLength);
    HeaderText.Clear();
    HeaderText.AppendBytes(header.Data(), static_cast<int32_t>(header.Length() - 1));
    Body.Clear();
    Body.TakeOver(&body);
    return true;
}

} // namespace vantry
