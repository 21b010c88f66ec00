// TLS for Windows with Schannel through SSPI. This file reads the socket
// itself into a buffer of ciphertext, passes every byte through the record
// scan, and feeds Schannel whole or partial records: SECBUFFER_EXTRA (bytes
// of the next record) and SEC_E_INCOMPLETE_MESSAGE (a record not yet whole)
// are handled at any read size. Schannel is asked not to judge the server's
// certificate; the chain and the host name are checked here with the SSL
// policy, because not every Schannel checks anything during the handshake.
#define SECURITY_WIN32
#define SCHANNEL_USE_BLACKLISTS // declares SCH_CREDENTIALS
#include <winsock2.h>
#include <windows.h>
#include <subauth.h>
#include <wincrypt.h>
#include <schannel.h>
#include <security.h>
#include <sspi.h>

#include <cstddef>
#include <cstring>

#include "engine/ip_literal.h"
#include "text/text.h"
#include "engine/tls.h"

namespace {

// A whole record and one more read of the same size fit.
constexpr int kCipherCapacity = 2 * (kTlsRecordHeader + kTlsMaxRecordBody) + 4096;
constexpr int kPlainCapacity = 32 * 1024;
constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                ISC_REQ_EXTENDED_ERROR | ISC_REQ_MANUAL_CRED_VALIDATION;

CredHandle Credentials;
bool HaveCredentials = false;

// TLS 1.2 and 1.3 with SCH_CREDENTIALS; systems that do not know that
// record get SCHANNEL_CRED with TLS 1.2.
bool AcquireCredentials() {
    if (HaveCredentials) return true;
    TimeStamp expiry;
    TLS_PARAMETERS parameters;
    memset(&parameters, 0, sizeof parameters);
    parameters.grbitDisabledProtocols = (DWORD) ~(SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT);
    SCH_CREDENTIALS modern;
    memset(&modern, 0, sizeof modern);
    modern.dwVersion = SCH_CREDENTIALS_VERSION;
    modern.dwFlags =
        SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
    modern.cTlsParameters = 1;
    modern.pTlsParameters = &parameters;
    SECURITY_STATUS status =
        AcquireCredentialsHandleA(nullptr, (LPSTR)UNISP_NAME_A, SECPKG_CRED_OUTBOUND, nullptr,
                                  &modern, nullptr, nullptr, &Credentials, &expiry);
    if (status != SEC_E_OK) {
        SCHANNEL_CRED older;
        memset(&older, 0, sizeof older);
        older.dwVersion = SCHANNEL_CRED_VERSION;
        older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
        older.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
        status =
            AcquireCredentialsHandleA(nullptr, (LPSTR)UNISP_NAME_A, SECPKG_CRED_OUTBOUND, nullptr,
                                      &older, nullptr, nullptr, &Credentials, &expiry);
    }
    HaveCredentials = status == SEC_E_OK;
    return HaveCredentials;
}

} // namespace

struct TlsConn {
    SocketHandle socket;
    CtxtHandle context;
    bool haveContext;
    bool established;
    bool needMore; // the buffered ciphertext is no whole message yet
    bool ended;    // the socket reported the end of the stream
    bool goodbye;  // the server closed the TLS session
    TlsFailure failure;
    TlsRecordScan scan;
    SecPkgContext_StreamSizes sizes;
    bool offerH2;
    TlsAppProtocol chosen;
    char host[256];
    char cipher[kCipherCapacity];
    int cipherLength;
    char plain[kPlainCapacity];
    int plainStart;
    int plainLength;
};

void TlsTrustFile(const char*) {} // Windows trusts its certificate stores only

TlsConn* TlsOpen(SocketHandle socket, const char* host, bool offerH2) {
    if (!AcquireCredentials()) return nullptr;
    TlsConn* conn = new TlsConn();
    conn->socket = socket;
    conn->offerH2 = offerH2;
    conn->needMore = true;
    CopyText(conn->host, sizeof conn->host, host);
    return conn;
}

void TlsClose(TlsConn* conn) {
    if (!conn) return;
    if (conn->haveContext) DeleteSecurityContext(&conn->context);
    delete conn;
}

bool TlsPending(const TlsConn* conn) {
    return conn && conn->failure == TlsOk &&
           (conn->plainLength > 0 || (conn->cipherLength > 0 && !conn->needMore) || conn->ended);
}

