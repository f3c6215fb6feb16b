// Texts of error codes: the thread's last error, the library's result codes and the codes
// of the hash and imprint checks.
#pragma once

#include "support/Messages.h"

#include <cstdint>
#include <string>

// Describes the thread's last error (GetLastError), empty when it is 0:
//   "0x%08X (%u): " + " " + message    when there is a message for the code,
//   "error 0x%08X (%u): "               when there is none.
// The message of an internet error (12000-12174) comes from our own table, that of any
// other code from the system (strerror, in the language of the user's locale); codes the
// system does not know have none. A detail text set with the code (LastErrorDetail, the
// transport library's own description) follows the message as " (" detail ")", or stands
// as the message when the code has none.
std::string SystemErrorText();

// The library's text for its result code: 0 to -17 have their own, any other code
// "Neznámá chyba".
std::string TtiErrorText(int code);

// Fills `text` with the message of a digest or check result code (support/ResultCodes.h),
// unformatted, and answers true; answers false and leaves `text` alone for RESULT_OK,
// RESULT_E_SILENT and unknown codes.
[[nodiscard]] bool ResultCodeText(int code, std::string& text);

// `text`, followed by two line feeds and SystemErrorText() when that is not empty.
std::string WithSystemError(std::string text);

template <typename... Args> std::string FormatResWithSystemError(uint32_t id, const Args&... args) {
    return WithSystemError(FormatRes(id, args...));
}

// ErrorBox of WithSystemError(text).
void ErrorBoxWithSystemError(const std::string& text);

template <typename... Args> void ErrorBoxWithSystemErrorF(uint32_t id, const Args&... args) {
    ErrorBoxWithSystemError(FormatRes(id, args...));
}
