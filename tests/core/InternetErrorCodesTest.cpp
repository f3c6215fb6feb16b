// The mapping of transfer failures to internet error codes, checked as properties over every
// code libcurl and OpenSSL can report: the client treats 0 as "a reply came back", so no
// failure may map to it, and every certificate failure must reach the user's question.
#include "core/InternetErrorCodes.h"

#include "platform/LastError.h"

#include <gtest/gtest.h>

#include <openssl/x509_vfy.h>

#include <memory>

namespace {

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};

} // namespace

TEST(InternetErrorCodes, EveryFailedTransferGivesAnInternetErrorCode) {
    // A handle that never transferred: no connection, no verify result.
    const std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    ASSERT_NE(easy, nullptr);
    for (int code = CURLE_OK + 1; code < CURL_LAST; ++code) {
        const uint32_t error = InternetErrorOf(static_cast<CURLcode>(code), easy.get());
        EXPECT_GE(error, INTERNET_ERROR_BASE) << code;
        EXPECT_LE(error, INTERNET_ERROR_LAST) << code;
    }
    // The question about the certificate is asked for these, never for a broken channel.
    EXPECT_TRUE(IsCertificateProblem(InternetErrorOf(CURLE_PEER_FAILED_VERIFICATION, easy.get())));
    EXPECT_TRUE(IsCertificateProblem(InternetErrorOf(CURLE_SSL_CLIENTCERT, easy.get())));
    EXPECT_TRUE(IsCertificateProblem(InternetErrorOf(CURLE_SSL_ISSUER_ERROR, easy.get())));
    EXPECT_FALSE(IsCertificateProblem(InternetErrorOf(CURLE_SSL_CONNECT_ERROR, easy.get())));
    EXPECT_FALSE(IsCertificateProblem(InternetErrorOf(CURLE_SSL_CACERT_BADFILE, easy.get())));
    // Before any connection an unknown protocol is the proxy's scheme, not a bad reply.
    EXPECT_EQ(InternetErrorOf(CURLE_UNSUPPORTED_PROTOCOL, easy.get()),
              ERROR_INTERNET_UNRECOGNIZED_SCHEME);
}

TEST(InternetErrorCodes, EveryCertificateVerifyResultIsACertificateProblemNeverRetried) {
    for (long result = X509_V_OK; result <= X509_V_ERR_EC_KEY_EXPLICIT_PARAMS + 10; ++result) {
        const uint32_t error = CertificateErrorOf(result);
        EXPECT_TRUE(IsCertificateProblem(error)) << result;
        EXPECT_FALSE(IsRetriedError(error)) << result;
    }
    EXPECT_EQ(CertificateErrorOf(X509_V_ERR_CERT_HAS_EXPIRED),
              ERROR_INTERNET_SEC_CERT_DATE_INVALID);
    EXPECT_EQ(CertificateErrorOf(X509_V_ERR_HOSTNAME_MISMATCH), ERROR_INTERNET_SEC_CERT_CN_INVALID);
    EXPECT_EQ(CertificateErrorOf(X509_V_ERR_UNABLE_TO_GET_CRL), ERROR_INTERNET_SEC_CERT_REV_FAILED);
    EXPECT_EQ(CertificateErrorOf(X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT),
              ERROR_INTERNET_INVALID_CA);
}
