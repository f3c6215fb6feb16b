// The request: the request record encoded as a DER TimeStampReq (version 1).
#include "core/tti/tti_internal.h"

#include <cstring>
#include <string_view>

using namespace mivo::tti;

namespace {

// Dotted decimal arcs in canonical form: "0", "1" or "2", then at least one more arc,
// no empty arcs, no leading zeros (the text must come back the same from the encoding).
bool IsDottedOid(std::string_view text) {
    if (text.size() < 3 || text[0] < '0' || text[0] > '2' || text[1] != '.')
        return false;
    std::size_t arcStart = 2;
    for (std::size_t i = 2; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            const std::size_t len = i - arcStart;
            if (len == 0 || (len > 1 && text[arcStart] == '0'))
                return false;
            arcStart = i + 1;
        } else if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return true;
}

// An OID field: zero-terminated inside the field; empty gives no object.
int FieldOid(Asn1ObjectPtr& oid, const char (&field)[128]) {
    const void* end = std::memchr(field, '\0', sizeof field);
    if (end == nullptr)
        return TTI_E_INVALID_PARAMETER;
    if (field[0] == '\0')
        return TTI_OK;
    if (!IsDottedOid(field))
        return TTI_E_INVALID_PARAMETER;
    oid.reset(OBJ_txt2obj(field, 1));
    return oid ? TTI_OK : TTI_E_INVALID_PARAMETER;
}

int BuildRequest(TsReqPtr& req, const TTI_REQUEST& r) {
    if (r.nSize != TTI_REQUEST_SIZE)
        return TTI_E_INVALID_PARAMETER;
    if (r.nDigestLen <= 0 || r.nDigestLen > static_cast<int32_t>(sizeof r.digest))
        return TTI_E_INVALID_PARAMETER;
    if (r.nNonceLen < 0 || r.nNonceLen > static_cast<int32_t>(sizeof r.nonce))
        return TTI_E_INVALID_PARAMETER;
    Asn1ObjectPtr hashOid;
    Asn1ObjectPtr policyOid;
    if (int rc = FieldOid(hashOid, r.szHashOid); rc != TTI_OK)
        return rc;
    if (!hashOid)
        return TTI_E_INVALID_PARAMETER;
    if (int rc = FieldOid(policyOid, r.szPolicyOid); rc != TTI_OK)
        return rc;
    // A digest of a known algorithm has that algorithm's length.
    if (const EVP_MD* md = EVP_get_digestbyobj(hashOid.get());
        md != nullptr && EVP_MD_get_size(md) != r.nDigestLen)
        return TTI_E_INVALID_PARAMETER;

    req.reset(TS_REQ_new());
    AlgorPtr algo(X509_ALGOR_new());
    MsgImprintPtr imprint(TS_MSG_IMPRINT_new());
    if (!req || !algo || !imprint)
        return TTI_E_MEMORY;
    // The hash algorithm with NULL parameters, as most TSAs expect.
    if (X509_ALGOR_set0(algo.get(), hashOid.get(), V_ASN1_NULL, nullptr) != 1)
        return TTI_E_MEMORY;
    hashOid.release();
    unsigned char digest[sizeof r.digest];
    std::memcpy(digest, r.digest, sizeof digest);
    if (TS_MSG_IMPRINT_set_algo(imprint.get(), algo.get()) != 1 ||
        TS_MSG_IMPRINT_set_msg(imprint.get(), digest, r.nDigestLen) != 1 ||
        TS_REQ_set_version(req.get(), 1) != 1 ||
        TS_REQ_set_msg_imprint(req.get(), imprint.get()) != 1)
        return TTI_E_MEMORY;
    if (policyOid && TS_REQ_set_policy_id(req.get(), policyOid.get()) != 1)
        return TTI_E_MEMORY;
    if (r.nNonceLen > 0) {
        BigNumPtr bn(BN_bin2bn(r.nonce, r.nNonceLen, nullptr));
        Asn1IntegerPtr nonce(bn ? BN_to_ASN1_INTEGER(bn.get(), nullptr) : nullptr);
        if (!nonce || TS_REQ_set_nonce(req.get(), nonce.get()) != 1)
            return TTI_E_MEMORY;
    }
    // certReq is DEFAULT FALSE: OpenSSL leaves a false value out of the encoding.
    if (TS_REQ_set_cert_req(req.get(), r.bCertReq != 0) != 1)
        return TTI_E_MEMORY;
    return TTI_OK;
}

} // namespace

extern "C" int TTI_EncodeTimestampRequest(const TTI_REQUEST* request, unsigned char* out,
                                          int* outLen, int /*reserved*/) {
    return Guarded([&]() -> int {
        if (request == nullptr)
            return TTI_E_INVALID_PARAMETER;
        if (int rc = CheckOutput(out, outLen); rc != TTI_OK)
            return rc;
        TsReqPtr req;
        if (int rc = BuildRequest(req, *request); rc != TTI_OK)
            return rc;
        const int n = i2d_TS_REQ(req.get(), nullptr);
        if (n <= 0)
            return TTI_E_ASN_UNEXPECTED;
        if (n > *outLen) {
            *outLen = n;
            return TTI_E_BUFFER_TOO_SMALL;
        }
        unsigned char* p = out;
        if (i2d_TS_REQ(req.get(), &p) != n)
            return TTI_E_ASN_UNEXPECTED;
        *outLen = n;
        return TTI_OK;
    });
}
