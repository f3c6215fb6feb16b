// Downloading one document with GET through the program's HTTP transport: the connection
// parameters of the settings (proxy, its credentials, user agent, time-out and the stall
// watch), the certificate and credential prompts, and redirects followed (at most five,
// http and https only).
#pragma once

#include "core/ConnectionParams.h"

#include <cstddef>
#include <string>

// Downloads `url` into `body` (at most `limit` bytes, itself at most 2^31 - 1). Answers
// HTTP_OK or the transport's result code (core/HttpClient.h): HTTP_E_STATUS with the
// status in `status`, HTTP_E_READ_BODY for an empty body or one over the limit, the others
// with the reason as the last error. `body` is changed only on success.
[[nodiscard]] int HttpGet(const CConnectionParams& settings, const std::string& url,
                          std::size_t limit, std::string& body, int& status);
