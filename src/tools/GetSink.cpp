// GetSink: the head decides whether the body is wanted; the body is written as it comes.
#include "tools/GetSink.h"

#include "core/StringBuffer.h"
#include "http/HttpResponseHeader.h"
#include "tools/GetOptions.h"
#include "tools/GetOutput.h"
#include "tools/GetProgress.h"

namespace vantry {

bool IsTransientStatus(int status) {
    return status == 408 || status == 429 || (status >= 500 && status <= 599);
}

GetSink::GetSink(GetOutput &output, GetProgress &progress, const GetOptions &options, bool retryStatus)
    : m_output(output), m_progress(progress), m_options(options), m_retryStatus(retryStatus) {}

bool GetSink::Head(const HttpResponseHeader &head) {
    m_status = head.StatusCode;
    if (m_retryStatus && IsTransientStatus(m_status)) {
        m_stop = Stop::RetryStatus;
        return false;
    }
    if (m_options.Fail && m_status >= 400) {
        m_stop = Stop::FailStatus;
        return false;
    }
    if (!m_options.IncludeHead || m_status == 0)
        return true;
    // The heads as they came (interim ones included); a header from the cache has only its text form.
    std::string text(head.ReceivedHead.View());
    if (text.empty()) {
        StringBuffer headText;
        head.ToText(headText, 0);
        text = std::string(headText.View());
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        text += "\r\n\r\n";
    }
    if (m_output.Write(text.data(), text.size(), m_writeError))
        return true;
    m_stop = Stop::WriteFailed;
    return false;
}

bool GetSink::Write(const uint8_t *bytes, size_t count) {
    if (m_output.Write(bytes, count, m_writeError))
        return true;
    m_stop = Stop::WriteFailed;
    return false;
}

void GetSink::Progress(uint64_t received, int64_t expected) {
    m_received = received;
    m_progress.Update(received, expected);
}

} // namespace vantry
