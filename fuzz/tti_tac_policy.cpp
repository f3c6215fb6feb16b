// The TAC's timing policy from any bytes: a terminated OID text, or the record left alone.
#include "core/tti/tti.h"
#include "fuzz/FuzzCheck.h"

#include <cstdint>
#include <limits>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > static_cast<size_t>(std::numeric_limits<int>::max()))
        return 0;
    TTI_TIMING_POLICY policy;
    mivo::fuzz::Fill(policy, 0xC3);
    const int rc = TTI_GetTAC_TimingPolicy(&policy, data, static_cast<int>(size));
    FUZZ_CHECK(rc == TTI_OK || rc == TTI_E_ASN_FORMAT || rc == TTI_E_INTERNAL_BUFFER ||
               rc == TTI_E_TAC_NO_POLICY);
    if (rc != TTI_OK) {
        FUZZ_CHECK(mivo::fuzz::Unchanged(policy, 0xC3));
        return 0;
    }
    FUZZ_CHECK(mivo::fuzz::Terminated(policy.szPolicyOid));
    return 0;
}