TlsFailure TlsLastFailure(const TlsConn* conn) {
    return conn ? conn->failure : TlsFailSetup;
}

static int Fail(TlsConn* conn, TlsFailure failure) {
    if (conn->failure == TlsOk) conn->failure = failure;
    return -1;
}

static bool SendAll(TlsConn* conn, const char* data, int len) {
    for (int sent = 0; sent < len;) {
        int n = NetSend(conn->socket, data + sent, len - sent);
        if (n <= 0) {
            Fail(conn, TlsFailSocket);
            return false;
        }
        sent += n;
    }
    return true;
}

// Sends and frees a token that Schannel allocated.
static bool SendToken(TlsConn* conn, SecBuffer* token) {
    bool ok = true;
    if (token->pvBuffer && token->cbBuffer > 0)
        ok = SendAll(conn, (const char*)token->pvBuffer, (int)token->cbBuffer);
    if (token->pvBuffer) FreeContextBuffer(token->pvBuffer);
    token->pvBuffer = nullptr;
    token->cbBuffer = 0;
    return ok;
}

// One read of the socket into the ciphertext buffer: 1 bytes added, 0 the
// end of the stream, -2 nothing there yet, -1 failure.
static int Pull(TlsConn* conn) {
    if (conn->ended) return 0;
    int room = kCipherCapacity - conn->cipherLength;
    if (room <= 0) return Fail(conn, TlsFailRecord); // the scan keeps this from happening
    char* at = conn->cipher + conn->cipherLength;
    int n = NetRecv(conn->socket, at, room);
    if (n == -2) return -2;
    if (n < 0) return Fail(conn, TlsFailSocket);
    if (n == 0) {
        conn->ended = true;
        return 0;
    }
    if (!TlsScanBytes(&conn->scan, (const uint8_t*)at, (size_t)n)) return Fail(conn, TlsFailRecord);
    conn->cipherLength += n;
    conn->needMore = false;
    return 1;
}

// Keeps only the last extra bytes of the ciphertext buffer (a following
// message), or empties it.
static void KeepExtra(TlsConn* conn, const SecBuffer* buffers, int count) {
    for (int i = 0; i < count; i++) {
        if (buffers[i].BufferType != SECBUFFER_EXTRA || buffers[i].cbBuffer == 0) continue;
        int extra = (int)buffers[i].cbBuffer;
        memmove(conn->cipher, conn->cipher + conn->cipherLength - extra, (size_t)extra);
        conn->cipherLength = extra;
        return;
    }
    conn->cipherLength = 0;
    conn->needMore = true;
}

static TlsFailure ChainFailure(DWORD error) {
    switch (error) {
    case (DWORD)CERT_E_EXPIRED:
    case (DWORD)CERT_E_VALIDITYPERIODNESTING:
        return TlsFailExpired;
    case (DWORD)CERT_E_CN_NO_MATCH:
        return TlsFailHostName;
    case (DWORD)CERT_E_UNTRUSTEDROOT:
    case (DWORD)CERT_E_CHAINING:
    case (DWORD)CERT_E_UNTRUSTEDTESTROOT:
    case (DWORD)TRUST_E_CERT_SIGNATURE:
        return TlsFailUntrusted;
    default:
        return TlsFailCertificate;
    }
}

// What the chain itself says, before any policy: the SSL policy of some
// systems lets a chain that ends at no root at all pass.
static TlsFailure TrustFailure(DWORD status) {
    const DWORD untrusted = CERT_TRUST_IS_PARTIAL_CHAIN | CERT_TRUST_IS_UNTRUSTED_ROOT |
                            CERT_TRUST_IS_NOT_SIGNATURE_VALID | CERT_TRUST_IS_CYCLIC |
                            CERT_TRUST_INVALID_BASIC_CONSTRAINTS;
    const DWORD ignored = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
    if (status & untrusted) return TlsFailUntrusted;
    if (status & CERT_TRUST_IS_NOT_TIME_VALID) return TlsFailExpired;
    if (status & ~ignored) return TlsFailCertificate;
    return TlsOk;
}

#ifndef SECURITY_FLAG_IGNORE_CERT_CN_INVALID
#define SECURITY_FLAG_IGNORE_CERT_CN_INVALID 0x00001000
#endif

