// vantry-get's TLS options: extra trust anchors (--cacert), and a server that must verify unless -k is
// given, as curl requires (and as the library does by default).
#include "core/FileSys.h"
#include "core/LogNull.h"
#include "http/HttpMan.h"
#include "tools/GetFetch.h"

namespace vantry {

bool ApplyTlsOptions(const GetOptions &options, HttpMan &http, std::string &error) {
    HttpControl &c = http.Control();
    if (!options.CaCert.empty()) {
        LogNull quiet;
        if (!FileSys::FileExists(options.CaCert.c_str(), &quiet)) {
            error = "--cacert " + options.CaCert + ": no such file";
            return false;
        }
        c.TlsCaFile.SetString(options.CaCert.c_str());
    }
    c.RequireVerifiedServer = !options.Insecure;
    return true;
}

} // namespace vantry
