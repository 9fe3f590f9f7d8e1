// Fuzz target for DecodeEncodedWords on arbitrary header values, and for EncodeWordsB/Q followed by
// decoding: plain ASCII text survives the round trip apart from the folding breaks.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/ContentCoding.h"
#include "core/StringBuffer.h"

using namespace vantry;

namespace {
std::string WithoutFolding(std::string s) {
    for (size_t p; (p = s.find("\r\n\t")) != std::string::npos;) {
        s.erase(p, 3);
    }
    return s;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ContentCoding coding;
    const std::string input(reinterpret_cast<const char *>(data), size);

    StringBuffer header(input.data(), static_cast<int32_t>(size), 0);
    coding.DecodeEncodedWords(header);
    if (input.find("=?") == std::string::npos && std::string(header.View()) != input) {
        std::abort();
    }

    if (size == 0) {
        return 0;
    }
    static const char *const kCharsets[] = {"utf-8",    "iso-8859-1", "windows-1252",
                                            "us-ascii", "utf-16",     "x-bogus"};
    const char *charset = kCharsets[data[0] % 6];
    const std::string text = input.substr(1);
    StringBuffer words;
    if (data[0] & 0x80) {
        coding.EncodeWordsB(text.data(), static_cast<uint32_t>(text.size()), charset, words);
    } else {
        coding.EncodeWordsQ(text.data(), static_cast<uint32_t>(text.size()), charset, words);
    }
    coding.DecodeEncodedWords(words);

    bool plainAscii = charset[0] != 'u' || charset[4] != '1'; // every charset here but UTF-16 keeps ASCII
    for (unsigned char c : text) {
        plainAscii = plainAscii && c >= 0x01 && c < 0x7F && c != '\r';
    }
    if (plainAscii && WithoutFolding(std::string(words.View())) != text) {
        std::abort();
    }
    return 0;
}