// True when the certificate lists the address among its IP-address
// alternative names. Not every system's SSL policy looks at them, and a DNS
// name that spells the address proves nothing, so addresses are matched here.
static bool NamesAddress(PCCERT_CONTEXT certificate, const uint8_t* address, int length) {
    PCERT_EXTENSION extension =
        CertFindExtension(szOID_SUBJECT_ALT_NAME2, certificate->pCertInfo->cExtension,
                          certificate->pCertInfo->rgExtension);
    if (!extension) return false;
    CERT_ALT_NAME_INFO* names = nullptr;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                             extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names,
                             &size))
        return false;
    bool found = false;
    for (DWORD i = 0; i < names->cAltEntry && !found; i++) {
        const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
        found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS &&
                entry.IPAddress.cbData == (DWORD)length &&
                memcmp(entry.IPAddress.pbData, address, (size_t)length) == 0;
    }
    LocalFree(names);
    return found;
}

// The server's certificate: a chain to a trusted root, valid today, for
// server authentication, naming the host (an address among its IP names).
static TlsFailure VerifyServer(TlsConn* conn) {
    PCCERT_CONTEXT certificate = nullptr;
    if (QueryContextAttributesA(&conn->context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) !=
            SEC_E_OK ||
        !certificate)
        return TlsFailCertificate;
    LPSTR usages[] = {(LPSTR)szOID_PKIX_KP_SERVER_AUTH};
    CERT_CHAIN_PARA chainPara;
    memset(&chainPara, 0, sizeof chainPara);
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    TlsFailure failure = TlsFailCertificate;
    if (CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &chainPara,
                                0, nullptr, &chain)) {
        wchar_t wideHost[256];
        if (MultiByteToWideChar(CP_ACP, 0, conn->host, -1, wideHost, 256) == 0) wideHost[0] = 0;
        HTTPSPolicyCallbackData server;
        memset(&server, 0, sizeof server);
        server.cbStruct = sizeof server;
        server.dwAuthType = AUTHTYPE_SERVER;
        server.pwszServerName = wideHost;
        uint8_t address[16];
        int addressLength = 0;
        bool byAddress = ParseIpLiteral(conn->host, address, &addressLength);
        if (byAddress) {
            server.pwszServerName = nullptr;
            server.fdwChecks = SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
        }
        CERT_CHAIN_POLICY_PARA policy;
        memset(&policy, 0, sizeof policy);
        policy.cbSize = sizeof policy;
        policy.pvExtraPolicyPara = &server;
        CERT_CHAIN_POLICY_STATUS status;
        memset(&status, 0, sizeof status);
        status.cbSize = sizeof status;
        failure = TrustFailure(chain->TrustStatus.dwErrorStatus);
        if (failure == TlsOk) {
            if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status))
                failure = TlsFailCertificate;
            else if (status.dwError != 0)
                failure = ChainFailure(status.dwError);
            else if (byAddress && !NamesAddress(certificate, address, addressLength))
                failure = TlsFailHostName;
        }
        CertFreeCertificateChain(chain);
    }
    CertFreeCertificateContext(certificate);
    return failure;
}

static TlsFailure HandshakeFailure(SECURITY_STATUS status) {
    switch (status) {
    case SEC_E_UNTRUSTED_ROOT:
        return TlsFailUntrusted;
    case SEC_E_CERT_EXPIRED:
        return TlsFailExpired;
    case SEC_E_WRONG_PRINCIPAL:
        return TlsFailHostName;
    default:
        return TlsFailProtocol;
    }
}

// The ALPN offer as Schannel takes it: one protocol list, in a buffer of
// the first call. Returns its size, 0 when it does not fit.
static unsigned long AlpnBuffer(bool offerH2, unsigned char* out, size_t room) {
    const size_t head = offsetof(SEC_APPLICATION_PROTOCOLS, ProtocolLists) +
                        offsetof(SEC_APPLICATION_PROTOCOL_LIST, ProtocolList);
    if (room <= head) return 0;
    size_t list = TlsAlpnOffer(offerH2, out + head, room - head);
    if (list == 0) return 0;
    SEC_APPLICATION_PROTOCOLS protocols;
    protocols.ProtocolListsSize =
        (unsigned long)(offsetof(SEC_APPLICATION_PROTOCOL_LIST, ProtocolList) + list);
    protocols.ProtocolLists[0].ProtoNegoExt = SecApplicationProtocolNegotiationExt_ALPN;
    protocols.ProtocolLists[0].ProtocolListSize = (unsigned short)list;
    memcpy(out, &protocols, head);
    return (unsigned long)(head + list);
}

