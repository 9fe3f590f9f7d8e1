// EncodingConvert: routes a conversion between two code pages through UTF-16LE, with the stateful and
// Unicode encodings handled by their own codecs and the error modes applied at the encoding stage.
#include "codec/EncodingConvert.h"

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/ArabicPreparation.h"
#include "codec/ByteSink.h"
#include "codec/Charset.h"
#include "codec/CodePageTables.h"
#include "codec/Iso2022Codec.h"
#include "codec/MacArabicText.h"
#include "codec/MultiByteTable.h"
#include "codec/SingleByteTable.h"
#include "codec/Utf16Text.h"
#include "codec/Utf32Codec.h"
#include "codec/Utf7Codec.h"
#include "codec/Utf8Codec.h"
#include "core/DataBuffer.h"
#include "core/LogBase.h"
#include "platform/CodePages.h"

namespace vantry {

static_assert(std::endian::native == std::endian::little, "UTF-16LE units are copied as host units");

namespace {
bool IsHighSurrogate(uint16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(uint16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// Copies UTF-16 with the two bytes of every unit swapped; an odd trailing byte is dropped.
void SwapUnits(const uint8_t *p, size_t n, ByteSink &out) {
    size_t pairs = n / 2;
    uint8_t *o = out.Reserve(pairs * 2);
    for (size_t i = 0; i < pairs; ++i) {
        o[2 * i] = p[2 * i + 1];
        o[2 * i + 1] = p[2 * i];
    }
    out.Commit(pairs * 2);
}

void DecodeSingleByte(const SingleByteTable &table, const uint8_t *p, size_t n, Utf16Text &text) {
    const uint16_t *map = table.DecodeTable();
    size_t base = text.units.size();
    text.units.resize(base + n);
    uint16_t *u = text.units.data() + base;
    size_t w = 0;
    for (size_t i = 0; i < n; ++i) {
        uint16_t c = map[p[i]];
        if (c == 0 && p[i] != 0) {
            text.marks.push_back(
                Utf16Text::Mark{static_cast<uint32_t>(base + w), static_cast<uint32_t>(i), 1, 0, true});
            continue;
        }
        u[w++] = c;
    }
    text.units.resize(base + w);
}
bool AllAscii8(const uint8_t *p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return (w & 0x8080808080808080ull) == 0;
}

// Copies whole 8-byte groups of ASCII unchanged (pages whose ASCII half maps to itself), advancing i and o.
void CopyAsciiRun(const uint8_t *p, size_t n, size_t &i, uint8_t *&o) {
    while (i + 8 <= n && AllAscii8(p + i)) {
        std::memcpy(o, p + i, 8);
        o += 8;
        i += 8;
    }
}

// Single-byte text to UTF-8 in one pass; false (with out as it was) at the first unmapped byte.
bool SingleByteToUtf8(const SingleByteTable &table, const uint8_t *p, size_t n, ByteSink &out) {
    size_t start = out.Size();
    const uint16_t *map = table.DecodeTable();
    bool asciiSame = table.AsciiIsIdentity();
    uint8_t *o = out.Reserve(n * 3);
    uint8_t *const o0 = o;
    size_t i = 0;
    while (i < n) {
        if (asciiSame) {
            CopyAsciiRun(p, n, i, o);
            if (i >= n)
                break;
        }
        uint8_t b = p[i++];
        uint16_t c = map[b];
        if (c < 0x80) {
            if (c == 0 && b != 0) {
                out.Truncate(start);
                return false;
            }
            *o++ = static_cast<uint8_t>(c);
        } else if (c < 0x800) {
            *o++ = static_cast<uint8_t>(0xC0 | (c >> 6));
            *o++ = static_cast<uint8_t>(0x80 | (c & 0x3F));
        } else {
            *o++ = static_cast<uint8_t>(0xE0 | (c >> 12));
            *o++ = static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F));
            *o++ = static_cast<uint8_t>(0x80 | (c & 0x3F));
        }
    }
    out.Commit(static_cast<size_t>(o - o0));
    return true;
}

// UTF-8 to a single-byte page in one pass, by the library's decoding rules; false (with out as it was)
// at the first sequence that does not decode or character that the page lacks.
bool Utf8ToSingleByte(const SingleByteTable &table, const uint8_t *p, size_t n, ByteSink &out) {
    size_t start = out.Size();
    bool asciiSame = table.AsciiIsIdentity();
    uint8_t *o = out.Reserve(n);
    uint8_t *const o0 = o;
    size_t i = 0;
    while (i < n) {
        if (asciiSame) {
            CopyAsciiRun(p, n, i, o);
            if (i >= n)
                break;
        }
        uint8_t b0 = p[i];
        uint16_t c;
        if (b0 < 0x80) {
            c = b0;
            i += 1;
        } else if (b0 >= 0xC2 && b0 <= 0xDF && i + 1 < n && (p[i + 1] & 0xC0) == 0x80) {
            c = static_cast<uint16_t>(((b0 & 0x1F) << 6) | (p[i + 1] & 0x3F));
            i += 2;
        } else if (b0 >= 0xE0 && b0 <= 0xEF && i + 2 < n && (p[i + 1] & 0xC0) == 0x80 &&
                   (p[i + 2] & 0xC0) == 0x80 && (b0 != 0xE0 || p[i + 1] >= 0xA0)) {
            c = static_cast<uint16_t>(((b0 & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F));
            i += 3;
        } else {
            out.Truncate(start);
            return false;
        }
        if (!table.Encode(c, o)) {
            out.Truncate(start);
            return false;
        }
        ++o;
    }
    out.Commit(static_cast<size_t>(o - o0));
    return true;
}
} // namespace

EncodingConvert::EncodingConvert() = default;

EncodingConvert::~EncodingConvert() {
    std::free(m_subst);
}

void EncodingConvert::SetSubstitution(const void *bytes, int32_t count) {
    std::free(m_subst);
    m_subst = nullptr;
    m_substLen = 0;
    if (bytes == nullptr || count <= 0)
        return;
    m_subst = static_cast<unsigned char *>(std::malloc(static_cast<size_t>(count)));
    std::memcpy(m_subst, bytes, static_cast<size_t>(count));
    m_substLen = count;
}

bool EncodingConvert::Finish(bool ok, ByteSink &sink, DataBuffer &out, LogBase &log) {
    if (sink.Size() > 0 && !out.Append(sink.Data(), static_cast<uint32_t>(sink.Size()))) {
        log.LogError("Failed to append the converted bytes.");
        return false;
    }
    return ok;
}

bool EncodingConvert::Convert(int32_t fromCodePage, int32_t toCodePage, const void *bytes, uint32_t count,
                              DataBuffer &out, LogBase &log) {
    m_lastFrom = fromCodePage;
    m_lastTo = toCodePage;
    m_errorSeen = false;
    if (bytes == nullptr)
        count = 0;
    if (fromCodePage != toCodePage) {
        bool fromOk = CodePageTables::IsConvertible(fromCodePage);
        bool toOk = CodePageTables::IsConvertible(toCodePage);
        if (!fromOk || !toOk) {
            log.LogError("Unsupported code page.");
            log.LogDataInt("codePage", fromOk ? toCodePage : fromCodePage);
            return false;
        }
    }
    ByteSink sink;
    bool ok = ConvertInto(fromCodePage, toCodePage, static_cast<const uint8_t *>(bytes), count, sink);
    return Finish(ok, sink, out, log);
}

namespace {

// The code page of a charset name; an unknown name is logged.
bool KnownCodePage(const char *name, int32_t &codePage, LogBase &log) {
    codePage = CodePageForName(name);
    if (codePage != 0)
        return true;
    log.LogError("Unknown charset name.");
    log.LogData("charset", name ? name : "");
    return false;
}

} // namespace

bool EncodingConvert::ConvertByName(const char *fromName, const char *toName, const void *bytes,
                                    uint32_t count, DataBuffer &out, LogBase &log) {
    int32_t from = 0, to = 0;
    if (!KnownCodePage(fromName, from, log) || !KnownCodePage(toName, to, log))
        return false;
    return Convert(from, to, bytes, count, out, log);
}

bool EncodingConvert::ConvertFromName(const char *fromName, int32_t toCodePage, const void *bytes,
                                      uint32_t count, DataBuffer &out, LogBase &log) {
    int32_t from = 0;
    if (!KnownCodePage(fromName, from, log))
        return false;
    return Convert(from, toCodePage, bytes, count, out, log);
}

bool EncodingConvert::ConvertToName(int32_t fromCodePage, const char *toName, const void *bytes,
                                    uint32_t count, DataBuffer &out, LogBase &log) {
    int32_t to = 0;
    if (!KnownCodePage(toName, to, log))
        return false;
    return Convert(fromCodePage, to, bytes, count, out, log);
}

bool EncodingConvert::FromAnsi(int32_t toCodePage, const void *bytes, uint32_t count, DataBuffer &out,
                               LogBase &log) {
    return Convert(platform::kAnsiCodePage, toCodePage, bytes, count, out, log);
}

bool EncodingConvert::ToAnsi(int32_t fromCodePage, const void *bytes, uint32_t count, DataBuffer &out,
                             LogBase &log) {
    return Convert(fromCodePage, platform::kAnsiCodePage, bytes, count, out, log);
}

bool EncodingConvert::ConvertInto(int32_t from, int32_t to, const uint8_t *p, size_t n, ByteSink &out) {
    if (p == nullptr)
        n = 0;
    // 1. The same page: the bytes as they are.
    if (from == to) {
        out.Put(p, n);
        return true;
    }
    CodePageKind fromKind = CodePageTables::KindOf(from);
    CodePageKind toKind = CodePageTables::KindOf(to);
    if (fromKind == CodePageKind::None || toKind == CodePageKind::None)
        return false;

    // 2. x-mac-arabic text is rewritten in a copy first.
    if (from == 10004 && n > 0) {
        std::vector<uint8_t> copy(p, p + n);
        MacArabicText::Rewrite(copy.data(), copy.size());
        return CoreOrTarget(from, to, copy.data(), copy.size(), out);
    }
    // 3./4. The ISO-2022 sources go through their double-byte code pages.
    if (fromKind == CodePageKind::Iso2022Jp) {
        ByteSink sjis;
        Iso2022Codec::DecodeJp(p, n, sjis);
        return ConvertInto(932, to, sjis.Data(), sjis.Size(), out);
    }
    if (fromKind == CodePageKind::Iso2022Kr) {
        ByteSink uhc;
        Iso2022Codec::DecodeKr(p, n, uhc);
        return ConvertInto(949, to, uhc.Data(), uhc.Size(), out);
    }
    return CoreOrTarget(from, to, p, n, out);
}

bool EncodingConvert::CoreOrTarget(int32_t from, int32_t to, const uint8_t *p, size_t n, ByteSink &out) {
    // 5. Targets that are reached through another page.
    switch (CodePageTables::KindOf(to)) {
    case CodePageKind::Utf16BE: {
        ByteSink le;
        // UTF-16 input goes through the core conversion so that its byte-order mark is honoured.
        bool ok = from == 1200 ? CoreConvert(1200, 1200, p, n, le) : ConvertInto(from, 1200, p, n, le);
        SwapUnits(le.Data(), le.Size(), out);
        return ok;
    }
    case CodePageKind::Iso2022Jp: {
        ByteSink sjis;
        bool ok = ConvertInto(from, 932, p, n, sjis);
        return Iso2022Codec::EncodeJp(sjis.Data(), sjis.Size(), out) && ok;
    }
    case CodePageKind::Iso2022Kr: {
        ByteSink uhc;
        bool ok = ConvertInto(from, 949, p, n, uhc);
        return Iso2022Codec::EncodeKr(uhc.Data(), uhc.Size(), out) && ok;
    }
    case CodePageKind::Utf7: {
        ByteSink le;
        bool ok = ConvertInto(from, 1200, p, n, le);
        Utf7Codec::Encode(reinterpret_cast<const uint16_t *>(le.Data()), le.Size() / 2, out);
        return ok;
    }
    case CodePageKind::Utf32LE:
    case CodePageKind::Utf32BE: {
        ByteSink utf8;
        bool ok = ConvertInto(from, 65001, p, n, utf8);
        if (!Utf32Codec::EncodeFromUtf8(utf8.Data(), utf8.Size(), to == 65006, out))
            ok = false;
        return ok;
    }
    default:
        return CoreConvert(from, to, p, n, out);
    }
}

bool EncodingConvert::CoreConvert(int32_t from, int32_t to, const uint8_t *p, size_t n, ByteSink &out) {
    if (n == 0)
        return true;
    // Byte-order marks of the source.
    CodePageKind fromKind = CodePageTables::KindOf(from);
    if (fromKind == CodePageKind::Utf16LE || fromKind == CodePageKind::Utf16BE) {
        if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
            from = 1201;
            p += 2;
            n -= 2;
        } else if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
            from = 1200;
            p += 2;
            n -= 2;
        }
    } else if (fromKind == CodePageKind::Utf8 && n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
        p += 3;
        n -= 3;
    }
    if (n == 0)
        return true;
    if (from == to) {
        out.Put(p, n);
        return true;
    }

