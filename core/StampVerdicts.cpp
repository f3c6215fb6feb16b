#include "core/StampVerdicts.h"

#include "core/IClock.h"
#include "core/TimeStampPart.h"
#include "core/TrustChecks.h"
#include "core/TrustToken.h"
#include "platform/ConfigDirs.h"
#include "platform/FileTime.h"

#include <openssl/err.h>

using namespace trust;

namespace {

uint64_t FileTimeOf(std::time_t unixTime) {
    return kFileTimeUnixEpoch + static_cast<uint64_t>(unixTime) * kFileTimeTicksPerSecond;
}

} // namespace

TrustOptions WithQualifiedVoucher(TrustOptions options) {
    options.vouchedSigner = [](X509* signer, X509* issuer, std::time_t genTime) {
        // A time before 1970 has no file time here: nothing vouches for it.
        if (genTime < 0)
            return std::optional<std::string>();
        return QualifiedSignerAnchor(signer, issuer, FileTimeOf(genTime));
    };
    return options;
}

TrustOptions VerdictOptionsFromSettings(const CClientSettings& settings) {
    return WithQualifiedVoucher(TrustOptionsFromSettings(settings));
}

QualifiedVerdict QualifyPart(const CTimeStampPart& part) {
    const PCCERT_CONTEXT signerContext = part.SignerCertificate();
    TokenContents token;
    if (!part.HasTstInfo() || signerContext == nullptr || signerContext->Cert() == nullptr ||
        !ReadTokenContents(part.Token(), {signerContext->Cert(), signerContext->Encoded()},
                           token) ||
        token.genTime < 0) {
        ERR_clear_error();
        return QualifyStamp(tl::TrustedListSet{}, nullptr, nullptr, 0, 0);
    }
    std::vector<X509Ptr> addressBook;
    if (!ReadCertificateFolder(AddressBookDir(), addressBook))
        addressBook.clear();
    std::vector<X509*> candidates;
    for (const X509Ptr& cert : token.certificates)
        candidates.push_back(cert.get());
    for (const X509Ptr& cert : addressBook)
        candidates.push_back(cert.get());
    X509* signer = signerContext->Cert();
    const std::shared_ptr<const tl::TrustedListSet> lists = StoredTrustedLists();
    QualifiedVerdict verdict = QualifyStamp(*lists, signer, FindIssuer(signer, candidates),
                                            FileTimeOf(token.genTime), Clock().NowFileTime());
    ERR_clear_error();
    return verdict;
}

StampVerdicts JudgeStamp(const CTimeStampPart& part, const TrustOptions& options) {
    StampVerdicts verdicts;
    verdicts.trust = EvaluateTrust(part, options);
    verdicts.qualified = QualifyPart(part);
    return verdicts;
}
