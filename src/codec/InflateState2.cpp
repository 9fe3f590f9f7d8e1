// InflateState2: raw DEFLATE decoding. Huffman codes are decoded through a two-level table of packed
// 32-bit entries (one lookup for most symbols); a fast loop runs while input and window have room.
#include "codec/InflateState2.h"

#include <algorithm>
#include <cstring>

#include "codec/InflateSink.h"

namespace vantry {

namespace {

// Window layout: 32768 bytes of history, then the decode area up to kWindowEnd, then slack that lets
// copies overshoot the end of a match by a few bytes.
constexpr uint32_t kHistory = 32768;
constexpr uint32_t kWindowEnd = 65536;
constexpr uint32_t kWindowAlloc = kWindowEnd + 1024;

// Table sizes: the largest a valid code can need with these primary widths (288 symbols, 11 bits,
// codes up to 15 bits; 32 symbols, 8 bits; 19 symbols, 7 bits).
constexpr uint32_t kLitLenTableBits = 11;
constexpr uint32_t kDistTableBits = 8;
constexpr uint32_t kPrecodeTableBits = 7;
constexpr uint32_t kLitLenEnough = 2342;
constexpr uint32_t kDistEnough = 402;
constexpr uint32_t kPrecodeEnough = 128;
constexpr uint32_t kDistOffset = kLitLenEnough;
constexpr uint32_t kPrecodeOffset = kLitLenEnough + kDistEnough;
constexpr uint32_t kTableTotal = kLitLenEnough + kDistEnough + kPrecodeEnough;

// Entry layout: bits 0-7 bits to consume (code length plus extra bits), bits 8-11 code length
// (subtable width for a subtable pointer), bits 16-30 value (literal, length or distance base,
// precode symbol, subtable start), bit 31 literal. Exceptional entries: subtable pointer,
// end of block, or an invalid code.
constexpr uint32_t kLiteral = 0x80000000u;
constexpr uint32_t kExceptional = 0x8000u;
constexpr uint32_t kSubtable = 0x4000u;
constexpr uint32_t kEndOfBlock = 0x2000u;
constexpr uint32_t kInvalidEntry = kExceptional | 1;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kPrecodeOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Per-symbol entry templates: value and flags, extra-bit count in the low byte. The code length is
// added when the table is built.
struct Templates {
    uint32_t litLen[288];
    uint32_t dist[32];
    uint32_t precode[19];
    constexpr Templates() : litLen(), dist(), precode() {
        for (uint32_t s = 0; s < 256; ++s)
            litLen[s] = kLiteral | (s << 16);
        litLen[256] = kExceptional | kEndOfBlock;
        for (uint32_t s = 257; s < 286; ++s)
            litLen[s] = (uint32_t(kLengthBase[s - 257]) << 16) | kLengthExtra[s - 257];
        litLen[286] = litLen[287] = kExceptional;
        for (uint32_t s = 0; s < 30; ++s)
            dist[s] = (uint32_t(kDistBase[s]) << 16) | kDistExtra[s];
        dist[30] = dist[31] = kExceptional;
        for (uint32_t s = 0; s < 19; ++s)
            precode[s] = s << 16;
    }
};
constexpr Templates kTemplates;

inline uint64_t Load64(const uint8_t *p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v; // little-endian host (x86-64, aarch64)
}

inline void Copy8(uint8_t *dst, const uint8_t *src) {
    std::memcpy(dst, src, 8);
}

struct ByteReversal {
    uint8_t table[256];
    constexpr ByteReversal() : table() {
        for (uint32_t b = 0; b < 256; ++b) {
            uint32_t r = 0;
            for (uint32_t i = 0; i < 8; ++i)
                r |= ((b >> i) & 1u) << (7 - i);
            table[b] = uint8_t(r);
        }
    }
};
constexpr ByteReversal kByteReversal;

// The low len bits of code in reverse order (Huffman codes are packed starting at their first bit).
inline uint32_t Reverse(uint32_t code, uint32_t len) {
    const uint32_t r16 =
        (uint32_t(kByteReversal.table[code & 0xFF]) << 8) | kByteReversal.table[(code >> 8) & 0xFF];
    return r16 >> (16 - len);
}

// Builds a decode table for the code lengths lens[0..num). Fails for an over-subscribed set, and for
// an incomplete one unless incompleteOk and the set is a single one-bit code. An empty set gives a
// table in which every code is invalid (the block fails only if it uses the code). With fullWidth the
// primary table always has maxTableBits index bits, so the fast loop can mask with a constant.
bool BuildTable(uint32_t *table, uint32_t &tableBits, const uint8_t *lens, uint32_t num,
                const uint32_t *templates, uint32_t maxTableBits, uint32_t enough, bool incompleteOk,
                bool fullWidth) {
    uint32_t count[16] = {};
    for (uint32_t s = 0; s < num; ++s)
        count[lens[s]]++;
    count[0] = 0;
    uint32_t maxLen = 15;
    while (maxLen > 0 && count[maxLen] == 0)
        --maxLen;
    if (maxLen == 0) {
        tableBits = fullWidth ? maxTableBits : 1;
        std::fill(table, table + (1u << tableBits), kInvalidEntry);
        return true;
    }
    int32_t left = 1;
    for (uint32_t len = 1; len <= 15; ++len) {
        left = (left << 1) - int32_t(count[len]);
        if (left < 0)
            return false;
    }
    if (left > 0 && !(incompleteOk && maxLen == 1))
        return false;
    // A complete code overwrites every slot; only an incomplete one leaves slots that must say invalid.
    const bool incomplete = left > 0;

    uint16_t offsets[17];
    offsets[1] = 0;
    for (uint32_t len = 1; len < 16; ++len)
        offsets[len + 1] = uint16_t(offsets[len] + count[len]);
    uint16_t sorted[288];
    for (uint32_t s = 0; s < num; ++s)
        if (lens[s] != 0)
            sorted[offsets[lens[s]]++] = uint16_t(s);

    const uint32_t tb = fullWidth ? maxTableBits : std::min(maxTableBits, maxLen);
    tableBits = tb;
    const uint32_t primarySize = 1u << tb;
    if (incomplete)
        std::fill(table, table + primarySize, kInvalidEntry);

    uint32_t remaining[16];
    std::memcpy(remaining, count, sizeof remaining);
    uint32_t nextSub = primarySize;
    uint32_t curPrefix = ~0u, subStart = 0, subBits = 0;
    uint32_t code = 0, idx = 0;
    for (uint32_t len = 1; len <= maxLen; ++len, code <<= 1) {
        for (uint32_t k = 0; k < count[len]; ++k, ++code) {
            const uint32_t sym = sorted[idx++];
            const uint32_t rev = Reverse(code, len);
            if (len <= tb) {
                const uint32_t e = templates[sym] + (len << 8) + len;
                for (uint32_t i = rev; i < primarySize; i += 1u << len)
                    table[i] = e;
            } else {
                const uint32_t prefix = rev & (primarySize - 1);
                if (prefix != curPrefix) {
                    // Size the subtable to hold every remaining code that shares this prefix.
                    curPrefix = prefix;
                    subBits = len - tb;
                    int32_t room = 1 << subBits;
                    while (subBits + tb < maxLen) {
                        room -= int32_t(remaining[subBits + tb]);
                        if (room <= 0)
                            break;
                        ++subBits;
                        room <<= 1;
                    }
                    subStart = nextSub;
                    nextSub += 1u << subBits;
                    if (nextSub > enough)
                        return false;
                    if (incomplete)
                        std::fill(table + subStart, table + nextSub, kInvalidEntry);
                    table[prefix] = kExceptional | kSubtable | (subStart << 16) | (subBits << 8) | tb;
                }
                const uint32_t subLen = len - tb;
                const uint32_t e = templates[sym] + (subLen << 8) + subLen;
                for (uint32_t i = rev >> tb; i < (1u << subBits); i += 1u << subLen)
                    table[subStart + i] = e;
            }
            remaining[len]--;
        }
    }
    return true;
}

inline uint32_t ExtraBits(uint64_t saved, uint32_t entry) {
    return uint32_t((saved & ((uint64_t(1) << (entry & 0xFF)) - 1)) >> ((entry >> 8) & 0xF));
}

// Copies a match of length bytes from dist bytes back; may write up to 15 bytes past its end.
inline uint8_t *CopyMatch(uint8_t *out, uint32_t dist, uint32_t length) {
    uint8_t *dst = out;
    const uint8_t *src = out - dist;
    uint8_t *const end = out + length;
    if (dist >= 16) {
        do {
            std::memcpy(dst, src, 16);
            dst += 16;
            src += 16;
        } while (dst < end);
    } else if (dist >= 8) {
        do {
            Copy8(dst, src);
            dst += 8;
            src += 8;
        } while (dst < end);
    } else if (dist == 1) {
        const uint64_t v = uint64_t(*src) * 0x0101010101010101ull;
        do {
            std::memcpy(dst, &v, 8);
            dst += 8;
        } while (dst < end);
    } else {
        // Each 8-byte store is right in its first dist bytes; the next store repairs the rest.
        do {
            Copy8(dst, src);
            dst += dist;
            src += dist;
        } while (dst < end);
    }
    return end;
}

} // namespace

InflateState2::InflateState2()
    // Neither block needs clearing: tables are built before use, and bytes past the write position
    // (where match copies may overshoot) are overwritten before they are delivered or referenced.
    : m_window(new uint8_t[kWindowAlloc]), m_tables(new uint32_t[kTableTotal]), m_lens() {
    m_writePos = m_flushPos = m_histStart = kHistory;
}

InflateState2::~InflateState2() = default;

void InflateState2::Fail(Status status) {
    m_mode = Mode::Stopped;
    m_status = status;
}

void InflateState2::EndBlock() {
    if (m_finalBlock) {
        m_mode = Mode::Stopped;
        m_status = Status::Done;
    } else {
        m_mode = Mode::BlockHeader;
    }
}

// Refills when fewer than n bits are buffered; false when the input has run out before n bits.
bool InflateState2::HaveBits(uint32_t n) {
    if (m_bitsLeft < n)
        RefillSlow();
    return m_bitsLeft >= n;
}

void InflateState2::RefillSlow() {
    while (m_bitsLeft <= 55 && m_in < m_inEnd) {
        m_bitbuf |= uint64_t(*m_in++) << m_bitsLeft;
        m_bitsLeft += 8;
    }
}

void InflateState2::Inflate(const uint8_t *data, uint32_t count) {
    if (m_mode == Mode::Stopped || (data == nullptr && count != 0))
        return;
    m_in = data;
    m_inEnd = data + count;
    Run();
    if (m_status == Status::Done) // whole bytes still in the bit buffer were not used either
        m_unusedAtEnd = static_cast<uint32_t>(m_inEnd - m_in) + m_bitsLeft / 8;
    // Every byte decoded so far goes to the sink, also when the data stops short or turns corrupt.
    if (m_status != Status::SinkFull)
        Deliver(m_writePos);
    m_in = m_inEnd = nullptr;
}

bool InflateState2::Deliver(uint32_t end) {
    if (end <= m_flushPos)
        return true;
    const uint32_t n = end - m_flushPos;
    if (m_sink == nullptr || m_sink->SpaceAvailable() < n) {
        Fail(Status::SinkFull);
        return false;
    }
    const uint32_t written = m_sink->Write(m_window.get() + m_flushPos, n);
    m_totalOut += written;
    if (written < n) {
        Fail(Status::SinkFull);
        return false;
    }
    m_flushPos = end;
    return true;
}

bool InflateState2::SlideWindow() {
    if (!Deliver(kWindowEnd))
        return false;
    uint8_t *win = m_window.get();
    std::memmove(win, win + kHistory, m_writePos - kHistory);
    m_writePos -= kHistory;
    m_flushPos = std::max(m_flushPos, kWindowEnd) - kHistory;
    m_histStart = 0;
    return true;
}

void InflateState2::UseFixedTables() {
    if (m_tablesFixed)
        return;
    uint8_t lens[288];
    std::fill(lens, lens + 144, 8);
    std::fill(lens + 144, lens + 256, 9);
    std::fill(lens + 256, lens + 280, 7);
    std::fill(lens + 280, lens + 288, 8);
    uint32_t *tables = m_tables.get();
    BuildTable(tables, m_litLenBits, lens, 288, kTemplates.litLen, kLitLenTableBits, kLitLenEnough, false,
               true);
    std::fill(lens, lens + 32, 5);
    BuildTable(tables + kDistOffset, m_distBits, lens, 32, kTemplates.dist, kDistTableBits, kDistEnough,
               false, true);
    m_tablesFixed = true;
}

void InflateState2::Run() {
    for (;;) {
        switch (m_mode) {
        case Mode::BlockHeader: {
            if (!HaveBits(3))
                return;
            m_finalBlock = (m_bitbuf & 1) != 0;
            const uint32_t type = uint32_t(m_bitbuf >> 1) & 3;
            m_bitbuf >>= 3;
            m_bitsLeft -= 3;
            if (type == 0) {
                // Stored: skip to the byte boundary.
                m_bitbuf >>= (m_bitsLeft & 7);
                m_bitsLeft -= (m_bitsLeft & 7);
                m_mode = Mode::StoredLengths;
            } else if (type == 1) {
                UseFixedTables();
                m_mode = Mode::Codes;
            } else if (type == 2) {
                m_mode = Mode::DynamicHeader;
            } else {
                Fail(Status::BadData);
                return;
            }
            break;
        }
        case Mode::StoredLengths: {
            if (!HaveBits(32))
                return;
            const uint32_t len = uint32_t(m_bitbuf) & 0xFFFF;
            const uint32_t nlen = uint32_t(m_bitbuf >> 16) & 0xFFFF;
            if (len != (~nlen & 0xFFFF)) {
                Fail(Status::BadData);
                return;
            }
            m_bitbuf >>= 32;
            m_bitsLeft -= 32;
            m_storedLeft = len;
            m_mode = Mode::Stored;
            break;
        }
        case Mode::Stored:
            if (!ReadStored())
                return;
            break;
        case Mode::DynamicHeader: {
            if (!HaveBits(14))
                return;
            m_numLitLen = (uint32_t(m_bitbuf) & 0x1F) + 257;
            m_numDist = (uint32_t(m_bitbuf >> 5) & 0x1F) + 1;
            m_numPrecode = (uint32_t(m_bitbuf >> 10) & 0xF) + 4;
            m_bitbuf >>= 14;
            m_bitsLeft -= 14;
            if (m_numLitLen > 286 || m_numDist > 30) {
                Fail(Status::BadData);
                return;
            }
            m_have = 0;
            m_mode = Mode::Precode;
            break;
        }
        case Mode::Precode: {
            // The precode lengths are kept in m_lens[288..306] until the precode table is built.
            uint8_t *pre = m_lens + 288;
            while (m_have < m_numPrecode) {
                if (!HaveBits(3))
                    return;
                pre[kPrecodeOrder[m_have++]] = uint8_t(m_bitbuf & 7);
                m_bitbuf >>= 3;
                m_bitsLeft -= 3;
            }
            for (uint32_t i = m_numPrecode; i < 19; ++i)
                pre[kPrecodeOrder[i]] = 0;
            if (!BuildTable(m_tables.get() + kPrecodeOffset, m_precodeBits, pre, 19, kTemplates.precode,
                            kPrecodeTableBits, kPrecodeEnough, false, false)) {
                Fail(Status::BadData);
                return;
            }
            m_tablesFixed = false;
            m_have = 0;
            m_mode = Mode::CodeLengths;
            break;
        }
        case Mode::CodeLengths:
            if (!ReadCodeLengths())
                return;
            break;
        case Mode::Codes:
            if (!DecodeCodes())
                return;
            break;
        case Mode::Stopped:
            return;
        }
    }
}

bool InflateState2::ReadStored() {
    uint8_t *win = m_window.get();
    while (m_storedLeft > 0) {
        if (m_writePos >= kWindowEnd && !SlideWindow())
            return false;
        uint32_t room = kWindowEnd - m_writePos;
        // Whole bytes already in the bit buffer come first.
        while (m_bitsLeft >= 8 && m_storedLeft > 0 && room > 0) {
            win[m_writePos++] = uint8_t(m_bitbuf);
            m_bitbuf >>= 8;
            m_bitsLeft -= 8;
            --m_storedLeft;
            --room;
        }
        if (m_storedLeft == 0 || room == 0)
            continue;
        const uint32_t n = std::min({m_storedLeft, room, static_cast<uint32_t>(m_inEnd - m_in)});
        if (n == 0)
            return false;
        std::memcpy(win + m_writePos, m_in, n);
        m_writePos += n;
        m_in += n;
        m_storedLeft -= n;
    }
    EndBlock();
    return true;
}

bool InflateState2::ReadCodeLengths() {
    const uint32_t *pre = m_tables.get() + kPrecodeOffset;
    const uint32_t total = m_numLitLen + m_numDist;
    while (m_have < total) {
        RefillSlow();
        const uint32_t entry = pre[m_bitbuf & ((1u << m_precodeBits) - 1)];
        const uint32_t n = entry & 0xFF;
        if (n > m_bitsLeft)
            return false;
        if (entry & kExceptional) {
            Fail(Status::BadData);
            return false;
        }
        const uint32_t sym = entry >> 16;
        if (sym < 16) {
            m_bitbuf >>= n;
            m_bitsLeft -= n;
            m_lens[m_have++] = uint8_t(sym);
            continue;
        }
        const uint32_t extra = sym == 16 ? 2 : sym == 17 ? 3 : 7;
        if (n + extra > m_bitsLeft)
            return false;
        const uint32_t value = uint32_t(m_bitbuf >> n) & ((1u << extra) - 1);
        m_bitbuf >>= n + extra;
        m_bitsLeft -= n + extra;
        uint8_t fill = 0;
        uint32_t repeat;
        if (sym == 16) {
            if (m_have == 0) {
                Fail(Status::BadData);
                return false;
            }
            fill = m_lens[m_have - 1];
            repeat = 3 + value;
        } else if (sym == 17) {
            repeat = 3 + value;
        } else {
            repeat = 11 + value;
        }
        if (repeat > total - m_have) {
            Fail(Status::BadData);
            return false;
        }
        std::memset(m_lens + m_have, fill, repeat);
        m_have += repeat;
    }
    uint32_t *tables = m_tables.get();
    if (m_lens[256] == 0 ||
        !BuildTable(tables, m_litLenBits, m_lens, m_numLitLen, kTemplates.litLen, kLitLenTableBits,
                    kLitLenEnough, true, true) ||
        !BuildTable(tables + kDistOffset, m_distBits, m_lens + m_numLitLen, m_numDist, kTemplates.dist,
                    kDistTableBits, kDistEnough, true, true)) {
        Fail(Status::BadData);
        return false;
    }
    m_mode = Mode::Codes;
    return true;
}

bool InflateState2::DecodeCodes() {
    for (;;) {
        if (m_writePos >= kWindowEnd && !SlideWindow())
            return false;
        FastLoop();
        if (m_mode != Mode::Codes)
            return m_mode != Mode::Stopped;
        if (m_writePos >= kWindowEnd)
            continue;
        if (!DecodeOneSymbol())
            return false;
        if (m_mode != Mode::Codes)
            return m_mode != Mode::Stopped;
    }
}

bool InflateState2::DecodeOneSymbol() {
    RefillSlow();
    const uint32_t *litTable = m_tables.get();
    const uint32_t *distTable = litTable + kDistOffset;
    uint64_t bb = m_bitbuf;
    uint32_t bl = m_bitsLeft;

    uint32_t entry = litTable[bb & ((1u << m_litLenBits) - 1)];
    if (entry & kSubtable) {
        const uint32_t t = entry & 0xFF;
        if (t > bl)
            return false;
        bb >>= t;
        bl -= t;
        entry = litTable[(entry >> 16) + (bb & ((1u << ((entry >> 8) & 0xF)) - 1))];
    }
    uint32_t n = entry & 0xFF;
    if (n > bl)
        return false;
    if (entry & kLiteral) {
        m_bitbuf = bb >> n;
        m_bitsLeft = bl - n;
        m_window[m_writePos++] = uint8_t(entry >> 16);
        return true;
    }
    if (entry & kExceptional) {
        if (entry & kEndOfBlock) {
            m_bitbuf = bb >> n;
            m_bitsLeft = bl - n;
            EndBlock();
            return true;
        }
        Fail(Status::BadData);
        return false;
    }
    const uint32_t length = (entry >> 16) + ExtraBits(bb, entry);
    bb >>= n;
    bl -= n;

    entry = distTable[bb & ((1u << m_distBits) - 1)];
    if (entry & kSubtable) {
        const uint32_t t = entry & 0xFF;
        if (t > bl)
            return false;
        bb >>= t;
        bl -= t;
        entry = distTable[(entry >> 16) + (bb & ((1u << ((entry >> 8) & 0xF)) - 1))];
    }
    n = entry & 0xFF;
    if (n > bl)
        return false;
    if (entry & kExceptional) {
        Fail(Status::BadData);
        return false;
    }
    const uint32_t dist = (entry >> 16) + ExtraBits(bb, entry);
    if (dist > m_writePos - m_histStart) {
        Fail(Status::BadData);
        return false;
    }
    m_bitbuf = bb >> n;
    m_bitsLeft = bl - n;
    uint8_t *out = m_window.get() + m_writePos;
    CopyMatch(out, dist, length);
    m_writePos += length;
    return true;
}

void InflateState2::FastLoop() {
    constexpr ptrdiff_t kInputMargin = 16;
    const uint8_t *in = m_in;
    if (m_inEnd - in < kInputMargin)
        return;
    const uint8_t *const inLimit = m_inEnd - kInputMargin;
    uint8_t *const win = m_window.get();
    uint8_t *out = win + m_writePos;
    uint8_t *const outLimit = win + kWindowEnd;
    const uint8_t *const histStart = win + m_histStart;
    const uint32_t *const litTable = m_tables.get();
    const uint32_t *const distTable = litTable + kDistOffset;
    constexpr uint64_t litMask = (uint64_t(1) << kLitLenTableBits) - 1;
    constexpr uint64_t distMask = (uint64_t(1) << kDistTableBits) - 1;
    uint64_t bitbuf = m_bitbuf;
    uint32_t bitsLeft = m_bitsLeft;
    enum { Running, BlockEnd, Fault } result = Running;

    // Branch-free refill: fills the buffer to 56..63 bits, taking only whole bytes. Bits above
    // bitsLeft may hold the start of the next byte; they are the same bits the next refill ORs in.
#define VANTRY_REFILL()                                                                                      \
    do {                                                                                                     \
        bitbuf |= Load64(in) << bitsLeft;                                                                    \
        in += (63 - bitsLeft) >> 3;                                                                          \
        bitsLeft |= 56;                                                                                      \
    } while (0)
#define VANTRY_CONSUME(n)                                                                                    \
    do {                                                                                                     \
        bitbuf >>= (n);                                                                                      \
        bitsLeft -= (n);                                                                                     \
    } while (0)

    // Loop invariant: the buffer has just been refilled and entry is the literal/length entry for
    // its low bits, so the table lookup of the next symbol overlaps the copy of the current match.
    if (in < inLimit && out < outLimit) {
        VANTRY_REFILL();
        uint32_t entry = litTable[bitbuf & litMask];
        while (true) {
            if (entry & kLiteral) {
                // Up to three literals per refill: each takes at most 15 of the 56 bits.
                VANTRY_CONSUME(entry & 0xFF);
                *out++ = uint8_t(entry >> 16);
                entry = litTable[bitbuf & litMask];
                if (entry & kLiteral) {
                    VANTRY_CONSUME(entry & 0xFF);
                    *out++ = uint8_t(entry >> 16);
                    entry = litTable[bitbuf & litMask];
                    if (entry & kLiteral) {
                        VANTRY_CONSUME(entry & 0xFF);
                        *out++ = uint8_t(entry >> 16);
                        if (in >= inLimit || out >= outLimit)
                            break;
                        VANTRY_REFILL();
                        entry = litTable[bitbuf & litMask];
                        continue;
                    }
                }
                VANTRY_REFILL();
            }
            if (entry & kExceptional) {
                if (entry & kSubtable) {
                    VANTRY_CONSUME(entry & 0xFF);
                    entry = litTable[(entry >> 16) + (bitbuf & ((1u << ((entry >> 8) & 0xF)) - 1))];
                    if (entry & kLiteral) {
                        VANTRY_CONSUME(entry & 0xFF);
                        *out++ = uint8_t(entry >> 16);
                        if (in >= inLimit || out >= outLimit)
                            break;
                        VANTRY_REFILL();
                        entry = litTable[bitbuf & litMask];
                        continue;
                    }
                }
                if (entry & kExceptional) {
                    if (entry & kEndOfBlock) {
                        VANTRY_CONSUME(entry & 0xFF);
                        result = BlockEnd;
                    } else {
                        result = Fault;
                    }
                    break;
                }
            }
            // Length, then distance: at most 20 + 28 bits, within the 56 the refill guarantees.
            uint64_t saved = bitbuf;
            VANTRY_CONSUME(entry & 0xFF);
            const uint32_t length = (entry >> 16) + ExtraBits(saved, entry);
            entry = distTable[bitbuf & distMask];
            if (entry & kExceptional) {
                if (entry & kSubtable) {
                    VANTRY_CONSUME(entry & 0xFF);
                    entry = distTable[(entry >> 16) + (bitbuf & ((1u << ((entry >> 8) & 0xF)) - 1))];
                }
                if (entry & kExceptional) {
                    result = Fault;
                    break;
                }
            }
            saved = bitbuf;
            VANTRY_CONSUME(entry & 0xFF);
            const uint32_t dist = (entry >> 16) + ExtraBits(saved, entry);
            if (dist > uint32_t(out - histStart)) {
                result = Fault;
                break;
            }
            uint8_t *const matchAt = out;
            out += length;
            if (in < inLimit && out < outLimit) {
                VANTRY_REFILL();
                entry = litTable[bitbuf & litMask];
                CopyMatch(matchAt, dist, length);
                continue;
            }
            CopyMatch(matchAt, dist, length);
            break;
        }
    }
#undef VANTRY_REFILL
#undef VANTRY_CONSUME

    m_in = in;
    m_bitbuf = bitbuf & ((uint64_t(1) << bitsLeft) - 1);
    m_bitsLeft = bitsLeft;
    m_writePos = uint32_t(out - win);
    if (result == BlockEnd)
        EndBlock();
    else if (result == Fault)
        Fail(Status::BadData);
}

} // namespace vantry
