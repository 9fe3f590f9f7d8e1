// GetSink: where vantry-get's fetches put the body as it arrives: the output (standard output or the
// temporary file), the head first with -i/-I, the progress line fed on the way. It stops a transfer at
// its head when --fail refuses the status, or when the status is worth a retry that is still allowed.
#pragma once
#include <cstdint>
#include <string>

#include "http/BodySink.h"

namespace vantry {

class GetOutput;
class GetProgress;
struct GetOptions;

// HTTP statuses --retry treats as transient: 408, 429 and every 5xx.
bool IsTransientStatus(int status);

class GetSink : public BodySink {
public:
    // retryStatus: a transient status stops the transfer (another attempt follows).
    GetSink(GetOutput &output, GetProgress &progress, const GetOptions &options, bool retryStatus);

    bool Head(const HttpResponseHeader &head) override;
    bool Write(const uint8_t *bytes, size_t count) override;
    void Progress(uint64_t received, int64_t expected) override;

    enum class Stop { None, FailStatus, RetryStatus, WriteFailed };
    Stop Stopped() const { return m_stop; }
    const std::string &WriteError() const { return m_writeError; }
    int Status() const { return m_status; }
    uint64_t Received() const { return m_received; }

private:
    GetOutput &m_output;
    GetProgress &m_progress;
    const GetOptions &m_options;
    bool m_retryStatus;
    Stop m_stop = Stop::None;
    std::string m_writeError;
    int m_status = 0;
    uint64_t m_received = 0;
};

} // namespace vantry
