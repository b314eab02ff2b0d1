#pragma once

#include "operations/WritePlan.h"

#include <QList>
#include <QObject>
#include <QString>
#include <optional>

namespace kelvar {

class cSession;

// Writing the pending edits to the sensor: the Apply button, and kelvar-cli
// apply, which writes the same plan.
class cApplyFlow : public QObject {
    Q_OBJECT
public:
    explicit cApplyFlow(cSession& session);

    // Writes exactly the plan's values, in its order. What the sensor did not
    // confirm is kept for Apply to report.
    void WriteChanges(const WritePlan& plan);
    // What Apply would write now; the window's review, kelvar-cli diff and
    // apply all show this list, and the writes carry out the list shown.
    WritePlan PendingWrites();
    // The Apply button: write, tell about a power cycle, follow a new address
    // or speed, read the whole sensor again, report what was not confirmed.
    void Apply();
    // Apply's review: the plan's lines shown before they are written to
    // `sensor` (its address, or more that names it); true when the user
    // agrees. Every write of the user's is reviewed here.
    bool ReviewWrites(const WritePlan& plan, const QString& sensor);
    // Refuses when no sensor was read, asks first when the record is not a
    // complete read; true to go on.
    bool ConfirmIncompleteRead(const QString& title, const QString& doing);

    struct Unconfirmed {
        PlannedWrite write;
        // "sensor holds 12", "no answer", or "not written: " and why
        QString outcome;
        QString Text() const {
            return QStringLiteral("%1: %2, %3").arg(write.item, write.valueText, outcome);
        }
    };
    const QList<Unconfirmed>& LastUnconfirmed() const { return unconfirmed_; }
    // Why the writes failed when the link can tell (the sensor stopped
    // answering, answers came late); empty otherwise.
    const QString& ApplyAdvice() const { return applyAdvice_; }
    // Why the pending address cannot be written: another sensor already
    // answers at it (listed, or found by asking the line); empty when free.
    QString AddressConflict();
    // The port failed during the last write or read; its reason is the link's
    // PortErrorText().
    bool PortFailed() const;
    // Enables Apply while something is pending.
    void RefreshApplyState();

signals:
    void applyEnabledChanged(bool enabled);

private:
    // Before Apply writes: a question when the read was incomplete, then the
    // plan; the plan the user agreed to, or nothing.
    std::optional<WritePlan> ConfirmWrites();
    // One write of Apply: why it was not confirmed, or nothing when it was.
    std::optional<Unconfirmed> WritePlanned(const PlannedWrite& write);
    void WriteDoubtedAgain(const WritePlan& plan);

    cSession& session_;
    QList<Unconfirmed> unconfirmed_;
    QString applyAdvice_; // why the last Apply's writes failed, when the link could tell
};

} // namespace kelvar
