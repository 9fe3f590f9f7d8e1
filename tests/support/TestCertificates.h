// TestCertificates: a throw-away certificate authority for the TLS tests, made with the OpenSSL API at test
// time: a CA certificate and server certificates it issues (good, expired, for another name), as PEM files.
#pragma once
#include <string>
#include <vector>

namespace testsupport {

struct CertFiles {
    std::string cert; // PEM: the server certificate followed by its issuer
    std::string key;  // PEM: the private key
};

class TestCa {
public:
    // Creates the CA key and certificate and writes them to dir/<name>-ca.crt.
    TestCa(const std::string &dir, const std::string &name);
    ~TestCa();
    TestCa(const TestCa &) = delete;
    TestCa &operator=(const TestCa &) = delete;

    bool Ok() const { return m_key != nullptr; }
    const std::string &CaFile() const { return m_caFile; }

    // A server certificate for the names (DNS names or IPv4 texts as subject alternative names), valid
    // from now + notBeforeSec to now + notAfterSec. Files dir/<file>.crt and dir/<file>.key.
    CertFiles Issue(const std::string &file, const std::vector<std::string> &names, long notBeforeSec = -3600,
                    long notAfterSec = 86400 * 30);

    // The usual set: good for 127.0.0.1 and localhost, expired, and for another name.
    CertFiles Good() { return Issue("good", {"127.0.0.1", "localhost"}); }
    CertFiles Expired() { return Issue("expired", {"127.0.0.1", "localhost"}, -86400 * 10, -86400); }
    CertFiles OtherName() { return Issue("other", {"other.example"}); }

private:
    std::string m_dir;
    std::string m_caFile;
    void *m_key = nullptr;  // EVP_PKEY
    void *m_cert = nullptr; // X509
};

} // namespace testsupport
