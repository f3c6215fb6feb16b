// The checks of a fresh reply's token against its request, each a named step with its one
// message, and the small helpers that the stamp part's operations share.
#pragma once

#include "core/tti/tti.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace stamp_checks {

// A byte count for the library: counts above INT_MAX become -1, which it refuses.
int ByteCount(std::size_t size);

// The reply's status is 0 (granted) or 1 (granted with modifications).
bool Granted(const TTI_STATUS& status);
// "... Kvalifikované časové razítko nebylo vydáno. Status %d. %d - %s".
std::string NotGrantedMessage(const TTI_STATUS& status);

// The token's imprint is the request's: the same hash OID, digest length and digest.
bool ImprintMatches(const TTI_REQUEST& request, const TTI_TSTINFO& info);
// The token's policy was too long for its field and holds only its start (TTI_CUT_MARK).
bool PolicyCut(const TTI_TSTINFO& info);
// The token's policy is the one requested; a request without a policy accepts any. A cut
// policy never matches a requested one, whatever its start.
bool PolicyMatches(const TTI_REQUEST& request, const TTI_TSTINFO& info);
// The token carries our nonce, compared as the unsigned number it is: the token holds it
// in its minimal form, so a nonce of ours that starts with zero bytes is shorter there. A
// token without a nonce never answers a request with one, nor the other way round.
bool NonceMatches(const TTI_REQUEST& request, const TTI_TSTINFO& info);
// The token's generation time can be read and is within five minutes of Clock().
bool TimeNearClock(const TTI_REQUEST& request, const TTI_TSTINFO& info);

// The checks of a fresh token, in their order, each with the message of its failure.
struct TokenCheck {
    const char* name;
    bool (*passes)(const TTI_REQUEST& request, const TTI_TSTINFO& info);
    uint32_t message;
};
std::span<const TokenCheck> FreshTokenChecks();

} // namespace stamp_checks
