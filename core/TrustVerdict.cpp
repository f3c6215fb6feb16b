#include "core/TrustVerdict.h"

#include "support/Messages.h"
#include "support/StringIds.h"

#include <array>
#include <cstdio>
#include <ctime>

namespace {

constexpr std::array kRows = std::to_array<TrustVerdictRow>({
    {TrustVerdict::Trusted, "trusted", IDS_TRUST_TRUSTED},
    {TrustVerdict::Untrusted, "untrusted", IDS_TRUST_UNTRUSTED},
    {TrustVerdict::Expired, "expired", IDS_TRUST_EXPIRED},
    {TrustVerdict::NotYetValid, "not-yet-valid", IDS_TRUST_NOT_YET_VALID},
    {TrustVerdict::WrongUsage, "wrong-usage", IDS_TRUST_WRONG_USAGE},
    {TrustVerdict::SignerMismatch, "signer-mismatch", IDS_TRUST_SIGNER_MISMATCH},
    {TrustVerdict::TsaNameMismatch, "tsa-name-mismatch", IDS_TRUST_TSA_NAME_MISMATCH},
    {TrustVerdict::WeakAlgorithm, "weak-algorithm", IDS_TRUST_WEAK_ALGORITHM},
    {TrustVerdict::Revoked, "revoked", IDS_TRUST_REVOKED},
    {TrustVerdict::RevocationUnknown, "revocation-unknown", IDS_TRUST_REVOCATION_UNKNOWN},
});

constexpr bool RowsInEnumOrder() {
    for (std::size_t i = 0; i < kRows.size(); ++i)
        if (static_cast<std::size_t>(kRows[i].verdict) != i)
            return false;
    return true;
}
static_assert(RowsInEnumOrder(), "one row per verdict, in the enum's order");
static_assert(kRows.size() == static_cast<std::size_t>(TrustVerdict::RevocationUnknown) + 1);

// "7. 12. 2026 18:04:09 UTC"
std::string RevocationDateText(std::time_t when) {
    std::tm tm{};
    if (gmtime_r(&when, &tm) == nullptr)
        return "?";
    char text[64];
    std::snprintf(text, sizeof text, "%d. %d. %d %02d:%02d:%02d UTC", tm.tm_mday, tm.tm_mon + 1,
                  tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

} // namespace

std::span<const TrustVerdictRow> TrustVerdictRows() {
    return kRows;
}

const TrustVerdictRow& TrustVerdictRowOf(TrustVerdict verdict) {
    return kRows[static_cast<std::size_t>(verdict)];
}

std::optional<TrustVerdict> TrustVerdictFromKey(std::string_view key) {
    for (const TrustVerdictRow& row : kRows)
        if (key == row.key)
            return row.verdict;
    return std::nullopt;
}

TrustResult MakeTrustResult(TrustVerdict verdict, const std::string& anchor,
                            std::optional<std::time_t> revoked) {
    TrustResult result;
    result.verdict = verdict;
    const uint32_t id = TrustVerdictRowOf(verdict).message;
    if (verdict == TrustVerdict::Trusted) {
        result.anchorSubject = anchor;
        result.message = FormatRes(id, anchor);
    } else if (verdict == TrustVerdict::Revoked) {
        result.revocationTime = revoked;
        result.message = FormatRes(id, revoked ? RevocationDateText(*revoked) : std::string("?"));
    } else {
        result.message = FormatRes(id);
    }
    return result;
}
