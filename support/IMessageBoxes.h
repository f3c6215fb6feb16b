// The message boxes through which the program speaks to its user. The front ends implement
// IMessageBoxes (the GUI with real dialogs, the command line on standard error, the tests
// with a recording fake) and install it with SetMessageBoxes.
#pragma once

#include <string>

enum class MsgIcon { None, Error, Information, Question };
// RetryCancel: a failure that may pass when tried again ("Zkusit znovu", "Storno").
enum class MsgButtons { Ok, YesNo, RetryCancel };
enum class MsgResult { Ok, Yes, No, Retry, Cancel };

class IMessageBoxes {
public:
    virtual ~IMessageBoxes() = default;
    // Shows a modal box and answers the button the user chose.
    virtual MsgResult Show(const std::string& text, const std::string& caption, MsgButtons buttons,
                           MsgIcon icon) = 0;
};

// Takes every box of the thread it is installed on and shows nothing: a question is
// answered No, any other box Ok. For worker threads, whose checks must not stop for a user.
class SilentMessageBoxes final : public IMessageBoxes {
public:
    MsgResult Show(const std::string& text, const std::string& caption, MsgButtons buttons,
                   MsgIcon icon) override;
};

// Installs the process-wide message boxes; nullptr restores the default, which writes
// the text to standard error and answers Ok, No or Cancel. Answers the previous one.
IMessageBoxes* SetMessageBoxes(IMessageBoxes* boxes);
// The boxes of the calling thread: those installed for it (ScopedThreadMessageBoxes), else
// the process-wide ones.
IMessageBoxes& MessageBoxes();

// Installs `boxes` for the calling thread alone while it exists, e.g. for a worker thread
// that must not show anything; the previous ones of the thread come back after it.
class ScopedThreadMessageBoxes {
public:
    explicit ScopedThreadMessageBoxes(IMessageBoxes* boxes);
    ~ScopedThreadMessageBoxes();
    ScopedThreadMessageBoxes(const ScopedThreadMessageBoxes&) = delete;
    ScopedThreadMessageBoxes& operator=(const ScopedThreadMessageBoxes&) = delete;

private:
    IMessageBoxes* m_previous;
};
