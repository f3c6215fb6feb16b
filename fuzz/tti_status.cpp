// The reply's status on any bytes: a record filled with terminated text, or left alone.
#include "core/tti/tti.h"
#include "fuzz/FuzzCheck.h"

#include <cstdint>
#include <limits>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > static_cast<size_t>(std::numeric_limits<int>::max()))
        return 0;
    TTI_STATUS status;
    mivo::fuzz::Fill(status, 0xA5);
    const int rc = TTI_GetTSR_Status(&status, data, static_cast<int>(size));
    FUZZ_CHECK(rc == TTI_OK || rc == TTI_E_ASN_FORMAT || rc == TTI_E_INTERNAL_BUFFER);
    if (rc == TTI_OK)
        FUZZ_CHECK(mivo::fuzz::Terminated(status.szStatusText));
    else
        FUZZ_CHECK(mivo::fuzz::Unchanged(status, 0xA5));
    return 0;
}
