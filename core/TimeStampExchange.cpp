#include "core/TimeStampExchange.h"

#include "core/ClientSettings.h"
#include "core/ValueText.h"
#include "support/Conversions.h"
#include "support/ErrorText.h"
#include "support/Messages.h"
#include "support/StringIds.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// The bytes of a reply that a report of a failed framing check shows.
constexpr int kShownReplyBytes = 16;

// The error text of a framed error message: from 5 bytes into the reply up to a zero byte
// or the end of the received data. It comes from the network: ill-formed UTF-8 is
// replaced, and control characters other than tab and line feed become "?", so that the
// text cannot play tricks on a terminal.
std::string ErrorMessageText(const unsigned char* reply, int received) {
    if (received <= 5)
        return {};
    const char* begin = reinterpret_cast<const char*>(reply) + 5;
    const std::size_t length = strnlen(begin, static_cast<std::size_t>(received - 5));
    std::string text;
    Utf8ToAnsi(std::string_view(begin, length), text);
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t' && c != '\n') || byte == 0x7F)
            c = '?';
    }
    return text;
}

} // namespace

CTimeStampExchange::CTimeStampExchange() {
    // One header line: a line end in the value would end the header block early.
    SetRequestContentType(kTimeStampQueryType);
    SetExpectedContentType(kTimeStampReplyType);
}

CTimeStampExchange::~CTimeStampExchange() {
    Close();
}

int PostTimeStampRequest(const unsigned char* request, int requestLength,
                         const CConnectionParams& settings, unsigned char* replyBuffer,
                         int& replyLength) {
    int received = replyLength;
    int code = HTTP_E_CONNECT;
    {
        CTimeStampExchange exchange;
        if (exchange.Connect(settings) == 1)
            code = exchange.SendRequest(request, requestLength, replyBuffer, received);
        exchange.Close();
        if (code != HTTP_OK) {
            exchange.ReportError(code, LoadResString(IDS_CONNECT_ERROR));
            return 0;
        }
    }

    replyLength = received;
    int messageType = 0;
    const int check = TTI_CheckReply(replyBuffer, &replyLength, &messageType, 0);
    if (check == TTI_OK)
        return 1;
    if (check == TTI_E_TCP_HEADER && messageType == TTI_MSG_ERROR_MSG_REP) {
        ErrorBoxF(IDS_TTI_REPLY_ERROR_TEXT, ErrorMessageText(replyBuffer, received));
    } else if (check == TTI_E_TCP_HEADER) {
        ErrorBoxF(IDS_TTI_UNEXPECTED_MESSAGE, messageType);
    } else if (check == TTI_E_LENGTH) {
        ErrorBoxF(IDS_TTI_REPLY_LENGTH, static_cast<unsigned>(received),
                  static_cast<unsigned>(replyLength));
    } else {
        // A code with no message of its own: what arrived, so that the failure has a reason.
        ErrorBoxF(IDS_REPLY_CHECK_FAILED, TtiErrorText(check),
                  static_cast<unsigned long long>(received),
                  HexText(replyBuffer, std::min(received, kShownReplyBytes)));
    }
    return 0;
}

int RequestTimeStamp(const TTI_REQUEST& request, unsigned char* replyBuffer, int& replyLength) {
    unsigned char encoded[kEncodedRequestLimit];
    int encodedLength = kEncodedRequestLimit;
    const int code = TTI_EncodeTimestampRequest(&request, encoded, &encodedLength, 0);
    if (code != TTI_OK) {
        ErrorBoxF(IDS_TTI_ENCODE_FAILED, TtiErrorText(code));
        return 0;
    }
    return PostTimeStampRequest(encoded, encodedLength, GetClientSettings(), replyBuffer,
                                replyLength);
}
