#include "core/TrustEvaluator.h"

#include "core/ClientSettings.h"
#include "core/TimeStampPart.h"
#include "core/TrustAnchors.h"
#include "core/TrustChainCache.h"
#include "core/TrustChecks.h"
#include "core/TrustRevocation.h"
#include "core/TrustToken.h"
#include "platform/ConfigDirs.h"
#include "support/Messages.h"
#include "support/StringIds.h"

#include <openssl/err.h>

using namespace trust;

namespace {

using StoreCtxPtr = OpenSslPtr<X509_STORE_CTX, X509_STORE_CTX_free>;

void FreeCertStack(STACK_OF(X509) * s) noexcept {
    sk_X509_pop_free(s, X509_free);
}

using Chain = TrustChain;

// Lets the chain be built on past the validity errors at the generation time, which the
// verdict reports after "untrusted"; any other error ends the verification.
int NoteValidityErrors(int ok, X509_STORE_CTX* ctx) {
    if (ok == 1)
        return 1;
    auto* chain = static_cast<Chain*>(X509_STORE_CTX_get_app_data(ctx));
    switch (X509_STORE_CTX_get_error(ctx)) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        chain->expired = true;
        return 1;
    case X509_V_ERR_CERT_NOT_YET_VALID:
        chain->notYetValid = true;
        return 1;
    default:
        return 0;
    }
}

// The certificates whose validity at the generation time could steer the building of
// `chain`: its own, and every candidate and anchor that bears the name of an issuer in it
// or the signer's name (the builder prefers, among certificates of one name, one valid at
// that time).
std::vector<X509*> BuildingInputs(X509_STORE_CTX* ctx, const Chain& chain, X509* signer,
                                  std::span<X509* const> candidates,
                                  std::vector<X509Ptr>& anchorsHeld) {
    std::vector<const X509_NAME*> names{X509_get_subject_name(signer)};
    for (X509* cert : chain.certs)
        names.push_back(X509_get_issuer_name(cert));
    std::vector<X509*> inputs(chain.certs.begin(), chain.certs.end());
    for (X509* candidate : candidates)
        for (const X509_NAME* name : names)
            if (X509_NAME_cmp(X509_get_subject_name(candidate), name) == 0) {
                inputs.push_back(candidate);
                break;
            }
    for (const X509_NAME* name : names) {
        OpenSslPtr<STACK_OF(X509), FreeCertStack> named(X509_STORE_CTX_get1_certs(ctx, name));
        while (named && sk_X509_num(named.get()) > 0) {
            anchorsHeld.emplace_back(sk_X509_shift(named.get()));
            inputs.push_back(anchorsHeld.back().get());
        }
    }
    return inputs;
}

// `window`, when given, receives the times at which the chain would be built the same.
bool ChainToAnchor(X509* signer, std::span<X509* const> candidates, X509_STORE* store,
                   std::time_t genTime, Chain& chain, std::optional<ValidityWindow>* window) {
    X509RefStackPtr untrusted = MakeRefStack(candidates);
    StoreCtxPtr ctx(X509_STORE_CTX_new());
    if (store == nullptr || !untrusted || !ctx ||
        X509_STORE_CTX_init(ctx.get(), store, signer, untrusted.get()) != 1)
        return false;
    X509_STORE_CTX_set_time(ctx.get(), 0, genTime);
    // An anchor folder may hold an intermediate or the TSA's own certificate: what it holds
    // is trusted as it is.
    X509_STORE_CTX_set_flags(ctx.get(), X509_V_FLAG_PARTIAL_CHAIN);
    X509_VERIFY_PARAM_set_depth(X509_STORE_CTX_get0_param(ctx.get()), kMaxChainDepth);
    X509_STORE_CTX_set_app_data(ctx.get(), &chain);
    X509_STORE_CTX_set_verify_cb(ctx.get(), NoteValidityErrors);
    if (X509_verify_cert(ctx.get()) != 1)
        return false;
    std::shared_ptr<STACK_OF(X509)> owned(X509_STORE_CTX_get1_chain(ctx.get()), FreeCertStack);
    const int length = owned ? sk_X509_num(owned.get()) : 0;
    if (length <= 0)
        return false;
    for (int i = 0; i < length; ++i)
        chain.certs.push_back(sk_X509_value(owned.get(), i));
    chain.owner = std::move(owned);
    chain.lastIsAnchor = true;
    chain.anchor = NameText(X509_get_subject_name(chain.certs.back()));
    if (window != nullptr) {
        std::vector<X509Ptr> anchorsHeld;
        *window = WindowAround(genTime,
                               BuildingInputs(ctx.get(), chain, signer, candidates, anchorsHeld));
    }
    return true;
}

// ChainToAnchor, or the chain kept from an earlier stamp with the same inputs.
bool KeptChainToAnchor(X509* signer, const TokenContents& token, std::span<X509* const> candidates,
                       const ChainSources& sources, Chain& chain) {
    ChainCache& cache = ProcessChainCache();
    const std::optional<ChainKey> key =
        ChainKeyOf(signer, candidates.first(token.certificates.size()));
    if (key) {
        if (std::optional<Chain> kept = cache.Find(sources, *key, token.genTime)) {
            chain = std::move(*kept);
            return true;
        }
    }
    std::optional<ValidityWindow> window;
    if (!ChainToAnchor(signer, candidates, sources.anchors->Store(), token.genTime, chain,
                       key ? &window : nullptr))
        return false;
    if (key && window)
        cache.Keep(sources, *key, *window, chain);
    return true;
}