    // Bring the source to UTF-16LE or UTF-8.
    ByteSink staged;
    fromKind = CodePageTables::KindOf(from);
    if (fromKind == CodePageKind::Utf16BE) {
        SwapUnits(p, n, staged);
        bool ok = (n % 2) == 0;
        if (!ok)
            m_errorSeen = true;
        return CoreConvert(1200, to, staged.Data(), staged.Size(), out) && ok;
    }
    if (fromKind == CodePageKind::Utf32LE || fromKind == CodePageKind::Utf32BE) {
        bool bigEndian = fromKind == CodePageKind::Utf32BE;
        if (to == 65001) {
            // Straight to UTF-8, characters beyond the BMP as their four-byte sequences.
            bool ok = Utf32Codec::DecodeToUtf8(p, n, bigEndian, out);
            if (!ok)
                m_errorSeen = true;
            return ok;
        }
        // Other targets take the units (surrogate pairs for characters beyond the BMP) directly, so that
        // the BMP-only UTF-8 decoder does not lose them on the way.
        Utf16Text text;
        text.source = p;
        Utf32Codec::DecodeToUtf16(p, n, bigEndian, text);
        return EncodeText(to, text, out);
    }
    CodePageKind toKind = CodePageTables::KindOf(to);
    if (fromKind == CodePageKind::Utf8 && toKind == CodePageKind::Utf8) {
        out.Put(p, n);
        return true;
    }

