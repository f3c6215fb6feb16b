#include "core/TimeStampRequest.h"

#include <openssl/rand.h>

#include <cstring>
#include <random>

namespace {

void RandomBytes(unsigned char* bytes, int count) {
    if (RAND_bytes(bytes, count) != 1) {
        // OpenSSL's generator failed: the kernel's source still gives unpredictable bytes.
        std::random_device device;
        for (int i = 0; i < count; ++i)
            bytes[i] = static_cast<unsigned char>(device());
    }
}

} // namespace

void MakeNonce(TTI_REQUEST& request) {
    std::memset(request.nonce, 0, sizeof request.nonce);
    RandomBytes(request.nonce, 8);
    // The nonce travels as an INTEGER, which drops leading zero bytes: a first byte that is
    // not zero lets the token carry the very 8 bytes we sent.
    while (request.nonce[0] == 0)
        RandomBytes(request.nonce, 1);
    request.nNonceLen = 8;
}

int BuildTimeStampRequest(const std::string& policyOid, int hashAlg, const std::string& path,
                          TTI_REQUEST& request, const DigestProgress& progress) {
    std::memset(&request, 0, sizeof request);
    request.nSize = TTI_REQUEST_SIZE;
    request.bCertReq = 1;
    std::memcpy(request.szPolicyOid, policyOid.data(),
                std::min(policyOid.size(), sizeof request.szPolicyOid));
    const char* hashOid = HashOidForRequest(hashAlg);
    std::memcpy(request.szHashOid, hashOid, std::strlen(hashOid) + 1);
    MakeNonce(request);
    return FileDigest(path, request.szHashOid, request.digest, request.nDigestLen, progress);
}
