#pragma once

#include <QString>

namespace kelvar {

enum class MessageIcon { None, Exclamation, Information, Critical };
enum class MessageButtons { Ok, OkCancel, YesNo, ApplyDiscardCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No, Apply, Discard };

// What a question is answered when its box is closed without a choice: the
// negative answer of its set.
constexpr MessageAnswer NegativeAnswer(MessageButtons buttons) {
    return buttons == MessageButtons::YesNo ? MessageAnswer::No
           : buttons == MessageButtons::Ok  ? MessageAnswer::Ok
                                            : MessageAnswer::Cancel;
}

// Modal questions and notices. The window shows message boxes; the command
// line and the tests answer through their own implementations.
class cPrompter {
public:
    virtual ~cPrompter() = default;
    // The text's line breaks are CR LF, as in the system's fixed texts.
    virtual MessageAnswer Ask(const QString& title, const QString& text, MessageIcon icon,
                              MessageButtons buttons) = 0;
    // A folder chosen, starting in `folder`; empty when none is (the user
    // cancels, or nothing here can show a folder dialog).
    virtual QString AskFolder(const QString& /*title*/, const QString& /*folder*/) { return {}; }
};

} // namespace kelvar
