#pragma once

#include "link/Commands.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

namespace kelvar {

class cSession;

// What the window shows of the sensor that was read.
struct SensorIdentityView {
    QString resolution; // "0.0010 in"
    QString serialNumber;
    QString model;
    QString firmwareVersion;
    QString firmwareDate;
    QString units; // "English" or "Metric"
    QString nullZero;
};

// The current sensor's captions after a read.
struct CurrentSensorView {
    QString programDataTitle; // " Actimar 3 Program Data  "
    QString addressText;      // "Network Address: 3"
    QString name;
    QString setpointHelp; // under the setpoint grid, with the travel limits
};

// Reading a whole sensor into the record: its identity, parameters and
// setpoints, what of it went unanswered, and the limits that follow.
class cReadFlow : public QObject {
    Q_OBJECT
public:
    static constexpr int ReloadCurrent = 65535;

    explicit cReadFlow(cSession& session);

    // A number from the sensor list, or ReloadCurrent to read the current
    // sensor again without touching the port. With keepEdits, edits not yet
    // applied stay over the new read when it is of the same sensor.
    void LoadSensor(int sensorNumber, bool keepEdits = false);
    // The Reset button: the sensor is read again, unapplied edits are gone.
    // Refused, with a message, while no sensor has been read.
    void Reset();
    // True when a sensor has been read; otherwise tells the user, under
    // `title`, that there is none, and is false: the record holds no sensor's
    // values, only the defaults.
    bool RequireSensor(const QString& title);

    // The requests of the last read that got no valid answer.
    const QList<cCommands::Failure>& LastReadFailures() const { return lastReadFailures_; }
    // The sensor was read and every request of that read was answered: only
    // then is what the record holds what the sensor holds.
    bool ReadComplete() const;
    // The last read reached the sensor, whether it got every answer or not.
    bool ReadDone() const { return lastReadDone_; }
    // The requests of the last read that got no valid answer, in words, and
    // why; empty when it was complete.
    QString ReadFailureText() const;
    // The parameters and setpoints the record marks as not read (whose
    // requests the last read did not get answered): it holds 0 for them, not
    // what the sensor holds.
    QSet<int> UnreadParameters() const;
    QSet<int> UnreadSetpoints() const;

    const SensorIdentityView& Identity() const { return identity_; }
    const CurrentSensorView& CurrentSensor() const { return currentSensor_; }
    // User units, from the length and travel limits as read; the travel
    // limits as the Limits tab shows them.
    float SensorLength() const { return sensorLength_; }
    float TravelMinimum() const { return travelMinimum_; }
    float TravelMaximum() const { return travelMaximum_; }
    // The run-mode option shown on the Sensor tab; -1 while none is.
    int RunModeOption() const { return runModeOption_; }
    void SetRunModeOption(int option) { runModeOption_ = option; }

signals:
    void identityChanged();
    void currentSensorChanged();
    // A read of the whole sensor begins and ends (the status shows it).
    void loadStarted();
    void loadFinished();

private:
    void ReadSensorModel();
    void ReadParametersAndSetpoints();
    // One value of the read, stored as read (in the record's own form).
    void StoreReadParameter(int index);
    void StoreReadSetpoint(int index, int field);
    // Asks again what a stray frame put in doubt during the read.
    void AskDoubtedAgain();
    // The limits that follow from the length and travel limits as read.
    void DeriveLimits();
    void ReportReadFailures();
    // Marks in the record the values whose requests the read did not get
    // answered.
    void MarkUnread();
    // The serial run mode's end of a read: the target is set to the position.
    void HoldTargetAtPosition();

    cSession& session_;
    SensorIdentityView identity_;
    CurrentSensorView currentSensor_;
    float sensorLength_ = 0;
    float travelMinimum_ = 0;
    float travelMaximum_ = 0;
    int runModeOption_ = -1;
    QList<cCommands::Failure> lastReadFailures_;
    // The last read reached the sensor: a read of a sensor off line leaves
    // the record of the one before, which is no read of it.
    bool lastReadDone_ = false;
    QString readAdvice_; // why the last read failed, when the link could tell
};

} // namespace kelvar
