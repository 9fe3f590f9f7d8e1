// ClsBase: base of the application-facing objects (Cls*, HttpMan); gives each its own Logger, which
// every public operation writes into under a context named after itself.
#pragma once

#include "core/StringBuffer.h"
#include "log/Logger.h"

namespace vantry {

class ClsBase {
public:
    ClsBase() = default;
    virtual ~ClsBase() = default;
    ClsBase(const ClsBase &) = delete;
    ClsBase &operator=(const ClsBase &) = delete;

    // Renderings of the object's log (the output is emptied first).
    void GetLogText(StringBuffer &out) { m_log.GetLogText(out); }
    void GetLogXml(StringBuffer &out) { m_log.GetLogXml(out); }
    void GetLogHtml(StringBuffer &out) { m_log.GetLogHtml(out); }
    void ClearLog() { m_log.ClearLog(); }
    LogBase &Log() { return m_log; }

protected:
    Logger m_log;
};

} // namespace vantry
