// TlsProvider: OpenSSL 3 behind the provider operations the secure channel drives. Records move through two
// memory BIOs, fed one complete record at a time so that the caller sees consumed, extra and incomplete
// bytes the way a record-oriented provider reports them.
#include "net/TlsProvider.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <cstring>
#include <map>
#include <mutex>

#include "core/DataBuffer.h"
#include "platform/Resolver.h"

namespace vantry {

namespace tls {

namespace {

constexpr uint32_t kRecordHeader = 5;
constexpr uint32_t kMaxRecordBody = 16384 + 2048;
constexpr uint32_t kMaxPlainRecord = 16384;

SSL *AsSsl(void *p) {
    return static_cast<SSL *>(p);
}
BIO *AsBio(void *p) {
    return static_cast<BIO *>(p);
}

bool IsIpLiteral(const char *host) {
    uint32_t v4 = 0;
    uint8_t v6[16];
    return platform::ParseIPv4(host, &v4) || platform::ParseIPv6(host, v6);
}

// A failure status for what the OpenSSL error queue holds after a failed call; clears the queue.
SecStatus StatusFromErrorQueue(std::string &text) {
    unsigned long e = ERR_peek_last_error();
    char buf[256];
    ERR_error_string_n(e, buf, sizeof(buf));
    text = buf;
    ERR_clear_error();
    if (ERR_GET_LIB(e) != ERR_LIB_SSL)
        return SEC_E_ILLEGAL_MESSAGE;
    switch (ERR_GET_REASON(e)) {
    case SSL_R_UNSUPPORTED_PROTOCOL:
    case SSL_R_TLSV1_ALERT_PROTOCOL_VERSION:
    case SSL_R_NO_PROTOCOLS_AVAILABLE:
    case SSL_R_WRONG_SSL_VERSION:
    case SSL_R_UNSUPPORTED_SSL_VERSION:
        return SEC_E_UNSUPPORTED_FUNCTION;
    case SSL_R_SSLV3_ALERT_HANDSHAKE_FAILURE:
    case SSL_R_NO_SHARED_CIPHER:
    case SSL_R_NO_CIPHERS_AVAILABLE:
        return SEC_E_ALGORITHM_MISMATCH;
    case SSL_R_DECRYPTION_FAILED_OR_BAD_RECORD_MAC:
        return SEC_E_DECRYPT_FAILURE;
    default:
        return SEC_E_ILLEGAL_MESSAGE;
    }
}

// The trust stores: the system CAs plus an optional CA file, built once per file and shared.
// The stores live until the process ends; the holder frees them then.
struct StoreCache {
    std::mutex mutex;
    std::map<std::string, X509_STORE *> stores;
    ~StoreCache() {
        for (auto &entry : stores)
            X509_STORE_free(entry.second);
    }
};
// thread-safe: every use holds the holder's mutex; a store handed out is only read by the channels.
StoreCache g_storeCache;

X509_STORE *TrustStore(const char *caFile) {
    std::string key = caFile ? caFile : "";
    std::lock_guard<std::mutex> lock(g_storeCache.mutex);
    auto it = g_storeCache.stores.find(key);
    if (it != g_storeCache.stores.end()) {
        X509_STORE_up_ref(it->second);
        return it->second;
    }
    X509_STORE *store = X509_STORE_new();
    if (!store)
        return nullptr;
    X509_STORE_set_default_paths(store);
    if (!key.empty())
        X509_STORE_load_file(store, key.c_str());
    ERR_clear_error();
    g_storeCache.stores[key] = store;
    X509_STORE_up_ref(store);
    return store;
}

uint32_t CipherAlg(int nid) {
    switch (nid) {
    case NID_aes_128_gcm:
    case NID_aes_256_gcm:
        return CALG_AES_GCM;
    case NID_aes_128_ccm:
    case NID_aes_256_ccm:
        return CALG_AES_CCM;
    case NID_chacha20_poly1305:
        return CALG_CHACHA20_POLY1305;
    case NID_aes_128_cbc:
        return CALG_AES_128;
    case NID_aes_256_cbc:
        return CALG_AES_256;
    case NID_des_ede3_cbc:
        return CALG_3DES;
    case NID_des_cbc:
        return CALG_DES;
    case NID_rc4:
        return CALG_RC4;
    case NID_rc2_cbc:
        return CALG_RC2;
    default:
        return static_cast<uint32_t>(nid);
    }
}

uint32_t HashAlg(int nid) {
    switch (nid) {
    case NID_md5:
        return CALG_MD5;
    case NID_sha1:
        return CALG_SHA1;
    case NID_sha256:
        return CALG_SHA_256;
    case NID_sha384:
        return CALG_SHA_384;
    case NID_sha512:
        return CALG_SHA_512;
    default:
        return static_cast<uint32_t>(nid);
    }
}

bool IsFiniteFieldGroup(const std::string &name) {
    return name.rfind("ffdhe", 0) == 0;
}

// The usual written form of a key-exchange group's name.
std::string GroupName(const char *name) {
    static const struct {
        const char *library;
        const char *shown;
    } kNames[] = {{"x25519", "X25519"},    {"x448", "X448"},       {"secp256r1", "P-256"},
                  {"prime256v1", "P-256"}, {"secp384r1", "P-384"}, {"secp521r1", "P-521"}};
    for (const auto &n : kNames)
        if (std::strcmp(n.library, name) == 0)
            return n.shown;
    return name;
}

} // namespace

const char *VerifyErrorText(int verifyError) {
    return X509_verify_cert_error_string(verifyError);
}

uint32_t CertErrorFromOpenSsl(int e) {
    switch (e) {
    case X509_V_OK:
        return 0;
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return CERT_E_EXPIRED;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return CERT_E_CN_NO_MATCH;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_CERT_REJECTED:
        return CERT_E_UNTRUSTEDROOT;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_CERT_CHAIN_TOO_LONG:
        return CERT_E_CHAINING;
    case X509_V_ERR_CERT_REVOKED:
        return CERT_E_REVOKED;
    case X509_V_ERR_UNABLE_TO_GET_CRL:
    case X509_V_ERR_CRL_HAS_EXPIRED:
    case X509_V_ERR_CRL_NOT_YET_VALID:
    case X509_V_ERR_CRL_SIGNATURE_FAILURE:
        return CERT_E_REVOCATION_FAILURE;
    case X509_V_ERR_INVALID_CA:
        return CERT_E_ROLE;
    case X509_V_ERR_PATH_LENGTH_EXCEEDED:
        return CERT_E_PATHLENCONST;
    case X509_V_ERR_UNHANDLED_CRITICAL_EXTENSION:
        return CERT_E_CRITICAL;
    case X509_V_ERR_INVALID_PURPOSE:
        return CERT_E_WRONG_USAGE;
    case X509_V_ERR_SUBJECT_ISSUER_MISMATCH:
    case X509_V_ERR_AKID_SKID_MISMATCH:
    case X509_V_ERR_AKID_ISSUER_SERIAL_MISMATCH:
        return CERT_E_ISSUERCHAINING;
    case X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE:
    case X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY:
    case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
    case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
        return CERT_E_MALFORMED;
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
        return TRUST_E_FAIL;
    default:
        return CERT_E_UNKNOWN;
    }
}

bool LoadSecurityLibrary() {
    static const bool loaded = OPENSSL_init_ssl(0, nullptr) == 1;
    return loaded;
}

uint32_t CompleteRecordLength(const uint8_t *in, uint32_t len) {
    if (len < kRecordHeader)
        return 0;
    uint8_t type = in[0];
    uint32_t body = (static_cast<uint32_t>(in[3]) << 8) | in[4];
    // Bytes that cannot begin a record are handed over whole, so the library reports them as illegal.
    if (type < 20 || type > 24 || in[1] != 3 || body > kMaxRecordBody)
        return len;
    return len - kRecordHeader >= body ? kRecordHeader + body : 0;
}

// ---- credentials ----

TlsCredentials::TlsCredentials() = default;
TlsCredentials::~TlsCredentials() {
    Release();
}

void TlsCredentials::Release() {
    SSL_CTX_free(static_cast<SSL_CTX *>(m_ctx));
    m_ctx = nullptr;
}

bool TlsCredentials::Acquire(const CredentialSettings &settings) {
    Release();
    if (!LoadSecurityLibrary())
        return false;
    struct Version {
        uint32_t bits;
        int version;
        uint64_t noOption;
    };
    static const Version kVersions[] = {{SP_PROT_SSL3, SSL3_VERSION, SSL_OP_NO_SSLv3},
                                        {SP_PROT_TLS1_0, TLS1_VERSION, SSL_OP_NO_TLSv1},
                                        {SP_PROT_TLS1_1, TLS1_1_VERSION, SSL_OP_NO_TLSv1_1},
                                        {SP_PROT_TLS1_2, TLS1_2_VERSION, SSL_OP_NO_TLSv1_2},
                                        {SP_PROT_TLS1_3, TLS1_3_VERSION, SSL_OP_NO_TLSv1_3}};
    int lowest = 0, highest = 0;
    uint64_t noOptions = 0;
    for (const Version &v : kVersions) {
        if (settings.enabledProtocols & v.bits) {
            if (!lowest)
                lowest = v.version;
            highest = v.version;
        } else {
            noOptions |= v.noOption;
        }
    }
    if (!lowest)
        return false;

    SSL_CTX *ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx)
        return false;
    bool ok = SSL_CTX_set_min_proto_version(ctx, lowest) == 1;
    // The key-exchange restriction: TLS 1.3 has no static RSA exchange, so that one caps the version.
    switch (settings.supportedAlgorithm) {
    case 0:
        break;
    case CALG_RSA_KEYX:
        ok = ok && SSL_CTX_set_cipher_list(ctx, "kRSA") == 1;
        if (highest > TLS1_2_VERSION)
            highest = TLS1_2_VERSION;
        break;
    case CALG_DH_EPHEM:
        ok = ok && SSL_CTX_set_cipher_list(ctx, "kDHE") == 1 &&
             SSL_CTX_set1_groups_list(ctx, "ffdhe2048:ffdhe3072:ffdhe4096") == 1;
        break;
    case CALG_ECDH_EPHEM:
        ok = ok && SSL_CTX_set_cipher_list(ctx, "kECDHE") == 1 &&
             SSL_CTX_set1_groups_list(ctx, "X25519:P-256:P-384:X448:P-521") == 1;
        break;
    case CALG_X25519:
        ok =
            ok && SSL_CTX_set_cipher_list(ctx, "kECDHE") == 1 && SSL_CTX_set1_groups_list(ctx, "X25519") == 1;
        break;
    default:
        break;
    }
    ok = ok && SSL_CTX_set_max_proto_version(ctx, highest) == 1;
    SSL_CTX_set_options(ctx, noOptions);
    // The channel checks the server's chain itself after the handshake.
    SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
    static const unsigned char kAlpn[] = "\x08http/1.1";
    ok = ok && SSL_CTX_set_alpn_protos(ctx, kAlpn, sizeof(kAlpn) - 1) == 0;
    ERR_clear_error();
    if (!ok) {
        SSL_CTX_free(ctx);
        return false;
    }
    m_ctx = ctx;
    m_settings = settings;
    return true;
}

// ---- context ----

TlsContext::TlsContext() = default;
TlsContext::~TlsContext() {
    Delete();
}

void TlsContext::Delete() {
    SSL_free(AsSsl(m_ssl)); // frees both BIOs
    m_ssl = nullptr;
    m_rbio = nullptr;
    m_wbio = nullptr;
    m_complete = false;
    m_shutdownPending = false;
    m_renegotiationData.clear();
}

void TlsContext::DrainOutput(DataBuffer &out) {
    BIO *w = AsBio(m_wbio);
    char *data = nullptr;
    long n = BIO_get_mem_data(w, &data);
    if (n > 0) {
        out.Append(data, static_cast<uint32_t>(n));
        (void)BIO_reset(w);
    }
}

SecStatus TlsContext::HandshakeStep(DataBuffer &outToken, bool &done) {
    done = false;
    SSL *ssl = AsSsl(m_ssl);
    if (m_complete) {
        // A handshake on an established session (renegotiation): records are read as data, so application
        // data the server sends in between is kept, not refused.
        for (;;) {
            ERR_clear_error();
            unsigned char block[kMaxPlainRecord];
            int n = SSL_read(ssl, block, sizeof(block));
            if (n > 0) {
                m_renegotiationData.append(reinterpret_cast<const char *>(block), static_cast<size_t>(n));
                continue;
            }
            DrainOutput(outToken);
            int err = SSL_get_error(ssl, n);
            if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
                ERR_clear_error();
                done = !SSL_in_init(ssl);
                return done ? SEC_E_OK : SEC_I_CONTINUE_NEEDED;
            }
            return StatusFromErrorQueue(m_lastError);
        }
    }
    ERR_clear_error();
    int r = SSL_do_handshake(ssl);
    DrainOutput(outToken);
    if (r == 1) {
        done = true;
        m_complete = true;
        return SEC_E_OK;
    }
    int err = SSL_get_error(ssl, r);
    if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
        ERR_clear_error();
        return SEC_I_CONTINUE_NEEDED;
    }
    return StatusFromErrorQueue(m_lastError);
}

