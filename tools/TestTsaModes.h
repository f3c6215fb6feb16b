// The test TSA's answers before the time-stamp reply: challenges and their checks (Basic
// and Digest), and redirects. Internal to the test TSA.
#ifndef MIVO_TOOLS_TESTTSAMODES_H
#define MIVO_TOOLS_TESTTSAMODES_H

#include "tools/TestTsa.h"

#include <optional>
#include <string>

namespace mivo::test::tsa_modes {

// Whether `request` may pass the authentication `b` asks for (always when it asks none).
bool Authorised(const TsaBehaviour& b, const RecordedRequest& request);
// The whole 401 answer for a request that did not pass.
std::string Challenge(const TsaBehaviour& b);
// The whole redirect answer for `request`, when `b` redirects its target.
std::optional<std::string> RedirectAnswer(const TsaBehaviour& b, const RecordedRequest& request);

} // namespace mivo::test::tsa_modes

#endif
