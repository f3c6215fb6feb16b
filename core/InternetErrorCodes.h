// The internet error codes (12000-12174, platform/LastError.h) that a failed libcurl transfer
// leaves as the last error, and the two classes of them the HTTP client acts on: failures
// that are worth sending again, and certificate problems that the user may wave through.
#pragma once

#include <curl/curl.h>

#include <cstdint>

// The code of a transfer that ended with `result`; `easy` is asked for the details that
// decide between codes (whether a connection was made, the TLS verify result).
uint32_t InternetErrorOf(CURLcode result, CURL* easy);

// The code of a server certificate that failed the check with OpenSSL's verify result
// `verifyResult` (X509_V_OK when the chain passed and the host name did not).
uint32_t CertificateErrorOf(long verifyResult);

// Connection refused, aborted or reset, or a reply that is not HTTP: the next send may
// get through.
bool IsRetriedError(uint32_t error);

// A problem with the server's certificate that the user is asked about (12037, 12038,
// 12044, 12045, 12057).
bool IsCertificateProblem(uint32_t error);
