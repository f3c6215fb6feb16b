// The test TSA: one accepting thread, one thread per connection, blocking sockets watched
// with poll so that every wait ends when the server stops. TLS through OpenSSL's SSL on
// the same sockets, with certificates made here for 127.0.0.1.
#include "tools/TestTsa.h"
#include "platform/OpenSslPtr.h"
#include "tools/TestTsaModes.h"

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/ts.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <list>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

namespace mivo::test {

namespace {

using Clock = std::chrono::steady_clock;

template <class T, auto Free> using Owned = OpenSslPtr<T, Free>;
using KeyPtr = Owned<EVP_PKEY, EVP_PKEY_free>;
using X509Ptr = Owned<X509, X509_free>;
using SslCtxPtr = Owned<SSL_CTX, SSL_CTX_free>;
using SslPtr = Owned<SSL, SSL_free>;
using TsReqPtr = Owned<TS_REQ, TS_REQ_free>;
using BigNumPtr = Owned<BIGNUM, BN_free>;
using BioPtr = Owned<BIO, BIO_free_all>;

[[noreturn]] void Fail(const std::string& what) {
    std::string text = "TestTsa: " + what;
    if (unsigned long e = ERR_get_error()) {
        char buf[256];
        ERR_error_string_n(e, buf, sizeof buf);
        text += ": ";
        text += buf;
    }
    ERR_clear_error();
    throw std::runtime_error(text);
}

void Check(int ok, const char* what) {
    if (ok <= 0)
        Fail(what);
}

// ---- Certificates of the HTTPS server ----------------------------------------------------

KeyPtr NewKey() {
    KeyPtr key(EVP_EC_gen("P-256"));
    if (!key)
        Fail("EC key");
    return key;
}

void AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    Owned<X509_EXTENSION, X509_EXTENSION_free> ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    if (!ext)
        Fail("extension");
    Check(X509_add_ext(cert, ext.get(), -1), "add extension");
}

// A certificate for `key`, named `commonName`, signed by `issuerKey` (itself when null).
X509Ptr MakeCert(EVP_PKEY* key, const std::string& commonName, X509* issuer, EVP_PKEY* issuerKey,
                 long notBeforeDays, long notAfterDays, const char* subjectAltName, bool ca,
                 long serial) {
    X509Ptr cert(X509_new());
    if (!cert)
        Fail("X509_new");
    Check(X509_set_version(cert.get(), 2), "version");
    Check(ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial), "serial");
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), notBeforeDays * 86400L);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), notAfterDays * 86400L);
    X509_NAME* name = X509_get_subject_name(cert.get());
    Check(X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                                     reinterpret_cast<const unsigned char*>("MIVO test"), -1, -1,
                                     0),
          "name");
    Check(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                     reinterpret_cast<const unsigned char*>(commonName.c_str()), -1,
                                     -1, 0),
          "name");
    Check(
        X509_set_issuer_name(cert.get(), issuer != nullptr ? X509_get_subject_name(issuer) : name),
        "issuer");
    Check(X509_set_pubkey(cert.get(), key), "pubkey");
    X509* signer = issuer != nullptr ? issuer : cert.get();
    if (ca) {
        AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
        AddExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
        AddExtension(cert.get(), signer, NID_key_usage, "critical,digitalSignature");
        AddExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth");
    }
    AddExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
    if (subjectAltName != nullptr)
        AddExtension(cert.get(), signer, NID_subject_alt_name, subjectAltName);
    Check(X509_sign(cert.get(), issuerKey != nullptr ? issuerKey : key, EVP_sha256()), "sign");
    return cert;
}

std::string Pem(X509* cert) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    Check(PEM_write_bio_X509(bio.get(), cert), "PEM");
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(n));
}

struct ServerPki {
    KeyPtr caKey;
    X509Ptr ca;
    KeyPtr otherCaKey;
    X509Ptr otherCa;
    KeyPtr serverKey;
    X509Ptr good, expired, wrongName, unknownCa;

