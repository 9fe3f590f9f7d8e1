// TlsProvider: the security provider under the secure channel, OpenSSL 3 driven through memory BIOs.
// It offers what SChannel needs of a platform provider: credentials with a protocol mask, a handshake fed
// with raw bytes, record encryption and decryption, certificate checks, all reported as SEC_* statuses.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace vantry {

class DataBuffer;
class LogBase;

namespace tls {

// Status values of the provider (negative values are failures).
using SecStatus = int32_t;
constexpr SecStatus SEC_E_OK = 0;
constexpr SecStatus SEC_I_CONTINUE_NEEDED = 0x00090312;
constexpr SecStatus SEC_I_CONTEXT_EXPIRED = 0x00090317;
constexpr SecStatus SEC_I_INCOMPLETE_CREDENTIALS = 0x00090320;
constexpr SecStatus SEC_I_RENEGOTIATE = 0x00090321;
constexpr SecStatus SEC_E_UNSUPPORTED_FUNCTION = static_cast<SecStatus>(0x80090302u);
constexpr SecStatus SEC_E_INTERNAL_ERROR = static_cast<SecStatus>(0x80090304u);
constexpr SecStatus SEC_E_INVALID_TOKEN = static_cast<SecStatus>(0x80090308u);
constexpr SecStatus SEC_E_MESSAGE_ALTERED = static_cast<SecStatus>(0x8009030Fu);
constexpr SecStatus SEC_E_INCOMPLETE_MESSAGE = static_cast<SecStatus>(0x80090318u);
constexpr SecStatus SEC_E_ILLEGAL_MESSAGE = static_cast<SecStatus>(0x80090326u);
constexpr SecStatus SEC_E_DECRYPT_FAILURE = static_cast<SecStatus>(0x80090330u);
constexpr SecStatus SEC_E_ALGORITHM_MISMATCH = static_cast<SecStatus>(0x80090331u);

inline bool IsFailure(SecStatus s) {
    return s < 0;
}

// Protocol mask bits (client and server bit of each version).
constexpr uint32_t SP_PROT_SSL3_SERVER = 0x10;
constexpr uint32_t SP_PROT_SSL3_CLIENT = 0x20;
constexpr uint32_t SP_PROT_SSL3 = 0x30;
constexpr uint32_t SP_PROT_TLS1_0 = 0xC0;
constexpr uint32_t SP_PROT_TLS1_0_CLIENT = 0x80;
constexpr uint32_t SP_PROT_TLS1_1 = 0x300;
constexpr uint32_t SP_PROT_TLS1_1_CLIENT = 0x200;
constexpr uint32_t SP_PROT_TLS1_2 = 0xC00;
constexpr uint32_t SP_PROT_TLS1_2_CLIENT = 0x800;
constexpr uint32_t SP_PROT_TLS1_3 = 0x3000;
constexpr uint32_t SP_PROT_TLS1_3_CLIENT = 0x2000;

// Algorithm identifiers reported in the connection information and accepted as the key-exchange
// restriction. The AEAD ciphers and the elliptic-curve exchanges have identifiers of this layer's own.
constexpr uint32_t CALG_DES = 0x6601;
constexpr uint32_t CALG_RC2 = 0x6602;
constexpr uint32_t CALG_3DES = 0x6603;
constexpr uint32_t CALG_AES_128 = 0x660E;
constexpr uint32_t CALG_AES_256 = 0x6610;
constexpr uint32_t CALG_RC4 = 0x6801;
constexpr uint32_t CALG_AES_GCM = 0x6690;
constexpr uint32_t CALG_AES_CCM = 0x6691;
constexpr uint32_t CALG_CHACHA20_POLY1305 = 0x6692;
constexpr uint32_t CALG_MD5 = 0x8003;
constexpr uint32_t CALG_SHA1 = 0x8004;
constexpr uint32_t CALG_SHA_256 = 0x800C;
constexpr uint32_t CALG_SHA_384 = 0x800D;
constexpr uint32_t CALG_SHA_512 = 0x800E;
constexpr uint32_t CALG_RSA_KEYX = 0xA400;
constexpr uint32_t CALG_DH_EPHEM = 0xAA02;
constexpr uint32_t CALG_ECDH_EPHEM = 0xAE06;
constexpr uint32_t CALG_X25519 = 0xAE10;
constexpr uint32_t CALG_X448 = 0xAE11;

// Certificate policy errors, as the chain check reports them (0 when the chain is good).
constexpr uint32_t CERT_E_EXPIRED = 0x800B0101;
constexpr uint32_t CERT_E_VALIDITYPERIODNESTING = 0x800B0102;
constexpr uint32_t CERT_E_ROLE = 0x800B0103;
constexpr uint32_t CERT_E_PATHLENCONST = 0x800B0104;
constexpr uint32_t CERT_E_CRITICAL = 0x800B0105;
constexpr uint32_t CERT_E_PURPOSE = 0x800B0106;
constexpr uint32_t CERT_E_ISSUERCHAINING = 0x800B0107;
constexpr uint32_t CERT_E_MALFORMED = 0x800B0108;
constexpr uint32_t CERT_E_UNTRUSTEDROOT = 0x800B0109;
constexpr uint32_t CERT_E_CHAINING = 0x800B010A;
constexpr uint32_t TRUST_E_FAIL = 0x800B010B;
constexpr uint32_t CERT_E_REVOKED = 0x800B010C;
constexpr uint32_t CERT_E_UNTRUSTEDTESTROOT = 0x800B010D;
constexpr uint32_t CERT_E_REVOCATION_FAILURE = 0x800B010E;
constexpr uint32_t CERT_E_CN_NO_MATCH = 0x800B010F;
constexpr uint32_t CERT_E_WRONG_USAGE = 0x800B0110;
constexpr uint32_t CERT_E_UNKNOWN = 0x800B01FF; // an OpenSSL error without a twin in the table

// The policy error for an OpenSSL X509_V_ERR_* code.
uint32_t CertErrorFromOpenSsl(int verifyError);
// The reason of a certificate verification error in words ("certificate has expired", ...).
const char *VerifyErrorText(int verifyError);

// The once-per-process initialisation of the library; true when it is usable.
bool LoadSecurityLibrary();

// Credentials: the client configuration every handshake of a channel starts from.
struct CredentialSettings {
    uint32_t enabledProtocols = SP_PROT_TLS1_2 | SP_PROT_TLS1_3;
    uint32_t supportedAlgorithm = 0; // key-exchange restriction; 0 means none
};

class TlsCredentials {
public:
    TlsCredentials();
    ~TlsCredentials();
    TlsCredentials(const TlsCredentials &) = delete;
    TlsCredentials &operator=(const TlsCredentials &) = delete;