// One call of InitializeSecurityContext with the buffered ciphertext (for
// the first, the ALPN offer instead); sends what it produced.
static SECURITY_STATUS Step(TlsConn* conn, bool first) {
    unsigned char alpn[64];
    SecBuffer in[2];
    in[0].BufferType = SECBUFFER_TOKEN;
    in[0].pvBuffer = conn->cipher;
    in[0].cbBuffer = (unsigned long)conn->cipherLength;
    in[1].BufferType = SECBUFFER_EMPTY;
    in[1].pvBuffer = nullptr;
    in[1].cbBuffer = 0;
    SecBufferDesc inDesc = {SECBUFFER_VERSION, 2, in};
    if (first) {
        in[0].BufferType = SECBUFFER_APPLICATION_PROTOCOLS;
        in[0].pvBuffer = alpn;
        in[0].cbBuffer = AlpnBuffer(conn->offerH2, alpn, sizeof alpn);
        inDesc.cBuffers = 1;
    }
    SecBuffer out[1];
    out[0].BufferType = SECBUFFER_TOKEN;
    out[0].pvBuffer = nullptr;
    out[0].cbBuffer = 0;
    SecBufferDesc outDesc = {SECBUFFER_VERSION, 1, out};
    DWORD attributes = 0;
    TimeStamp expiry;
    SECURITY_STATUS status = InitializeSecurityContextA(
        &Credentials, first ? nullptr : &conn->context, conn->host, kContextFlags, 0, 0,
        &inDesc, 0, first ? &conn->context : nullptr, &outDesc, &attributes,
        &expiry);
    if (first && (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK)) conn->haveContext = true;
    if (!SendToken(conn, &out[0])) return SEC_E_INTERNAL_ERROR;
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
        conn->needMore = true; // the buffer stays as it is
    } else if (!first && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED)) {
        KeepExtra(conn, in, 2);
    }
    return status;
}

TlsStep TlsHandshake(TlsConn* conn) {
    if (conn->failure != TlsOk) return TlsStepFailed;
    if (conn->established) return TlsStepDone;
    if (!conn->haveContext) {
        SECURITY_STATUS status = Step(conn, true);
        if (conn->failure != TlsOk) return TlsStepFailed;
        if (status != SEC_I_CONTINUE_NEEDED) {
            Fail(conn, TlsFailSetup);
            return TlsStepFailed;
        }
        conn->needMore = true;
    }
    for (;;) {
        if (conn->needMore || conn->cipherLength == 0) {
            int pulled = Pull(conn);
            if (pulled == -2) return TlsStepWait;
            if (pulled == 0) Fail(conn, TlsFailProtocol); // closed during the handshake
            if (pulled <= 0) return TlsStepFailed;
        }
        SECURITY_STATUS status = Step(conn, false);
        if (conn->failure != TlsOk) return TlsStepFailed;
        if (status == SEC_E_INCOMPLETE_MESSAGE || status == SEC_I_CONTINUE_NEEDED) continue;
        if (status == SEC_I_INCOMPLETE_CREDENTIALS) continue; // no client certificate: go on
        if (status != SEC_E_OK) {
            Fail(conn, HandshakeFailure(status));
            return TlsStepFailed;
        }
        TlsFailure verified = VerifyServer(conn);
        if (verified != TlsOk) {
            Fail(conn, verified);
            return TlsStepFailed;
        }
        if (QueryContextAttributesA(&conn->context, SECPKG_ATTR_STREAM_SIZES, &conn->sizes) !=
            SEC_E_OK) {
            Fail(conn, TlsFailProtocol);
            return TlsStepFailed;
        }
        SecPkgContext_ApplicationProtocol chosen;
        memset(&chosen, 0, sizeof chosen);
        if (QueryContextAttributesA(&conn->context, SECPKG_ATTR_APPLICATION_PROTOCOL, &chosen) ==
                SEC_E_OK &&
            chosen.ProtoNegoStatus == SecApplicationProtocolNegotiationStatus_Success)
            conn->chosen = TlsAppProtocolNamed(chosen.ProtocolId, chosen.ProtocolIdSize);
        conn->established = true;
        return TlsStepDone;
    }
}

