// The TAC's timing metrics from any bytes: terminated texts, or the record left alone.
#include "core/tti/tti.h"
#include "fuzz/FuzzCheck.h"

#include <cstdint>
#include <limits>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > static_cast<size_t>(std::numeric_limits<int>::max()))
        return 0;
    TTI_TIMING_METRICS metrics;
    mivo::fuzz::Fill(metrics, 0x3C);
    const int rc = TTI_GetTAC_TimingMetrics(&metrics, data, static_cast<int>(size));
    FUZZ_CHECK(rc == TTI_OK || rc == TTI_E_ASN_FORMAT || rc == TTI_E_INTERNAL_BUFFER);
    if (rc != TTI_OK) {
        FUZZ_CHECK(mivo::fuzz::Unchanged(metrics, 0x3C));
        return 0;
    }
    FUZZ_CHECK(mivo::fuzz::Terminated(metrics.szNtpTime));
    FUZZ_CHECK(mivo::fuzz::Terminated(metrics.szExpiration));
    return 0;
}