    ServerPki() {
        caKey = NewKey();
        ca = MakeCert(caKey.get(), "MIVO test server CA", nullptr, nullptr, -1, 3650, nullptr, true,
                      1);
        otherCaKey = NewKey();
        otherCa =
            MakeCert(otherCaKey.get(), "Nobody's CA", nullptr, nullptr, -1, 3650, nullptr, true, 1);
        serverKey = NewKey();
        const char* san = "IP:127.0.0.1,DNS:localhost";
        good =
            MakeCert(serverKey.get(), "127.0.0.1", ca.get(), caKey.get(), -1, 365, san, false, 2);
        expired =
            MakeCert(serverKey.get(), "127.0.0.1", ca.get(), caKey.get(), -30, -1, san, false, 3);
        wrongName = MakeCert(serverKey.get(), "other.example", ca.get(), caKey.get(), -1, 365,
                             "DNS:other.example", false, 4);
        unknownCa = MakeCert(serverKey.get(), "127.0.0.1", otherCa.get(), otherCaKey.get(), -1, 365,
                             san, false, 2);
    }
};

const ServerPki& Pki() {
    static const ServerPki pki;
    return pki;
}

// ---- HTTP helpers -----------------------------------------------------------------------

const char* ReasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 407:
        return "Proxy Authentication Required";
    case 418:
        return "I'm a teapot";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string Trim(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return {};
    const std::size_t end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

Bytes BigEndian(uint64_t value) {
    Bytes bytes;
    do {
        bytes.insert(bytes.begin(), static_cast<unsigned char>(value & 0xFF));
        value >>= 8;
    } while (value != 0);
    return bytes;
}

std::atomic<uint64_t> g_serial{1};
std::mutex g_factoryMutex; // one signature at a time

} // namespace

std::optional<std::string> RecordedRequest::Header(const std::string& name) const {
    const std::string wanted = Lower(name);
    for (const auto& [key, value] : headers)
        if (Lower(key) == wanted)
            return value;
    return std::nullopt;
}

namespace {

// Now plus `skewSeconds` as a GeneralizedTime with `digits` fraction digits (0 to 9) of the
// same instant; a last digit of 0 becomes 1, since DER leaves no trailing zero.
std::string GenTimeWithFraction(long skewSeconds, int digits) {
    const auto now = std::chrono::system_clock::now() + std::chrono::seconds(skewSeconds);
    const auto sinceEpoch = now.time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    const long long nanos =
        std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch - seconds).count();
    const std::time_t whole = static_cast<std::time_t>(seconds.count());
    std::tm tm{};
    gmtime_r(&whole, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &tm);
    std::string time = text;
    digits = std::clamp(digits, 0, 9);
    if (digits > 0) {
        char fraction[16];
        std::snprintf(fraction, sizeof fraction, "%09lld", nanos);
        std::string part(fraction, static_cast<std::size_t>(digits));
        if (part.back() == '0')
            part.back() = '1';
        time += "." + part;
    }
    return time + "Z";
}

} // namespace