void NoteValidityAt(X509* cert, std::time_t genTime, Chain& chain) {
    std::time_t at = genTime;
    const int before = X509_cmp_time(X509_get0_notBefore(cert), &at);
    const int after = X509_cmp_time(X509_get0_notAfter(cert), &at);
    chain.notYetValid = chain.notYetValid || before >= 0;
    chain.expired = chain.expired || after <= 0; // an unreadable date counts as expired
}

bool VouchedChain(X509* signer, std::span<X509* const> candidates, const VouchedSigner& vouch,
                  std::time_t genTime, Chain& chain) {
    if (!vouch)
        return false;
    X509* issuer = FindIssuer(signer, candidates);
    const std::optional<std::string> anchor = vouch(signer, issuer, genTime);
    if (!anchor)
        return false;
    chain = Chain{};
    chain.certs.push_back(signer);
    if (issuer != nullptr)
        chain.certs.push_back(issuer);
    for (X509* cert : chain.certs)
        NoteValidityAt(cert, genTime, chain);
    chain.anchor = *anchor;
    return true;
}

TrustResult RevocationVerdict(const TokenContents& token, const Chain& chain,
                              std::span<X509* const> candidates, const TrustOptions& options) {
    RevocationInput input;
    input.token = &token;
    input.responders.assign(candidates.begin(), candidates.end());
    input.online = options.checkRevocation;
    input.fetch = options.fetch ? options.fetch : HttpRevocationFetch(options.connection);
    // A vouched signer without its issuer: nothing can answer for it.
    if (chain.certs.size() < 2)
        return options.checkRevocation ? MakeTrustResult(TrustVerdict::RevocationUnknown)
                                       : MakeTrustResult(TrustVerdict::Trusted, chain.anchor);
    const CertificateStatus status = ChainRevocationStatus(chain.certs, input);
    if (status.state == RevocationState::Revoked)
        return MakeTrustResult(TrustVerdict::Revoked, {}, status.revokedAt);
    if (status.state == RevocationState::Unknown)
        return MakeTrustResult(TrustVerdict::RevocationUnknown);
    return MakeTrustResult(TrustVerdict::Trusted, chain.anchor);
}

TrustResult Verdict(X509* signer, const TokenContents& token, std::span<X509* const> candidates,
                    const ChainSources& sources, const TrustOptions& options) {
    Chain chain;
    if (!KeptChainToAnchor(signer, token, candidates, sources, chain) &&
        !VouchedChain(signer, candidates, options.vouchedSigner, token.genTime, chain))
        return MakeTrustResult(TrustVerdict::Untrusted);
    if (chain.expired)
        return MakeTrustResult(TrustVerdict::Expired);
    if (chain.notYetValid)
        return MakeTrustResult(TrustVerdict::NotYetValid);
    if (!HasTimeStampingUsageOnly(signer))
        return MakeTrustResult(TrustVerdict::WrongUsage);
    if (!EssNamesSigner(token.signerInfo, signer))
        return MakeTrustResult(TrustVerdict::SignerMismatch);
    if (!TsaNameMatches(token.tstInfo.get(), signer))
        return MakeTrustResult(TrustVerdict::TsaNameMismatch);
    if (!AlgorithmsStrongEnough(token, chain.certs, chain.lastIsAnchor))
        return MakeTrustResult(TrustVerdict::WeakAlgorithm);
    return RevocationVerdict(token, chain, candidates, options);
}

} // namespace

TrustOptions TrustOptionsFromSettings(const CClientSettings& settings) {
    TrustOptions options;
    options.checkRevocation = settings.m_nCheckRevocation != 0;
    options.connection.CopyConnectionParams(settings);
    return options;
}

TrustResult EvaluateTrust(const CTimeStampPart& part, const TrustOptions& options) {
    const PCCERT_CONTEXT signerContext = part.SignerCertificate();
    TokenContents token;
    if (!part.HasTstInfo() || signerContext == nullptr || signerContext->Cert() == nullptr ||
        !ReadTokenContents(part.Token(), {signerContext->Cert(), signerContext->Encoded()}, token))
        return MakeTrustResult(TrustVerdict::Untrusted);
    X509* signer = signerContext->Cert();

    const std::shared_ptr<const std::vector<X509Ptr>> addressBook = AddressBookCertificates();
    std::vector<X509*> candidates;
    for (const X509Ptr& cert : token.certificates)
        candidates.push_back(cert.get());
    for (const X509Ptr& cert : *addressBook)
        candidates.push_back(cert.get());

    const std::shared_ptr<const TrustAnchors> anchors = GetTrustAnchors();
    TrustResult result = Verdict(signer, token, candidates, {anchors, addressBook}, options);
    if (part.HasTac()) {
        result.tac = VerifyTac(part.Tac(), candidates, anchors->Store(), token.genTime);
        if (result.tac == TacVerification::NotVerified)
            result.tacNote = LoadResString(IDS_TRUST_TAC_NOT_VERIFIED);
    }
    ERR_clear_error();
    return result;
}

bool CTimeStampPart::EvaluateSignerTrust(const TrustOptions& options) {
    m_trust.reset();
    if (!m_bStampChecked)
        return false;
    m_trust = EvaluateTrust(*this, options);
    return true;
}
