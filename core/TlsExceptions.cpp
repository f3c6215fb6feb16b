#include "core/TlsExceptions.h"

#include "core/HttpClient.h"
#include "platform/LastError.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <cstdlib>
#include <memory>

unsigned CertificateCheckOf(uint32_t error) {
    switch (error) {
    case ERROR_INTERNET_INVALID_CA:
        return kCheckIssuer;
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
        return kCheckDates;
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
        return kCheckName;
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
        return kCheckRevocation;
    default:
        return 0;
    }
}

unsigned CertificateCheckOfVerifyError(int verifyError) {
    switch (verifyError) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
        return kCheckIssuer;
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return kCheckDates;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return kCheckName;
    case X509_V_ERR_UNABLE_TO_GET_CRL:
    case X509_V_ERR_UNABLE_TO_GET_CRL_ISSUER:
    case X509_V_ERR_CRL_NOT_YET_VALID:
    case X509_V_ERR_CRL_HAS_EXPIRED:
        return kCheckRevocation;
    default:
        return 0;
    }
}

void CTlsExceptions::Accept(const std::string& server, unsigned checks) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_accepted[server] |= checks;
}

unsigned CTlsExceptions::AcceptedFor(const std::string& server) const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_accepted.find(server);
    return found != m_accepted.end() ? found->second : 0;
}

void CTlsExceptions::Clear() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_accepted.clear();
}

CTlsExceptions& TlsExceptions() {
    static CTlsExceptions exceptions;
    return exceptions;
}

namespace {

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

// A URL part, or "" when it has none.
std::string PartOf(CURLU* url, CURLUPart what, unsigned flags = 0) {
    char* text = nullptr;
    if (curl_url_get(url, what, &text, flags) != CURLUE_OK || text == nullptr)
        return {};
    std::string part(text);
    curl_free(text);
    return part;
}

// The host of "host:port" (IPv6 addresses have no brackets here).
std::string HostOf(const std::string& server) {
    return server.substr(0, server.rfind(':'));
}

// The slot of an SSL_CTX that carries the request's ServerCheck to the verify callback.
int CheckIndex() {
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

// A failed check that the user let pass for this server is cleared, so that the handshake
// goes on and the verification result ends up "ok"; every other failure stands.
int OnVerify(int ok, X509_STORE_CTX* store) {
    if (ok == 1)
        return 1;
    const auto* ssl = static_cast<const SSL*>(
        X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    const auto* check = ssl != nullptr ? static_cast<const ServerCheck*>(SSL_CTX_get_ex_data(
                                             SSL_get_SSL_CTX(ssl), CheckIndex()))
                                       : nullptr;
    const unsigned failed = CertificateCheckOfVerifyError(X509_STORE_CTX_get_error(store));
    if (check == nullptr || failed == 0 || (check->passed & failed) == 0)
        return 0;
    X509_STORE_CTX_set_error(store, X509_V_OK);
    return 1;
}

// Called by libcurl for each TLS connection it makes for the request, to the server of the
// URL it is on at that moment (after a redirect, the new one).
CURLcode OnSslContext(CURL* easy, void* context, void* user) {
    ServerCheck& check = *static_cast<ServerCheck*>(user);
    auto* ctx = static_cast<SSL_CTX*>(context);
    if (!check.caFile.empty()) {
        X509_STORE* store = SSL_CTX_get_cert_store(ctx);
        if (store == nullptr || X509_STORE_load_file(store, check.caFile.c_str()) != 1) {
            ERR_clear_error();
            check.caError = std::string("cannot load the certificates of ") + kCaFileVariable +
                            "=" + check.caFile;
            return CURLE_SSL_CACERT_BADFILE;
        }
    }
    char* effective = nullptr;
    curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
    const std::string server = ServerOf(effective != nullptr ? effective : "");
    check.passed = TlsExceptions().AcceptedFor(server);
    if (check.curlNameCheckOff && (check.passed & kCheckName) == 0) {
        // libcurl's name check is off for the server whose name the user let pass; a
        // connection to any other server gets OpenSSL's check instead.
        const std::string host = HostOf(server);
        X509_VERIFY_PARAM* param = SSL_CTX_get0_param(ctx);
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        if (X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) != 1 &&
            X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size()) != 1) {
            ERR_clear_error();
            return CURLE_SSL_CONNECT_ERROR;
        }
        ERR_clear_error();
    }
    if (SSL_CTX_set_ex_data(ctx, CheckIndex(), &check) != 1)
        return CURLE_SSL_CONNECT_ERROR;
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, OnVerify);
    return CURLE_OK;
}

} // namespace

std::string ServerOf(const std::string& url) {
    std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
        return {};
    std::string host = PartOf(parsed.get(), CURLUPART_HOST);
    const std::string port = PartOf(parsed.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (host.empty() || port.empty())
        return {};
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    for (char& c : host)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return host + ":" + port;
}

CURLcode SetUpServerCheck(CURL* easy, const std::string& url, ServerCheck& check) {
    CURLcode rc = curl_easy_setopt(easy, CURLOPT_SSLVERSION, CURL_SSLVERSION_TLSv1_2);
    const auto set = [&rc](CURLcode result) {
        if (rc == CURLE_OK)
            rc = result;
    };
    set(curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L));
    check.curlNameCheckOff = (TlsExceptions().AcceptedFor(ServerOf(url)) & kCheckName) != 0;
    set(curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, check.curlNameCheckOff ? 0L : 2L));
    const char* caFile = std::getenv(kCaFileVariable);
    check.caFile = caFile != nullptr ? caFile : "";
    if (!check.caFile.empty()) {
        // A store kept between transfers would outlive the file's certificates.
        set(curl_easy_setopt(easy, CURLOPT_CA_CACHE_TIMEOUT, 0L));
    }
    set(curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, OnSslContext));
    set(curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, &check));
    return rc;
}

void AcceptCertificateProblem(CURL* easy, ServerCheck& check, uint32_t error) {
    const unsigned failed = CertificateCheckOf(error);
    char* effective = nullptr;
    curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
    const std::string server = ServerOf(effective != nullptr ? effective : "");
    if (failed == 0 || server.empty())
        return;
    TlsExceptions().Accept(server, failed);
    if (failed == kCheckName && !check.curlNameCheckOff) {
        check.curlNameCheckOff = true;
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
    }
}
