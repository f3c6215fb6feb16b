// The TAC of any bytes taken as a token, in the program's 4096 bytes; what comes out is a
// piece of the input.
#include "core/tti/tti.h"
#include "fuzz/FuzzCheck.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > static_cast<size_t>(std::numeric_limits<int>::max()))
        return 0;
    std::vector<unsigned char> tac(4096);
    int len = 4096;
    const int rc = TTI_GetTST_TimeAttributeCert(tac.data(), &len, data, static_cast<int>(size));
    FUZZ_CHECK(mivo::fuzz::KnownCode(rc));
    if (rc == TTI_E_BUFFER_TOO_SMALL)
        FUZZ_CHECK(len > 4096);
    if (rc != TTI_OK)
        return 0;
    FUZZ_CHECK(len > 0 && len <= 4096);
    FUZZ_CHECK(std::search(data, data + size, tac.begin(), tac.begin() + len) != data + size);
    TTI_CERT_INFO info{};
    info.nSize = TTI_CERTINFO_SIZE;
    FUZZ_CHECK(mivo::fuzz::KnownCode(TTI_GetTAC_CertInfo(&info, tac.data(), len)));
    return 0;
}
