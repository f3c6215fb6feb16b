// The two verdicts on a stamp beyond its own checks, taken together: whether its signer
// deserves trust (core/TrustEvaluator.h) and whether it is qualified by the stored EU
// trusted lists (core/QualifiedVerdict.h). A signer that the lists qualify counts as an
// anchor for the trust verdict.
//
// Both are asked for by whoever shows or verifies a stamp, after its checks passed. Every
// function here is safe to call from several threads at once on different parts.
#pragma once

#include "core/QualifiedVerdict.h"
#include "core/TrustEvaluator.h"
#include "core/TrustVerdict.h"

#include <optional>

class CTimeStampPart;
class CClientSettings;

struct StampVerdicts {
    // Absent while nothing was judged: no stamp, or its own checks failed.
    std::optional<TrustResult> trust;
    std::optional<QualifiedVerdict> qualified;

    bool Judged() const { return trust.has_value(); }
};

// `options` with the stored EU lists as the voucher of a signer no anchor leads to.
TrustOptions WithQualifiedVoucher(TrustOptions options);
// The options of the user's settings (check_revocation, the proxy) with that voucher.
TrustOptions VerdictOptionsFromSettings(const CClientSettings& settings);

// The qualified verdict on the stamp that `part` holds (it passed ProcessStampFile), by the
// stored lists, at the token's generation time. The signer's issuer is looked for among
// the token's certificates and the address book. Not qualified for a part without a stamp.
QualifiedVerdict QualifyPart(const CTimeStampPart& part);

// Both verdicts on the stamp that `part` holds.
StampVerdicts JudgeStamp(const CTimeStampPart& part, const TrustOptions& options);
