// Adds a DER certificate to the local machine's trusted roots, or removes
// every root of the test authority's name. Run by the HTTPS test launcher
// inside the test run's Wine prefix, never on a real system's stores.
// usage: trust_root add <file.der> | trust_root remove
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

static const char kAuthorityName[] = "Ferrow Test CA";

static int RemoveAll(HCERTSTORE store) {
    int removed = 0;
    for (;;) {
        PCCERT_CONTEXT found = CertFindCertificateInStore(
            store, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_STR_A, kAuthorityName, nullptr);
        if (!found) break;
        CertDeleteCertificateFromStore(found); // frees found
        removed++;
    }
    return removed;
}

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_A, 0, 0,
                                     CERT_SYSTEM_STORE_CURRENT_USER, "Root");
    if (!store) {
        fprintf(stderr, "trust_root: no Root store (%lu)\n", GetLastError());
        return 1;
    }
    int rc = 0;
    if (strcmp(argv[1], "remove") == 0) {
        printf("trust_root: removed %d\n", RemoveAll(store));
    } else if (strcmp(argv[1], "add") == 0 && argc == 3) {
        std::ifstream in(argv[2], std::ios::binary);
        std::string der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        RemoveAll(store); // a root left by an interrupted run
        if (der.empty() || !CertAddEncodedCertificateToStore(
                               store, X509_ASN_ENCODING, (const BYTE*)der.data(), (DWORD)der.size(),
                               CERT_STORE_ADD_REPLACE_EXISTING, nullptr)) {
            fprintf(stderr, "trust_root: cannot add %s (%lu)\n", argv[2], GetLastError());
            rc = 1;
        }
    } else {
        rc = 2;
    }
    CertCloseStore(store, 0);
    return rc;
}
