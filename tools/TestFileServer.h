// A small HTTP file server on 127.0.0.1 for tests of downloads: serves bodies by path,
// redirects, and misbehaves on purpose (stalls, connections cut in the middle of a body).
// Never shipped.
//
//   TestFileServer server;                       // a free port of 127.0.0.1
//   server.Serve("/lotl.xml", xml);              // 200 with that body
//   server.Redirect("/old.xml", "/new.xml");     // 302 to another path
//   ... GET server.Url("/lotl.xml") ...
//
// It answers GET only, one request per connection (HTTP/1.0 style), 404 for unknown paths.
// It stops by itself when its lifetime is over, and when the object goes away. Failures to
// set it up throw std::runtime_error.
#ifndef MIVO_TOOLS_TESTFILESERVER_H
#define MIVO_TOOLS_TESTFILESERVER_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mivo::test {

struct FileReply {
    int status = 200;
    std::string contentType = "application/vnd.etsi.tsl+xml";
    std::string body;
    std::string location; // sent as Location (a redirect)
    enum class Fault {
        None,
        Stall,     // read the request, then say nothing until the client goes away
        CutInBody, // announce the whole body, send `cutAt` bytes of it, close
    } fault = Fault::None;
    std::size_t cutAt = 0;
};

class TestFileServer {
public:
    explicit TestFileServer(std::chrono::seconds lifetime = std::chrono::seconds(120));
    ~TestFileServer();
    TestFileServer(const TestFileServer&) = delete;
    TestFileServer& operator=(const TestFileServer&) = delete;

    // Sets what `path` answers from now on ("/name", without a query).
    void Serve(const std::string& path, FileReply reply);
    void Serve(const std::string& path, std::string body);
    // `from` answers `status` with Location: the URL of `to` on this server.
    void Redirect(const std::string& from, const std::string& to, int status = 302);
    void Remove(const std::string& path);

    uint16_t Port() const;
    // "http://127.0.0.1:PORT" + path
    std::string Url(const std::string& path) const;
    // The paths requested so far, in order.
    std::vector<std::string> Requests() const;

    // Stops accepting, ends open connections and waits for the server's threads.
    void Stop();

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

} // namespace mivo::test

#endif
