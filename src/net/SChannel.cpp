// SChannel: connect (credentials, socket, handshake loop, certificate check), proxy CONNECT, piecewise
// encrypted sends, record decryption and the close_notify shutdown, with the channel's fixed log texts.
#include "net/SChannel.h"

#include <cstdio>
#include <cstring>

#include "core/LogBase.h"
#include "core/LogNull.h"
#include "platform/Clock.h"

namespace vantry {

namespace {

const char *CertErrorName(uint32_t code) {
    switch (code) {
    case tls::CERT_E_EXPIRED:
        return "CERT_E_EXPIRED";
    case tls::CERT_E_VALIDITYPERIODNESTING:
        return "CERT_E_VALIDITYPERIODNESTING";
    case tls::CERT_E_ROLE:
        return "CERT_E_ROLE";
    case tls::CERT_E_PATHLENCONST:
        return "CERT_E_PATHLENCONST";
    case tls::CERT_E_CRITICAL:
        return "CERT_E_CRITICAL";
    case tls::CERT_E_PURPOSE:
        return "CERT_E_PURPOSE";
    case tls::CERT_E_ISSUERCHAINING:
        return "CERT_E_ISSUERCHAINING";
    case tls::CERT_E_MALFORMED:
        return "CERT_E_MALFORMED";
    case tls::CERT_E_UNTRUSTEDROOT:
        return "CERT_E_UNTRUSTEDROOT";
    case tls::CERT_E_CHAINING:
        return "CERT_E_CHAINING";
    case tls::TRUST_E_FAIL:
        return "TRUST_E_FAIL";
    case tls::CERT_E_REVOKED:
        return "CERT_E_REVOKED";
    case tls::CERT_E_UNTRUSTEDTESTROOT:
        return "CERT_E_UNTRUSTEDTESTROOT";
    case tls::CERT_E_REVOCATION_FAILURE:
        return "CERT_E_REVOCATION_FAILURE";
    case tls::CERT_E_CN_NO_MATCH:
        return "CERT_E_CN_NO_MATCH";
    case tls::CERT_E_WRONG_USAGE:
        return "CERT_E_WRONG_USAGE";
    default:
        return "(unknown)";
    }
}

const char *ProtocolName(uint32_t p) {
    switch (p) {
    case 0x02:
        return "PCT";
    case 0x08:
        return "SSL2";
    case tls::SP_PROT_SSL3_CLIENT:
        return "SSL3";
    case tls::SP_PROT_TLS1_0_CLIENT:
        return "TLS1";
    case tls::SP_PROT_TLS1_1_CLIENT:
        return "TLS1.1";
    case tls::SP_PROT_TLS1_2_CLIENT:
        return "TLS1.2";
    case tls::SP_PROT_TLS1_3_CLIENT:
        return "TLS1.3";
    default:
        return nullptr;
    }
}

const char *CipherName(uint32_t alg) {
    switch (alg) {
    case tls::CALG_DES:
    case 0x660C:
        return "DES";
    case tls::CALG_RC2:
        return "RC2";
    case tls::CALG_3DES:
        return "Triple DES";
    case 0x660A:
    case tls::CALG_RC4:
        return "RC4";
    case tls::CALG_AES_128:
    case 0x660F:
    case tls::CALG_AES_256:
    case 0x6611:
        return "AES";
    case tls::CALG_AES_GCM:
        return "AES-GCM";
    case tls::CALG_AES_CCM:
        return "AES-CCM";
    case tls::CALG_CHACHA20_POLY1305:
        return "ChaCha20-Poly1305";
    default:
        return nullptr;
    }
}

const char *HashName(uint32_t alg) {
    switch (alg) {
    case tls::CALG_MD5:
        return "MD5";
    case tls::CALG_SHA1:
        return "SHA";
    case tls::CALG_SHA_256:
        return "SHA256";
    case tls::CALG_SHA_384:
        return "SHA384";
    case tls::CALG_SHA_512:
        return "SHA512";
    default:
        return nullptr;
    }
}

const char *ExchangeName(uint32_t alg) {
    switch (alg) {
    case 0x2400:
    case tls::CALG_RSA_KEYX:
        return "RSA";
    case tls::CALG_DH_EPHEM:
        return "DH Ephemeral";
    case 0xAA04:
        return "KEA";
    case 0xAA05:
        return "ECDH";
    case tls::CALG_ECDH_EPHEM:
        return "ECDHE";
    default:
        return nullptr;
    }
}

// A named value: the table's name, or the number when the table has none.
void LogNamed(LogBase &log, const char *field, const char *name, uint32_t value) {
    if (name)
        log.LogData(field, name);
    else
        log.LogDataInt(field, static_cast<int32_t>(value));
}

void LogStatusHex(LogBase &log, tls::SecStatus s) {
    char hex[16];
    std::snprintf(hex, sizeof(hex), "%x", static_cast<uint32_t>(s));
    log.LogData("scRet", hex);
}

} // namespace

SChannel::SChannel() = default;

SChannel::~SChannel() {
    ReleaseHandles();
}

void SChannel::SetProxy(const char *host, int port) {
    m_proxyHost.SetString(host ? host : "");
    m_proxyPort = port;
    m_useProxy = true;
}

void SChannel::ReleaseHandles() {
    m_verified = false;
    m_context.Delete();
    m_pending.Clear();
}

bool SChannel::CreateCredentials(LogBase &log) {
    tls::CredentialSettings settings;
    settings.enabledProtocols = m_enabledProtocols;
    settings.supportedAlgorithm = m_supportedAlgorithm;
    // The configuration is kept between connects while the settings stay the same.
    if (m_credentials.IsValid() && m_credentials.Settings().enabledProtocols == settings.enabledProtocols &&
        m_credentials.Settings().supportedAlgorithm == settings.supportedAlgorithm)
        return true;
    if (!m_credentials.Acquire(settings)) {
        log.LogError("Error returned by AcquireCredentialsHandle");
        log.LogDataInt("enabledProtocols", static_cast<int32_t>(m_enabledProtocols));
        return false;
    }
    return true;
}

bool SChannel::Connect(LogBase &log) {
    if (!tls::LoadSecurityLibrary()) {
        log.LogError("Error loading security library");
        log.LogData("securityLib", "libssl");
        return false;
    }
    ReleaseHandles();
    m_socket.Close();
    m_certError = 0;
    // Each handshake read waits at most the read time-out set on the channel (and the deadline).
    m_handshakeTimeoutMs =
        m_socket.ReadTimeout() < kHandshakeReadTimeoutMs ? m_socket.ReadTimeout() : kHandshakeReadTimeoutMs;

    if (!CreateCredentials(log)) {
        log.LogError("Error creating credentials");
        return false;
    }

    m_lookupFailed = false;
    if (!m_useProxy) {
        if (!m_socket.Connect(m_host.Text(), m_port, m_lookupFailed, log))
            return false;
    } else {
        if (!m_socket.Connect(m_proxyHost.Text(), m_proxyPort, m_lookupFailed, log))
            return false;
        if (!ProxyConnect(log)) {
            m_socket.Close();
            return false;
        }
    }

    if (!StartHandshake(log))
        return false;
    DataBuffer extra;
    if (!HandshakeLoop(true, nullptr, extra, log)) {
        log.LogError("Error performing handshake");
        return false;
    }
    // Records that came with the end of the handshake are decrypted by the next receive.
    m_pending.AppendData(extra);
    m_socket.SetReadTimeout(kHandshakeReadTimeoutMs);

    if (!m_context.HasRemoteCertificate()) {
        log.LogError("Error querying remote certificate");
        ReleaseHandles();
        return false;
    }
    m_verified = VerifyServerCertificate(log);
    if (!m_verified) {
        log.LogError("Error authenticating server credentials!");
        if (m_requireVerified) {
            ReleaseHandles();
            m_socket.Close();
            return false;
        }
    }
    LogConnectionInfo(log);
    log.LogInfo("Secure Channel Established.");
    return true;
}

bool SChannel::StartHandshake(LogBase &log) {
    DataBuffer token;
    uint32_t extra = 0;
    bool extendedError = false;
    tls::SecStatus s = m_context.InitializeSecurityContext(m_credentials, m_host.Text(), nullptr, 0, token,
                                                           extra, extendedError);
    if (s != tls::SEC_I_CONTINUE_NEEDED) {
        log.LogError("Error initializing security context");
        ReleaseHandles();
        return false;
    }
    if (token.Length() > 0 && !m_socket.SendBytes(token.Data(), token.Length(), log)) {
        log.LogError("Error sending data to server in client handshake");
        ReleaseHandles();
        return false;
    }
    return true;
}

bool SChannel::ProxyConnect(LogBase &log) {
    StringBuffer request;
    request.Append("CONNECT ");
    request.Append(m_host.Text());
    request.Append(":");
    request.AppendInt(m_port);
    request.Append(" HTTP/1.0\r\nUser-Agent: Vantry\r\n\r\n");
    if (!m_socket.SendBytes(request.Text(), static_cast<uint32_t>(request.Length()), log))
        return false;

    // The answer's head is read exactly (to its empty line), so no byte of the tunnel is taken with it.
    DataBuffer answer;
    if (!m_socket.ReceiveHeaderBlock(answer, log) && answer.Length() == 0) {
        log.LogError("Error receiving message from proxy server");
        return false;
    }
    StringBuffer head(answer.Data(), static_cast<int32_t>(answer.Length()), 0);
    StringBuffer statusLine(head);
    statusLine.TruncateAtChar('\r');
    statusLine.TruncateAtChar('\n');
    // Only a 2xx status line opens the tunnel.
    const char *text = statusLine.Text();
    const char *blank = std::strchr(text, ' ');
    bool ok = std::strncmp(text, "HTTP/", 5) == 0 && blank && blank[1] == '2' && blank[2] >= '0' &&
              blank[2] <= '9' && blank[3] >= '0' && blank[3] <= '9';
    if (!ok) {
        log.LogError("The proxy server refused the tunnel");
        log.LogData("proxyResponse", statusLine.Text());
        return false;
    }
    return true;
}

// The wait of one read: ms, cut to what the deadline leaves (0 when it has passed).
uint32_t SChannel::WaitLimitMs(uint32_t ms) const {
    if (!m_hasDeadline)
        return ms;
    int32_t left = static_cast<int32_t>(m_deadline - platform::GetTickCount());
    if (left <= 0)
        return 0;
    return static_cast<uint32_t>(left) < ms ? static_cast<uint32_t>(left) : ms;
}

bool SChannel::ReadHandshakeBytes(DataBuffer &buffer, uint32_t held, LogBase &log) {
    uint32_t wait = WaitLimitMs(m_handshakeTimeoutMs);
    if (wait == 0) {
        log.LogError("The TLS handshake did not finish before the deadline.");
        log.LogError("Error reading data from server in handshake loop");
        return false;
    }
    m_socket.SetReadTimeout(wait);
    uint32_t room = kHandshakeBufferSize - held;
    bool timedOut = false;
    if (room == 0 || !m_socket.ReceiveSome(buffer.Data() + held, room, timedOut, log)) {
        log.LogError("Error reading data from server in handshake loop");
        return false;
    }
    buffer.SetLength(held + room);
    return true;
}

// One receive of record bytes into m_pending; on failure m_readEnd tells how it ended.
bool SChannel::ReadRecordBytes(LogBase &log) {
    uint32_t held = m_pending.Length();
    if (!m_pending.EnsureCapacity(held + VantrySocket::kReceiveBlockSize)) {
        m_readEnd = ReadEnd::Failed;
        return false;
    }
    uint32_t got = VantrySocket::kReceiveBlockSize;
    bool timedOut = false;
    if (!m_socket.ReceiveSome(m_pending.Data() + held, got, timedOut, log)) {
        m_readEnd = timedOut                ? ReadEnd::TimedOut
                    : m_socket.PeerClosed() ? ReadEnd::PeerClosed
                                            : ReadEnd::Failed;
        return false;
    }
    m_pending.SetLength(held + got);
    return true;
}

bool SChannel::HandshakeLoop(bool initialRead, const DataBuffer *heldBytes, DataBuffer &extraOut,
                             LogBase &log) {
    DataBuffer buffer;
    uint32_t held = heldBytes ? heldBytes->Length() : 0;
    if (held > kHandshakeBufferSize || !buffer.EnsureCapacity(kHandshakeBufferSize)) {
        log.LogError("Failed to allocate memory in client handshake loop");
        return false;
    }
    if (held > 0)
        buffer.Append(heldBytes->Data(), held);
    bool readDue = initialRead;
    tls::SecStatus status = tls::SEC_I_CONTINUE_NEEDED;
    while (status == tls::SEC_I_CONTINUE_NEEDED || status == tls::SEC_E_INCOMPLETE_MESSAGE ||
           status == tls::SEC_I_INCOMPLETE_CREDENTIALS) {
        if (held == 0 || status == tls::SEC_E_INCOMPLETE_MESSAGE) {
            if (readDue) {
                buffer.SetLength(held);
                if (!ReadHandshakeBytes(buffer, held, log)) {
                    status = tls::SEC_E_INTERNAL_ERROR;
                    ReleaseHandles();
                    break;
                }
                held = buffer.Length();
            } else {
                readDue = true;
            }
        }

        DataBuffer token;
        uint32_t extra = 0;
        bool extendedError = false;
        status = m_context.InitializeSecurityContext(m_credentials, m_host.Text(), buffer.Data(), held, token,
                                                     extra, extendedError);
        if (m_renegotiationLimit && m_context.RenegotiationDataSize() > m_renegotiationLimit) {
            // Application data kept while a renegotiation runs is part of the response: the same cap.
            log.LogError("Data received during renegotiation is larger than the maximum allowed.");
            log.LogDataInt("maxContentLength", static_cast<int32_t>(m_renegotiationLimit));
            ReleaseHandles();
            return false;
        }
        if (status == tls::SEC_E_OK || status == tls::SEC_I_CONTINUE_NEEDED ||
            (tls::IsFailure(status) && extendedError)) {
            if (token.Length() > 0 && !m_socket.SendBytes(token.Data(), token.Length(), log)) {
                log.LogError("Error sending data to server (2) in handshake loop");
                ReleaseHandles();
                return false;
            }
        }
        if (status == tls::SEC_E_INCOMPLETE_MESSAGE)
            continue;
        if (status == tls::SEC_E_OK) {
            if (extra > 0 && !extraOut.Append(buffer.Data() + held - extra, extra)) {
                log.LogError("Out of memory in handshake loop");
                return false;
            }
            break;
        }
        if (tls::IsFailure(status)) {
            LogStatusHex(log, status);
            if (!m_context.LastError().empty()) {
                log.LogData("tlsError", m_context.LastError().c_str());
                // OpenSSL's text ends with its reason ("...:sslv3 alert handshake failure").
                const std::string &text = m_context.LastError();
                size_t colon = text.rfind(':');
                StringBuffer why("TLS handshake failed: ");
                why.Append(text.substr(colon == std::string::npos ? 0 : colon + 1).c_str());
                log.LogError(why.Text());
            }
            log.LogError("Aborting because of fatal error");
            ReleaseHandles();
            break;
        }
        // Continue: unconsumed bytes move to the front and are offered again.
        if (extra > 0) {
            std::memmove(buffer.Data(), buffer.Data() + held - extra, extra);
            held = extra;
        } else {
            held = 0;
        }
    }
    return !tls::IsFailure(status);
}

bool SChannel::VerifyServerCertificate(LogBase &log) {
    if (!m_context.HasRemoteCertificate()) {
        log.LogError("Certificate parameter is null in VerifyServerCertificate");
        m_certError = tls::TRUST_E_FAIL;
        return false;
    }
    if (m_host.Length() == 0) {
        log.LogError("Server name is empty in VerifyServerCertificate");
        m_certError = tls::TRUST_E_FAIL;
        return false;
    }
    int opensslError = 0;
    m_certError = m_context.VerifyServerCertificate(m_host.Text(), m_caFile.Text(), opensslError);
    if (m_certError == tls::TRUST_E_FAIL && opensslError < 0) {
        log.LogError("Error building certificate chain");
        return false;
    }
    if (m_certError != 0) {
        log.LogData("WinVerifyTrustError", CertErrorName(m_certError));
        log.LogDataInt("verifyError", opensslError);
        StringBuffer why("The server's certificate did not verify: ");
        why.Append(tls::VerifyErrorText(opensslError));
        log.LogError(why.Text());
        return false;
    }
    return true;
}

void SChannel::LogConnectionInfo(LogBase &log) {
    tls::ConnectionInfo info;
    if (tls::IsFailure(m_context.QueryConnectionInfo(info))) {
        log.LogError("Error querying context attributes");
        return;
    }
    LogContext ctx(log, "ConnectionInfo");
    LogNamed(log, "protocol", ProtocolName(info.protocol), info.protocol);
    LogNamed(log, "cipher", CipherName(info.cipher), info.cipher);
    log.LogDataInt("cipherStrength", static_cast<int32_t>(info.cipherStrength));
    LogNamed(log, "hash", HashName(info.hash), info.hash);
    log.LogDataInt("hashStrength", static_cast<int32_t>(info.hashStrength));
    LogNamed(log, "keyExchange", ExchangeName(info.exchange), info.exchange);
    log.LogDataInt("keyExchangeStrength", static_cast<int32_t>(info.exchangeStrength));
    if (!info.group.empty())
        log.LogData("keyExchangeGroup", info.group.c_str());
    if (!info.cipherSuite.empty())
        log.LogData("cipherSuite", info.cipherSuite.c_str());
    if (!info.alpn.empty())
        log.LogData("alpn", info.alpn.c_str());
}

bool SChannel::CheckSession(bool forShutdown, LogBase &log) {
    if (!tls::LoadSecurityLibrary()) {
        log.LogError(forShutdown ? "Cannot shutdown channel, security library not loaded"
                                 : "Cannot send data, security library not loaded");
        return false;
    }
    if (!m_context.IsValid() || !m_context.IsComplete()) {
        log.LogError(forShutdown ? "Cannot shutdown channel, no context exists"
                                 : "Cannot send data, no context exists");
        return false;
    }
    if (!m_credentials.IsValid()) {
        log.LogError(forShutdown ? "Cannot shutdown channel, no client credentials exist"
                                 : "Cannot send data, no client credentials exist");
        return false;
    }
    return true;
}

bool SChannel::SendData(const void *data, uint32_t count, LogBase &log) {
    if (count == 0)
        return true;
    const uint8_t *p = static_cast<const uint8_t *>(data);
    while (count > 0) {
        uint32_t piece = count < kMaxSendPiece ? count : kMaxSendPiece;
        if (!SecureSend(p, piece, log))
            return false;
        p += piece;
        count -= piece;
    }
    return true;
}

bool SChannel::SecureSend(const uint8_t *piece, uint32_t len, LogBase &log) {
    if (!CheckSession(false, log))
        return false;
    tls::StreamSizes sizes;
    if (tls::IsFailure(m_context.QueryStreamSizes(sizes))) {
        log.LogError("Error getting stream sizes");
        return false;
    }
    if (len > sizes.maximumMessage) {
        log.LogError("Message is too large for secure send");
        return false;
    }
    DataBuffer record;
    if (!record.EnsureCapacity(sizes.header + len + sizes.trailer + 4)) {
        log.LogError("Error allocating memory (3)");
        return false;
    }
    if (tls::IsFailure(m_context.EncryptMessage(piece, len, record))) {
        log.LogError("Failed to encrypt secure send request");
        return false;
    }
    if (!m_socket.SendBytes(record.Data(), record.Length(), log)) {
        log.LogError("Failed to send secure");
        return false;
    }
    return true;
}

// Decrypts the records held in m_pending. needMore is set when what is left is an incomplete record.
bool SChannel::DecryptPending(DataBuffer &out, bool &closed, bool &needMore, LogBase &log) {
    needMore = false;
    while (m_pending.Length() > 0) {
        uint32_t extra = 0;
        tls::SecStatus s = m_context.DecryptMessage(m_pending.Data(), m_pending.Length(), out, extra);
        if (s == tls::SEC_E_INCOMPLETE_MESSAGE) {
            needMore = true;
            return true;
        }
        if (s == tls::SEC_I_CONTEXT_EXPIRED) {
            log.LogInfo("End of session has been signalled.");
            m_pending.Clear();
            closed = true;
            return true;
        }
        if (s != tls::SEC_E_OK && s != tls::SEC_I_RENEGOTIATE) {
            log.LogError("Error in DecryptMessage");
            LogStatusHex(log, s);
            if (!m_context.LastError().empty())
                log.LogData("tlsError", m_context.LastError().c_str());
            m_pending.Clear();
            return false;
        }
        m_pending.RemoveFront(m_pending.Length() - extra);
        if (s == tls::SEC_I_RENEGOTIATE) {
            log.LogInfo("Server requested renegotiate.");
            // The handshake loop takes the bytes already received first, then reads its own records.
            DataBuffer handshakeExtra;
            DataBuffer held;
            held.AppendData(m_pending);
            m_pending.Clear();
            if (!HandshakeLoop(false, &held, handshakeExtra, log))
                return false;
            m_context.TakeRenegotiationData(out);
            m_pending.AppendData(handshakeExtra);
        }
    }
    return true;
}

bool SChannel::ReceiveRecords(DataBuffer &out, bool &closed, LogBase &log) {
    closed = false;
    out.Clear();
    m_readEnd = ReadEnd::Failed;
    if (!CheckSession(false, log))
        return false;
    m_readEnd = ReadEnd::None;
    bool needMore = true;
    // Bytes left from the handshake are decrypted before anything is read.
    if (m_pending.Length() > 0) {
        if (!DecryptPending(out, closed, needMore, log)) {
            m_readEnd = ReadEnd::Failed;
            return false;
        }
        if (closed || !needMore)
            return true;
    }
    while (needMore) {
        if (!ReadRecordBytes(log)) {
            log.LogError(m_pending.Length() == 0 ? "Failed to read SChannel response (3)"
                                                 : "Failed to read SChannel response (4)");
            return false;
        }
        if (!DecryptPending(out, closed, needMore, log)) {
            m_readEnd = ReadEnd::Failed;
            return false;
        }
        if (closed)
            return true;
    }
    return true;
}

bool SChannel::IdleAndAlive(LogBase &log) {
    if (!m_socket.IsConnected() || !m_context.IsValid() || !m_context.IsComplete())
        return false;
    // Up to a few rounds of records that carry no data (session tickets) are taken in.
    for (int round = 0; round < 4; ++round) {
        if (m_pending.Length() == 0 && m_socket.IdleAndAlive())
            return true;
        uint32_t saved = m_socket.ReadTimeout();
        m_socket.SetReadTimeout(WaitLimitMs(200) ? WaitLimitMs(200) : 1);
        DataBuffer data;
        bool closed = false;
        bool ok = ReceiveRecords(data, closed, log);
        m_socket.SetReadTimeout(saved);
        if (!ok || closed || data.Length() > 0)
            return false;
    }
    return false;
}

bool SChannel::Shutdown(LogBase &log) {
    if (!CheckSession(true, log))
        return false;
    if (tls::IsFailure(m_context.ApplyShutdownToken())) {
        log.LogError("Error in ApplyControlToken");
        ReleaseHandles();
        return false;
    }
    DataBuffer token;
    uint32_t extra = 0;
    bool extendedError = false;
    if (tls::IsFailure(m_context.InitializeSecurityContext(m_credentials, m_host.Text(), nullptr, 0, token,
                                                           extra, extendedError))) {
        log.LogError("Error returned by InitializeSecurityContext");
        ReleaseHandles();
        return false;
    }
    if (token.Length() > 0 && !m_socket.SendBytes(token.Data(), token.Length(), log)) {
        log.LogError("Error sending close notify");
        ReleaseHandles();
        return false;
    }
    ReleaseHandles();
    log.LogInfo("Secure Channel Shutdown.");
    return true;
}

void SChannel::Close(LogBase &log) {
    if (m_context.IsValid() && m_context.IsComplete() && m_socket.IsConnected())
        Shutdown(log);
    ReleaseHandles();
    m_socket.Close();
}

} // namespace vantry
