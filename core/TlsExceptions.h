// How an HTTPS server's certificate is checked, and the problems the user let pass.
//
// Every HTTPS request: TLS 1.2 or later; the certificate chain checked against the system's
// CA store plus the certificates of MIVOKLIENT_CA_FILE; the server's name (or IP address)
// checked against the certificate.
//
// When the user answers a certificate problem with "continue", only the check that failed
// is let pass, and only for that server (host and port), until the program ends: an
// unknown issuer let pass for one server leaves its name and dates checked, and every
// other server checked in full. The checks that can be let pass are the issuer, the
// validity dates, the name and the revocation status; a broken signature or a malformed
// certificate never passes.
#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

// The checks, as bits.
enum : unsigned {
    kCheckIssuer = 1,
    kCheckDates = 2,
    kCheckName = 4,
    kCheckRevocation = 8,
};

// The check an internet error code stands for (12045, 12037, 12038, 12057); 0 for others.
unsigned CertificateCheckOf(uint32_t error);
// The check an OpenSSL verification error (X509_V_ERR_...) belongs to; 0 for errors that
// never pass.
unsigned CertificateCheckOfVerifyError(int verifyError);

// The checks let pass, per server, for the life of the process.
class CTlsExceptions {
public:
    // `server` is "host:port" as ServerOf gives it.
    void Accept(const std::string& server, unsigned checks);
    unsigned AcceptedFor(const std::string& server) const;
    // Forgets every exception.
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::map<std::string, unsigned> m_accepted;
};

CTlsExceptions& TlsExceptions();

// "host:port" of an http(s) URL, the host in lower case and without brackets, the port
// given or the scheme's; "" when the URL cannot be read.
std::string ServerOf(const std::string& url);

// What the checks of one request need while it lives.
struct ServerCheck {
    std::string caFile;            // MIVOKLIENT_CA_FILE, or ""
    std::string caError;           // why the file could not be loaded
    bool curlNameCheckOff = false; // libcurl's own name check turned off for this request
    unsigned passed = 0;           // checks let pass for the connection being made
};

// Sets the TLS options of a request to `url` on `easy`; `check` must outlive its transfers.
[[nodiscard]] CURLcode SetUpServerCheck(CURL* easy, const std::string& url, ServerCheck& check);

// After the last transfer on `easy` failed with the certificate problem `error`: the check
// that failed passes for the server of that transfer from now on (this request included).
void AcceptCertificateProblem(CURL* easy, ServerCheck& check, uint32_t error);
