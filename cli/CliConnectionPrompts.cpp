#include "cli/CliConnectionPrompts.h"

#include "support/Messages.h"
#include "support/StringIds.h"

#include <cerrno>
#include <csignal>
#include <termios.h>
#include <unistd.h>

namespace {

// The terminal's settings while the echo is off, put back when a signal ends the program
// in the middle of a password: a shell left without echo is hard to use.
struct termios g_savedTerminal;
volatile std::sig_atomic_t g_terminalFd = -1;

extern "C" void RestoreTerminalAndDie(int signal) {
    if (g_terminalFd >= 0)
        tcsetattr(g_terminalFd, TCSANOW, &g_savedTerminal);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

constexpr int kRestoredSignals[] = {SIGINT, SIGTERM, SIGQUIT, SIGHUP};

// What came from the network, made harmless for a terminal.
std::string Printable(std::string text) {
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            c = '?';
    }
    return text;
}

} // namespace

CliConnectionPrompts::CliConnectionPrompts(std::optional<std::string> user, int input,
                                           std::FILE* output)
    : m_user(std::move(user)), m_input(input), m_output(output),
      m_previous(SetConnectionPrompts(this)) {}

CliConnectionPrompts::~CliConnectionPrompts() {
    SetConnectionPrompts(m_previous);
}

bool CliConnectionPrompts::ContinueDespiteCertificateProblem(uint32_t /*error*/,
                                                             const std::string& /*host*/,
                                                             const std::string& /*detail*/) {
    return false;
}

bool CliConnectionPrompts::AskCredentials(AuthTarget target, const std::string& host,
                                          const std::string& realm, std::string& user,
                                          std::string& password) {
    const bool server = target == AuthTarget::Server;
    if (server && m_user) {
        // Once: after the answer the transport proposes it again, and it goes on as it is.
        user = *m_user;
        password.clear();
        m_user.reset();
    }
    if (!user.empty() && !password.empty())
        return true;
    if (isatty(m_input) == 0) {
        std::fprintf(m_output, "%s\n", LoadResString(IDS_CLI_NO_TERMINAL).c_str());
        return false;
    }
    const std::string where = realm.empty() ? std::string() : " (" + Printable(realm) + ")";
    std::fprintf(
        m_output, "%s\n",
        FormatRes(server ? IDS_CLI_LOGIN_SERVER : IDS_CLI_LOGIN_PROXY, Printable(host), where)
            .c_str());
    if (user.empty() && !ReadLine(LoadResString(IDS_CLI_ASK_USER), true, user))
        return false;
    return password.empty() ? ReadLine(FormatRes(IDS_CLI_ASK_PASSWORD, user), false, password)
                            : true;
}

bool CliConnectionPrompts::ReadLine(const std::string& question, bool echo, std::string& answer) {
    termios quiet{};
    const bool hide = !echo && tcgetattr(m_input, &g_savedTerminal) == 0;
    if (hide) {
        quiet = g_savedTerminal;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        g_terminalFd = m_input;
        for (int signal : kRestoredSignals)
            std::signal(signal, RestoreTerminalAndDie);
        tcsetattr(m_input, TCSAFLUSH, &quiet);
    }
    // Asked only now: what is typed after the question is never echoed nor thrown away.
    std::fputs(question.c_str(), m_output);
    std::fflush(m_output);
    answer.clear();
    bool ended = false;
    char c = 0;
    while (true) {
        const ssize_t n = read(m_input, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ended = true;
            break;
        }
        if (c == '\n')
            break;
        if (c != '\r')
            answer += c;
    }
    if (hide) {
        tcsetattr(m_input, TCSAFLUSH, &g_savedTerminal);
        g_terminalFd = -1;
        for (int signal : kRestoredSignals)
            std::signal(signal, SIG_DFL);
        // The user's Enter was not echoed either.
        std::fputc('\n', m_output);
    }
    return !ended || !answer.empty();
}

std::optional<std::string> UserOption(const CliArgs& args) {
    if (!args.Has(kOptUser))
        return std::nullopt;
    return args.Value(kOptUser);
}
