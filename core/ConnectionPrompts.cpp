#include "core/IConnectionPrompts.h"

#include <atomic>

namespace {

// Nobody to ask: a certificate problem is not waved through and no credentials are made up.
class CancellingPrompts final : public IConnectionPrompts {
public:
    bool ContinueDespiteCertificateProblem(uint32_t /*error*/, const std::string& /*host*/,
                                           const std::string& /*detail*/) override {
        return false;
    }
    bool AskCredentials(AuthTarget /*target*/, const std::string& /*host*/,
                        const std::string& /*realm*/, std::string& /*user*/,
                        std::string& /*password*/) override {
        return false;
    }
};

CancellingPrompts g_defaultPrompts;
std::atomic<IConnectionPrompts*> g_installedPrompts{nullptr};

} // namespace

IConnectionPrompts* SetConnectionPrompts(IConnectionPrompts* prompts) {
    return g_installedPrompts.exchange(prompts);
}

IConnectionPrompts& ConnectionPrompts() {
    IConnectionPrompts* prompts = g_installedPrompts.load();
    return prompts != nullptr ? *prompts : g_defaultPrompts;
}