    // The common single-byte <-> UTF-8 conversions in one pass, as long as every character converts;
    // anything else starts over on the general path below.
    if (fromKind == CodePageKind::SingleByte && toKind == CodePageKind::Utf8) {
        const SingleByteTable *table = CodePageTables::SingleByte(from);
        if (table != nullptr && SingleByteToUtf8(*table, p, n, out))
            return true;
    } else if (fromKind == CodePageKind::Utf8 && toKind == CodePageKind::SingleByte &&
               !ArabicPreparation::AppliesTo(to)) {
        const SingleByteTable *table = CodePageTables::SingleByte(to);
        if (table != nullptr && Utf8ToSingleByte(*table, p, n, out))
            return true;
    }

    Utf16Text text;
    if (!Decode(from, p, n, text))
        return false;
    return EncodeText(to, text, out);
}

bool EncodingConvert::Decode(int32_t from, const uint8_t *p, size_t n, Utf16Text &text) {
    text.source = p;
    switch (CodePageTables::KindOf(from)) {
    case CodePageKind::Utf16LE: {
        size_t units = n / 2;
        text.units.resize(units);
        if (units > 0)
            std::memcpy(text.units.data(), p, units * 2);
        if (n % 2)
            text.AddMark(static_cast<uint32_t>(n - 1), 1, true);
        return true;
    }
    case CodePageKind::Utf8:
        Utf8Codec::Decode(p, n, text);
        return true;
    case CodePageKind::Utf7:
        Utf7Codec::Decode(p, n, text);
        return true;
    case CodePageKind::SingleByte: {
        const SingleByteTable *table = CodePageTables::SingleByte(from);
        if (table == nullptr)
            return false;
        DecodeSingleByte(*table, p, n, text);
        return true;
    }
    case CodePageKind::MultiByte: {
        const MultiByteTable *table = CodePageTables::MultiByte(from);
        if (table == nullptr)
            return false;
        table->Decode(p, n, text);
        return true;
    }
    default:
        return false;
    }
}

