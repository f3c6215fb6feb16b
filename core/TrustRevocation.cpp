#include "core/TrustRevocation.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <climits>

namespace trust {

namespace {

using OcspRequestPtr = OpenSslPtr<OCSP_REQUEST, OCSP_REQUEST_free>;
using OcspResponsePtr = OpenSslPtr<OCSP_RESPONSE, OCSP_RESPONSE_free>;
using OcspCertIdPtr = OpenSslPtr<OCSP_CERTID, OCSP_CERTID_free>;
using Asn1EnumPtr = OpenSslPtr<ASN1_ENUMERATED, ASN1_ENUMERATED_free>;
using DistPointsPtr = OpenSslPtr<CRL_DIST_POINTS, CRL_DIST_POINTS_free>;
using BioPtr = OpenSslPtr<BIO, BIO_free>;

// Answers that are older than this, or whose next update passed longer ago, are stale.
constexpr long kOcspSkewSeconds = 300;

void FreeStrings(STACK_OF(OPENSSL_STRING) * s) noexcept {
    X509_email_free(s);
}

// Combines two answers for one certificate: revoked beats good beats unknown.
void Merge(CertificateStatus& into, const CertificateStatus& status) {
    if (status.state == RevocationState::Revoked) {
        if (into.state != RevocationState::Revoked ||
            (status.revokedAt && into.revokedAt && *status.revokedAt < *into.revokedAt))
            into = status;
    } else if (status.state == RevocationState::Good && into.state == RevocationState::Unknown) {
        into = status;
    }
}

CertificateStatus Revoked(const ASN1_TIME* when, int reason) {
    CertificateStatus status;
    status.state = RevocationState::Revoked;
    std::time_t time = 0;
    if (Asn1TimeToUnix(when, time))
        status.revokedAt = time;
    status.reason = reason;
    return status;
}

// Whether an answer issued at `issued` may say "good" for a stamp: one carried in the token
// must have been issued at or after the stamp's time (`goodFrom`), since an older one says
// nothing of the time between; one fetched on line is current (nullopt).
bool GoodAnswerCounts(const ASN1_TIME* issued, std::optional<std::time_t> goodFrom) {
    std::time_t time = 0;
    return !goodFrom || (Asn1TimeToUnix(issued, time) && time >= *goodFrom);
}

CertificateStatus FromCrl(X509_CRL* crl, X509* cert, X509* issuer,
                          std::optional<std::time_t> goodFrom) {
    if (X509_NAME_cmp(X509_CRL_get_issuer(crl), X509_get_issuer_name(cert)) != 0 ||
        X509_CRL_verify(crl, X509_get0_pubkey(issuer)) != 1)
        return {};
    X509_REVOKED* entry = nullptr;
    if (X509_CRL_get0_by_cert(crl, &entry, cert) != 1 || entry == nullptr)
        return GoodAnswerCounts(X509_CRL_get0_lastUpdate(crl), goodFrom)
                   ? CertificateStatus{RevocationState::Good, std::nullopt, -1}
                   : CertificateStatus{};
    int reason = -1;
    Asn1EnumPtr code(static_cast<ASN1_ENUMERATED*>(
        X509_REVOKED_get_ext_d2i(entry, NID_crl_reason, nullptr, nullptr)));
    if (code)
        reason = static_cast<int>(ASN1_ENUMERATED_get(code.get()));
    return Revoked(X509_REVOKED_get0_revocationDate(entry), reason);
}

bool ValidAt(X509* cert, std::time_t when) {
    std::time_t at = when;
    return X509_cmp_time(X509_get0_notBefore(cert), &at) < 0 &&
           X509_cmp_time(X509_get0_notAfter(cert), &at) > 0;
}

// The answer was signed by the issuer, or by a responder that the issuer certified for
// OCSP signing and that was valid when the answer was produced.
bool SignedForIssuer(OCSP_BASICRESP* basic, X509* issuer, std::span<X509* const> candidates) {
    std::vector<X509*> pool(candidates.begin(), candidates.end());
    pool.push_back(issuer);
    X509RefStackPtr extra = MakeRefStack(pool);
    X509* signer = nullptr;
    if (!extra || OCSP_resp_get0_signer(basic, &signer, extra.get()) != 1 || signer == nullptr)
        return false;
    if (X509_cmp(signer, issuer) != 0) {
        std::time_t produced = 0;
        if (X509_check_issued(issuer, signer) != X509_V_OK ||
            X509_verify(signer, X509_get0_pubkey(issuer)) != 1 ||
            (X509_get_extended_key_usage(signer) & XKU_OCSP_SIGN) == 0 ||
            !Asn1TimeToUnix(OCSP_resp_get0_produced_at(basic), produced) ||
            !ValidAt(signer, produced))
            return false;
    }
    X509* only[] = {signer};
    X509RefStackPtr signers = MakeRefStack(only);
    return signers && OCSP_basic_verify(basic, signers.get(), nullptr, OCSP_NOVERIFY) == 1;
}

// The single answer for `cert` in an answer signed for its issuer; an answer fetched on line
// (no `goodFrom`) must also be current.
CertificateStatus FromOcsp(OCSP_BASICRESP* basic, X509* cert, X509* issuer,
                           std::span<X509* const> candidates, std::optional<std::time_t> goodFrom) {
    for (int i = 0; i < OCSP_resp_count(basic); ++i) {
        OCSP_SINGLERESP* single = OCSP_resp_get0(basic, i);
        ASN1_OBJECT* digestOid = nullptr;
        if (OCSP_id_get0_info(nullptr, &digestOid, nullptr, nullptr,
                              const_cast<OCSP_CERTID*>(OCSP_SINGLERESP_get0_id(single))) != 1)
            continue;
        const EVP_MD* md = EVP_get_digestbyobj(digestOid);
        OcspCertIdPtr id(md != nullptr ? OCSP_cert_to_id(md, cert, issuer) : nullptr);
        if (!id || OCSP_id_cmp(id.get(), OCSP_SINGLERESP_get0_id(single)) != 0)
            continue;
        if (!SignedForIssuer(basic, issuer, candidates))
            return {};
        int reason = -1;
        ASN1_GENERALIZEDTIME* revokedAt = nullptr;
        ASN1_GENERALIZEDTIME* thisUpdate = nullptr;
        ASN1_GENERALIZEDTIME* nextUpdate = nullptr;
        const int state =
            OCSP_single_get0_status(single, &reason, &revokedAt, &thisUpdate, &nextUpdate);
        if (!goodFrom && OCSP_check_validity(thisUpdate, nextUpdate, kOcspSkewSeconds, -1) != 1)
            return {};
        if (state == V_OCSP_CERTSTATUS_GOOD)
            return GoodAnswerCounts(thisUpdate, goodFrom)
                       ? CertificateStatus{RevocationState::Good, std::nullopt, -1}
                       : CertificateStatus{};
        if (state == V_OCSP_CERTSTATUS_REVOKED)
            return Revoked(revokedAt, reason);
        return {};
    }
    return {};
}

std::vector<std::string> HttpUrls(STACK_OF(OPENSSL_STRING) * urls) {
    std::vector<std::string> out;
    for (int i = 0; urls && i < sk_OPENSSL_STRING_num(urls); ++i) {
        const std::string url = sk_OPENSSL_STRING_value(urls, i);
        if (url.rfind("http://", 0) == 0)
            out.push_back(url);
    }
    return out;
}

CertificateStatus OnlineOcsp(X509* cert, X509* issuer, const RevocationInput& input) {
    OpenSslPtr<STACK_OF(OPENSSL_STRING), FreeStrings> urls(X509_get1_ocsp(cert));
    for (const std::string& url : HttpUrls(urls.get())) {
        OcspRequestPtr request(OCSP_REQUEST_new());
        OCSP_CERTID* id = OCSP_cert_to_id(nullptr, cert, issuer);
        if (!request || id == nullptr || OCSP_request_add0_id(request.get(), id) == nullptr) {
            OCSP_CERTID_free(id);
            continue;
        }
        unsigned char* der = nullptr;
        const int length = i2d_OCSP_REQUEST(request.get(), &der);
        if (length <= 0)
            continue;
        std::vector<unsigned char> body(der, der + length);
        OPENSSL_free(der);
        std::vector<unsigned char> reply;
        if (!input.fetch(url, "application/ocsp-request", body, reply) || reply.empty() ||
            reply.size() > static_cast<std::size_t>(LONG_MAX))
            continue;
        const unsigned char* p = reply.data();
        OcspResponsePtr response(d2i_OCSP_RESPONSE(nullptr, &p, static_cast<long>(reply.size())));
        if (!response || OCSP_response_status(response.get()) != OCSP_RESPONSE_STATUS_SUCCESSFUL)
            continue;
        OcspBasicPtr basic(OCSP_response_get1_basic(response.get()));
        if (!basic)
            continue;
        const CertificateStatus status =
            FromOcsp(basic.get(), cert, issuer, input.responders, std::nullopt);
        if (status.state != RevocationState::Unknown)
            return status;
    }
    return {};
}

std::vector<std::string> CrlUrls(X509* cert) {
    std::vector<std::string> out;
    DistPointsPtr points(static_cast<CRL_DIST_POINTS*>(
        X509_get_ext_d2i(cert, NID_crl_distribution_points, nullptr, nullptr)));
    for (int i = 0; points && i < sk_DIST_POINT_num(points.get()); ++i) {
        const DIST_POINT* point = sk_DIST_POINT_value(points.get(), i);
        if (point->distpoint == nullptr || point->distpoint->type != 0)
            continue;
        const GENERAL_NAMES* names = point->distpoint->name.fullname;
        for (int j = 0; j < sk_GENERAL_NAME_num(names); ++j) {
            const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, j);
            if (name->type != GEN_URI)
                continue;
            const ASN1_IA5STRING* uri = name->d.uniformResourceIdentifier;
            const std::string url(reinterpret_cast<const char*>(ASN1_STRING_get0_data(uri)),
                                  static_cast<std::size_t>(ASN1_STRING_length(uri)));
            if (url.rfind("http://", 0) == 0)
                out.push_back(url);
        }
    }
    return out;
}

// A CRL as DER or PEM.
CrlPtr ParseCrl(const std::vector<unsigned char>& bytes) {
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX))
        return nullptr;
    const unsigned char* p = bytes.data();
    CrlPtr crl(d2i_X509_CRL(nullptr, &p, static_cast<long>(bytes.size())));
    if (!crl) {
        BioPtr bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
        if (bio)
            crl.reset(PEM_read_bio_X509_CRL(bio.get(), nullptr, nullptr, nullptr));
    }
    return crl;
}

