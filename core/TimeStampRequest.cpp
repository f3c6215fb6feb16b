#include "core/TimeStampRequest.h"

#include <openssl/rand.h>

#include <cstring>
#include <random>

void MakeNonce(TTI_REQUEST& request) {
    std::memset(request.nonce, 0, sizeof request.nonce);
    if (RAND_bytes(request.nonce, 8) != 1) {
        // OpenSSL's generator failed: the kernel's source still gives unpredictable bytes.
        std::random_device device;
        for (int i = 0; i < 8; ++i)
            request.nonce[i] = static_cast<unsigned char>(device());
    }
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
