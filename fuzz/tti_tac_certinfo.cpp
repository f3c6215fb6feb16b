// The TAC's certificate information from any bytes: every field within its bounds, or the
// record left alone.
#include "core/tti/tti.h"
#include "fuzz/FuzzCheck.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > static_cast<size_t>(std::numeric_limits<int>::max()))
        return 0;
    auto info = std::make_unique<TTI_CERT_INFO>();
    mivo::fuzz::Fill(*info, 0x96);
    info->nSize = TTI_CERTINFO_SIZE;
    auto before = std::make_unique<TTI_CERT_INFO>(*info);
    const int rc = TTI_GetTAC_CertInfo(info.get(), data, static_cast<int>(size));
    FUZZ_CHECK(rc == TTI_OK || rc == TTI_E_ASN_FORMAT || rc == TTI_E_INTERNAL_BUFFER);
    if (rc != TTI_OK) {
        FUZZ_CHECK(std::memcmp(before.get(), info.get(), sizeof *info) == 0);
        return 0;
    }
    FUZZ_CHECK(info->nSize == TTI_CERTINFO_SIZE);
    FUZZ_CHECK(mivo::fuzz::Terminated(info->szHolder));
    FUZZ_CHECK(mivo::fuzz::Terminated(info->szIssuer));
    FUZZ_CHECK(mivo::fuzz::Terminated(info->szValidFrom));
    FUZZ_CHECK(mivo::fuzz::Terminated(info->szValidTo));
    FUZZ_CHECK(mivo::fuzz::Terminated(info->szSignatureAlgOid));
    FUZZ_CHECK(info->nHolderThumbLen >= 0 && info->nHolderThumbLen <= 128);
    FUZZ_CHECK(info->nSerialLen >= 1 && info->nSerialLen <= 40);
    FUZZ_CHECK(info->nSignatureLen >= 0 && info->nSignatureLen <= 1024);
    return 0;
}
