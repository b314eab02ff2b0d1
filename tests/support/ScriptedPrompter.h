#pragma once

#include "operations/Prompter.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <deque>
#include <gtest/gtest.h>

namespace kelvar::test {

// Answers questions from a script and keeps what was asked. A question the
// script has no answer for fails the test, naming it, and is answered as
// closing its box does: an exception would not get through a window's event
// loop, and a box left up would hang the test.
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
            ADD_FAILURE() << "unexpected question: " << title.toStdString() << ": "
                          << text.toStdString();
            return NegativeAnswer(buttons);
        }
        const MessageAnswer answer = answers_.front();
        answers_.pop_front();
        return answer;
    }

    // The folders chosen, in turn; a folder question beyond them fails the test.
    QString AskFolder(const QString& title, const QString&) override {
        EXPECT_FALSE(folders.isEmpty()) << "unexpected folder question: " << title.toStdString();
        return folders.isEmpty() ? QString() : folders.takeFirst();
    }

    QList<Question> asked;
    QStringList folders;

private:
    std::deque<MessageAnswer> answers_;
};

} // namespace kelvar::test
