#pragma once

#include "operations/View.h"

#include <QStringList>

namespace kelvar {

// A view nobody watches (a port's session of a whole machine's work, a
// benchmark): each question gets its negative answer, and what was said is
// kept for whoever wants to pass it on.
class cQuietView : public cView {
public:
    int VisibleTab() const override { return Tab::Monitor; }
    void SelectTab(int) override {}
    void SetTabEnabled(int, bool) override {}
    void SetTabVisible(int, bool) override {}
    QString AskFileName(bool, const QString&, const QString&, const QString&,
                        const QString&) override {
        return {};
    }
    bool ShowInformation(const QString& text, const QString& caution) override {
        said.append((text + u' ' + caution).simplified());
        return false;
    }
    MessageAnswer Ask(const QString& title, const QString& text, MessageIcon,
                      MessageButtons buttons) override {
        said.append(title + QStringLiteral(": ") + text.simplified());
        return NegativeAnswer(buttons);
    }

    QStringList said;
};

} // namespace kelvar