void TlsContext::TakeRenegotiationData(DataBuffer &out) {
    if (!m_renegotiationData.empty())
        out.Append(m_renegotiationData.data(), static_cast<uint32_t>(m_renegotiationData.size()));
    m_renegotiationData.clear();
}

SecStatus TlsContext::InitializeSecurityContext(const TlsCredentials &cred, const char *targetName,
                                                const uint8_t *in, uint32_t inLen, DataBuffer &outToken,
                                                uint32_t &extraBytes, bool &extendedError) {
    extraBytes = 0;
    extendedError = false;
    if (!m_ssl) {
        if (!cred.IsValid())
            return SEC_E_INTERNAL_ERROR;
        SSL *ssl = SSL_new(static_cast<SSL_CTX *>(cred.Native()));
        BIO *r = BIO_new(BIO_s_mem());
        BIO *w = BIO_new(BIO_s_mem());
        if (!ssl || !r || !w) {
            SSL_free(ssl);
            BIO_free(r);
            BIO_free(w);
            return SEC_E_INTERNAL_ERROR;
        }
        BIO_set_mem_eof_return(r, -1); // an empty input means "more to come", not the end
        SSL_set_bio(ssl, r, w);
        SSL_set_connect_state(ssl);
        if (targetName && *targetName && !IsIpLiteral(targetName))
            SSL_set_tlsext_host_name(ssl, targetName);
        m_ssl = ssl;
        m_rbio = r;
        m_wbio = w;
        in = nullptr;
        inLen = 0;
    }

    if (m_shutdownPending) {
        ERR_clear_error();
        SSL_shutdown(AsSsl(m_ssl));
        ERR_clear_error();
        DrainOutput(outToken);
        m_shutdownPending = false;
        return SEC_E_OK;
    }

    bool done = false;
    if (inLen == 0) {
        SecStatus s = HandshakeStep(outToken, done);
        extendedError = IsFailure(s) && outToken.Length() > 0;
        return s;
    }
    uint32_t pos = 0;
    while (pos < inLen) {
        uint32_t rec = CompleteRecordLength(in + pos, inLen - pos);
        if (rec == 0)
            break;
        BIO_write(AsBio(m_rbio), in + pos, static_cast<int>(rec));
        pos += rec;
        SecStatus s = HandshakeStep(outToken, done);
        if (IsFailure(s)) {
            extendedError = outToken.Length() > 0;
            return s;
        }
        if (done) {
            extraBytes = inLen - pos;
            return SEC_E_OK;
        }
    }
    if (pos == 0)
        return SEC_E_INCOMPLETE_MESSAGE;
    extraBytes = inLen - pos;
    return SEC_I_CONTINUE_NEEDED;
}

