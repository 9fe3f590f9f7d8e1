// vantry-get's TLS options: the extra trust anchors and whether a server must verify.
#include "http/HttpMan.h"
#include "tools/GetFetch.h"

bool ApplyTlsOptions(const GetOptions &options, HttpMan &http, std::string &error) {
    (void)http;
    if (!options.CaCert.empty() || options.Insecure) {
        error = "--cacert and -k need the TLS channel, which this build does not have";
        return false;
    }
    return true;
}
