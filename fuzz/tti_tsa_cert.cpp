// The TSA certificate of any bytes taken as a token: a certificate, or a code.
#include "core/tti/tti.h"
#include "fuzz/FuzzCheck.h"

#include <openssl/x509.h>

#include <cstdint>
#include <limits>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > static_cast<size_t>(std::numeric_limits<int>::max()))
        return 0;
    std::vector<unsigned char> out(size + 1);
    int len = static_cast<int>(out.size());
    const int rc = TTI_GetTST_TSACert(out.data(), &len, data, static_cast<int>(size));
    FUZZ_CHECK(mivo::fuzz::KnownCode(rc));
    FUZZ_CHECK(rc != TTI_E_BUFFER_TOO_SMALL);
    if (rc != TTI_OK)
        return 0;
    FUZZ_CHECK(len > 0 && static_cast<size_t>(len) <= size);
    const unsigned char* p = out.data();
    X509* cert = d2i_X509(nullptr, &p, len);
    FUZZ_CHECK(cert != nullptr);
    X509_free(cert);
    return 0;
}
