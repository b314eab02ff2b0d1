#pragma once

#include "operations/Prompter.h"

#include <QRegularExpression>
#include <QString>

namespace kelvar {

// The suffix a file saved with this filter gets when its name is typed
// without one: the first pattern's ("Log Files (*.log)" gives "log"), so that
// each kind of file is saved as its kind; empty for "All Files (*)".
inline QString FilterSuffix(const QString& filter) {
    static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
    return pattern.match(filter).captured(1);
}

// The main window's tabs, in index order.
namespace Tab {
inline constexpr int Monitor = 0;
inline constexpr int Sensor = 1;
inline constexpr int Dynamics = 2;
inline constexpr int Limits = 3;
inline constexpr int SetPoints = 4;
inline constexpr int Information = 5;
inline constexpr int Graph = 6;
inline constexpr int Communications = 7;
inline constexpr int Log = 8;
inline constexpr int Calibration = 9;
inline constexpr int Count = 10;
} // namespace Tab

// What the operations need of the window beyond the values they publish:
// which tab is showing, switching tabs, and questions. The command line and
// the tests have their own implementations.
class cView : public cPrompter {
public:
    virtual int VisibleTab() const = 0;
    // Shows the tab; the window then reports the change as the user's would.
    virtual void SelectTab(int index) = 0;
    virtual void SetTabEnabled(int index, bool enabled) = 0;
    virtual void SetTabVisible(int index, bool visible) = 0;
    // A file to save to (save true) or to open; empty when the user cancels.
    virtual QString AskFileName(bool save, const QString& title, const QString& folder,
                                const QString& proposedName, const QString& filter) = 0;
    // The information dialog with its "Do not show this message again" box;
    // true when the user ticked it.
    virtual bool ShowInformation(const QString& text, const QString& caution) = 0;
};

} // namespace kelvar
