// A fake of the transport's prompts for tests: records every question and answers from a
// script, installed while it lives.
//
//   ScriptedPrompts prompts;
//   prompts.AnswerCredentials("user", "pass");    // the next credential question
//   prompts.AnswerCertificate(true);              // the next certificate question
//   ... exchange ...
//   EXPECT_EQ(prompts.credentialQuestions.size(), 1U);
//
// A question without a scripted answer is cancelled, as the command line does.
#pragma once

#include "core/IConnectionPrompts.h"
#include "core/TlsExceptions.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class ScriptedPrompts final : public IConnectionPrompts {
public:
    struct CertificateQuestion {
        uint32_t error;
        std::string host;
        std::string detail;
    };
    struct CredentialQuestion {
        AuthTarget target;
        std::string host;
        std::string realm;
        std::string proposedUser;
        std::string proposedPassword;
    };

    // A new script starts with no certificate problem let pass for any server.
    ScriptedPrompts() : m_previous(SetConnectionPrompts(this)) { TlsExceptions().Clear(); }
    ~ScriptedPrompts() override { SetConnectionPrompts(m_previous); }
    ScriptedPrompts(const ScriptedPrompts&) = delete;
    ScriptedPrompts& operator=(const ScriptedPrompts&) = delete;

    void AnswerCertificate(bool goOn) { m_certificateAnswers.push_back(goOn); }
    void AnswerCredentials(std::string user, std::string password) {
        m_credentialAnswers.emplace_back(std::make_pair(std::move(user), std::move(password)));
    }
    void CancelCredentials() { m_credentialAnswers.emplace_back(std::nullopt); }

    bool ContinueDespiteCertificateProblem(uint32_t error, const std::string& host,
                                           const std::string& detail) override {
        certificateQuestions.push_back({error, host, detail});
        if (m_certificateAnswers.empty())
            return false;
        const bool answer = m_certificateAnswers.front();
        m_certificateAnswers.pop_front();
        return answer;
    }

    bool AskCredentials(AuthTarget target, const std::string& host, const std::string& realm,
                        std::string& user, std::string& password) override {
        credentialQuestions.push_back({target, host, realm, user, password});
        if (m_credentialAnswers.empty())
            return false;
        const auto answer = m_credentialAnswers.front();
        m_credentialAnswers.pop_front();
        if (!answer)
            return false;
        user = answer->first;
        password = answer->second;
        return true;
    }

    std::vector<CertificateQuestion> certificateQuestions;
    std::vector<CredentialQuestion> credentialQuestions;

private:
    IConnectionPrompts* m_previous;
    std::deque<bool> m_certificateAnswers;
    std::deque<std::optional<std::pair<std::string, std::string>>> m_credentialAnswers;
};
