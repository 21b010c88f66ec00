// TLS for the native builds with OpenSSL. The library works on memory
// buffers: this file reads the socket itself, passes the bytes through the
// record scan, and sends what the library wants sent, so that the engine's
// event loop stays the only one that watches the socket.
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <cstring>

#include "engine/tls.h"
#include "text/text.h"

struct TlsConn {
    SocketHandle socket;
    SSL* ssl;
    BIO* in;  // ciphertext from the server, read by the library
    BIO* out; // ciphertext to the server, written by the library
    TlsRecordScan scan;
    TlsFailure failure;
    bool ended; // the socket reported the end of the stream
    uint8_t wire[16 * 1024];
};

static SSL_CTX* Context = nullptr;

static SSL_CTX* TheContext() {
    if (Context) return Context;
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) return nullptr;
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(ctx);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    Context = ctx;
    return Context;
}

void TlsTrustFile(const char* pemPath) {
    SSL_CTX* ctx = TheContext();
    if (ctx && pemPath && pemPath[0]) SSL_CTX_load_verify_locations(ctx, pemPath, nullptr);
}

static bool IsAddressLiteral(const char* host) {
    unsigned char probe[16];
    return inet_pton(AF_INET, host, probe) == 1 || inet_pton(AF_INET6, host, probe) == 1;
}

TlsConn* TlsOpen(SocketHandle socket, const char* host, bool offerH2) {
    SSL_CTX* ctx = TheContext();
    if (!ctx) return nullptr;
    TlsConn* conn = new TlsConn();
    conn->socket = socket;
    conn->ssl = SSL_new(ctx);
    conn->in = BIO_new(BIO_s_mem());
    conn->out = BIO_new(BIO_s_mem());
    if (!conn->ssl || !conn->in || !conn->out) {
        BIO_free(conn->in);
        BIO_free(conn->out);
        SSL_free(conn->ssl);
        delete conn;
        return nullptr;
    }
    uint8_t offer[16];
    size_t offerLength = TlsAlpnOffer(offerH2, offer, sizeof offer);
    // 0 is success here, unlike the library's other calls.
    if (offerLength == 0 || SSL_set_alpn_protos(conn->ssl, offer, (unsigned)offerLength) != 0) {
        BIO_free(conn->in);
        BIO_free(conn->out);
        SSL_free(conn->ssl);
        delete conn;
        return nullptr;
    }
    BIO_set_mem_eof_return(conn->in, -1); // empty means "not yet", not the end
    SSL_set_bio(conn->ssl, conn->in, conn->out);
    SSL_set_connect_state(conn->ssl);
    X509_VERIFY_PARAM* param = SSL_get0_param(conn->ssl);
    if (IsAddressLiteral(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(param, host);
    } else {
        SSL_set_tlsext_host_name(conn->ssl, host);
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        X509_VERIFY_PARAM_set1_host(param, host, 0);
    }
    return conn;
}

void TlsClose(TlsConn* conn) {
    if (!conn) return;
    SSL_free(conn->ssl); // frees both buffers too
    delete conn;
}

bool TlsPending(const TlsConn* conn) {
    return conn && conn->failure == TlsOk &&
           (SSL_pending(conn->ssl) > 0 || BIO_ctrl_pending(conn->in) > 0 || conn->ended);
}

TlsFailure TlsLastFailure(const TlsConn* conn) {
    return conn ? conn->failure : TlsFailSetup;
}

static int Fail(TlsConn* conn, TlsFailure failure) {
    if (conn->failure == TlsOk) conn->failure = failure;
    ERR_clear_error();
    return -1;
}

// Sends whatever the library produced; false when the socket refused it.
static bool Flush(TlsConn* conn) {
    char piece[4096];
    while (BIO_ctrl_pending(conn->out) > 0) {
        int n = BIO_read(conn->out, piece, sizeof piece);
        if (n <= 0) break;
        for (int sent = 0; sent < n;) {
            int m = NetSend(conn->socket, piece + sent, n - sent);
            if (m <= 0) {
                Fail(conn, TlsFailSocket);
                return false;
            }
            sent += m;
        }
    }
    return true;
}

// One read of the socket into the library: 1 bytes passed on, 0 the end of
// the stream, -2 nothing there yet, -1 failure.
static int Pull(TlsConn* conn) {
    if (conn->ended) return 0;
    int n = NetRecv(conn->socket, (char*)conn->wire, sizeof conn->wire);
    if (n == -2) return -2;
    if (n < 0) return Fail(conn, TlsFailSocket);
    if (n == 0) {
        conn->ended = true;
        return 0;
    }
    if (!TlsScanBytes(&conn->scan, conn->wire, (size_t)n)) return Fail(conn, TlsFailRecord);
    BIO_write(conn->in, conn->wire, n);
    return 1;
}

static TlsFailure CertificateFailure(long result) {
    switch (result) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return TlsFailExpired;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return TlsFailHostName;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return TlsFailUntrusted;
    default:
        return TlsFailCertificate;
    }
}

TlsStep TlsHandshake(TlsConn* conn) {
    if (conn->failure != TlsOk) return TlsStepFailed;
    for (;;) {
        int r = SSL_do_handshake(conn->ssl);
        if (!Flush(conn)) return TlsStepFailed;
        if (r == 1) {
            long verified = SSL_get_verify_result(conn->ssl);
            if (verified != X509_V_OK || !SSL_get0_peer_certificate(conn->ssl)) {
                Fail(conn, CertificateFailure(verified));
                return TlsStepFailed;
            }
            return TlsStepDone;
        }
        if (SSL_get_error(conn->ssl, r) != SSL_ERROR_WANT_READ) {
            long verified = SSL_get_verify_result(conn->ssl);
            Fail(conn, verified != X509_V_OK ? CertificateFailure(verified) : TlsFailProtocol);
            return TlsStepFailed;
        }
        int pulled = Pull(conn);
        if (pulled == -2) return TlsStepWait;
        if (pulled == 0) Fail(conn, TlsFailProtocol); // closed during the handshake
        if (pulled <= 0) return TlsStepFailed;
    }
}

int TlsSend(TlsConn* conn, const char* data, int len) {
    if (conn->failure != TlsOk) return -1;
    int n = SSL_write(conn->ssl, data, len);
    if (!Flush(conn)) return -1;
    if (n <= 0) return Fail(conn, TlsFailProtocol);
    return n;
}

int TlsRecv(TlsConn* conn, char* buffer, int len) {
    if (conn->failure != TlsOk) return -1;
    for (;;) {
        int n = SSL_read(conn->ssl, buffer, len);
        if (n > 0) return n;
        int error = SSL_get_error(conn->ssl, n);
        if (!Flush(conn)) return -1;                  // a key update or an alert may answer
        if (error == SSL_ERROR_ZERO_RETURN) return 0; // the server said goodbye
        if (error != SSL_ERROR_WANT_READ) return Fail(conn, TlsFailProtocol);
        int pulled = Pull(conn);
        if (pulled == -2) return -2;
        if (pulled < 0) return -1;
        if (pulled == 0) {
            // Many servers close without a goodbye; that is an end like any
            // other between records, but a cut record is lost data.
            if (TlsScanAtBoundary(&conn->scan) && BIO_ctrl_pending(conn->in) == 0) return 0;
            return Fail(conn, TlsFailTruncated);
        }
    }
}

TlsAppProtocol TlsChosenProtocol(const TlsConn* conn) {
    const unsigned char* name = nullptr;
    unsigned length = 0;
    if (conn && conn->ssl) SSL_get0_alpn_selected(conn->ssl, &name, &length);
    return TlsAppProtocolNamed(name, length);
}
