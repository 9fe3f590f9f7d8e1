// ContentCoding's RFC 2047 encoded words of whole texts: long texts cut into words by characters, and
// decoding of every encoded word in a text. They convert between charsets, so they are defined here in
// codec rather than with the rest of ContentCoding in core.
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "codec/Charset.h"
#include "codec/EncodingConvert.h"
#include "core/AsciiText.h"
#include "core/ContentCoding.h"
#include "core/DataBuffer.h"
#include "core/LogNull.h"
#include "core/StableInput.h"
#include "core/StringBuffer.h"

namespace vantry {

namespace {

constexpr int32_t kUtf8CodePage = 65001;
constexpr int32_t kUtf16CodePage = 1200;

// Finds the two-byte sequence a b in [from, end) of text; returns its position or -1.
int64_t FindPair(const char *text, int64_t from, int64_t end, char a, char b) {
    for (int64_t i = from; i + 1 < end; ++i) {
        if (text[i] == a && text[i + 1] == b) {
            return i;
        }
    }
    return -1;
}

// Splits a long text into encoded words of at most pieceBytes bytes of UTF-16LE each, converted back
// to the charset, joined by CR LF TAB. A piece never ends between the two units of a surrogate pair.
void EncodeWordsInPieces(const ContentCoding &coding, const char *text, uint32_t length, const char *charset,
                         uint32_t pieceBytes, bool q, StringBuffer &out) {
    int32_t codePage = CodePageForName(charset);
    if (codePage == 0) {
        codePage = kUtf8CodePage;
    }
    EncodingConvert converter;
    LogNull log;
    DataBuffer utf16;
    if (!converter.Convert(codePage, kUtf16CodePage, text, length, utf16, log) && !converter.ErrorSeen() &&
        utf16.Length() == 0) {
        // A charset that is named but has no conversion: cut the bytes as they are, one byte for each
        // UTF-16 unit a piece would hold, rather than lose the text.
        const uint32_t perPiece = pieceBytes / 2;
        for (uint64_t pos = 0; pos < length; pos += perPiece) {
            if (pos > 0) {
                out.Append("\r\n\t");
            }
            const uint32_t take = static_cast<uint32_t>(length - pos < perPiece ? length - pos : perPiece);
            if (q) {
                coding.EncodeWordQ(text + pos, take, charset, out);
            } else {
                coding.EncodeWordB(text + pos, take, charset, out);
            }
        }
        return;
    }
    const uint8_t *units = utf16.Data();
    const uint32_t unitCount = utf16.Length() / 2;
    const uint32_t perPiece = pieceBytes / 2;
    bool wroteWord = false;
    for (uint32_t pos = 0; pos < unitCount;) {
        uint32_t take = unitCount - pos < perPiece ? unitCount - pos : perPiece;
        if (take > 1 && pos + take < unitCount) {
            const uint32_t lastIndex = pos + take - 1;
            const uint16_t last =
                static_cast<uint16_t>(units[lastIndex * 2] | (units[lastIndex * 2 + 1] << 8));
            if (last >= 0xD800 && last <= 0xDBFF) {
                --take; // keep the pair together in the next piece
            }
        }
        DataBuffer piece;
        converter.Convert(kUtf16CodePage, codePage, units + size_t{pos} * 2, take * 2, piece, log);
        if (piece.Length() > 0) {
            if (wroteWord) {
                out.Append("\r\n\t");
            }
            if (q) {
                coding.EncodeWordQ(piece.Data(), piece.Length(), charset, out);
            } else {
                coding.EncodeWordB(piece.Data(), piece.Length(), charset, out);
            }
            wroteWord = true;
        }
        pos += take;
    }
}

} // namespace

void ContentCoding::EncodeWordsB(const char *text, uint32_t length, const char *charset,
                                 StringBuffer &out) const {
    if (text == nullptr || length == 0 || charset == nullptr) {
        return;
    }
    if (length <= 23) {
        EncodeWordB(text, length, charset, out);
        return;
    }
    const StableInput input(text, length, out);
    const StableInput name(charset, std::strlen(charset) + 1, out);
    EncodeWordsInPieces(*this, input.Chars(), length, name.Chars(), 24, false, out);
}

void ContentCoding::EncodeWordsQ(const char *text, uint32_t length, const char *charset,
                                 StringBuffer &out) const {
    if (text == nullptr || length == 0 || charset == nullptr) {
        return;
    }
    if (length <= 34) {
        EncodeWordQ(text, length, charset, out);
        return;
    }
    const StableInput input(text, length, out);
    const StableInput name(charset, std::strlen(charset) + 1, out);
    EncodeWordsInPieces(*this, input.Chars(), length, name.Chars(), 34, true, out);
}

void ContentCoding::DecodeEncodedWords(StringBuffer &text) const {
    const std::string_view view = text.View();
    const char *s = view.data();
    const int64_t n = static_cast<int64_t>(view.size());
    if (FindPair(s, 0, n, '=', '?') < 0) {
        return;
    }
    StringBuffer result(StringBuffer::Increment{static_cast<int32_t>(n) + 1});
    // The scan only moves forward, so the last search for "?=" answers every later search that
    // starts between its start and its hit (or anywhere after its start when it found nothing).
    // This keeps texts full of unterminated "=?" linear.
    int64_t closeSearchFrom = -1;
    int64_t closeFound = -1;
    auto findClose = [&](int64_t from) {
        if (closeSearchFrom < 0 || from < closeSearchFrom || (closeFound >= 0 && from > closeFound)) {
            closeSearchFrom = from;
            closeFound = FindPair(s, from, n, '?', '=');
        }
        return closeFound;
    };
    int64_t pos = 0;
    while (pos < n) {
        const int64_t start = FindPair(s, pos, n, '=', '?');
        if (start < 0) {
            result.AppendBytes(s + pos, static_cast<int32_t>(n - pos));
            break;
        }
        result.AppendBytes(s + pos, static_cast<int32_t>(start - pos));

        // "=?" charset "?" encoding "?" encoded-text "?="
        const int64_t nameStart = start + 2;
        const void *q = std::memchr(s + nameStart, '?', static_cast<size_t>(n - nameStart));
        const int64_t nameEnd = q == nullptr ? -1 : static_cast<const char *>(q) - s;
        int64_t textEnd = -1;
        if (nameEnd >= 0 && nameEnd + 2 < n && s[nameEnd + 2] == '?') {
            textEnd = findClose(nameEnd + 3);
        }
        if (textEnd < 0) {
            // Not an encoded word: its "=?" is ordinary text and the scan goes on after it.
            result.AppendBytes(s + start, 2);
            pos = start + 2;
            continue;
        }
        pos = textEnd + 2;
        const char *encoded = s + nameEnd + 3;
        const uint32_t encodedLen = static_cast<uint32_t>(textEnd - (nameEnd + 3));
        if (encodedLen == 0) {
            continue;
        }
        std::string_view name(s + nameStart, static_cast<size_t>(nameEnd - nameStart));
        std::string charset(name);
        if (ascii::EqualsNoCase(name, "8bit")) {
            charset = "utf-8";
        }
        const char selector = s[nameEnd + 1];
        uint32_t decodedLen = 0;
        unsigned char *decoded = (selector == 'B' || selector == 'b')
                                     ? DecodeBase64Lenient(encoded, encodedLen, &decodedLen)
                                     : DecodeQ(encoded, encodedLen, &decodedLen);
        if (decoded == nullptr) {
            continue;
        }
        bool copied = false;
        if (decodedLen > 0 && !ascii::EqualsNoCase(charset, "utf-8") && IsKnownCharset(charset.c_str())) {
            EncodingConvert converter;
            LogNull log;
            DataBuffer utf8;
            const bool ok =
                converter.ConvertFromName(charset.c_str(), kUtf8CodePage, decoded, decodedLen, utf8, log);
            // A charset that is named but has no conversion gives nothing at all: keep the raw bytes then.
            if (ok || utf8.Length() > 0) {
                result.AppendData(utf8);
                copied = true;
            }
        }
        if (!copied) {
            result.AppendBytes(decoded, static_cast<int32_t>(decodedLen));
        }
        std::free(decoded);
    }
    text.SetBuffer(result);
}

} // namespace vantry
