// The harvester's agent string ("Lanternfold/1.1 (+<description URL>)"), stored Base64-encoded in the
// program and decoded each time it is applied to a fetcher or a spider.
#pragma once

namespace vantry {
class StringBuffer;
} // namespace vantry

namespace lanternfold {

void DecodeAgentString(vantry::StringBuffer &out);

} // namespace lanternfold