Bytes TestTsa::MakeReply(const Bytes& requestBody, const TsaBehaviour& b,
                         const std::string& defaultPolicy) {
    std::lock_guard<std::mutex> lock(g_factoryMutex);
    if (b.refusal)
        return TokenFactory::ReplyWith(*b.refusal, std::nullopt);

    const unsigned char* p = requestBody.data();
    TsReqPtr request(d2i_TS_REQ(nullptr, &p, static_cast<long>(requestBody.size())));
    if (!request || p != requestBody.data() + requestBody.size()) {
        ERR_clear_error();
        StatusSpec rejection;
        rejection.status = 2;
        rejection.text = {"request not understood"};
        rejection.failInfo = 1U << 5; // badDataFormat
        return TokenFactory::ReplyWith(rejection, std::nullopt);
    }

    TokenSpec spec;
    spec.key = b.key;
    TS_MSG_IMPRINT* imprint = TS_REQ_get_msg_imprint(request.get());
    X509_ALGOR* algorithm = TS_MSG_IMPRINT_get_algo(imprint);
    char oid[128] = {};
    OBJ_obj2txt(oid, sizeof oid, algorithm->algorithm, 1);
    spec.imprintOid = oid;
    const ASN1_OCTET_STRING* digest = TS_MSG_IMPRINT_get_msg(imprint);
    spec.imprint.assign(ASN1_STRING_get0_data(digest),
                        ASN1_STRING_get0_data(digest) + ASN1_STRING_length(digest));
    if (b.otherImprint && !spec.imprint.empty())
        spec.imprint[0] ^= 0xFF;

    if (b.policy) {
        spec.policyOid = *b.policy;
    } else if (const ASN1_OBJECT* policy = TS_REQ_get_policy_id(request.get())) {
        OBJ_obj2txt(oid, sizeof oid, policy, 1);
        spec.policyOid = oid;
    } else {
        spec.policyOid = defaultPolicy;
    }

    if (const ASN1_INTEGER* nonce = TS_REQ_get_nonce(request.get()); nonce && !b.noNonce) {
        BigNumPtr number(ASN1_INTEGER_to_BN(nonce, nullptr));
        Bytes bytes(static_cast<std::size_t>(BN_num_bytes(number.get())));
        BN_bn2bin(number.get(), bytes.data());
        if (bytes.empty())
            bytes.push_back(0);
        if (b.otherNonce)
            bytes.back() ^= 0x5A;
        spec.nonce = bytes;
    }

    spec.genTime = GenTimeWithFraction(b.timeSkewSeconds, b.genTimeFractionDigits);
    spec.serial = BigEndian(g_serial.fetch_add(1));
    // A TSA names itself as its certificate does.
    GeneralNameSpec name;
    name.dirName = TokenFactory::TsaSubject(b.key);
    spec.tsaName = name;
    AccuracySpec accuracy;
    accuracy.seconds = 1;
    spec.accuracy = accuracy;
    spec.includeSignerCert = TS_REQ_get_cert_req(request.get()) != 0 && !b.noCertificate;
    spec.tamperSignature = b.badSignature;
    if (b.tac)
        spec.tac = TacSpec{};
    return TokenFactory::Reply(spec, StatusSpec{});
}

std::string TestTsa::ServerCaPem() {
    return Pem(Pki().ca.get());
}

// ---- The server -------------------------------------------------------------------------

struct TestTsa::Impl {
    Options options;
    int listenFd = -1;
    uint16_t port = 0;
    SslCtxPtr sslCtx;
    Clock::time_point deadline;

    std::atomic<bool> stopping{false};
    std::atomic<bool> stopped{false};
    std::thread acceptor;

    mutable std::mutex mutex;
    std::condition_variable stoppedSignal;
    TsaBehaviour behaviour;
    std::vector<RecordedRequest> requests;
    std::size_t connections = 0;
    std::set<int> openFds;
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::list<Worker> workers;

    // One accepted connection.
    class Conn {
    public:
        Conn(Impl& server, int fd) : m_server(server), m_fd(fd) {}
        ~Conn() {
            if (m_ssl && !m_reset) {
                SSL_shutdown(m_ssl.get());
            }
            m_ssl.reset();
            m_server.Forget(m_fd);
            close(m_fd);
        }
        Conn(const Conn&) = delete;
        Conn& operator=(const Conn&) = delete;

        bool StartTls(SSL_CTX* ctx) {
            m_ssl.reset(SSL_new(ctx));
            if (!m_ssl || SSL_set_fd(m_ssl.get(), m_fd) != 1)
                return false;
            while (true) {
                const int rc = SSL_accept(m_ssl.get());
                if (rc == 1)
                    return true;
                const int error = SSL_get_error(m_ssl.get(), rc);
                if ((error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) ||
                    !WaitReadable(std::chrono::seconds(30))) {
                    ERR_clear_error();
                    return false;
                }
            }
        }

        // Waits until there is something to read (or the peer closed); false on stop or
        // when `limit` passed.
        bool WaitReadable(std::chrono::milliseconds limit) {
            if (m_ssl && SSL_pending(m_ssl.get()) > 0)
                return true;
            const auto end = Clock::now() + limit;
            while (!m_server.stopping && Clock::now() < end) {
                pollfd pfd{m_fd, POLLIN, 0};
                const int rc = poll(&pfd, 1, 100);
                if (rc > 0)
                    return true;
                if (rc < 0 && errno != EINTR)
                    return false;
            }
            return false;
        }

