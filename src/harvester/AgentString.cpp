// The agent string decoded from its stored Base64 form.
#include "harvester/AgentString.h"

#include <cstring>

#include "core/ContentCoding.h"
#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "spider/SiteValues.h"

namespace lanternfold {

using namespace vantry;

void DecodeAgentString(StringBuffer &out) {
    out.Clear();
    ContentCoding coding;
    DataBuffer bytes;
    const char *stored = sitevalues::kAgentStringBase64;
    if (coding.DecodeBase64(stored, static_cast<uint32_t>(std::strlen(stored)), bytes))
        out.AppendData(bytes);
}

} // namespace lanternfold