SecStatus TlsContext::QueryStreamSizes(StreamSizes &sizes) const {
    if (!m_ssl || !m_complete)
        return SEC_E_INVALID_TOKEN;
    const SSL_CIPHER *c = SSL_get_current_cipher(AsSsl(m_ssl));
    if (!c)
        return SEC_E_INVALID_TOKEN;
    sizes.maximumMessage = kMaxPlainRecord;
    if (SSL_version(AsSsl(m_ssl)) >= TLS1_3_VERSION) {
        sizes.header = kRecordHeader;
        sizes.trailer = 17; // tag and inner content type
    } else if (SSL_CIPHER_is_aead(c)) {
        int nid = SSL_CIPHER_get_cipher_nid(c);
        bool explicitNonce = nid != NID_chacha20_poly1305;
        sizes.header = kRecordHeader + (explicitNonce ? 8 : 0);
        sizes.trailer = 16;
    } else {
        const EVP_MD *md = SSL_CIPHER_get_handshake_digest(c);
        int macNid = SSL_CIPHER_get_digest_nid(c);
        const EVP_MD *mac = macNid != NID_undef ? EVP_get_digestbynid(macNid) : md;
        sizes.header = kRecordHeader + 16;
        sizes.trailer = static_cast<uint32_t>(mac ? EVP_MD_get_size(mac) : 48) + 16;
    }
    return SEC_E_OK;
}

