#include "support/IMessageBoxes.h"

#include <atomic>
#include <cstdio>
#include <utility>

namespace {

// Without a front end the text goes to standard error; a question is answered "No" and an
// offer to try again "Cancel", so that nothing is done that the user did not confirm.
class StderrMessageBoxes final : public IMessageBoxes {
public:
    MsgResult Show(const std::string& text, const std::string& caption, MsgButtons buttons,
                   MsgIcon /*icon*/) override {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        std::fflush(stderr);
        switch (buttons) {
        case MsgButtons::YesNo:
            return MsgResult::No;
        case MsgButtons::RetryCancel:
            return MsgResult::Cancel;
        case MsgButtons::Ok:
            break;
        }
        return MsgResult::Ok;
    }
};

StderrMessageBoxes g_defaultBoxes;
std::atomic<IMessageBoxes*> g_installedBoxes{nullptr};
thread_local IMessageBoxes* t_threadBoxes = nullptr;

} // namespace

MsgResult SilentMessageBoxes::Show(const std::string& /*text*/, const std::string& /*caption*/,
                                   MsgButtons buttons, MsgIcon /*icon*/) {
    return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
}

IMessageBoxes* SetMessageBoxes(IMessageBoxes* boxes) {
    return g_installedBoxes.exchange(boxes);
}

IMessageBoxes& MessageBoxes() {
    if (t_threadBoxes != nullptr)
        return *t_threadBoxes;
    IMessageBoxes* boxes = g_installedBoxes.load();
    return boxes != nullptr ? *boxes : g_defaultBoxes;
}

ScopedThreadMessageBoxes::ScopedThreadMessageBoxes(IMessageBoxes* boxes)
    : m_previous(std::exchange(t_threadBoxes, boxes)) {}

ScopedThreadMessageBoxes::~ScopedThreadMessageBoxes() {
    t_threadBoxes = m_previous;
}
