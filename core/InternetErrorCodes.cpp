#include "core/InternetErrorCodes.h"

#include "platform/LastError.h"

#include <openssl/x509_vfy.h>

uint32_t CertificateErrorOf(long verifyResult) {
    switch (verifyResult) {
    case X509_V_OK:
    case X509_V_ERR_UNSPECIFIED:
        // The chain passed without a specific error: the name check, which libcurl does
        // itself after the handshake, failed.
        return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
    case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
        return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    case X509_V_ERR_UNABLE_TO_GET_CRL:
    case X509_V_ERR_UNABLE_TO_GET_CRL_ISSUER:
    case X509_V_ERR_CRL_NOT_YET_VALID:
    case X509_V_ERR_CRL_HAS_EXPIRED:
    case X509_V_ERR_CRL_SIGNATURE_FAILURE:
        return ERROR_INTERNET_SEC_CERT_REV_FAILED;
    default:
        return ERROR_INTERNET_INVALID_CA;
    }
}

uint32_t InternetErrorOf(CURLcode result, CURL* easy) {
    switch (result) {
    case CURLE_OPERATION_TIMEDOUT:
        return ERROR_INTERNET_TIMEOUT;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_UNSUPPORTED_PROTOCOL: {
        // After a connection this is a reply libcurl will not take (HTTP/0.9); before one,
        // a proxy scheme it does not know.
        long connects = 0;
        curl_easy_getinfo(easy, CURLINFO_NUM_CONNECTS, &connects);
        return connects > 0 ? ERROR_HTTP_INVALID_SERVER_RESPONSE
                            : ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    }
    case CURLE_URL_MALFORMAT:
        return ERROR_INTERNET_INVALID_URL;
    case CURLE_COULDNT_CONNECT:
        return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
        return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_RECV_ERROR:
        return ERROR_INTERNET_CONNECTION_RESET;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
        return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_PEER_FAILED_VERIFICATION: {
        long verifyResult = X509_V_OK;
        curl_easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &verifyResult);
        return CertificateErrorOf(verifyResult);
    }
    case CURLE_SSL_CLIENTCERT:
        return ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED;
    case CURLE_SSL_ISSUER_ERROR:
        return ERROR_INTERNET_INVALID_CA;
    case CURLE_SSL_INVALIDCERTSTATUS:
        return ERROR_INTERNET_SEC_CERT_REV_FAILED;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_USE_SSL_FAILED:
        return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    case CURLE_ABORTED_BY_CALLBACK:
        return ERROR_INTERNET_OPERATION_CANCELLED;
    default:
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
}

bool IsRetriedError(uint32_t error) {
    return error == ERROR_INTERNET_CANNOT_CONNECT || error == ERROR_INTERNET_CONNECTION_ABORTED ||
           error == ERROR_INTERNET_CONNECTION_RESET || error == ERROR_HTTP_INVALID_SERVER_RESPONSE;
}

bool IsCertificateProblem(uint32_t error) {
    return error == ERROR_INTERNET_SEC_CERT_DATE_INVALID ||
           error == ERROR_INTERNET_SEC_CERT_CN_INVALID ||
           error == ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED || error == ERROR_INTERNET_INVALID_CA ||
           error == ERROR_INTERNET_SEC_CERT_REV_FAILED;
}
