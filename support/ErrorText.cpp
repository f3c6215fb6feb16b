#include "support/ErrorText.h"

#include "platform/LastError.h"
#include "support/Messages.h"
#include "support/ResultCodes.h"
#include "support/StringIds.h"

#include <cstring>

namespace {

// The system's message for an errno value, or empty when the system does not know it.
std::string SystemMessage(uint32_t code) {
    if (code > static_cast<uint32_t>(INT32_MAX) ||
        strerrordesc_np(static_cast<int>(code)) == nullptr) {
        return {};
    }
    char buffer[256];
    // The GNU strerror_r answers a pointer to the text (ours or a static one).
    const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    return text != nullptr ? std::string(text) : std::string();
}

} // namespace

std::string SystemErrorText() {
    const uint32_t code = GetLastError();
    if (code == 0) {
        return {};
    }
    const std::string detail = LastErrorDetail();
    std::string message;
    if (code >= INTERNET_ERROR_BASE && code <= INTERNET_ERROR_LAST) {
        message = LoadResString(IDS_INTERNET_ERROR_BASE + (code - INTERNET_ERROR_BASE));
    }
    if (message.empty()) {
        message = SystemMessage(code);
    }
    if (!detail.empty()) {
        message = message.empty() ? detail : message + " (" + detail + ")";
    }
    if (message.empty()) {
        return FormatText("error 0x%08X (%u): ", code, code);
    }
    return FormatText("0x%08X (%u): ", code, code) + " " + message;
}

std::string TtiErrorText(int code) {
    const uint32_t id = code <= 0 && code >= -17 ? IDS_TTI_ERROR_BASE + static_cast<uint32_t>(-code)
                                                 : IDS_TTI_UNKNOWN;
    return LoadResString(id);
}

bool ResultCodeText(int code, std::string& text) {
    struct Row {
        int code;
        uint32_t id; // 0: the row has no text
    };
    static constexpr Row kRows[] = {
        {RESULT_OK, 0},
        {RESULT_E_HASH_UNSUPPORTED, IDS_HASH_NOT_SUPPORTED},
        {RESULT_E_HASH_INIT, IDS_HASH_INIT_ERROR},
        {RESULT_E_READ_FILE, IDS_FILE_READ_ERROR},
        {RESULT_E_READ_SOURCE, IDS_SOURCE_READ_ERROR},
        {RESULT_E_SILENT, 0},
        {RESULT_E_DIGEST_MISMATCH, IDS_DIGEST_MISMATCH},
        {RESULT_E_STAMP, IDS_STAMP_ERROR},
        {RESULT_E_NOT_REGULAR_FILE, IDS_SOURCE_NOT_REGULAR},
        {RESULT_E_SOURCE_CHANGED, IDS_SOURCE_CHANGED},
        {RESULT_E_CANCELLED, 0},
    };
    for (const Row& row : kRows) {
        if (row.code == code) {
            if (row.id == 0) {
                return false;
            }
            text = LoadResString(row.id);
            return true;
        }
    }
    return false;
}

std::string WithSystemError(std::string text) {
    const std::string system = SystemErrorText();
    if (!system.empty()) {
        text += "\n\n";
        text += system;
    }
    return text;
}

void ErrorBoxWithSystemError(const std::string& text) {
    ErrorBox(WithSystemError(text));
}
