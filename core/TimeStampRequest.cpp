#include "core/TimeStampRequest.h"

#include <openssl/err.h>
#include <openssl/rand.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

std::atomic<RandomSource> g_randomSource{nullptr};

// A failure of the generator is never papered over with a weaker source: the request is
// not made.
bool RandomBytes(unsigned char* bytes, int count) {
    const RandomSource source = g_randomSource.load();
    if (source != nullptr)
        return source(bytes, count) == 1;
    if (RAND_bytes(bytes, count) == 1)
        return true;
    ERR_clear_error();
    return false;
}

} // namespace

RandomSource SetNonceRandomSource(RandomSource source) {
    return g_randomSource.exchange(source);
}

bool MakeNonce(TTI_REQUEST& request) {
    std::memset(request.nonce, 0, sizeof request.nonce);
    request.nNonceLen = 0;
    bool drawn = RandomBytes(request.nonce, 8);
    // The nonce travels as an INTEGER, which drops leading zero bytes: a first byte that is
    // not zero lets the token carry the very 8 bytes we sent.
    while (drawn && request.nonce[0] == 0)
        drawn = RandomBytes(request.nonce, 1);
    if (!drawn) {
        std::memset(request.nonce, 0, sizeof request.nonce);
        return false;
    }
    request.nNonceLen = 8;
    return true;
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
    if (!MakeNonce(request))
        return RESULT_E_STAMP;
    return FileDigest(path, request.szHashOid, request.digest, request.nDigestLen, progress);
}
