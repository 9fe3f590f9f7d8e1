// TestCertificates: CA and server certificates made with the OpenSSL API (EC P-256 keys, SHA-256).
#include "support/TestCertificates.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <cstdio>

namespace testsupport {

namespace {

long g_serial = 1000;

EVP_PKEY *NewKey() {
    return EVP_EC_gen("P-256");
}

bool AddExtension(X509 *cert, X509 *issuer, int nid, const char *value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION *ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext)
        return false;
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
    return true;
}

X509 *NewCert(EVP_PKEY *key, const std::string &cn, long notBefore, long notAfter) {
    X509 *cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), ++g_serial);
    X509_gmtime_adj(X509_getm_notBefore(cert), notBefore);
    X509_gmtime_adj(X509_getm_notAfter(cert), notAfter);
    X509_set_pubkey(cert, key);
    X509_NAME *name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>(cn.c_str()),
                               -1, -1, 0);
    return cert;
}

bool WritePem(const std::string &path, X509 *a, X509 *b) {
    FILE *f = std::fopen(path.c_str(), "w");
    if (!f)
        return false;
    bool ok = PEM_write_X509(f, a) == 1 && (!b || PEM_write_X509(f, b) == 1);
    std::fclose(f);
    return ok;
}

bool WriteKey(const std::string &path, EVP_PKEY *key) {
    FILE *f = std::fopen(path.c_str(), "w");
    if (!f)
        return false;
    bool ok = PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    std::fclose(f);
    return ok;
}

bool IsIpv4(const std::string &s) {
    unsigned char buf[4];
    return inet_pton(AF_INET, s.c_str(), buf) == 1;
}

} // namespace

TestCa::TestCa(const std::string &dir, const std::string &name) : m_dir(dir) {
    EVP_PKEY *key = NewKey();
    if (!key)
        return;
    X509 *cert = NewCert(key, "Vantry Test CA " + name, -86400 * 30, 86400 * 365);
    X509_set_issuer_name(cert, X509_get_subject_name(cert));
    AddExtension(cert, cert, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(cert, cert, NID_key_usage, "critical,keyCertSign,cRLSign");
    AddExtension(cert, cert, NID_subject_key_identifier, "hash");
    X509_sign(cert, key, EVP_sha256());
    m_caFile = dir + "/" + name + "-ca.crt";
    if (!WritePem(m_caFile, cert, nullptr)) {
        X509_free(cert);
        EVP_PKEY_free(key);
        return;
    }
    m_key = key;
    m_cert = cert;
}

TestCa::~TestCa() {
    X509_free(static_cast<X509 *>(m_cert));
    EVP_PKEY_free(static_cast<EVP_PKEY *>(m_key));
}

CertFiles TestCa::Issue(const std::string &file, const std::vector<std::string> &names, long notBeforeSec,
                        long notAfterSec) {
    CertFiles files;
    if (!Ok() || names.empty())
        return files;
    X509 *ca = static_cast<X509 *>(m_cert);
    EVP_PKEY *key = NewKey();
    X509 *cert = NewCert(key, names.front(), notBeforeSec, notAfterSec);
    X509_set_issuer_name(cert, X509_get_subject_name(ca));
    std::string san;
    for (const std::string &n : names) {
        if (!san.empty())
            san += ",";
        san += (IsIpv4(n) ? "IP:" : "DNS:") + n;
    }
    AddExtension(cert, ca, NID_subject_alt_name, san.c_str());
    AddExtension(cert, ca, NID_basic_constraints, "CA:FALSE");
    AddExtension(cert, ca, NID_ext_key_usage, "serverAuth");
    AddExtension(cert, ca, NID_authority_key_identifier, "keyid");
    X509_sign(cert, static_cast<EVP_PKEY *>(m_key), EVP_sha256());
    std::string certPath = m_dir + "/" + file + ".crt";
    std::string keyPath = m_dir + "/" + file + ".key";
    if (WritePem(certPath, cert, ca) && WriteKey(keyPath, key)) {
        files.cert = certPath;
        files.key = keyPath;
    }
    X509_free(cert);
    EVP_PKEY_free(key);
    return files;
}

} // namespace testsupport
