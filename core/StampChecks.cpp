#include "core/StampChecks.h"

#include "core/GenTime.h"
#include "core/IClock.h"
#include "core/TimeStampPart.h"
#include "core/ValueText.h"
#include "support/ErrorText.h"
#include "support/Messages.h"
#include "support/StringIds.h"

#include <algorithm>
#include <array>
#include <climits>

namespace stamp_checks {

namespace {

// The bytes of a record's byte field that its length names; false for a length the field
// cannot hold.
bool FieldBytes(const unsigned char* field, std::size_t size, int32_t length,
                std::span<const unsigned char>& bytes) {
    if (length < 0 || static_cast<std::size_t>(length) > size)
        return false;
    bytes = std::span(field, static_cast<std::size_t>(length));
    return true;
}

std::span<const unsigned char> WithoutLeadingZeros(std::span<const unsigned char> bytes) {
    while (!bytes.empty() && bytes.front() == 0)
        bytes = bytes.subspan(1);
    return bytes;
}

constexpr std::array kFreshTokenChecks = {
    TokenCheck{"imprint", ImprintMatches, IDS_TTI_IMPRINT_MISMATCH},
    TokenCheck{"policy", PolicyMatches, IDS_TTI_POLICY_MISMATCH},
    TokenCheck{"nonce", NonceMatches, IDS_TTI_NONCE_MISMATCH},
    TokenCheck{"time", TimeNearClock, IDS_TTI_TIME_SKEW},
};

} // namespace

int ByteCount(std::size_t size) {
    return size > static_cast<std::size_t>(INT_MAX) ? -1 : static_cast<int>(size);
}

bool Granted(const TTI_STATUS& status) {
    return status.nStatus == 0 || status.nStatus == 1;
}

std::string NotGrantedMessage(const TTI_STATUS& status) {
    return FormatRes(IDS_TTI_NOT_GRANTED_STATUS, status.nStatus, status.nFailInfo,
                     FieldText(status.szStatusText));
}

bool ImprintMatches(const TTI_REQUEST& request, const TTI_TSTINFO& info) {
    std::span<const unsigned char> asked;
    std::span<const unsigned char> stamped;
    return FieldText(request.szHashOid) == FieldText(info.szHashOid) &&
           FieldBytes(request.digest, sizeof request.digest, request.nDigestLen, asked) &&
           FieldBytes(info.digest, sizeof info.digest, info.nDigestLen, stamped) &&
           std::ranges::equal(asked, stamped);
}

bool PolicyCut(const TTI_TSTINFO& info) {
    return FieldText(info.szPolicyOid).ends_with(TTI_CUT_MARK);
}

bool PolicyMatches(const TTI_REQUEST& request, const TTI_TSTINFO& info) {
    const std::string_view asked = FieldText(request.szPolicyOid);
    return asked.empty() || (!PolicyCut(info) && asked == FieldText(info.szPolicyOid));
}

bool NonceMatches(const TTI_REQUEST& request, const TTI_TSTINFO& info) {
    std::span<const unsigned char> asked;
    std::span<const unsigned char> stamped;
    if (!FieldBytes(request.nonce, sizeof request.nonce, request.nNonceLen, asked) ||
        !FieldBytes(info.nonce, sizeof info.nonce, info.nNonceLen, stamped))
        return false;
    if (asked.empty() != stamped.empty())
        return false;
    return std::ranges::equal(WithoutLeadingZeros(asked), WithoutLeadingZeros(stamped));
}

bool TimeNearClock(const TTI_REQUEST& /*request*/, const TTI_TSTINFO& info) {
    uint64_t tokenTime = 0;
    if (!GenTimeToFileTime(FieldText(info.szGenTime), tokenTime))
        return false;
    return WithinClockSkew(tokenTime, Clock().NowFileTime());
}

std::span<const TokenCheck> FreshTokenChecks() {
    return kFreshTokenChecks;
}

} // namespace stamp_checks

using namespace stamp_checks;

int CTimeStampPart::CheckFreshReply(const TTI_REQUEST& request,
                                    std::span<const unsigned char> reply,
                                    std::vector<unsigned char>& token) {
    BeginOperation();
    TTI_STATUS status{};
    TTI_TSTINFO info{};
    info.nSize = TTI_TSTINFO_SIZE;
    const int replyLength = ByteCount(reply.size());

    if (const int rc = TTI_GetTSR_Status(&status, reply.data(), replyLength); rc != TTI_OK) {
        m_strError = FormatRes(IDS_TTI_GET_STATUS_FAILED, TtiErrorText(rc), BytesAsText(reply));
        return 0;
    }
    if (!Granted(status)) {
        m_strError = NotGrantedMessage(status);
        return 0;
    }

    // The token lies inside the reply, so it is never longer than the reply.
    std::vector<unsigned char> buffer(std::max<std::size_t>(reply.size(), 1));
    int tokenLength = static_cast<int>(buffer.size());
    if (const int rc =
            TTI_GetTSR_EncodedToken(buffer.data(), &tokenLength, reply.data(), replyLength);
        rc != TTI_OK) {
        m_strError = FormatRes(IDS_TTI_GET_TOKEN_FAILED, TtiErrorText(rc));
        return 0;
    }
    token.assign(buffer.begin(), buffer.begin() + tokenLength);

    if (const int rc = TTI_GetTST_TSTInfo(&info, token.data(), tokenLength); rc != TTI_OK) {
        m_strError = FormatRes(IDS_TTI_GET_TSTINFO_FAILED, TtiErrorText(rc));
        return 0;
    }
    for (const TokenCheck& check : FreshTokenChecks()) {
        if (!check.passes(request, info)) {
            m_strError = FormatRes(check.message);
            return 0;
        }
    }
    return VerifyTokenSignature(token.data(), tokenLength);
}