        // Some bytes, 0 at the end, -1 on error or stop.
        long Read(char* buffer, std::size_t size) {
            if (!WaitReadable(std::chrono::seconds(30)))
                return -1;
            if (m_ssl) {
                const int n = SSL_read(m_ssl.get(), buffer, static_cast<int>(size));
                if (n > 0)
                    return n;
                ERR_clear_error();
                return SSL_get_error(m_ssl.get(), n) == SSL_ERROR_ZERO_RETURN ? 0 : -1;
            }
            const ssize_t n = recv(m_fd, buffer, size, 0);
            return n < 0 ? -1 : static_cast<long>(n);
        }

        bool Write(const char* data, std::size_t size) {
            while (size > 0) {
                if (m_server.stopping)
                    return false;
                long n = 0;
                if (m_ssl) {
                    n = SSL_write(m_ssl.get(), data,
                                  static_cast<int>(std::min<std::size_t>(size, 16384)));
                    if (n <= 0) {
                        ERR_clear_error();
                        return false;
                    }
                } else {
                    n = send(m_fd, data, size, MSG_NOSIGNAL);
                    if (n < 0) {
                        if (errno == EINTR)
                            continue;
                        return false;
                    }
                }
                data += n;
                size -= static_cast<std::size_t>(n);
            }
            return true;
        }
        bool Write(const std::string& text) { return Write(text.data(), text.size()); }

        // Ends the connection with a TCP reset.
        void Reset() {
            linger option{1, 0};
            setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
            m_reset = true;
        }

        // Waits until the client closes its end (or the server stops).
        void WaitForPeerClose() {
            char buffer[512];
            while (!m_server.stopping) {
                pollfd pfd{m_fd, POLLIN, 0};
                const int rc = poll(&pfd, 1, 100);
                if (rc > 0) {
                    const ssize_t n = recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
                    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                        return;
                }
            }
        }

        void Pause(std::chrono::milliseconds pause) {
            const auto end = Clock::now() + pause;
            while (!m_server.stopping && Clock::now() < end)
                std::this_thread::sleep_for(std::min(pause, std::chrono::milliseconds(20)));
        }

    private:
        Impl& m_server;
        int m_fd;
        SslPtr m_ssl;
        bool m_reset = false;
    };

    void Forget(int fd) {
        std::lock_guard<std::mutex> lock(mutex);
        openFds.erase(fd);
    }