SecStatus TlsContext::QueryConnectionInfo(ConnectionInfo &info) const {
    if (!m_ssl || !m_complete)
        return SEC_E_INVALID_TOKEN;
    SSL *ssl = AsSsl(m_ssl);
    info = ConnectionInfo();
    switch (SSL_version(ssl)) {
    case SSL3_VERSION:
        info.protocol = SP_PROT_SSL3_CLIENT;
        break;
    case TLS1_VERSION:
        info.protocol = SP_PROT_TLS1_0_CLIENT;
        break;
    case TLS1_1_VERSION:
        info.protocol = SP_PROT_TLS1_1_CLIENT;
        break;
    case TLS1_2_VERSION:
        info.protocol = SP_PROT_TLS1_2_CLIENT;
        break;
    case TLS1_3_VERSION:
        info.protocol = SP_PROT_TLS1_3_CLIENT;
        break;
    default:
        info.protocol = static_cast<uint32_t>(SSL_version(ssl));
    }
    const SSL_CIPHER *c = SSL_get_current_cipher(ssl);
    if (c) {
        info.cipherSuite = SSL_CIPHER_standard_name(c) ? SSL_CIPHER_standard_name(c) : SSL_CIPHER_get_name(c);
        info.cipher = CipherAlg(SSL_CIPHER_get_cipher_nid(c));
        info.cipherStrength = static_cast<uint32_t>(SSL_CIPHER_get_bits(c, nullptr));
        // AEAD suites have no record MAC: their hash is the handshake's.
        int macNid = SSL_CIPHER_is_aead(c) ? NID_undef : SSL_CIPHER_get_digest_nid(c);
        const EVP_MD *md =
            macNid != NID_undef ? EVP_get_digestbynid(macNid) : SSL_CIPHER_get_handshake_digest(c);
        if (md) {
            info.hash = HashAlg(EVP_MD_get_type(md));
            info.hashStrength = static_cast<uint32_t>(EVP_MD_get_size(md)) * 8;
        }
        int group = SSL_get_negotiated_group(ssl);
        if (group != 0 && group != NID_undef) {
            const char *name = SSL_group_to_name(ssl, group);
            if (name)
                info.group = GroupName(name);
        }
        switch (SSL_CIPHER_get_kx_nid(c)) {
        case NID_kx_rsa:
            info.exchange = CALG_RSA_KEYX;
            break;
        case NID_kx_dhe:
            info.exchange = CALG_DH_EPHEM;
            break;
        case NID_kx_ecdhe:
            info.exchange = CALG_ECDH_EPHEM;
            break;
        case NID_kx_any: // TLS 1.3: the group decides
            info.exchange = IsFiniteFieldGroup(info.group) ? CALG_DH_EPHEM : CALG_ECDH_EPHEM;
            break;
        default:
            info.exchange = static_cast<uint32_t>(SSL_CIPHER_get_kx_nid(c));
        }
        EVP_PKEY *key = nullptr;
        if (SSL_get_peer_tmp_key(ssl, &key) == 1 && key) {
            info.exchangeStrength = static_cast<uint32_t>(EVP_PKEY_get_bits(key));
            EVP_PKEY_free(key);
        } else if (info.exchange == CALG_RSA_KEYX) {
            X509 *peer = SSL_get0_peer_certificate(ssl);
            EVP_PKEY *pk = peer ? X509_get0_pubkey(peer) : nullptr;
            info.exchangeStrength = pk ? static_cast<uint32_t>(EVP_PKEY_get_bits(pk)) : 0;
        }
    }
    const unsigned char *alpn = nullptr;
    unsigned int alpnLen = 0;
    SSL_get0_alpn_selected(ssl, &alpn, &alpnLen);
    if (alpn && alpnLen)
        info.alpn.assign(reinterpret_cast<const char *>(alpn), alpnLen);
    ERR_clear_error();
    return SEC_E_OK;
}

