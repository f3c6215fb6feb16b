// The TSTInfo of any bytes taken as a token: every field within its bounds, or the record
// left alone.
#include "core/tti/tti.h"
#include "fuzz/FuzzCheck.h"

#include <cstdint>
#include <cstring>
#include <limits>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > static_cast<size_t>(std::numeric_limits<int>::max()))
        return 0;
    TTI_TSTINFO info;
    mivo::fuzz::Fill(info, 0x5A);
    info.nSize = TTI_TSTINFO_SIZE;
    TTI_TSTINFO before;
    std::memcpy(&before, &info, sizeof info);
    const int rc = TTI_GetTST_TSTInfo(&info, data, static_cast<int>(size));
    FUZZ_CHECK(mivo::fuzz::KnownCode(rc));
    if (rc != TTI_OK) {
        FUZZ_CHECK(std::memcmp(&before, &info, sizeof info) == 0);
        return 0;
    }
    FUZZ_CHECK(info.nSize == TTI_TSTINFO_SIZE);
    FUZZ_CHECK(mivo::fuzz::Terminated(info.szPolicyOid));
    FUZZ_CHECK(mivo::fuzz::Terminated(info.szHashOid));
    FUZZ_CHECK(mivo::fuzz::Terminated(info.szGenTime));
    FUZZ_CHECK(mivo::fuzz::Terminated(info.szTsaName));
    FUZZ_CHECK(info.nDigestLen >= 0 && info.nDigestLen <= 128);
    FUZZ_CHECK(info.nSerialLen >= 1 && info.nSerialLen <= 40);
    FUZZ_CHECK(info.nNonceLen >= 0 && info.nNonceLen <= 40);
    FUZZ_CHECK(info.nOrdering == 0 || info.nOrdering == 1);
    // Serial and nonce are minimal: no leading zero byte but for zero itself.
    FUZZ_CHECK(info.nSerialLen == 1 || info.serial[0] != 0);
    FUZZ_CHECK(info.nNonceLen <= 1 || info.nonce[0] != 0);
    return 0;
}
