// The reply's framing check on any bytes: a reply unwrapped in place keeps its value.
#include "core/tti/tti.h"
#include "fuzz/FuzzCheck.h"

#include <cstdint>
#include <limits>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > static_cast<size_t>(std::numeric_limits<int>::max()))
        return 0;
    std::vector<unsigned char> buffer(data, data + size);
    int len = static_cast<int>(size);
    int type = -99;
    const int rc = TTI_CheckReply(buffer.data(), &len, &type, 0);
    FUZZ_CHECK(rc == TTI_OK || rc == TTI_E_LENGTH || rc == TTI_E_TCP_HEADER ||
               rc == TTI_E_ASN_FORMAT);
    if (rc == TTI_OK) {
        FUZZ_CHECK(type == TTI_MSG_FINAL_MSG_REP);
        FUZZ_CHECK(len >= 0 && static_cast<size_t>(len) <= size);
        // Unwrapped (5 bytes of header gone) or passed as it was.
        const unsigned char* value = data + (size - static_cast<size_t>(len));
        FUZZ_CHECK(size - static_cast<size_t>(len) == 0 || size - static_cast<size_t>(len) == 5);
        FUZZ_CHECK(mivo::fuzz::Same(buffer.data(), value, static_cast<size_t>(len)));
    } else if (rc == TTI_E_LENGTH) {
        FUZZ_CHECK(len > 0 && static_cast<size_t>(len) != size);
        FUZZ_CHECK(mivo::fuzz::Same(buffer.data(), data, size));
    } else {
        FUZZ_CHECK(mivo::fuzz::Same(buffer.data(), data, size));
    }
    return 0;
}
