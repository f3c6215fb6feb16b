// The command line's login questions on a real pseudo-terminal: what is asked, what the
// terminal shows of the answers, and what happens without a terminal.
#include "cli/CliConnectionPrompts.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>

namespace {

struct Answer {
    bool given = false;
    std::string user;
    std::string password;
};

// A terminal to answer on and a pipe that collects the questions.
class CliPromptsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(openpty(&m_master, &m_slave, nullptr, nullptr, nullptr), 0);
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        m_questionsFd = fds[0];
        m_questions = fdopen(fds[1], "w");
        ASSERT_NE(m_questions, nullptr);
    }
    void TearDown() override {
        std::fclose(m_questions);
        close(m_questionsFd);
        close(m_master);
        close(m_slave);
    }

    // Runs the question in the background: the test answers it on the terminal.
    std::future<Answer> Ask(CliConnectionPrompts& prompts, AuthTarget target, std::string user,
                            std::string password) {
        return std::async(std::launch::async, [&prompts, target, user, password] {
            Answer answer{false, user, password};
            answer.given = prompts.AskCredentials(target, "tsa.example", "Razítka", answer.user,
                                                  answer.password);
            return answer;
        });
    }

    // Waits until the questions so far end with `question`, then types `line` and Enter.
    void Type(const std::string& question, const std::string& line) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (m_asked.size() < question.size() ||
               m_asked.compare(m_asked.size() - question.size(), question.size(), question) != 0) {
            ASSERT_LT(std::chrono::steady_clock::now(), end) << "asked: " << m_asked;
            pollfd pfd{m_questionsFd, POLLIN, 0};
            if (poll(&pfd, 1, 100) > 0) {
                char buffer[256];
                const ssize_t n = read(m_questionsFd, buffer, sizeof buffer);
                ASSERT_GT(n, 0);
                m_asked.append(buffer, static_cast<std::size_t>(n));
            }
        }
        const std::string typed = line + "\n";
        ASSERT_EQ(write(m_master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    }

    // What the terminal showed (its echo) so far.
    std::string Shown() const {
        std::string shown;
        char buffer[256];
        pollfd pfd{m_master, POLLIN, 0};
        while (poll(&pfd, 1, 200) > 0) {
            const ssize_t n = read(m_master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            shown.append(buffer, static_cast<std::size_t>(n));
        }
        return shown;
    }

    int m_master = -1;
    int m_slave = -1;
    int m_questionsFd = -1;
    std::FILE* m_questions = nullptr;
    std::string m_asked;
};

} // namespace

TEST_F(CliPromptsTest, AsksForWhatTheSettingsLackAndNeverEchoesThePassword) {
    CliConnectionPrompts prompts(std::nullopt, m_slave, m_questions);
    // Both stored: answered without a question.
    Answer answer = Ask(prompts, AuthTarget::Server, "alice", "stored").get();
    EXPECT_TRUE(answer.given);
    EXPECT_EQ(answer.password, "stored");
    EXPECT_TRUE(m_asked.empty());

    // The name stored, the password not: only the password is asked for.
    auto pending = Ask(prompts, AuthTarget::Server, "alice", "");
    Type("Heslo pro alice: ", "pw 1");
    answer = pending.get();
    EXPECT_TRUE(answer.given);
    EXPECT_EQ(answer.user, "alice");
    EXPECT_EQ(answer.password, "pw 1");
    EXPECT_NE(m_asked.find("Server tsa.example (Razítka) žádá přihlášení."), std::string::npos)
        << m_asked;

    // Nothing stored for the proxy: its name (shown as typed), then its password.
    pending = Ask(prompts, AuthTarget::Proxy, "", "");
    Type("Uživatelské jméno: ", "bob");
    Type("Heslo pro bob: ", "pw 2");
    answer = pending.get();
    EXPECT_EQ(answer.user, "bob");
    EXPECT_EQ(answer.password, "pw 2");

    const std::string shown = Shown();
    EXPECT_NE(shown.find("bob"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("pw 1"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("pw 2"), std::string::npos) << shown;
    // The echo is back on afterwards.
    termios settings{};
    ASSERT_EQ(tcgetattr(m_slave, &settings), 0);
    EXPECT_NE(settings.c_lflag & ECHO, 0U);
}

TEST_F(CliPromptsTest, ANameOnTheCommandLineAlwaysAsksForItsPasswordOnce) {
    CliConnectionPrompts prompts(std::string("carol"), m_slave, m_questions);
    auto pending = Ask(prompts, AuthTarget::Server, "alice", "stored");
    Type("Heslo pro carol: ", "pw 3");
    Answer answer = pending.get();
    EXPECT_EQ(answer.user, "carol");
    EXPECT_EQ(answer.password, "pw 3");
    // The transport proposes the answer again on the next challenge: it goes as it is.
    answer = Ask(prompts, AuthTarget::Server, "carol", "pw 3").get();
    EXPECT_TRUE(answer.given);
    EXPECT_EQ(answer.password, "pw 3");
}

TEST_F(CliPromptsTest, WithoutATerminalOnlyCompleteSettingsAnswer) {
    const int devNull = open("/dev/null", O_RDONLY);
    ASSERT_GE(devNull, 0);
    {
        CliConnectionPrompts prompts(std::nullopt, devNull, m_questions);
        EXPECT_TRUE(Ask(prompts, AuthTarget::Server, "alice", "stored").get().given);
        EXPECT_FALSE(Ask(prompts, AuthTarget::Proxy, "alice", "").get().given);
        EXPECT_FALSE(prompts.ContinueDespiteCertificateProblem(12045, "tsa.example", ""));
    }
    {
        CliConnectionPrompts prompts(std::string("carol"), devNull, m_questions);
        EXPECT_FALSE(Ask(prompts, AuthTarget::Server, "alice", "stored").get().given);
    }
    close(devNull);
    std::fflush(m_questions);
    char buffer[512];
    const ssize_t n = read(m_questionsFd, buffer, sizeof buffer);
    ASSERT_GT(n, 0);
    EXPECT_NE(std::string(buffer, static_cast<std::size_t>(n)).find("není terminál"),
              std::string::npos);
}
