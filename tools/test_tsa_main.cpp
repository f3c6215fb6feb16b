// mivo-test-tsa: the local test TSA as a program, for the demo, the benchmarks and manual
// tests. Listens on 127.0.0.1 only, on a port the system picks, and ends by itself when its
// lifetime is over.
#include "tools/TestTsa.h"

#include "platform/AtomicFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <span>
#include <string>
#include <unistd.h>

using namespace mivo::test;

namespace {

constexpr const char* kUsage =
    R"(mivo-test-tsa - a local time-stamp server for tests (127.0.0.1 only)

Options:
  --https                   TLS with a certificate for 127.0.0.1 and localhost
  --cert KIND               good (default), expired, wrong-name, unknown-ca
  --ca-out PATH             write the CA of the HTTPS certificates (PEM) to PATH
  --lifetime SECONDS        stop after this time (default 300)
  --port-file PATH          write the port number to PATH (prints "port N" anyway)
  --default-policy OID      policy for requests without one (default 1.2.3.4.1)

  HTTP:
  --status N                answer with this HTTP status
  --content-type TEXT       Content-Type of the answer
  --no-content-type         no Content-Type header
  --no-content-length       no Content-Length header (the body ends with the connection)
  --empty-body              an empty body
  --oversized N             N bytes of filler instead of the reply
  --endless                 filler without end
  --auth USER:PASSWORD      Basic authentication (401 until the right credentials)

  Connection faults:
  --stall never|slow        read the request and never answer / answer slowly
  --slow-piece N            bytes per piece when slow (default 16)
  --slow-pause MS           pause between pieces when slow (default 200)
  --reset-after N           reset the connection after N bytes of the answer (0: at once)
  --close-silently          close without an answer
  --garbage                 answer with bytes that are not HTTP

  Framing (RFC 3161 TCP messages in the body):
  --framing final|error|other   type 5 around the reply, type 6 with --error-text, or
                                --frame-type N around the reply
  --error-text TEXT
  --frame-type N
  --frame-length-delta N    add N to the length in the frame header

  The time-stamp reply:
  --refuse STATUS[,FAILINFO[,TEXT]]   a refusal without token (FAILINFO: bit mask)
  --policy OID              this policy instead of the requested one
  --other-nonce | --no-nonce | --other-imprint
  --skew SECONDS            genTime = now + SECONDS
  --gen-time-digits N       N fraction digits in genTime (0-9; public TSAs send 6 or 7)
  --bad-signature | --no-cert | --tac
  --key rsa|ecdsa|pss       the signer's key (default rsa)
)";

[[noreturn]] void Usage(const std::string& what) {
    std::fprintf(stderr, "mivo-test-tsa: %s\n\n%s", what.c_str(), kUsage);
    std::exit(2);
}

long Number(const std::string& text) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0')
        Usage("not a number: " + text);
    return value;
}

// Writes `text` to `path` through a temporary file, so that a reader never sees half of it.
void WriteAtomically(const std::string& path, const std::string& text) {
    const std::span<const unsigned char> bytes(reinterpret_cast<const unsigned char*>(text.data()),
                                               text.size());
    if (!WriteFileAtomically(path, bytes, FileMode::Document))
        Usage("cannot write " + path);
}

} // namespace

