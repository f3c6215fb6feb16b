// The signature check and the signed message prepared for the platform, on any bytes
// taken as a token: a code, and a prepared message that fits the token's length and checks
// the same way.
#include "core/tti/tti.h"
#include "fuzz/FuzzCheck.h"

#include <cstdint>
#include <limits>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > static_cast<size_t>(std::numeric_limits<int>::max()))
        return 0;
    const int n = static_cast<int>(size);
    const int rc = TTI_VerifyTST_Signature(data, n, 0, 0);
    FUZZ_CHECK(mivo::fuzz::KnownCode(rc));

    std::vector<unsigned char> prepared(size);
    int len = n;
    const int prc = TTI_PrepareSignedMessage(data, n, prepared.data(), &len);
    FUZZ_CHECK(mivo::fuzz::KnownCode(prc));
    if (prc == TTI_OK) {
        FUZZ_CHECK(len > 0 && len <= n);
        // The prepared form is either the token itself or a re-encoding that verifies.
        if (rc == TTI_OK)
            FUZZ_CHECK(TTI_VerifyTST_Signature(prepared.data(), len, 0, 0) == TTI_OK);
    }
    return 0;
}
