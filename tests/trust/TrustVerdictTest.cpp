// The table of verdicts: one key and one Czech text each, and the formatted messages.
#include "TrustTestSupport.h"

#include <set>

using namespace trusttest;

namespace {

TEST(TrustVerdictTest, EachVerdictHasItsOwnKeyAndCzechText) {
    std::set<std::string> keys;
    std::set<uint32_t> ids;
    for (const TrustVerdictRow& row : TrustVerdictRows()) {
        EXPECT_TRUE(keys.insert(row.key).second) << row.key;
        EXPECT_TRUE(ids.insert(row.message).second) << row.key;
        EXPECT_GE(row.message, 61800U);
        EXPECT_LE(row.message, 61849U);
        EXPECT_NE(FindStringTableText(row.message), nullptr) << row.key;
        EXPECT_EQ(TrustVerdictFromKey(row.key), row.verdict);
        EXPECT_EQ(&TrustVerdictRowOf(row.verdict), &row);
    }
    EXPECT_EQ(keys, (std::set<std::string>{"trusted", "untrusted", "expired", "not-yet-valid",
                                           "wrong-usage", "signer-mismatch", "tsa-name-mismatch",
                                           "weak-algorithm", "revoked", "revocation-unknown"}));
    EXPECT_FALSE(TrustVerdictFromKey("Trusted"));
    EXPECT_STREQ(FindStringTableText(IDS_TRUST_TAC_NOT_VERIFIED), "TAC neověřen");
}

TEST(TrustVerdictTest, MessagesNameTheAnchorAndTheRevocationDate) {
    const TrustResult trusted = MakeTrustResult(TrustVerdict::Trusted, "CN = Kořenová CA");
    EXPECT_EQ(trusted.anchorSubject, "CN = Kořenová CA");
    EXPECT_NE(trusted.message.find("„CN = Kořenová CA“"), std::string::npos) << trusted.message;

    // 2026-12-07 18:04:09 UTC
    const TrustResult revoked = MakeTrustResult(TrustVerdict::Revoked, "ignored", 1796666649);
    EXPECT_TRUE(revoked.anchorSubject.empty());
    EXPECT_EQ(revoked.revocationTime, std::optional<std::time_t>(1796666649));
    EXPECT_NE(revoked.message.find("dne 7. 12. 2026 18:04:09 UTC."), std::string::npos)
        << revoked.message;

    const TrustResult expired = MakeTrustResult(TrustVerdict::Expired, "ignored");
    EXPECT_TRUE(expired.anchorSubject.empty());
    EXPECT_EQ(expired.message, FormatRes(IDS_TRUST_EXPIRED));
    EXPECT_EQ(expired.message.find('%'), std::string::npos);
}

} // namespace
