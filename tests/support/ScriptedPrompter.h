#pragma once

#include "operations/Prompter.h"

#include <QList>
#include <QString>
#include <deque>
#include <stdexcept>

namespace kelvar::test {

// Answers questions from a script and keeps what was asked. A question the
// script has no answer for fails the test instead of hanging it.
class ScriptedPrompter : public cPrompter {
public:
    struct Question {
        QString title;
        QString text;
        MessageIcon icon;
        MessageButtons buttons;
    };

    explicit ScriptedPrompter(std::initializer_list<MessageAnswer> answers = {})
        : answers_(answers) {}

    void Script(MessageAnswer answer) { answers_.push_back(answer); }

    MessageAnswer Ask(const QString& title, const QString& text, MessageIcon icon,
                      MessageButtons buttons) override {
        asked.append({title, text, icon, buttons});
        if (answers_.empty()) {
            throw std::logic_error("unexpected question: " + title.toStdString());
        }
        const MessageAnswer answer = answers_.front();
        answers_.pop_front();
        return answer;
    }

    QList<Question> asked;

private:
    std::deque<MessageAnswer> answers_;
};

} // namespace kelvar::test