    // Builds the client configuration; false when the mask enables no protocol the library offers.
    bool Acquire(const CredentialSettings &settings);
    bool IsValid() const { return m_ctx != nullptr; }
    const CredentialSettings &Settings() const { return m_settings; }
    void *Native() const { return m_ctx; } // the SSL_CTX

private:
    void Release();
    void *m_ctx = nullptr;
    CredentialSettings m_settings;
};

// Record framing sizes of an established context.
struct StreamSizes {
    uint32_t header = 0;
    uint32_t trailer = 0;
    uint32_t maximumMessage = 0;
};

// What the established connection negotiated.
struct ConnectionInfo {
    uint32_t protocol = 0; // one SP_PROT_*_CLIENT bit
    uint32_t cipher = 0;
    uint32_t cipherStrength = 0;
    uint32_t hash = 0;
    uint32_t hashStrength = 0;
    uint32_t exchange = 0;
    uint32_t exchangeStrength = 0;
    std::string cipherSuite; // the suite's standard name
    std::string group;       // the key-exchange group, when one was used
    std::string alpn;        // the negotiated application protocol, when any
};

// One security context: a client TLS session whose records travel through the caller's buffers.
class TlsContext {
public:
    TlsContext();
    ~TlsContext();
    TlsContext(const TlsContext &) = delete;
    TlsContext &operator=(const TlsContext &) = delete;

    bool IsValid() const { return m_ssl != nullptr; }
    bool IsComplete() const { return m_complete; }

    // One handshake step. The first call (no context yet) creates the session for the target name (SNI
    // and the verification name) and produces the first token. Later calls take the bytes received so far:
    // complete records are consumed, an incomplete one is left. Results:
    //   SEC_I_CONTINUE_NEEDED: send outToken (may be empty), extraBytes unconsumed bytes at the end remain;
    //   SEC_E_INCOMPLETE_MESSAGE: nothing consumed, more bytes are needed;
    //   SEC_E_OK: the handshake is complete, extraBytes at the end belong to the records after it;
    //   a failure: outToken may hold an alert to send (extendedError set).
    SecStatus InitializeSecurityContext(const TlsCredentials &cred, const char *targetName, const uint8_t *in,
                                        uint32_t inLen, DataBuffer &outToken, uint32_t &extraBytes,
                                        bool &extendedError);

    SecStatus QueryStreamSizes(StreamSizes &sizes) const;
    SecStatus QueryConnectionInfo(ConnectionInfo &info) const;
    // The server's certificate chain as the handshake delivered it; false when there is none.
    bool HasRemoteCertificate() const;

    // Encrypts one message (at most maximumMessage bytes) into complete records appended to out.
    SecStatus EncryptMessage(const uint8_t *data, uint32_t len, DataBuffer &out);
    // Decrypts the first record of in. Data goes to out; extraBytes tells how many bytes after the record
    // remain. SEC_E_INCOMPLETE_MESSAGE when in holds no complete record, SEC_I_CONTEXT_EXPIRED on the
    // peer's close_notify, SEC_I_RENEGOTIATE when the record started a handshake that needs our answer.
    SecStatus DecryptMessage(const uint8_t *in, uint32_t inLen, DataBuffer &out, uint32_t &extraBytes);

    // Application data that arrived during a renegotiation handshake, handed over once.
    void TakeRenegotiationData(DataBuffer &out);
    size_t RenegotiationDataSize() const { return m_renegotiationData.size(); }

    // Marks the context for shutdown; the next InitializeSecurityContext produces the close_notify.
    SecStatus ApplyShutdownToken();

    // Checks the server chain against the trust store (system CAs plus the optional CA file) and the host
    // name. Returns 0 or a CERT_E_* value; opensslError receives the OpenSSL verification code.
    uint32_t VerifyServerCertificate(const char *hostName, const char *caFile, int &opensslError) const;

    void Delete();
    // The library's text for the last failure of a handshake step, encryption or decryption.
    const std::string &LastError() const { return m_lastError; }

private:
    SecStatus HandshakeStep(DataBuffer &outToken, bool &done);
    void DrainOutput(DataBuffer &out);

    void *m_ssl = nullptr;  // SSL
    void *m_rbio = nullptr; // the records fed in
    void *m_wbio = nullptr; // the records to send
    bool m_complete = false;
    bool m_shutdownPending = false;
    std::string m_lastError;
    std::string m_renegotiationData;
};

// Length of the first complete TLS record in bytes, 0 when the bytes do not yet hold one.
uint32_t CompleteRecordLength(const uint8_t *in, uint32_t len);

} // namespace tls

} // namespace vantry
