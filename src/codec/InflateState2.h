// InflateState2: the library's own resumable raw DEFLATE (RFC 1951) decoder. Gzip feeds it a body;
// decoded bytes pass through a 32768-byte history window to an InflateSink.
#pragma once
#include <cstdint>
#include <memory>

namespace vantry {

class InflateSink;

class InflateState2 {
public:
    enum class Status {
        InProgress, // more input is expected
        Done,       // the final block ended; further input is ignored
        BadData,    // the data is not valid DEFLATE; decoding stopped at the fault
        SinkFull,   // the sink could not take a span; decoding stopped there
    };

    InflateState2();
    virtual ~InflateState2();
    InflateState2(const InflateState2 &) = delete;
    InflateState2 &operator=(const InflateState2 &) = delete;

    void SetSink(InflateSink *sink) { m_sink = sink; }

    // Consumes as much of the input as it can and hands every byte decoded so far to the sink.
    // Further calls continue where the previous one stopped. Never reads outside [data, data+count).
    void Inflate(const uint8_t *data, uint32_t count);

    Status GetStatus() const { return m_status; }
    uint64_t TotalOut() const { return m_totalOut; } // bytes delivered to the sink
    // Once the status is Done: how many of the last bytes given the DEFLATE data did not use (what follows
    // the final block, e.g. a gzip trailer). At most the bytes of the call that finished plus 8 held ones.
    uint32_t UnusedInput() const { return m_unusedAtEnd; }

private:
    enum class Mode {
        BlockHeader,
        StoredLengths,
        Stored,
        DynamicHeader,
        Precode,
        CodeLengths,
        Codes,
        Stopped
    };

    void Run();
    bool ReadStored();      // false: stop the run (need input or sink full)
    bool ReadCodeLengths(); // false: stop the run (need input or fault)
    bool DecodeCodes();     // false: stop the run (need input, fault or sink full)
    bool DecodeOneSymbol(); // the careful path near the end of the input
    void FastLoop();
    bool SlideWindow(); // hands the decode area to the sink and moves the history down
    bool Deliver(uint32_t end);
    void UseFixedTables();
    void RefillSlow();
    bool HaveBits(uint32_t n);
    void EndBlock();
    void Fail(Status status);

    // Input cursor of the current call.
    const uint8_t *m_in = nullptr;
    const uint8_t *m_inEnd = nullptr;
    uint64_t m_bitbuf = 0;
    uint32_t m_bitsLeft = 0;

    Mode m_mode = Mode::BlockHeader;
    Status m_status = Status::InProgress;
    bool m_finalBlock = false;
    bool m_tablesFixed = false;
    uint32_t m_storedLeft = 0;
    uint32_t m_numLitLen = 0;
    uint32_t m_numDist = 0;
    uint32_t m_numPrecode = 0;
    uint32_t m_have = 0;
    uint32_t m_litLenBits = 0;
    uint32_t m_distBits = 0;
    uint32_t m_precodeBits = 0;

    // Window: [0, 32768) history, [32768, 65536) new output, then slack for copies that overshoot.
    std::unique_ptr<uint8_t[]> m_window;
    uint32_t m_writePos = 0;
    uint32_t m_flushPos = 0;
    uint32_t m_histStart = 0; // oldest valid byte: distances may not reach below it
    InflateSink *m_sink = nullptr;
    uint64_t m_totalOut = 0;
    uint32_t m_unusedAtEnd = 0;

    // Huffman tables and the code lengths they are built from.
    std::unique_ptr<uint32_t[]> m_tables;
    uint8_t m_lens[288 + 32 + 8];
};

} // namespace vantry
