// SChannel: the TLS client of the GET engine. It owns a VantrySocket, runs its own handshake loop over it
// with the security provider (net/TlsProvider), checks the server certificate and moves records.
#pragma once
#include <cstdint>

#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "net/TlsProvider.h"
#include "net/VantrySocket.h"

namespace vantry {

class LogBase;

class SChannel {
public:
    static constexpr int kDefaultPort = 443;
    static constexpr int kDefaultProxyPort = 80;
    // TLS 1.2 and 1.3 with no key-exchange restriction: what servers of today accept.
    static constexpr uint32_t kDefaultProtocols = tls::SP_PROT_TLS1_2 | tls::SP_PROT_TLS1_3;
    static constexpr uint32_t kHandshakeBufferSize = 65536;
    static constexpr uint32_t kHandshakeReadTimeoutMs = 15000;
    static constexpr uint32_t kMaxSendPiece = 16000;
    static constexpr uint32_t kMaxProxyAnswer = 16384;

    SChannel();
    virtual ~SChannel();
    SChannel(const SChannel &) = delete;
    SChannel &operator=(const SChannel &) = delete;

    void SetHost(const char *host) { m_host.SetString(host ? host : ""); }
    const StringBuffer &Host() const { return m_host; }
    void SetPort(int port) { m_port = port; }
    int Port() const { return m_port; }
    void SetConnectTimeout(int seconds) { m_socket.SetConnectTimeout(seconds); }
    void SetReadTimeout(int seconds) { m_socket.SetReadTimeout(static_cast<uint32_t>(seconds) * 1000u); }
    // Reaches the server through an HTTP proxy's CONNECT; UseProxy(false) goes direct again.
    void SetProxy(const char *host, int port);
    void UseProxy(bool on) { m_useProxy = on; }
    void SetEnabledProtocols(uint32_t mask) { m_enabledProtocols = mask; }
    uint32_t EnabledProtocols() const { return m_enabledProtocols; }
    // Key-exchange restriction (a CALG_* value); 0 means none.
    void SetSupportedAlgorithm(uint32_t alg) { m_supportedAlgorithm = alg; }
    uint32_t SupportedAlgorithm() const { return m_supportedAlgorithm; }
    // Trust anchors in addition to the system CA store: a PEM file of CA certificates (empty: none).
    void SetCaFile(const char *path) { m_caFile.SetString(path ? path : ""); }
    // When on, a server certificate that fails verification fails the connect (off: logged, then used).
    void SetRequireVerifiedServer(bool on) { m_requireVerified = on; }
    bool RequireVerifiedServer() const { return m_requireVerified; }

    bool Connect(LogBase &log);
    bool IsConnected() const { return m_socket.IsConnected(); }
    bool HasContext() const { return m_context.IsValid(); }
    bool SendData(const void *data, uint32_t count, LogBase &log);
    // How the last failed ReceiveRecords ended.
    enum class ReadEnd { None, TimedOut, PeerClosed, Failed };
    ReadEnd LastReadEnd() const { return m_readEnd; }
    // An absolute deadline (a tick count) that every wait of the channel, the handshake's included, ends
    // at; off: none. The read time-out set on the socket bounds each handshake read as well.
    void SetDeadline(bool on, uint32_t tick) {
        m_hasDeadline = on;
        m_deadline = tick;
    }
    // Largest amount of application data kept while a renegotiation runs (0: no limit).
    void SetRenegotiationLimit(uint32_t bytes) { m_renegotiationLimit = bytes; }
    // For a kept session about to carry a new request: false when the server has closed it or sent
    // application data no request asked for. Records that are only session tickets are taken in.
    bool IdleAndAlive(LogBase &log);
    // Decrypts every complete record that arrives with the reads it makes (at least one record). closed is
    // set when the server ended the session with close_notify.
    bool ReceiveRecords(DataBuffer &out, bool &closed, LogBase &log);
    bool Shutdown(LogBase &log);
    // Shuts the session down when one is open (close_notify), then closes the socket.
    void Close(LogBase &log);

    bool ProxyConnect(LogBase &log);
    bool VerifyServerCertificate(LogBase &log);
    void LogConnectionInfo(LogBase &log);

    // The policy error of the last certificate check (0 when it verified).
    uint32_t ServerCertificateError() const { return m_certError; }
    // Whether the open session's server certificate verified (host name included); false when no
    // session is open or the session was kept although verification failed.
    bool ServerVerified() const { return m_verified && m_context.IsValid(); }
    VantrySocket &Socket() { return m_socket; }
    const VantrySocket &Socket() const { return m_socket; }
    // Whether the last Connect failed at the name look-up of the host (or of the proxy).
    bool LookupFailed() const { return m_lookupFailed; }

private:
    bool CreateCredentials(LogBase &log);
    bool StartHandshake(LogBase &log);
    bool HandshakeLoop(bool initialRead, const DataBuffer *heldBytes, DataBuffer &extra, LogBase &log);
    bool ReadHandshakeBytes(DataBuffer &buffer, uint32_t held, LogBase &log);
    bool ReadRecordBytes(LogBase &log);
    uint32_t WaitLimitMs(uint32_t ms) const;
    bool SecureSend(const uint8_t *piece, uint32_t len, LogBase &log);
    bool DecryptPending(DataBuffer &out, bool &closed, bool &needMore, LogBase &log);
    bool CheckSession(bool forShutdown, LogBase &log);
    void ReleaseHandles();

    StringBuffer m_host;
    int m_port = kDefaultPort;
    bool m_useProxy = false;
    StringBuffer m_proxyHost;
    int m_proxyPort = kDefaultProxyPort;
    uint32_t m_enabledProtocols = kDefaultProtocols;
    uint32_t m_supportedAlgorithm = 0;
    StringBuffer m_caFile;
    bool m_requireVerified = false;
    VantrySocket m_socket;
    tls::TlsCredentials m_credentials;
    tls::TlsContext m_context;
    // Received bytes not yet decrypted (records that came with the end of the handshake or a read).
    DataBuffer m_pending;
    uint32_t m_certError = 0;
    ReadEnd m_readEnd = ReadEnd::None;
    bool m_hasDeadline = false;
    uint32_t m_deadline = 0;
    uint32_t m_renegotiationLimit = 0;
    uint32_t m_handshakeTimeoutMs = kHandshakeReadTimeoutMs;
    bool m_verified = false;
    bool m_lookupFailed = false;
};

} // namespace vantry