int main(int argc, char** argv) {
    TestTsa::Options options;
    TsaBehaviour& b = options.behaviour;
    std::string portFile;
    std::string caOut;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                Usage(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--https") {
            options.https = true;
        } else if (arg == "--cert") {
            const std::string kind = value();
            options.certificate = kind == "good"         ? TestTsa::Certificate::Good
                                  : kind == "expired"    ? TestTsa::Certificate::Expired
                                  : kind == "wrong-name" ? TestTsa::Certificate::WrongName
                                  : kind == "unknown-ca" ? TestTsa::Certificate::UnknownCa
                                                         : (Usage("unknown --cert " + kind),
                                                            TestTsa::Certificate::Good);
        } else if (arg == "--ca-out") {
            caOut = value();
        } else if (arg == "--lifetime") {
            options.lifetime = std::chrono::seconds(Number(value()));
        } else if (arg == "--port-file") {
            portFile = value();
        } else if (arg == "--default-policy") {
            options.defaultPolicy = value();
        } else if (arg == "--status") {
            b.httpStatus = static_cast<int>(Number(value()));
        } else if (arg == "--content-type") {
            b.contentType = value();
        } else if (arg == "--no-content-type") {
            b.contentType.reset();
        } else if (arg == "--no-content-length") {
            b.sendContentLength = false;
        } else if (arg == "--empty-body") {
            b.emptyBody = true;
        } else if (arg == "--oversized") {
            b.oversizedBody = static_cast<std::size_t>(Number(value()));
        } else if (arg == "--endless") {
            b.endlessBody = true;
        } else if (arg == "--auth") {
            const std::string pair = value();
            const std::size_t colon = pair.find(':');
            if (colon == std::string::npos)
                Usage("--auth wants USER:PASSWORD");
            b.basicAuth = std::make_pair(pair.substr(0, colon), pair.substr(colon + 1));
        } else if (arg == "--stall") {
            const std::string kind = value();
            if (kind == "never")
                b.stall = TsaBehaviour::Stall::NeverAnswer;
            else if (kind == "slow")
                b.stall = TsaBehaviour::Stall::Slowly;
            else
                Usage("unknown --stall " + kind);
        } else if (arg == "--slow-piece") {
            b.slowPieceBytes = static_cast<std::size_t>(Number(value()));
        } else if (arg == "--slow-pause") {
            b.slowPause = std::chrono::milliseconds(Number(value()));
        } else if (arg == "--reset-after") {
            b.resetAfter = static_cast<std::size_t>(Number(value()));
        } else if (arg == "--close-silently") {
            b.closeSilently = true;
        } else if (arg == "--garbage") {
            b.garbageInsteadOfHttp = true;
        } else if (arg == "--framing") {
            const std::string kind = value();
            if (kind == "final")
                b.framing = TsaBehaviour::Framing::FinalMessage;
            else if (kind == "error")
                b.framing = TsaBehaviour::Framing::ErrorMessage;
            else if (kind == "other")
                b.framing = TsaBehaviour::Framing::OtherType;
            else if (kind != "none")
                Usage("unknown --framing " + kind);
        } else if (arg == "--error-text") {
            b.errorText = value();
        } else if (arg == "--frame-type") {
            b.frameType = static_cast<unsigned char>(Number(value()));
        } else if (arg == "--frame-length-delta") {
            b.frameLengthDelta = static_cast<int>(Number(value()));
        } else if (arg == "--refuse") {
            const std::string spec = value();
            StatusSpec status;
            const std::size_t first = spec.find(',');
            status.status = Number(spec.substr(0, first));
            if (first != std::string::npos) {
                const std::size_t second = spec.find(',', first + 1);
                status.failInfo =
                    static_cast<uint32_t>(Number(spec.substr(first + 1, second - first - 1)));
                if (second != std::string::npos)
                    status.text = {spec.substr(second + 1)};
            }
            b.refusal = status;
        } else if (arg == "--policy") {
            b.policy = value();
        } else if (arg == "--other-nonce") {
            b.otherNonce = true;
        } else if (arg == "--no-nonce") {
            b.noNonce = true;
        } else if (arg == "--other-imprint") {
            b.otherImprint = true;
        } else if (arg == "--skew") {
            b.timeSkewSeconds = Number(value());
        } else if (arg == "--gen-time-digits") {
            const long digits = Number(value());
            if (digits < 0 || digits > 9)
                Usage("--gen-time-digits wants 0 to 9");
            b.genTimeFractionDigits = static_cast<int>(digits);
        } else if (arg == "--bad-signature") {
            b.badSignature = true;
        } else if (arg == "--no-cert") {
            b.noCertificate = true;
        } else if (arg == "--tac") {
            b.tac = true;
        } else if (arg == "--key") {
            const std::string kind = value();
            b.key = kind == "rsa"     ? KeyKind::Rsa
                    : kind == "ecdsa" ? KeyKind::Ecdsa
                    : kind == "pss"   ? KeyKind::RsaPss
                                      : (Usage("unknown --key " + kind), KeyKind::Rsa);
        } else {
            Usage("unknown option " + arg);
        }
    }

    try {
        TestTsa tsa(options);
        if (!caOut.empty())
            WriteAtomically(caOut, TestTsa::ServerCaPem());
        if (!portFile.empty())
            WriteAtomically(portFile, std::to_string(tsa.Port()) + "\n");
        std::printf("port %u\n", static_cast<unsigned>(tsa.Port()));
        std::fflush(stdout);
        tsa.Wait();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mivo-test-tsa: %s\n", e.what());
        return 1;
    }
    return 0;
}
