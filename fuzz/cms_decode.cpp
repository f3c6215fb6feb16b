// The CMS decoder that shares certificates across messages, on any bytes: it must accept
// exactly what OpenSSL's own decoder accepts, stop at the same place and give a message
// that encodes to the same bytes, however often the same certificates come again.
#include "fuzz/FuzzCheck.h"
#include "platform/CmsDecode.h"

#include <openssl/cms.h>

#include <cstdint>
#include <cstring>
#include <limits>

namespace {

// The DER encoding of a message, or an empty buffer with length 0.
int Encode(CMS_ContentInfo* cms, unsigned char** out) {
    *out = nullptr;
    return cms != nullptr ? i2d_CMS_ContentInfo(cms, out) : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > static_cast<size_t>(std::numeric_limits<long>::max()))
        return 0;
    const auto length = static_cast<long>(size);
    const unsigned char* ours = data;
    const unsigned char* theirs = data;
    CMS_ContentInfo* shared = DecodeCmsContentInfo(&ours, length);
    CMS_ContentInfo* plain = d2i_CMS_ContentInfo(nullptr, &theirs, length);
    FUZZ_CHECK((shared == nullptr) == (plain == nullptr));
    if (shared != nullptr) {
        FUZZ_CHECK(ours == theirs);
        unsigned char* a = nullptr;
        unsigned char* b = nullptr;
        const int la = Encode(shared, &a);
        const int lb = Encode(plain, &b);
        FUZZ_CHECK(la == lb && (la <= 0 || std::memcmp(a, b, static_cast<size_t>(la)) == 0));
        OPENSSL_free(a);
        OPENSSL_free(b);
    }
    CMS_ContentInfo_free(shared);
    CMS_ContentInfo_free(plain);
    return 0;
}
