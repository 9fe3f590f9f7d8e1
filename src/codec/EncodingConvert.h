// EncodingConvert: converts byte strings between code pages; everything passes through UTF-16LE.
// Code pages are the Windows identifiers (65001 UTF-8, 1200 UTF-16LE, 1252 ANSI, ...).
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/VantryObject.h"

namespace vantry {

class ByteSink;
class DataBuffer;
class LogBase;
struct Utf16Text;

class EncodingConvert : public VantryObject {
public:
    EncodingConvert();
    ~EncodingConvert() override;

    // Error modes for a character that cannot be decoded or encoded:
    // 0 drop it (result false), 1 substitution bytes, 2 "&#x..;", 6 alternate code page, 7 raw bytes.
    void SetErrorMode(int32_t mode) { m_errorMode = mode; }
    int32_t ErrorMode() const { return m_errorMode; }
    void SetAlternateCodePage(int32_t codePage) { m_altCodePage = codePage; }
    void SetSubstitution(const void *bytes, int32_t count);

    // Appends the converted bytes to out; true when every character converted in every stage.
    bool Convert(int32_t fromCodePage, int32_t toCodePage, const void *bytes, uint32_t count, DataBuffer &out,
                 LogBase &log);
    bool ConvertByName(const char *fromName, const char *toName, const void *bytes, uint32_t count,
                       DataBuffer &out, LogBase &log);
    bool ConvertFromName(const char *fromName, int32_t toCodePage, const void *bytes, uint32_t count,
                         DataBuffer &out, LogBase &log);
    bool ConvertToName(int32_t fromCodePage, const char *toName, const void *bytes, uint32_t count,
                       DataBuffer &out, LogBase &log);
    bool FromAnsi(int32_t toCodePage, const void *bytes, uint32_t count, DataBuffer &out, LogBase &log);
    bool ToAnsi(int32_t fromCodePage, const void *bytes, uint32_t count, DataBuffer &out, LogBase &log);

    int32_t LastFromCodePage() const { return m_lastFrom; }
    int32_t LastToCodePage() const { return m_lastTo; }

    // Whether the last conversion met a character it could not convert (whatever the error mode did).
    bool ErrorSeen() const { return m_errorSeen; }

    // The routing of Convert into a private output block (also used by the codecs that go through
    // another code page, and by the tests of the stages).
    bool ConvertInto(int32_t fromCodePage, int32_t toCodePage, const uint8_t *bytes, size_t count,
                     ByteSink &out);

private:
    bool CoreOrTarget(int32_t from, int32_t to, const uint8_t *bytes, size_t count, ByteSink &out);
    bool CoreConvert(int32_t from, int32_t to, const uint8_t *bytes, size_t count, ByteSink &out);
    bool Decode(int32_t from, const uint8_t *bytes, size_t count, Utf16Text &text);
    bool EncodeText(int32_t to, const Utf16Text &text, ByteSink &out);
    bool EncodeUnits(int32_t to, const uint16_t *units, size_t count, ByteSink &out);
    size_t HandleUnencodable(int32_t to, const uint16_t *units, size_t index, size_t count, ByteSink &out,
                             bool *ok);
    bool EmitMark(int32_t to, const Utf16Text &text, size_t markIndex, ByteSink &out);
    void EmitAscii(int32_t to, const char *text, ByteSink &out);
    bool EncodeCodePoint(int32_t to, uint32_t codePoint, ByteSink &out);
    bool Finish(bool ok, ByteSink &sink, DataBuffer &out, LogBase &log);

    int32_t m_errorMode = 0;
    int32_t m_altCodePage = 0;
    unsigned char *m_subst = nullptr;
    int32_t m_substLen = 0;
    int32_t m_lastFrom = 0;
    int32_t m_lastTo = 0;
    bool m_errorSeen = false;
    int m_errorDepth = 0; // > 0 while error replacements are written: their own failures just drop
};

} // namespace vantry