CertificateStatus OnlineCrl(X509* cert, X509* issuer, const RevocationInput& input) {
    for (const std::string& url : CrlUrls(cert)) {
        std::vector<unsigned char> reply;
        if (!input.fetch(url, "", {}, reply))
            continue;
        CrlPtr crl = ParseCrl(reply);
        if (!crl)
            continue;
        const CertificateStatus status = FromCrl(crl.get(), cert, issuer, std::nullopt);
        if (status.state != RevocationState::Unknown)
            return status;
    }
    return {};
}

} // namespace

bool RevocationCountsAgainst(const CertificateStatus& status, std::time_t genTime) {
    if (status.state != RevocationState::Revoked)
        return false;
    switch (status.reason) {
    case 1:  // keyCompromise
    case 2:  // cACompromise
    case 10: // aACompromise
        return true;
    default:
        return !status.revokedAt || *status.revokedAt <= genTime;
    }
}

CertificateStatus RevocationStatus(X509* cert, X509* issuer, const RevocationInput& input) {
    CertificateStatus status;
    if (input.token != nullptr) {
        const std::time_t genTime = input.token->genTime;
        for (const CrlPtr& crl : input.token->crls)
            Merge(status, FromCrl(crl.get(), cert, issuer, genTime));
        for (const OcspBasicPtr& basic : input.token->ocsp)
            Merge(status, FromOcsp(basic.get(), cert, issuer, input.responders, genTime));
    }
    if (status.state == RevocationState::Unknown && input.online && input.fetch) {
        status = OnlineOcsp(cert, issuer, input);
        if (status.state == RevocationState::Unknown)
            status = OnlineCrl(cert, issuer, input);
    }
    ERR_clear_error();
    return status;
}

CertificateStatus ChainRevocationStatus(std::span<X509* const> chain,
                                        const RevocationInput& input) {
    CertificateStatus outcome{RevocationState::Good, std::nullopt, -1};
    bool unknown = false;
    const std::time_t genTime = input.token != nullptr ? input.token->genTime : 0;
    for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
        const CertificateStatus status = RevocationStatus(chain[i], chain[i + 1], input);
        if (RevocationCountsAgainst(status, genTime)) {
            if (outcome.state != RevocationState::Revoked ||
                (status.revokedAt && outcome.revokedAt && *status.revokedAt < *outcome.revokedAt))
                outcome = status;
        } else if (status.state == RevocationState::Unknown) {
            unknown = true;
        }
    }
    if (outcome.state != RevocationState::Revoked && unknown && input.online)
        outcome = CertificateStatus{};
    return outcome;
}

} // namespace trust
