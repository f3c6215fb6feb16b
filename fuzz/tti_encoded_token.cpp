// The token of a reply on any bytes: what comes out is a piece of the input, and a buffer
// too small learns the length it needs.
#include "core/tti/tti.h"
#include "fuzz/FuzzCheck.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > static_cast<size_t>(std::numeric_limits<int>::max()))
        return 0;
    const int n = static_cast<int>(size);
    std::vector<unsigned char> out(size);
    int len = n;
    const int rc = TTI_GetTSR_EncodedToken(out.data(), &len, data, n);
    FUZZ_CHECK(mivo::fuzz::KnownCode(rc));
    if (rc != TTI_OK)
        return 0;
    FUZZ_CHECK(len > 0 && len < n);
    FUZZ_CHECK(std::search(data, data + size, out.begin(), out.begin() + len) != data + size);

    std::vector<unsigned char> small(static_cast<size_t>(len - 1));
    int smallLen = len - 1;
    FUZZ_CHECK(TTI_GetTSR_EncodedToken(small.data(), &smallLen, data, n) == TTI_E_BUFFER_TOO_SMALL);
    FUZZ_CHECK(smallLen == len);
    return 0;
}