bool EncodingConvert::EncodeText(int32_t to, const Utf16Text &text, ByteSink &out) {
    bool ok = true;
    size_t pos = 0;
    const uint16_t *units = text.units.data();
    for (size_t m = 0; m < text.marks.size(); ++m) {
        size_t at = text.marks[m].at;
        if (at > pos) {
            if (!EncodeUnits(to, units + pos, at - pos, out))
                ok = false;
            pos = at;
        }
        if (!EmitMark(to, text, m, out))
            ok = false;
    }
    if (pos < text.units.size() && !EncodeUnits(to, units + pos, text.units.size() - pos, out))
        ok = false;
    return ok;
}

bool EncodingConvert::EncodeUnits(int32_t to, const uint16_t *u, size_t n, ByteSink &out) {
    switch (CodePageTables::KindOf(to)) {
    case CodePageKind::Utf16LE:
        out.Put(u, n * 2);
        return true;
    case CodePageKind::Utf8:
        Utf8Codec::Encode(u, n, out);
        return true;
    case CodePageKind::SingleByte: {
        const SingleByteTable *table = CodePageTables::SingleByte(to);
        if (table == nullptr)
            return false;
        std::vector<uint16_t> prepared;
        if (ArabicPreparation::AppliesTo(to) && ArabicPreparation::NeedsWork(u, n)) {
            ArabicPreparation::Prepare(u, n, prepared);
            u = prepared.data();
            n = prepared.size();
        }
        bool ok = true;
        size_t i = 0;
        while (i < n) {
            uint8_t *o = out.Reserve(n - i);
            size_t w = 0;
            while (i < n && table->Encode(u[i], o + w)) {
                ++w;
                ++i;
            }
            out.Commit(w);
            if (i < n)
                i += HandleUnencodable(to, u, i, n, out, &ok);
        }
        return ok;
    }
    case CodePageKind::MultiByte: {
        const MultiByteTable *table = CodePageTables::MultiByte(to);
        if (table == nullptr)
            return false;
        bool ok = true;
        size_t i = 0;
        while (i < n) {
            uint8_t *o = out.Reserve((n - i) * 4);
            size_t w = 0;
            int len;
            while (i < n && (len = table->Encode(u[i], o + w)) > 0) {
                w += static_cast<size_t>(len);
                ++i;
            }
            out.Commit(w);
            if (i < n)
                i += HandleUnencodable(to, u, i, n, out, &ok);
        }
        return ok;
    }
    default:
        // Pages reached only through routing (UTF-16BE, UTF-7, UTF-32, ISO-2022) as error targets.
        if (m_errorDepth > 0) {
            ByteSink le;
            le.Put(u, n * 2);
            return ConvertInto(1200, to, le.Data(), le.Size(), out);
        }
        return false;
    }
}

