// A token decoded once for the several readings of one stamp: its TSTInfo, the signed
// message for the platform's check and its TAC. Each reading answers exactly what the C
// function of the same name answers for the token's bytes; only the decoding is shared.
#ifndef MIVO_CORE_TTI_TTI_DECODED_H
#define MIVO_CORE_TTI_TTI_DECODED_H

#include "core/tti/tti.h"

#include <openssl/cms.h>

#include <memory>
#include <span>

class CTtiDecodedToken {
public:
    CTtiDecodedToken();
    ~CTtiDecodedToken();
    CTtiDecodedToken(const CTtiDecodedToken&) = delete;
    CTtiDecodedToken& operator=(const CTtiDecodedToken&) = delete;

    // Decodes `token`, whose bytes must stay in place while this object reads them. TTI_OK,
    // or the code that TTI_GetTST_TSTInfo answers for bytes that are no token.
    [[nodiscard]] int Decode(std::span<const unsigned char> token);

    // As TTI_GetTST_TSTInfo.
    [[nodiscard]] int TstInfo(TTI_TSTINFO* info) const;
    // As TTI_PrepareSignedMessage; `asRead` is set when the prepared form is the token as
    // read, whose decoding Message() then is.
    [[nodiscard]] int PrepareSignedMessage(unsigned char* out, int* outLen, bool& asRead) const;
    // As TTI_GetTST_TimeAttributeCert.
    [[nodiscard]] int TimeAttributeCert(unsigned char* out, int* outLen) const;

    // The decoded signed data; null until Decode succeeded.
    CMS_ContentInfo* Message() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

#endif
