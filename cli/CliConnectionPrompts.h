// The transport's questions on the command line. A certificate problem is never waved
// through. A server (401) or proxy (407) that asks for a login gets the name and password
// of the settings, as the window's prompt would propose them; what is missing there is
// asked for on the terminal, the password without echo. A name given with --user stands
// for the server's stored login, and its password is always asked for.
#pragma once

#include "cli/CliCommands.h"
#include "core/IConnectionPrompts.h"

#include <cstdio>
#include <optional>
#include <string>

class CliConnectionPrompts final : public IConnectionPrompts {
public:
    // Installs itself while it lives. `user`: the name of --user, if given; questions are
    // read from the terminal `input` and written to `output`.
    explicit CliConnectionPrompts(std::optional<std::string> user, int input = 0,
                                  std::FILE* output = stderr);
    ~CliConnectionPrompts() override;
    CliConnectionPrompts(const CliConnectionPrompts&) = delete;
    CliConnectionPrompts& operator=(const CliConnectionPrompts&) = delete;

    bool ContinueDespiteCertificateProblem(uint32_t error, const std::string& host,
                                           const std::string& detail) override;
    bool AskCredentials(AuthTarget target, const std::string& host, const std::string& realm,
                        std::string& user, std::string& password) override;

private:
    // Prints `question` and reads one line from the terminal, echoed or not; false at the
    // end of the input.
    [[nodiscard]] bool ReadLine(const std::string& question, bool echo, std::string& answer);

    std::optional<std::string> m_user;
    int m_input;
    std::FILE* m_output;
    IConnectionPrompts* m_previous;
};

// The name of --user, when the command line gave one.
std::optional<std::string> UserOption(const CliArgs& args);
