// Fuzzes the reading of a trusted list: the quick look, the safe parse, the model, the
// signature check with a pin (its reference checks and xmlsec on hostile input), and the
// index built from what was read, which must read back to the same bytes.
#include "core/TrustedListChain.h"
#include "core/TrustedListIndex.h"
#include "core/TrustedListSignature.h"
#include "fuzz/FuzzCheck.h"
#include "platform/OpenSslPtr.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// A self-signed certificate made once: a pin that no input is signed with.
const tl::Blob& Pin() {
    static const tl::Blob pin = [] {
        OpenSslPtr<EVP_PKEY, EVP_PKEY_free> key(EVP_EC_gen("P-256"));
        OpenSslPtr<X509, X509_free> cert(X509_new());
        X509_set_version(cert.get(), 2);
        X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0);
        X509_gmtime_adj(X509_getm_notAfter(cert.get()), 86400);
        X509_set_pubkey(cert.get(), key.get());
        X509_sign(cert.get(), key.get(), EVP_sha256());
        unsigned char* der = nullptr;
        const int length = i2d_X509(cert.get(), &der);
        tl::Blob bytes(reinterpret_cast<char*>(der),
                       length > 0 ? static_cast<std::size_t>(length) : 0);
        OPENSSL_free(der);
        return bytes;
    }();
    return pin;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    tl::TslHeader header;
    (void)tl::SniffTsl(bytes, header);
    tl::ListDocument document;
    std::string error;
    if (!tl::LoadListDocument(bytes, "fuzz", document, error)) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    tl::Blob signer;
    FUZZ_CHECK(!tl::VerifyListSignature(document.doc.get(), {Pin()}, signer, error));
    FUZZ_CHECK(signer.empty());
    (void)tl::PivotUris(document.list);
    (void)tl::PointedTerritories(document.list);
    const tl::ListIndex index = tl::BuildIndex(document.list, bytes, Pin(), 1);
    const std::string serialized = tl::SerializeIndex(index);
    tl::ListIndex back;
    FUZZ_CHECK(tl::ReadIndex(serialized, back, error));
    FUZZ_CHECK(tl::SerializeIndex(back) == serialized);
    return 0;
}