size_t EncodingConvert::HandleUnencodable(int32_t to, const uint16_t *u, size_t i, size_t n, ByteSink &out,
                                          bool *ok) {
    m_errorSeen = true;
    size_t used = 1;
    uint32_t cp = u[i];
    if (IsHighSurrogate(u[i]) && i + 1 < n && IsLowSurrogate(u[i + 1])) {
        cp = 0x10000 + ((static_cast<uint32_t>(u[i]) - 0xD800) << 10) + (u[i + 1] - 0xDC00);
        used = 2;
    }
    if (m_errorDepth > 0) {
        *ok = false; // a replacement that itself cannot be written is dropped
        return used;
    }
    ++m_errorDepth;
    switch (m_errorMode) {
    case 1:
        if (m_substLen > 0)
            out.Put(m_subst, static_cast<size_t>(m_substLen));
        else
            *ok = false;
        break;
    case 2: {
        // A character reference by code point, so that HTML readers get the character back.
        char entity[16];
        std::snprintf(entity, sizeof(entity), "&#x%X;", cp);
        EmitAscii(to, entity, out);
        break;
    }
    case 6: {
        int32_t alt = m_altCodePage != 0 ? m_altCodePage : to;
        if (alt == to || !EncodeCodePoint(alt, cp, out))
            *ok = false;
        break;
    }
    case 7:
        out.Put(u + i, used * 2);
        break;
    default:
        *ok = false;
        break;
    }
    --m_errorDepth;
    return used;
}

