// The record scan shared by both TLS layers, and the failure texts.
#include "engine/tls.h"

#include <cstring>

static bool HeaderAcceptable(const uint8_t* h) {
    // change_cipher_spec, alert, handshake, application_data
    if (h[0] < 20 || h[0] > 23) return false;
    if (h[1] != 3) return false;
    int length = (h[3] << 8) | h[4];
    return length <= kTlsMaxRecordBody;
}

bool TlsScanBytes(TlsRecordScan* scan, const uint8_t* bytes, size_t n) {
    if (scan->broken) return false;
    size_t p = 0;
    while (p < n) {
        if (scan->bodyLeft > 0) {
            size_t take = n - p < (size_t)scan->bodyLeft ? n - p : (size_t)scan->bodyLeft;
            scan->bodyLeft -= (int32_t)take;
            p += take;
            continue;
        }
        scan->header[scan->headerHave++] = bytes[p++];
        if (scan->headerHave < kTlsRecordHeader) continue;
        scan->headerHave = 0;
        if (!HeaderAcceptable(scan->header)) {
            scan->broken = 1;
            return false;
        }
        scan->bodyLeft = (scan->header[3] << 8) | scan->header[4];
    }
    return true;
}

bool TlsScanAtBoundary(const TlsRecordScan* scan) {
    return !scan->broken && scan->headerHave == 0 && scan->bodyLeft == 0;
}

const char* TlsFailureText(TlsFailure failure) {
    switch (failure) {
    case TlsOk:
        return "";
    case TlsFailSetup:
        return "初期化に失敗しました";
    case TlsFailProtocol:
        return "ハンドシェイクに失敗しました";
    case TlsFailUntrusted:
        return "証明書の発行者を信頼できません";
    case TlsFailExpired:
        return "証明書の有効期限が切れています";
    case TlsFailHostName:
        return "証明書のホスト名が一致しません";
    case TlsFailCertificate:
        return "証明書を確認できません";
    case TlsFailRecord:
        return "不正なレコードを受信しました";
    case TlsFailTruncated:
        return "レコードの途中で切断されました";
    case TlsFailSocket:
        return "通信に失敗しました";
    }
    return "";
}

size_t TlsAlpnOffer(bool offerH2, uint8_t* out, size_t room) {
    static const uint8_t kH2[] = {2, 'h', '2'};
    static const uint8_t kHttp11[] = {8, 'h', 't', 't', 'p', '/', '1', '.', '1'};
    size_t need = (offerH2 ? sizeof kH2 : 0) + sizeof kHttp11;
    if (room < need) return 0;
    size_t n = 0;
    if (offerH2) {
        memcpy(out, kH2, sizeof kH2);
        n = sizeof kH2;
    }
    memcpy(out + n, kHttp11, sizeof kHttp11);
    return need;
}

TlsAppProtocol TlsAppProtocolNamed(const uint8_t* name, size_t length) {
    if (name && length == 2 && memcmp(name, "h2", 2) == 0) return TlsAppH2;
    if (name && length == 8 && memcmp(name, "http/1.1", 8) == 0) return TlsAppHttp11;
    return TlsAppNone;
}
