// Fuzzes the index reader: arbitrary bytes as they are (the closing digest must refuse almost
// all), and the same bytes sealed with a correct digest so that the structure is reached. An
// index that reads must write back to exactly the bytes it was read from.
#include "core/TrustedListIndex.h"
#include "fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    tl::ListIndex index;
    std::string error;
    if (tl::ReadIndex(bytes, index, error))
        FUZZ_CHECK(tl::SerializeIndex(index) == bytes);
    const std::string sealed = bytes + tl::Sha256(bytes);
    if (tl::ReadIndex(sealed, index, error)) {
        FUZZ_CHECK(tl::SerializeIndex(index) == sealed);
        for (const tl::IndexService& service : index.services)
            FUZZ_CHECK(service.provider < index.providers.size());
        for (const tl::IndexCert& cert : index.certs)
            FUZZ_CHECK(cert.service < index.services.size() && cert.certSha256.size() == 32);
    } else {
        FUZZ_CHECK(!error.empty());
    }
    return 0;
}
