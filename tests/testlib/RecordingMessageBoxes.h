// A message-box fake for tests: records every box and answers from a script.
//
//   RecordingMessageBoxes boxes;            // installed until it goes out of scope
//   boxes.Answer(MsgResult::No);            // the next question is answered "No"
//   ... code under test ...
//   ASSERT_EQ(boxes.shown.size(), 1U);
//   EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Error);
//
// Without a scripted answer a box is answered with its first button (Ok, or Yes), but an
// offer to try again is declined (Cancel): a failure that stays would be offered forever.
#pragma once

#include "support/IMessageBoxes.h"

#include <deque>
#include <string>
#include <vector>

class RecordingMessageBoxes final : public IMessageBoxes {
public:
    struct Box {
        std::string text;
        std::string caption;
        MsgButtons buttons;
        MsgIcon icon;
    };

    RecordingMessageBoxes() : m_previous(SetMessageBoxes(this)) {}
    ~RecordingMessageBoxes() override { SetMessageBoxes(m_previous); }
    RecordingMessageBoxes(const RecordingMessageBoxes&) = delete;
    RecordingMessageBoxes& operator=(const RecordingMessageBoxes&) = delete;

    // Queues the answer to the next box that has not been answered yet.
    void Answer(MsgResult result) { m_answers.push_back(result); }

    MsgResult Show(const std::string& text, const std::string& caption, MsgButtons buttons,
                   MsgIcon icon) override {
        shown.push_back({text, caption, buttons, icon});
        if (!m_answers.empty()) {
            const MsgResult answer = m_answers.front();
            m_answers.pop_front();
            return answer;
        }
        switch (buttons) {
        case MsgButtons::YesNo:
            return MsgResult::Yes;
        case MsgButtons::RetryCancel:
            return MsgResult::Cancel;
        case MsgButtons::Ok:
            break;
        }
        return MsgResult::Ok;
    }

    // Every box shown, in order.
    std::vector<Box> shown;

private:
    IMessageBoxes* m_previous;
    std::deque<MsgResult> m_answers;
};