bool EncodingConvert::EmitMark(int32_t to, const Utf16Text &text, size_t index, ByteSink &out) {
    const Utf16Text::Mark &mark = text.marks[index];
    m_errorSeen = true;
    const uint8_t *raw = text.source != nullptr ? text.source + mark.srcOffset : nullptr;
    bool ok = !mark.counts;
    ++m_errorDepth;
    switch (m_errorMode) {
    case 1:
        if (m_substLen > 0) {
            out.Put(m_subst, static_cast<size_t>(m_substLen));
            ok = true;
        }
        break;
    case 2: {
        char entity[80];
        if (mark.codePoint != 0) {
            std::snprintf(entity, sizeof(entity), "&#x%X;", mark.codePoint);
        } else if (raw != nullptr) {
            int w = std::snprintf(entity, sizeof(entity), "&#x");
            for (uint32_t k = 0; k < mark.length && w < 70; ++k)
                w += std::snprintf(entity + w, sizeof(entity) - static_cast<size_t>(w), "%02X", raw[k]);
            std::snprintf(entity + w, sizeof(entity) - static_cast<size_t>(w), ";");
        } else {
            break;
        }
        EmitAscii(to, entity, out);
        ok = true;
        break;
    }
    case 6:
        if (mark.codePoint != 0) {
            int32_t alt = m_altCodePage != 0 ? m_altCodePage : to;
            if (alt != to && EncodeCodePoint(alt, mark.codePoint, out))
                ok = true;
        }
        break;
    case 7:
        if (raw != nullptr) {
            out.Put(raw, mark.length);
            ok = true;
        }
        break;
    default:
        break;
    }
    --m_errorDepth;
    return ok;
}

void EncodingConvert::EmitAscii(int32_t to, const char *text, ByteSink &out) {
    uint16_t units[96];
    size_t n = 0;
    for (; text[n] != 0 && n < 96; ++n)
        units[n] = static_cast<unsigned char>(text[n]);
    ++m_errorDepth;
    EncodeUnits(to, units, n, out);
    --m_errorDepth;
}

bool EncodingConvert::EncodeCodePoint(int32_t to, uint32_t cp, ByteSink &out) {
    uint16_t units[2];
    size_t n = 1;
    if (cp >= 0x10000) {
        units[0] = static_cast<uint16_t>(0xD800 + ((cp - 0x10000) >> 10));
        units[1] = static_cast<uint16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        n = 2;
    } else {
        units[0] = static_cast<uint16_t>(cp);
    }
    if (to == 65001 && n == 2) {
        // The alternate page UTF-8 gets the character as its one four-byte sequence.
        uint8_t *o = out.Reserve(4);
        o[0] = static_cast<uint8_t>(0xF0 | (cp >> 18));
        o[1] = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
        o[2] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
        o[3] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
        out.Commit(4);
        return true;
    }
    return EncodeUnits(to, units, n, out);
}

} // namespace vantry