    void AcceptLoop() {
        while (!stopping) {
            if (Clock::now() >= deadline)
                break;
            pollfd pfd{listenFd, POLLIN, 0};
            const int rc = poll(&pfd, 1, 100);
            ReapWorkers();
            if (rc <= 0)
                continue;
            const int fd = accept(listenFd, nullptr, nullptr);
            if (fd < 0)
                continue;
            auto done = std::make_shared<std::atomic<bool>>(false);
            std::lock_guard<std::mutex> lock(mutex);
            ++connections;
            openFds.insert(fd);
            workers.push_back({std::thread([this, fd, done] {
                                   try {
                                       Serve(fd);
                                   } catch (const std::exception&) {
                                       // A broken connection ends only itself.
                                   }
                                   *done = true;
                               }),
                               done});
        }
        stopping = true;
        ShutDownOpenConnections();
        std::list<Worker> rest;
        {
            std::lock_guard<std::mutex> lock(mutex);
            rest.swap(workers);
        }
        for (auto& worker : rest)
            worker.thread.join();
        close(listenFd);
        listenFd = -1;
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopped = true;
        }
        stoppedSignal.notify_all();
    }

    void ReapWorkers() {
        std::list<Worker> finished;
        {
            std::lock_guard<std::mutex> lock(mutex);
            for (auto it = workers.begin(); it != workers.end();) {
                if (*it->done) {
                    finished.push_back(std::move(*it));
                    it = workers.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (auto& worker : finished)
            worker.thread.join();
    }

    void ShutDownOpenConnections() {
        std::lock_guard<std::mutex> lock(mutex);
        for (int fd : openFds)
            shutdown(fd, SHUT_RDWR);
    }

    // Reads one request: head up to the empty line, then Content-Length bytes of body.
    bool ReadRequest(Conn& conn, RecordedRequest& request) {
        std::string data;
        char buffer[4096];
        std::size_t headEnd = std::string::npos;
        while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
            if (data.size() > 64 * 1024)
                return false;
            const long n = conn.Read(buffer, sizeof buffer);
            if (n <= 0)
                return false;
            data.append(buffer, static_cast<std::size_t>(n));
        }
        request.head = data.substr(0, headEnd + 4);
        std::size_t lineStart = 0;
        bool first = true;
        std::size_t contentLength = 0;
        while (lineStart < headEnd) {
            std::size_t lineEnd = request.head.find("\r\n", lineStart);
            const std::string line = request.head.substr(lineStart, lineEnd - lineStart);
            lineStart = lineEnd + 2;
            if (first) {
                request.requestLine = line;
                first = false;
                continue;
            }
            const std::size_t colon = line.find(':');
            if (colon == std::string::npos)
                continue;
            const std::string name = line.substr(0, colon);
            const std::string value = Trim(line.substr(colon + 1));
            request.headers.emplace_back(name, value);
            if (Lower(name) == "content-length")
                contentLength = static_cast<std::size_t>(std::strtoull(value.c_str(), nullptr, 10));
        }
        if (contentLength > 1024 * 1024)
            return false;
        std::string body = data.substr(headEnd + 4);
        while (body.size() < contentLength) {
            const long n = conn.Read(buffer, std::min(sizeof buffer, contentLength - body.size()));
            if (n <= 0)
                return false;
            body.append(buffer, static_cast<std::size_t>(n));
        }
        request.body.assign(body.begin(), body.end());
        return true;
    }

    Bytes Body(const TsaBehaviour& b, const RecordedRequest& request, int status) const {
        if (b.emptyBody)
            return {};
        if (b.rawBody)
            return *b.rawBody;
        if (b.oversizedBody > 0)
            return Bytes(b.oversizedBody, 'x');
        Bytes body;
        if (status != 200) {
            const std::string text = std::to_string(status) + " " + ReasonPhrase(status) + "\n";
            return Bytes(text.begin(), text.end());
        }
        body = b.responder ? b.responder(request.body)
                           : MakeReply(request.body, b, options.defaultPolicy);
        switch (b.framing) {
        case TsaBehaviour::Framing::None:
            return body;
        case TsaBehaviour::Framing::FinalMessage:
            body = TokenFactory::Framed(5, body);
            break;
        case TsaBehaviour::Framing::ErrorMessage:
            body = TokenFactory::Framed(6, Bytes(b.errorText.begin(), b.errorText.end()));
            break;
        case TsaBehaviour::Framing::OtherType:
            body = TokenFactory::Framed(b.frameType, body);
            break;
        }
        if (b.frameLengthDelta != 0 && body.size() >= 4) {
            uint32_t length = (uint32_t{body[0]} << 24) | (uint32_t{body[1]} << 16) |
                              (uint32_t{body[2]} << 8) | body[3];
            length += static_cast<uint32_t>(b.frameLengthDelta);
            for (int i = 0; i < 4; ++i)
                body[static_cast<std::size_t>(i)] =
                    static_cast<unsigned char>(length >> (24 - 8 * i));
        }
        return body;
    }

    void Serve(int fd) {
        Conn conn(*this, fd);
        if (sslCtx && !conn.StartTls(sslCtx.get()))
            return;
        RecordedRequest request;
        if (!ReadRequest(conn, request))
            return;
        TsaBehaviour b;
        {
            std::lock_guard<std::mutex> lock(mutex);
            requests.push_back(request);
            b = behaviour;
        }

        if (!tsa_modes::Authorised(b, request)) {
            conn.Write(tsa_modes::Challenge(b));
            return;
        }
        if (const auto redirect = tsa_modes::RedirectAnswer(b, request)) {
            conn.Write(*redirect);
            return;
        }
        if (b.closeSilently)
            return;
        if (b.resetAfter && *b.resetAfter == 0) {
            conn.Reset();
            return;
        }
        if (b.garbageInsteadOfHttp) {
            conn.Write("this is not HTTP\r\n\r\n");
            return;
        }
        if (b.stall == TsaBehaviour::Stall::NeverAnswer) {
            conn.WaitForPeerClose();
            return;
        }

        const int status = b.httpStatus;
        std::string head = "HTTP/1.0 " + std::to_string(status) + " " +
                           (b.reasonPhrase.empty() ? ReasonPhrase(status) : b.reasonPhrase) +
                           "\r\n";
        if (b.contentType)
            head += "Content-Type: " + *b.contentType + "\r\n";
        for (const auto& line : b.extraHeaders)
            head += line + "\r\n";
        if (b.endlessBody) {
            head += "Connection: close\r\n\r\n";
            if (!conn.Write(head))
                return;
            const std::string filler(16384, 'x');
            while (conn.Write(filler)) {
            }
            return;
        }
        const Bytes body = Body(b, request, status);
        if (b.sendContentLength)
            head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        head += "Connection: close\r\n\r\n";
        std::string answer = head;
        answer.append(body.begin(), body.end());

        if (b.resetAfter) {
            conn.Write(answer.data(), std::min(answer.size(), *b.resetAfter));
            conn.Pause(std::chrono::milliseconds(50));
            conn.Reset();
            return;
        }
        if (b.stall == TsaBehaviour::Stall::Slowly) {
            const std::size_t piece = std::max<std::size_t>(1, b.slowPieceBytes);
            for (std::size_t at = 0; at < answer.size(); at += piece) {
                if (!conn.Write(answer.data() + at, std::min(piece, answer.size() - at)))
                    return;
                conn.Pause(b.slowPause);
            }
            return;
        }
        conn.Write(answer);
    }
};

TestTsa::TestTsa() : TestTsa(Options{}) {}

TestTsa::TestTsa(const Options& options) : m_impl(std::make_unique<Impl>()) {
    // A client that goes away while we write must not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    Impl& s = *m_impl;
    s.options = options;
    s.behaviour = options.behaviour;

    if (options.https) {
        const ServerPki& pki = Pki();
        s.sslCtx.reset(SSL_CTX_new(TLS_server_method()));
        if (!s.sslCtx)
            Fail("SSL_CTX_new");
        X509* cert = options.certificate == Certificate::Expired     ? pki.expired.get()
                     : options.certificate == Certificate::WrongName ? pki.wrongName.get()
                     : options.certificate == Certificate::UnknownCa ? pki.unknownCa.get()
                                                                     : pki.good.get();
        Check(SSL_CTX_use_certificate(s.sslCtx.get(), cert), "server certificate");
        Check(SSL_CTX_use_PrivateKey(s.sslCtx.get(), pki.serverKey.get()), "server key");
    }

    s.listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s.listenFd < 0)
        throw std::runtime_error("TestTsa: socket");
    const int yes = 1;
    setsockopt(s.listenFd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (bind(s.listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(s.listenFd, 64) != 0 ||
        getsockname(s.listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(s.listenFd);
        throw std::runtime_error("TestTsa: cannot listen on 127.0.0.1");
    }
    s.port = ntohs(address.sin_port);
    s.deadline = Clock::now() + options.lifetime;
    s.acceptor = std::thread([&s] { s.AcceptLoop(); });
}

TestTsa::~TestTsa() {
    Stop();
}

void TestTsa::Stop() {
    m_impl->stopping = true;
    if (m_impl->acceptor.joinable())
        m_impl->acceptor.join();
}

void TestTsa::Wait() {
    std::unique_lock<std::mutex> lock(m_impl->mutex);
    m_impl->stoppedSignal.wait(lock, [this] { return m_impl->stopped.load(); });
}

bool TestTsa::Running() const {
    return !m_impl->stopped;
}

uint16_t TestTsa::Port() const {
    return m_impl->port;
}

bool TestTsa::Https() const {
    return m_impl->options.https;
}

std::string TestTsa::Url(const std::string& path) const {
    return std::string(Https() ? "https" : "http") + "://127.0.0.1:" + std::to_string(Port()) +
           path;
}

void TestTsa::SetBehaviour(const TsaBehaviour& behaviour) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->behaviour = behaviour;
}

TsaBehaviour TestTsa::Behaviour() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->behaviour;
}

std::vector<RecordedRequest> TestTsa::Requests() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->requests;
}

std::size_t TestTsa::RequestCount() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->requests.size();
}

std::size_t TestTsa::ConnectionCount() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->connections;
}

void TestTsa::ClearRequests() {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->requests.clear();
}

} // namespace mivo::test
