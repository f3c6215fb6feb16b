// The calling thread's last-error code: the one number that a failing operation leaves
// behind for the error text shown to the user.
//
// Our own file and system wrappers store the errno value of the call that failed; the
// HTTP transport stores an internet error code (12000-12174, the numbering below) and may
// attach the transport library's own description as a detail text. The code is separate
// from errno, so that unrelated library calls between a failure and its report (loading a
// string, formatting a message) cannot change it.
#pragma once

#include <cstdint>
#include <string>

inline constexpr uint32_t INTERNET_ERROR_BASE = 12000;
inline constexpr uint32_t INTERNET_ERROR_LAST = 12174;

inline constexpr uint32_t ERROR_INTERNET_TIMEOUT = 12002;
inline constexpr uint32_t ERROR_INTERNET_INTERNAL_ERROR = 12004;
inline constexpr uint32_t ERROR_INTERNET_INVALID_URL = 12005;
inline constexpr uint32_t ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
inline constexpr uint32_t ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr uint32_t ERROR_INTERNET_INCORRECT_PASSWORD = 12014;
inline constexpr uint32_t ERROR_INTERNET_OPERATION_CANCELLED = 12017;
inline constexpr uint32_t ERROR_INTERNET_CANNOT_CONNECT = 12029;
inline constexpr uint32_t ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr uint32_t ERROR_INTERNET_CONNECTION_RESET = 12031;
inline constexpr uint32_t ERROR_INTERNET_SEC_CERT_DATE_INVALID = 12037;
inline constexpr uint32_t ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;
inline constexpr uint32_t ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR = 12040;
inline constexpr uint32_t ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED = 12044;
inline constexpr uint32_t ERROR_INTERNET_INVALID_CA = 12045;
inline constexpr uint32_t ERROR_INTERNET_SEC_CERT_REV_FAILED = 12057;
inline constexpr uint32_t ERROR_HTTP_HEADER_NOT_FOUND = 12150;
inline constexpr uint32_t ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr uint32_t ERROR_HTTP_REDIRECT_FAILED = 12156;
inline constexpr uint32_t ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;
inline constexpr uint32_t ERROR_INTERNET_LOGIN_FAILURE_DISPLAY_ENTITY_BODY = 12174;

uint32_t GetLastError();
// Sets the code and clears the detail text.
void SetLastError(uint32_t code);
// Sets the code together with a detail text (the transport library's description).
void SetLastError(uint32_t code, std::string detail);
// The detail text set with the current code; empty when none was set.
const std::string& LastErrorDetail();

// Saves the thread's last error (code and detail) and puts it back when it goes out of
// scope: for code that must not disturb an error that is still to be reported.
class LastErrorKeeper {
public:
    LastErrorKeeper();
    ~LastErrorKeeper();
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

private:
    uint32_t m_nCode;
    std::string m_strDetail;
};