int TlsSend(TlsConn* conn, const char* data, int len) {
    if (conn->failure != TlsOk || !conn->established) return -1;
    int total = 0;
    while (total < len) {
        int piece = len - total;
        if (piece > (int)conn->sizes.cbMaximumMessage) piece = (int)conn->sizes.cbMaximumMessage;
        int whole = (int)(conn->sizes.cbHeader + (unsigned long)piece + conn->sizes.cbTrailer);
        char* message = new char[(size_t)whole];
        memcpy(message + conn->sizes.cbHeader, data + total, (size_t)piece);
        SecBuffer buffers[4];
        buffers[0] = {conn->sizes.cbHeader, SECBUFFER_STREAM_HEADER, message};
        buffers[1] = {(unsigned long)piece, SECBUFFER_DATA, message + conn->sizes.cbHeader};
        buffers[2] = {conn->sizes.cbTrailer, SECBUFFER_STREAM_TRAILER,
                      message + conn->sizes.cbHeader + piece};
        buffers[3] = {0, SECBUFFER_EMPTY, nullptr};
        SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
        SECURITY_STATUS status = EncryptMessage(&conn->context, 0, &desc, 0);
        bool sent = status == SEC_E_OK &&
                    SendAll(conn, message,
                            (int)(buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer));
        delete[] message;
        if (!sent) return Fail(conn, TlsFailProtocol);
        total += piece;
    }
    return total;
}

// Post-handshake messages (TLS 1.3 tickets, key updates) go back through
// the handshake call.
static bool Renegotiate(TlsConn* conn) {
    SECURITY_STATUS status = Step(conn, false);
    if (conn->failure != TlsOk) return false;
    return status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED ||
           status == SEC_E_INCOMPLETE_MESSAGE;
}

int TlsRecv(TlsConn* conn, char* buffer, int len) {
    if (conn->failure != TlsOk) return -1;
    for (;;) {
        if (conn->plainLength > 0) {
            int n = len < conn->plainLength ? len : conn->plainLength;
            memcpy(buffer, conn->plain + conn->plainStart, (size_t)n);
            conn->plainStart += n;
            conn->plainLength -= n;
            return n;
        }
        if (conn->goodbye) return 0;
        if (conn->cipherLength > 0 && !conn->needMore) {
            SecBuffer buffers[4];
            buffers[0] = {(unsigned long)conn->cipherLength, SECBUFFER_DATA, conn->cipher};
            for (int i = 1; i < 4; i++)
                buffers[i] = {0, SECBUFFER_EMPTY, nullptr};
            SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
            SECURITY_STATUS status = DecryptMessage(&conn->context, &desc, 0, nullptr);
            if (status == SEC_E_INCOMPLETE_MESSAGE) {
                conn->needMore = true;
                continue;
            }
            if (status == SEC_I_CONTEXT_EXPIRED) {
                conn->goodbye = true;
                return 0;
            }
            if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE)
                return Fail(conn, TlsFailProtocol);
            for (const SecBuffer& b : buffers) {
                if (b.BufferType != SECBUFFER_DATA || b.cbBuffer == 0) continue;
                if (b.cbBuffer > (unsigned long)kPlainCapacity) return Fail(conn, TlsFailRecord);
                memcpy(conn->plain, b.pvBuffer, b.cbBuffer);
                conn->plainStart = 0;
                conn->plainLength = (int)b.cbBuffer;
            }
            KeepExtra(conn, buffers, 4);
            if (status == SEC_I_RENEGOTIATE && !Renegotiate(conn))
                return Fail(conn, TlsFailProtocol);
            continue;
        }
        int pulled = Pull(conn);
        if (pulled == -2) return -2;
        if (pulled < 0) return -1;
        if (pulled == 0) {
            // Many servers close without a goodbye; that is an end like any
            // other between records, but a cut record is lost data.
            if (conn->cipherLength == 0 && TlsScanAtBoundary(&conn->scan)) return 0;
            return Fail(conn, TlsFailTruncated);
        }
    }
}

TlsAppProtocol TlsChosenProtocol(const TlsConn* conn) {
    return conn ? conn->chosen : TlsAppNone;
}
