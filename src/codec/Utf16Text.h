// Utf16Text: the converter's intermediate form, UTF-16 code units plus the input spans that could not
// be decoded (the error marking carried between the decoding and the encoding stage).
#pragma once
#include <cstdint>
#include <vector>

namespace vantry {

struct Utf16Text {
    // One undecodable input span; its replacement (by error mode) goes before units[at].
    struct Mark {
        uint32_t at;        // unit index
        uint32_t srcOffset; // offset of the raw bytes in the decoded input
        uint32_t length;    // number of raw bytes
        uint32_t codePoint; // the character when known (a well-formed 4-byte UTF-8 sequence), else 0
        bool counts;        // whether it makes the conversion result false (UTF-8 errors do not)
    };

    std::vector<uint16_t> units;
    std::vector<Mark> marks;
    const uint8_t *source = nullptr; // the decoded input, for the raw bytes of the marks

    void Clear() {
        units.clear();
        marks.clear();
        source = nullptr;
    }
    void AddMark(uint32_t srcOffset, uint32_t length, bool counts, uint32_t codePoint = 0) {
        marks.push_back(Mark{static_cast<uint32_t>(units.size()), srcOffset, length, codePoint, counts});
    }
};

} // namespace vantry