bool TlsContext::HasRemoteCertificate() const {
    return m_ssl && m_complete && SSL_get0_peer_certificate(AsSsl(m_ssl)) != nullptr;
}

SecStatus TlsContext::EncryptMessage(const uint8_t *data, uint32_t len, DataBuffer &out) {
    if (!m_ssl || !m_complete)
        return SEC_E_INVALID_TOKEN;
    if (len == 0)
        return SEC_E_OK;
    if (len > kMaxPlainRecord)
        return SEC_E_INTERNAL_ERROR;
    ERR_clear_error();
    int r = SSL_write(AsSsl(m_ssl), data, static_cast<int>(len));
    if (r <= 0)
        return StatusFromErrorQueue(m_lastError);
    DrainOutput(out);
    return SEC_E_OK;
}

SecStatus TlsContext::DecryptMessage(const uint8_t *in, uint32_t inLen, DataBuffer &out,
                                     uint32_t &extraBytes) {
    extraBytes = 0;
    if (!m_ssl || !m_complete)
        return SEC_E_INVALID_TOKEN;
    uint32_t rec = CompleteRecordLength(in, inLen);
    if (rec == 0)
        return SEC_E_INCOMPLETE_MESSAGE;
    BIO_write(AsBio(m_rbio), in, static_cast<int>(rec));
    extraBytes = inLen - rec;
    SSL *ssl = AsSsl(m_ssl);
    unsigned char block[kMaxPlainRecord];
    for (;;) {
        ERR_clear_error();
        int n = SSL_read(ssl, block, sizeof(block));
        if (n > 0) {
            out.Append(block, static_cast<uint32_t>(n));
            continue;
        }
        int err = SSL_get_error(ssl, n);
        if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE)
            break;
        if (err == SSL_ERROR_ZERO_RETURN) {
            ERR_clear_error();
            return SEC_I_CONTEXT_EXPIRED;
        }
        return StatusFromErrorQueue(m_lastError);
    }
    ERR_clear_error();
    // The record made the library answer (a renegotiation or a key update): the handshake loop sends it.
    if (BIO_ctrl_pending(AsBio(m_wbio)) > 0 || SSL_in_init(ssl))
        return SEC_I_RENEGOTIATE;
    return SEC_E_OK;
}

