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

// Installs the process-wide message boxes; nullptr restores the default, which writes
// the text to standard error and answers Ok, No or Cancel. Answers the previous one.
IMessageBoxes* SetMessageBoxes(IMessageBoxes* boxes);
IMessageBoxes& MessageBoxes();
