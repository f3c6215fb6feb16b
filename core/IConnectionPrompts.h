// The questions the HTTP transport asks its user: whether to go on despite a problem with
// the server's certificate, and a user name and password when the server (401) or the proxy
// (407) asks for authentication. The front ends implement IConnectionPrompts (the GUI with
// dialogs, the tests with scripted answers) and install it with SetConnectionPrompts; without
// one every question is answered "cancel", which is what the command line does.
#pragma once

#include <cstdint>
#include <string>

enum class AuthTarget { Server, Proxy };

class IConnectionPrompts {
public:
    virtual ~IConnectionPrompts() = default;

    // The server's certificate failed the check with `error` (12037 date, 12038 name,
    // 12044 client certificate wanted, 12045 unknown issuer, 12057 revocation unknown);
    // `detail` is the TLS library's description. True: that one check passes for this
    // server (host and port) until the program ends, and the request is sent again;
    // false: give up.
    virtual bool ContinueDespiteCertificateProblem(uint32_t error, const std::string& host,
                                                   const std::string& detail) = 0;

    // User name and password for `host` (the server, or the proxy for AuthTarget::Proxy);
    // `realm` is the realm the challenge named, if any. On entry `user` and `password` hold
    // the values known so far (to show as proposals); true with the answer in them, false
    // when the user cancels.
    virtual bool AskCredentials(AuthTarget target, const std::string& host,
                                const std::string& realm, std::string& user,
                                std::string& password) = 0;
};

// Installs the process-wide prompts; nullptr restores the default, which cancels every
// question. Answers the previous one.
IConnectionPrompts* SetConnectionPrompts(IConnectionPrompts* prompts);
IConnectionPrompts& ConnectionPrompts();