SecStatus TlsContext::ApplyShutdownToken() {
    if (!m_ssl)
        return SEC_E_INVALID_TOKEN;
    m_shutdownPending = true;
    return SEC_E_OK;
}

uint32_t TlsContext::VerifyServerCertificate(const char *hostName, const char *caFile,
                                             int &opensslError) const {
    opensslError = -1; // no chain could be built
    if (!m_ssl)
        return TRUST_E_FAIL;
    SSL *ssl = AsSsl(m_ssl);
    X509 *leaf = SSL_get0_peer_certificate(ssl);
    if (!leaf)
        return TRUST_E_FAIL;
    X509_STORE *store = TrustStore(caFile);
    X509_STORE_CTX *ctx = X509_STORE_CTX_new();
    uint32_t result = TRUST_E_FAIL;
    if (store && ctx && X509_STORE_CTX_init(ctx, store, leaf, SSL_get_peer_cert_chain(ssl)) == 1) {
        X509_STORE_CTX_set_default(ctx, "ssl_server");
        X509_VERIFY_PARAM *param = X509_STORE_CTX_get0_param(ctx);
        if (IsIpLiteral(hostName))
            X509_VERIFY_PARAM_set1_ip_asc(param, hostName);
        else
            X509_VERIFY_PARAM_set1_host(param, hostName, 0);
        int ok = X509_verify_cert(ctx);
        opensslError = ok == 1 ? X509_V_OK : X509_STORE_CTX_get_error(ctx);
        result = CertErrorFromOpenSsl(opensslError);
    }
    X509_STORE_CTX_free(ctx);
    X509_STORE_free(store);
    ERR_clear_error();
    return result;
}

} // namespace tls

} // namespace vantry
