// The local test TSA: a real HTTP or HTTPS time-stamp server on 127.0.0.1 that answers
// requests with replies of the token factory and misbehaves on purpose when told to.
// Never shipped; used by the tests, the benchmarks and the demo.
//
//   TestTsa tsa;                       // HTTP on a free port of 127.0.0.1
//   TsaBehaviour b;
//   b.httpStatus = 404;                // from now on every request gets a 404
//   tsa.SetBehaviour(b);
//   ... post to tsa.Url() ...
//   auto requests = tsa.Requests();    // what arrived, byte for byte
//
// The server binds port 0 (the system picks a free port) and never listens anywhere but on
// 127.0.0.1. It stops by itself when its lifetime is over, and when the object goes away.
// Failures to set it up throw std::runtime_error.
#ifndef MIVO_TOOLS_TESTTSA_H
#define MIVO_TOOLS_TESTTSA_H

#include "tools/TokenFactory.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mivo::test {

// How the server answers. The fields apply in this order: authentication, stalls and
// resets, HTTP status and body, then the time-stamp reply and its faults.
struct TsaBehaviour {
    // ---- HTTP ----
    // Basic authentication: 401 with a challenge until a request carries these.
    std::optional<std::pair<std::string, std::string>> basicAuth;
    // Digest authentication (MD5, qop "auth"): 401 with a Digest challenge until a request
    // carries a valid answer for these; with alsoOfferBasic the challenge offers Basic
    // beside it, and a Basic answer of the same pair is taken too.
    std::optional<std::pair<std::string, std::string>> digestAuth;
    bool alsoOfferBasic = false;
    std::string realm = "mivo test TSA";
    // Redirects: a request whose target (path and query) is `from` is answered with `status`
    // and a Location of `to` (relative or absolute, sent as it stands), and nothing else.
    // Checked after authentication.
    struct Redirect {
        std::string from;
        int status = 307;
        std::string to;
    };
    std::vector<Redirect> redirects;
    // Any status: 200 answers with the reply; another status answers with a short text
    // body (unless a body below is set).
    int httpStatus = 200;
    std::string reasonPhrase; // empty: a usual phrase for the status
    // The Content-Type of the reply; nullopt sends no Content-Type header at all.
    std::optional<std::string> contentType = std::string("application/timestamp-reply");
    bool sendContentLength = true; // false: the end of the body is the end of the connection
    bool emptyBody = false;
    std::size_t oversizedBody = 0; // > 0: this many bytes of filler instead of the reply
    bool endlessBody = false;      // filler without end (until the client goes away)
    std::optional<Bytes> rawBody;  // exactly these bytes as the body
    // Makes the body from the request body (e.g. by `openssl ts -reply`): pass-through.
    std::function<Bytes(const Bytes& requestBody)> responder;
    // Extra header lines, "Name: value".
    std::vector<std::string> extraHeaders;

    // ---- Connection faults ----
    enum class Stall {
        None,
        NeverAnswer, // read the request, then say nothing until the client gives up
        Slowly,      // send the answer in pieces with pauses
    } stall = Stall::None;
    std::size_t slowPieceBytes = 16;
    std::chrono::milliseconds slowPause{200};
    // Reset the connection (RST) after the request was read and this many bytes of the
    // answer were sent (0: before anything).
    std::optional<std::size_t> resetAfter;
    // Close the connection without a word after reading the request.
    bool closeSilently = false;
    // Answer with bytes that are not HTTP at all.
    bool garbageInsteadOfHttp = false;

    // ---- RFC 3161 TCP framing of the reply body ----
    enum class Framing {
        None,
        FinalMessage, // type 5 around the reply
        ErrorMessage, // type 6 with errorText
        OtherType,    // frameType around the reply
    } framing = Framing::None;
    std::string errorText = "TSA error";
    unsigned char frameType = 2;
    int frameLengthDelta = 0; // added to the length in the frame header

    // ---- The time-stamp reply ----
    std::optional<StatusSpec> refusal; // a reply with this status and no token
    std::optional<std::string> policy; // instead of the requested (or default) policy
    bool otherNonce = false;
    bool noNonce = false;
    bool otherImprint = false;
    long timeSkewSeconds = 0; // genTime = now + skew
    // Fraction digits of genTime (0 to 9), as public TSAs send six or seven; the last digit
    // is never 0, as DER wants. 0: whole seconds.
    int genTimeFractionDigits = 0;
    bool badSignature = false;
    bool noCertificate = false; // the signer's certificate left out of the token
    bool tac = false;
    KeyKind key = KeyKind::Rsa;
};

// One request as it arrived.
struct RecordedRequest {
    std::string head; // request line and header lines, up to and with the empty line
    std::string requestLine;
    std::vector<std::pair<std::string, std::string>> headers; // in order, as sent
    Bytes body;

    // The value of the first header of that name (case-insensitive), or nullopt.
    std::optional<std::string> Header(const std::string& name) const;
};

class TestTsa {
public:
    enum class Certificate {
        Good,      // issued by the server CA (ServerCaPem) for 127.0.0.1 and localhost
        Expired,   // issued by the server CA, validity over
        WrongName, // issued by the server CA for another name
        UnknownCa, // issued by a CA that nobody trusts
    };

    struct Options {
        bool https = false;
        Certificate certificate = Certificate::Good;
        std::chrono::seconds lifetime{300};
        std::string defaultPolicy = "1.2.3.4.1";
        TsaBehaviour behaviour;
    };

    TestTsa();
    explicit TestTsa(const Options& options);
    ~TestTsa();
    TestTsa(const TestTsa&) = delete;
    TestTsa& operator=(const TestTsa&) = delete;

    uint16_t Port() const;
    bool Https() const;
    // "http(s)://127.0.0.1:PORT" + path
    std::string Url(const std::string& path = "/tsa") const;

    // Applies to requests that arrive from now on.
    void SetBehaviour(const TsaBehaviour& behaviour);
    TsaBehaviour Behaviour() const;

    std::vector<RecordedRequest> Requests() const;
    std::size_t RequestCount() const;
    // Connections accepted so far (a request that never came still counts here).
    std::size_t ConnectionCount() const;
    void ClearRequests();

    // Stops accepting and ends every open connection; waits for the server's threads.
    void Stop();
    // Waits until the server stopped (lifetime over or Stop).
    void Wait();
    bool Running() const;

    // The CA of the HTTPS server certificates (PEM): what a client must trust.
    static std::string ServerCaPem();

    // The reply the server would give now to `requestBody` (DER TimeStampReq), before the
    // framing: for tests that want the bytes without the network.
    static Bytes MakeReply(const Bytes& requestBody, const TsaBehaviour& behaviour,
                           const std::string& defaultPolicy);

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

} // namespace mivo::test

#endif
