#pragma once

#include "operations/Session.h"
#include "operations/View.h"
#include "support/ScriptedPrompter.h"

#include <array>
#include <functional>

namespace kelvar::test {

// A window without widgets: tabs as plain state, questions answered from a
// script. A tab switch runs the session's tab handler, as the window does.
class TestView : public cView {
public:
    int VisibleTab() const override { return tab; }
    void SelectTab(int index) override {
        tab = index;
        if (session != nullptr) {
            session->TabShown(index);
        }
    }
    void SetTabEnabled(int index, bool enabled) override { tabEnabled.at(index) = enabled; }
    void SetTabVisible(int index, bool visible) override { tabVisible.at(index) = visible; }
    QString AskFileName(bool save, const QString& title, const QString&, const QString& proposed,
                        const QString&) override {
        fileQuestions.append({save, title, proposed});
        return fileAnswer;
    }
    bool ShowInformation(const QString& text, const QString& caution) override {
        informationShown.append(text + caution);
        return doNotShowAgain;
    }
    MessageAnswer Ask(const QString& title, const QString& text, MessageIcon icon,
                      MessageButtons buttons) override {
        if (beforeAnswer) {
            beforeAnswer(title);
        }
        return prompter.Ask(title, text, icon, buttons);
    }

    int tab = Tab::Monitor;
    cSession* session = nullptr;
    std::array<bool, Tab::Count> tabEnabled{true, true, true, true, true,
                                            true, true, true, true, true};
    std::array<bool, Tab::Count> tabVisible{true, true, true, true, true,
                                            true, true, true, true, true};
    ScriptedPrompter prompter;
    struct FileQuestion {
        bool save;
        QString title;
        QString proposed;
    };
    QList<FileQuestion> fileQuestions;
    QString fileAnswer; // empty: the user cancels
    QStringList informationShown;
    bool doNotShowAgain = false;
    // What the user does while a question is up (cycle a sensor's power ...).
    std::function<void(const QString& title)> beforeAnswer;
};

} // namespace kelvar::test
