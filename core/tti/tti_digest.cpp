// The digest triples of the library: initialise, update, finalise on an EVP context.
#include "core/tti/tti.h"

#include <openssl/evp.h>

namespace {

TTI_DIGEST_CTX Init(const EVP_MD* md) {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    if (ctx == nullptr)
        return nullptr;
    if (md == nullptr || EVP_DigestInit_ex(ctx, md, nullptr) != 1) {
        EVP_MD_CTX_free(ctx);
        return nullptr;
    }
    return ctx;
}

void Update(TTI_DIGEST_CTX ctx, const void* data, unsigned long count) {
    if (ctx != nullptr && (data != nullptr || count == 0))
        EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(ctx), data, count);
}

// Writes the digest and releases the context.
void Final(TTI_DIGEST_CTX ctx, unsigned char* digest) {
    auto* md = static_cast<EVP_MD_CTX*>(ctx);
    if (md == nullptr)
        return;
    if (digest != nullptr)
        EVP_DigestFinal_ex(md, digest, nullptr);
    EVP_MD_CTX_free(md);
}

} // namespace

extern "C" {

TTI_DIGEST_CTX TTI_SHA1_Init(void) {
    return Init(EVP_sha1());
}
void TTI_SHA1_Update(TTI_DIGEST_CTX c, const void* d, unsigned long n) {
    Update(c, d, n);
}
void TTI_SHA1_Final(TTI_DIGEST_CTX c, unsigned char* digest) {
    Final(c, digest);
}

TTI_DIGEST_CTX TTI_SHA256_Init(void) {
    return Init(EVP_sha256());
}
void TTI_SHA256_Update(TTI_DIGEST_CTX c, const void* d, unsigned long n) {
    Update(c, d, n);
}
void TTI_SHA256_Final(TTI_DIGEST_CTX c, unsigned char* digest) {
    Final(c, digest);
}

TTI_DIGEST_CTX TTI_SHA384_Init(void) {
    return Init(EVP_sha384());
}
void TTI_SHA384_Update(TTI_DIGEST_CTX c, const void* d, unsigned long n) {
    Update(c, d, n);
}
void TTI_SHA384_Final(TTI_DIGEST_CTX c, unsigned char* digest) {
    Final(c, digest);
}

TTI_DIGEST_CTX TTI_SHA512_Init(void) {
    return Init(EVP_sha512());
}
void TTI_SHA512_Update(TTI_DIGEST_CTX c, const void* d, unsigned long n) {
    Update(c, d, n);
}
void TTI_SHA512_Final(TTI_DIGEST_CTX c, unsigned char* digest) {
    Final(c, digest);
}

TTI_DIGEST_CTX TTI_MD5_Init(void) {
    return Init(EVP_md5());
}
void TTI_MD5_Update(TTI_DIGEST_CTX c, const void* d, unsigned long n) {
    Update(c, d, n);
}
void TTI_MD5_Final(TTI_DIGEST_CTX c, unsigned char* digest) {
    Final(c, digest);
}

} // extern "C"
