// The token's signature: the certificate services check it as a signed message; when they
// do not know its algorithms, our library's CMS check takes over and the TSA's
// certificate is then taken from the token.
#include "core/TimeStampPart.h"
#include "core/tti/tti_decoded.h"

#include "platform/LastError.h"
#include "support/ErrorText.h"
#include "support/Messages.h"
#include "support/StringIds.h"

#include <new>
#include <vector>

PCCERT_CONTEXT GetSignerCertificate(void* /*arg*/, uint32_t encodingType,
                                    const CertSignerId& signerId, HCERTSTORE messageStore) {
    if (PCCERT_CONTEXT carried =
            CertGetSubjectCertificateFromStore(messageStore, encodingType, signerId))
        return carried;
    HCERTSTORE addressBook = CertOpenSystemStore(
        CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_OPEN_EXISTING_FLAG, kAddressBookStore);
    if (addressBook == nullptr)
        return nullptr;
    PCCERT_CONTEXT found = CertGetSubjectCertificateFromStore(addressBook, encodingType, signerId);
    CertCloseStore(addressBook);
    return found;
}

int CTimeStampPart::VerifyTokenSignature(const unsigned char* token, int length) {
    return CheckSignature(nullptr, token, length);
}

int CTimeStampPart::CheckSignature(const CTtiDecodedToken* decoded, const unsigned char* token,
                                   int length) {
    if (token == nullptr || length <= 0)
        return 0;
    CRYPT_VERIFY_MESSAGE_PARA para;
    para.dwMsgAndCertEncodingType = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
    para.pfnGetSignerCertificate = GetSignerCertificate;
    para.pvGetArg = nullptr;
    // The certificate that the part held is replaced by this token's signer (or by none).
    m_pSignerCert.reset();
    // The DER form stands in only for a token whose signature fails as read (signed
    // attributes signed sorted but sent unsorted): a token that verifies as read is taken
    // as it is, from the decoding already made.
    if (decoded != nullptr) {
        PCCERT_CONTEXT signer = nullptr;
        if (CryptVerifyDecodedMessageSignature(para, 0, decoded->Message(), &signer)) {
            m_pSignerCert.reset(signer);
            return 1;
        }
    }
    std::vector<unsigned char> work;
    try {
        work.resize(static_cast<std::size_t>(length));
    } catch (const std::bad_alloc&) {
        m_strError = FormatRes(IDS_TTI_VERIFY_SIGNATURE_FAILED, TtiErrorText(TTI_E_MEMORY));
        return 0;
    }

    // The signed message as the certificate services read it (DER where that still
    // verifies). Whatever the library answers, only bytes inside the buffer are used.
    int prepared = length;
    bool asRead = false;
    if (decoded != nullptr)
        (void)decoded->PrepareSignedMessage(work.data(), &prepared, asRead);
    else
        TTI_PrepareSignedMessage(token, length, work.data(), &prepared);
    if (prepared < 0 || prepared > length)
        prepared = 0;

    PCCERT_CONTEXT signer = nullptr;
    // The token as read needs no second decoding.
    const bool verified =
        asRead ? CryptVerifyDecodedMessageSignature(para, 0, decoded->Message(), &signer)
               : CryptVerifyMessageSignature(para, 0, work.data(),
                                             static_cast<std::size_t>(prepared), &signer);
    m_pSignerCert.reset(signer);
    if (verified)
        return 1;

    int pending = TTI_E_SIGNATURE;
    const uint32_t reason = GetLastError();
    if (reason == CRYPT_E_UNKNOWN_ALGO || reason == NTE_BAD_ALGID)
        pending = TTI_VerifyTST_Signature(token, length, 0, 0);
    if (pending != TTI_OK) {
        m_pSignerCert.reset();
        m_strError = FormatRes(IDS_TTI_VERIFY_SIGNATURE_FAILED, TtiErrorText(pending));
        return 0;
    }

    // The library verified the token.
    if (m_pSignerCert)
        return 1;
    int certLength = prepared;
    if (const int rc = TTI_GetTST_TSACert(work.data(), &certLength, token, length); rc != TTI_OK) {
        m_strError = FormatRes(IDS_TTI_GET_TSA_CERT_FAILED, TtiErrorText(rc));
        return 0;
    }
    m_pSignerCert.reset(CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                                     work.data(),
                                                     static_cast<std::size_t>(certLength)));
    return 1;
}
