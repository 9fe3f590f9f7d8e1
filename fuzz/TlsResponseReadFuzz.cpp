// libFuzzer target for the TLS response readers: arbitrary decrypted bytes, cut into records of sizes the
// input chooses, through the record byte source the TLS channel uses, then the framing (head and body, also
// with the first record handed over as bytes already received). The result must not depend on where the
// records end.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/DataBuffer.h"
#include "core/LogNull.h"
#include "http/HttpResponseHeader.h"
#include "http/RecordByteSource.h"
#include "http/ResponseFraming.h"

using namespace vantry;

namespace {

// Records from memory; after the last one the session ends by close_notify or by the peer's close.
class MemoryRecordSource : public RecordByteSource {
public:
    MemoryRecordSource(std::vector<std::string> records, bool closeNotify)
        : m_records(std::move(records)), m_closeNotify(closeNotify) {}
    uint32_t ReadTimeoutMs() const override { return 1000; }
    void SetReadTimeoutMs(uint32_t) override {}
    void Close() override { m_next = m_records.size() + 1; }

protected:
    Status NextRecords(DataBuffer &out, LogBase &) override {
        if (m_next < m_records.size()) {
            const std::string &r = m_records[m_next++];
            out.Append(r.data(), static_cast<uint32_t>(r.size()));
            return Status::Got;
        }
        ++m_next;
        return m_closeNotify ? Status::Closed : Status::ClosedUnclean;
    }

private:
    std::vector<std::string> m_records;
    size_t m_next = 0;
    bool m_closeNotify;
};

std::vector<std::string> Cut(const std::string &bytes, const std::vector<uint32_t> &sizes) {
    std::vector<std::string> records;
    size_t at = 0;
    for (size_t i = 0; at < bytes.size(); ++i) {
        // Empty records stand for those that carry no application data (tickets, key updates).
        uint32_t n = sizes.empty() ? static_cast<uint32_t>(bytes.size()) : sizes[i % sizes.size()];
        records.push_back(bytes.substr(at, n));
        at += n;
    }
    return records;
}

bool ReadResponse(const std::vector<std::string> &records, bool closeNotify, uint32_t limit,
                  std::string &body) {
    MemoryRecordSource src(records, closeNotify);
    ResponseFraming framing;
    LogNull log;
    DataBuffer out;
    if (framing.ReadHead(src, log) != ResponseFraming::HeadResult::Ok)
        return false;
    bool ok = framing.ReadBody(src, limit, out, log);
    if (ok && limit && out.Length() > limit)
        std::abort();
    body.assign(reinterpret_cast<const char *>(out.Data()), out.Length());
    return ok;
}

// The same response with its first record handed over as bytes received before (as with a head read).
bool ReadPrimed(const std::vector<std::string> &records, bool closeNotify, uint32_t limit,
                std::string &body) {
    if (records.empty())
        return false;
    MemoryRecordSource src(std::vector<std::string>(records.begin() + 1, records.end()), closeNotify);
    src.Prime(reinterpret_cast<const uint8_t *>(records[0].data()), static_cast<uint32_t>(records[0].size()));
    ResponseFraming framing;
    LogNull log;
    DataBuffer out;
    if (framing.ReadHead(src, log) != ResponseFraming::HeadResult::Ok)
        return false;
    bool ok = framing.ReadBody(src, limit, out, log);
    body.assign(reinterpret_cast<const char *>(out.Data()), out.Length());
    return ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3)
        return 0;
    // Byte 0: the framing, the limit and the end of the session; byte 1: how many record sizes follow.
    static const char *const kHeads[] = {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
                                         "HTTP/1.1 200 OK\r\nContent-Length: 64\r\n\r\n",
                                         "HTTP/1.1 200 OK\r\n\r\n", ""};
    uint8_t flags = data[0];
    size_t count = data[1] % 8;
    if (size < 2 + count)
        return 0;
    std::vector<uint32_t> sizes;
    for (size_t i = 0; i < count; ++i)
        sizes.push_back(data[2 + i] % 40);
    bool allEmpty = true;
    for (uint32_t s : sizes)
        allEmpty = allEmpty && s == 0;
    if (allEmpty)
        sizes.clear();
    std::string bytes = kHeads[flags % 4];
    bytes.append(reinterpret_cast<const char *>(data + 2 + count), size - 2 - count);
    bool closeNotify = flags & 0x10;
    uint32_t limit = flags & 0x80 ? 200 : 0;

    std::string whole, pieces;
    bool a = ReadResponse({bytes}, closeNotify, limit, whole);
    bool b = ReadResponse(Cut(bytes, sizes), closeNotify, limit, pieces);
    if (a != b || (a && whole != pieces))
        std::abort();

    std::string primedPieces;
    bool c = ReadPrimed(Cut(bytes, sizes), closeNotify, limit, primedPieces);
    if (a != c || (a && whole != primedPieces))
        std::abort();
    return 0;
}
