// TLS over a job's connected socket. TlsSend and TlsRecv answer exactly like
// NetSend and NetRecv (net.h), so reception cannot tell a TLS connection
// from a plain one. Defined in tls_posix.cpp (OpenSSL) and tls_win.cpp
// (Schannel); both read the socket themselves and pass every byte through
// the record scan below before the library sees it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "engine/net.h"

enum TlsFailure : int32_t {
    TlsOk = 0,
    TlsFailSetup,       // the library refused to start a connection
    TlsFailProtocol,    // not TLS, or a broken or refused handshake
    TlsFailUntrusted,   // certificate of an unknown authority
    TlsFailExpired,     // certificate outside its validity period
    TlsFailHostName,    // certificate for another host
    TlsFailCertificate, // any other certificate fault
    TlsFailRecord,      // an oversized or malformed record
    TlsFailTruncated,   // the stream ended inside a record
    TlsFailSocket,      // the socket failed
};

enum TlsStep { TlsStepFailed = -1, TlsStepDone = 0, TlsStepWait = 1 };

struct TlsConn; // one per connection; the platform file defines it

// Application protocols offered in the handshake (ALPN), and the one the
// server chose: TlsAppNone when it took no part in the choosing.
enum TlsAppProtocol : int32_t { TlsAppNone = 0, TlsAppHttp11 = 1, TlsAppH2 = 2 };

// Starts TLS on a connected socket for host (server name indication and the
// name the certificate must carry), offering HTTP/1.1, and HTTP/2 before it
// when offerH2. nullptr when the library refuses.
TlsConn* TlsOpen(SocketHandle socket, const char* host, bool offerH2 = false);
// The protocol the server chose, once the handshake is done.
TlsAppProtocol TlsChosenProtocol(const TlsConn* conn);
// Advances the handshake with whatever the socket holds; TlsStepWait until
// more arrives. Done only once the certificate has been verified.
TlsStep TlsHandshake(TlsConn* conn);
// As NetSend and NetRecv, over the established connection.
int TlsSend(TlsConn* conn, const char* data, int len);
int TlsRecv(TlsConn* conn, char* buffer, int len);
// True while the layer holds bytes that TlsRecv can hand up without
// reading the socket: no socket event would announce them.
bool TlsPending(const TlsConn* conn);
// Why the last call failed (TlsOk when none did).
TlsFailure TlsLastFailure(const TlsConn* conn);
// Frees the connection's state; the socket stays open (its owner closes it).
void TlsClose(TlsConn* conn);
// Trusts the certificates of a PEM file besides the system's: the native
// tests name their own authority. Windows reads its trusted roots only.
void TlsTrustFile(const char* pemPath);

// The offer in ALPN's wire form (each name after its length byte) into
// out[0, room); its length, 0 when it does not fit.
size_t TlsAlpnOffer(bool offerH2, uint8_t* out, size_t room);
// The protocol a name the server chose stands for (TlsAppNone for any
// other, or none).
TlsAppProtocol TlsAppProtocolNamed(const uint8_t* name, size_t length);

// Japanese reason of a failure, as the log line shows it.
const char* TlsFailureText(TlsFailure failure);

// ---- Record scan -------------------------------------------------------
// Follows the record layer of what the server sends: every record header
// must carry a known content type, major version 3 and a length within the
// largest ciphertext a record may hold. This refuses a server that is not
// speaking TLS at once, bounds what is buffered, and tells whether the
// stream ended between records or inside one.
constexpr int kTlsRecordHeader = 5;
constexpr int kTlsMaxRecordBody = 16384 + 2048;

struct TlsRecordScan {
    uint8_t header[kTlsRecordHeader];
    int32_t headerHave; // header bytes of the current record seen
    int32_t bodyLeft;   // body bytes of the current record still to come
    int32_t broken;     // 1 once a header was refused
};

// Follows n more bytes; false (and broken) when they break the record layer.
bool TlsScanBytes(TlsRecordScan* scan, const uint8_t* bytes, size_t n);
// True when the bytes so far end exactly between two records.
bool TlsScanAtBoundary(const TlsRecordScan* scan);
