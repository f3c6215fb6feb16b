#include "tools/TestFileServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <list>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace mivo::test {

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr int kPollMs = 50;

const char* ReasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 307:
        return "Temporary Redirect";
    case 404:
        return "Not Found";
    default:
        return "Status";
    }
}

} // namespace

struct TestFileServer::Impl {
    int listenFd = -1;
    uint16_t port = 0;
    SteadyClock::time_point deadline;
    mutable std::mutex mutex;
    bool stopping = false;
    std::map<std::string, FileReply> replies;
    std::vector<std::string> requests;
    std::list<std::thread> workers;
    std::vector<int> openFds;
    std::thread acceptor;

    bool Ending() const {
        std::lock_guard<std::mutex> lock(mutex);
        return stopping || SteadyClock::now() >= deadline;
    }

    // Waits until `fd` is readable; false when the server is ending first.
    bool WaitReadable(int fd) const {
        while (!Ending()) {
            pollfd entry{fd, POLLIN, 0};
            const int ready = poll(&entry, 1, kPollMs);
            if (ready > 0)
                return true;
            if (ready < 0 && errno != EINTR)
                return false;
        }
        return false;
    }

    bool SendAll(int fd, const char* data, std::size_t size) const {
        while (size > 0) {
            const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent <= 0)
                return false;
            data += sent;
            size -= static_cast<std::size_t>(sent);
        }
        return true;
    }

    // The path of "GET /path?query HTTP/1.x"; empty when the head is not such a request.
    bool ReadPath(int fd, std::string& path) const {
        std::string head;
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos) {
            if (head.size() > 64 * 1024 || !WaitReadable(fd))
                return false;
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return false;
            head.append(buffer, static_cast<std::size_t>(n));
        }
        if (head.compare(0, 4, "GET ") != 0)
            return false;
        const std::size_t end = head.find(' ', 4);
        path = head.substr(4, end == std::string::npos ? std::string::npos : end - 4);
        path = path.substr(0, path.find('?'));
        return true;
    }

    void Answer(int fd, const FileReply& reply) const {
        std::string head = "HTTP/1.0 " + std::to_string(reply.status) + " " +
                           ReasonPhrase(reply.status) + "\r\nContent-Type: " + reply.contentType +
                           "\r\nContent-Length: " + std::to_string(reply.body.size()) + "\r\n";
        if (!reply.location.empty())
            head += "Location: " + reply.location + "\r\n";
        head += "Connection: close\r\n\r\n";
        if (reply.fault == FileReply::Fault::Stall) {
            char byte = 0;
            while (WaitReadable(fd) && recv(fd, &byte, 1, 0) > 0) {
            }
            return;
        }
        if (!SendAll(fd, head.data(), head.size()))
            return;
        const std::size_t length = reply.fault == FileReply::Fault::CutInBody
                                       ? std::min(reply.cutAt, reply.body.size())
                                       : reply.body.size();
        (void)SendAll(fd, reply.body.data(), length);
    }

    void Serve(int fd) {
        std::string path;
        if (ReadPath(fd, path)) {
            FileReply reply;
            {
                std::lock_guard<std::mutex> lock(mutex);
                requests.push_back(path);
                const auto found = replies.find(path);
                if (found != replies.end()) {
                    reply = found->second;
                } else {
                    reply.status = 404;
                    reply.contentType = "text/plain";
                    reply.body = "404 Not Found\n";
                }
            }
            Answer(fd, reply);
        }
        shutdown(fd, SHUT_RDWR);
        std::lock_guard<std::mutex> lock(mutex);
        std::erase(openFds, fd);
        close(fd);
    }

    void AcceptLoop() {
        while (WaitReadable(listenFd)) {
            const int fd = accept(listenFd, nullptr, nullptr);
            if (fd < 0)
                continue;
            std::lock_guard<std::mutex> lock(mutex);
            openFds.push_back(fd);
            workers.emplace_back([this, fd] { Serve(fd); });
        }
    }

    void Shutdown() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
            for (int fd : openFds)
                shutdown(fd, SHUT_RDWR);
        }
        if (acceptor.joinable())
            acceptor.join();
        std::list<std::thread> finished;
        {
            std::lock_guard<std::mutex> lock(mutex);
            finished.swap(workers);
        }
        for (std::thread& worker : finished)
            worker.join();
        if (listenFd >= 0)
            close(listenFd);
        listenFd = -1;
    }
};

TestFileServer::TestFileServer(std::chrono::seconds lifetime) : m_impl(std::make_unique<Impl>()) {
    Impl& s = *m_impl;
    s.deadline = SteadyClock::now() + lifetime;
    s.listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (s.listenFd < 0 || bind(s.listenFd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(s.listenFd, 16) != 0 ||
        getsockname(s.listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (s.listenFd >= 0)
            close(s.listenFd);
        throw std::runtime_error("TestFileServer: cannot listen on 127.0.0.1");
    }
    s.port = ntohs(address.sin_port);
    s.acceptor = std::thread([&s] { s.AcceptLoop(); });
}

TestFileServer::~TestFileServer() {
    Stop();
}

void TestFileServer::Serve(const std::string& path, FileReply reply) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->replies[path] = std::move(reply);
}

void TestFileServer::Serve(const std::string& path, std::string body) {
    FileReply reply;
    reply.body = std::move(body);
    Serve(path, std::move(reply));
}

void TestFileServer::Redirect(const std::string& from, const std::string& to, int status) {
    FileReply reply;
    reply.status = status;
    reply.contentType = "text/plain";
    reply.location = Url(to);
    Serve(from, std::move(reply));
}

void TestFileServer::Remove(const std::string& path) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->replies.erase(path);
}

uint16_t TestFileServer::Port() const {
    return m_impl->port;
}

std::string TestFileServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_impl->port) + path;
}

std::vector<std::string> TestFileServer::Requests() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->requests;
}

void TestFileServer::Stop() {
    m_impl->Shutdown();
}

} // namespace mivo::test
