#include "core/tti/tti_decoded.h"
#include "core/tti/tti_internal.h"

using namespace mivo::tti;

struct CTtiDecodedToken::Impl {
    Token token;
    std::span<const unsigned char> bytes;
    bool loaded = false;
};

CTtiDecodedToken::CTtiDecodedToken() : m_impl(std::make_unique<Impl>()) {}

CTtiDecodedToken::~CTtiDecodedToken() = default;

int CTtiDecodedToken::Decode(std::span<const unsigned char> token) {
    m_impl->loaded = false;
    m_impl->token = {};
    m_impl->bytes = token;
    if (token.size() > static_cast<std::size_t>(INT_MAX))
        return TTI_E_INVALID_PARAMETER;
    return Guarded([&]() -> int {
        if (int rc = LoadToken(m_impl->token, token.data(), static_cast<int>(token.size()));
            rc != TTI_OK)
            return rc;
        m_impl->loaded = true;
        return TTI_OK;
    });
}

int CTtiDecodedToken::TstInfo(TTI_TSTINFO* info) const {
    return Guarded([&]() -> int {
        if (info == nullptr || info->nSize != TTI_TSTINFO_SIZE)
            return TTI_E_INVALID_PARAMETER;
        if (!m_impl->loaded)
            return TTI_E_ASN_FORMAT;
        TTI_TSTINFO record{};
        record.nSize = TTI_TSTINFO_SIZE;
        if (int rc = ReadTstInfo(record, m_impl->token); rc != TTI_OK)
            return rc;
        *info = record;
        return TTI_OK;
    });
}

int CTtiDecodedToken::PrepareSignedMessage(unsigned char* out, int* outLen, bool& asRead) const {
    asRead = false;
    return Guarded([&]() -> int {
        if (int rc = CheckOutput(out, outLen); rc != TTI_OK)
            return rc;
        if (!m_impl->loaded)
            return TTI_E_ASN_FORMAT;
        return PrepareLoaded(m_impl->token, m_impl->bytes, out, outLen, asRead);
    });
}

int CTtiDecodedToken::TimeAttributeCert(unsigned char* out, int* outLen) const {
    return Guarded([&]() -> int {
        if (int rc = CheckOutput(out, outLen); rc != TTI_OK)
            return rc;
        if (!m_impl->loaded)
            return TTI_E_ASN_FORMAT;
        return ReadTimeAttributeCert(m_impl->token, out, outLen);
    });
}

CMS_ContentInfo* CTtiDecodedToken::Message() const {
    return m_impl->loaded ? m_impl->token.cms.get() : nullptr;
}
