// One exchange with the TSA: a DER time-stamp request posted as
// "application/timestamp-query", a reply whose Content-Type must contain
// "application/timestamp-reply", and the reply's framing checked by the library.
#pragma once

#include "core/ConnectionParams.h"
#include "core/HttpClient.h"
#include "core/tti/tti.h"

inline constexpr char kTimeStampQueryType[] = "application/timestamp-query";
inline constexpr char kTimeStampReplyType[] = "application/timestamp-reply";
// The largest encoded request.
inline constexpr int kEncodedRequestLimit = 1024;

// An HTTP client with the two content types of the time-stamp protocol filled in. One is
// made for each request and destroyed when the request ends.
class CTimeStampExchange : public CHttpClient {
public:
    CTimeStampExchange();
    ~CTimeStampExchange() override;
};

// Encodes `request`, posts it to the TSA of the process-wide settings and checks the
// reply's framing. `replyLength` is the buffer's capacity on entry. 1 with the reply (a
// framed one unwrapped) in the buffer and its length in `replyLength`; 0 after the failure
// has been shown in an error box (a framing code without a message of its own shows the
// length and the first bytes of what arrived).
[[nodiscard]] int RequestTimeStamp(const TTI_REQUEST& request, unsigned char* replyBuffer,
                                   int& replyLength);

// The same for an encoded request of `requestLength` bytes and the connection parameters
// of `settings`.
[[nodiscard]] int PostTimeStampRequest(const unsigned char* request, int requestLength,
                                       const CConnectionParams& settings,
                                       unsigned char* replyBuffer, int& replyLength);
