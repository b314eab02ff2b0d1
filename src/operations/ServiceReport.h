#pragma once

#include "operations/Backup.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

namespace kelvar {

// The paper a service engineer leaves with the customer: per sensor of the
// as-found backup who it is, what changed up to the as-left state, the
// writes of a restore from that backup that the sensor did not confirm and
// how its line did; then the date and the engineer's name. The as-left state
// is the sensors now, found and read as verify does, or a second backup.
class cServiceRecord {
public:
    explicit cServiceRecord(cMachineBackup& machine);

    // Reads the as-found backup and, when `after` is given, the as-left one;
    // nothing is sent. Why a folder is not a backup; empty when both are.
    QString Open(const QString& before, const QString& after);
    // The as-left state is the sensors now: Compare searches the mapped ports.
    bool ReadsSensors() const { return afterFolder_.isEmpty(); }
    // Holds each sensor of the as-found backup against its as-left state.
    void Compare();
    // The sensors of the as-found backup that were not compared, and why, one line each.
    QStringList NotCompared() const;
    // The pages' text, lines ended by CR LF, for PrintControl.
    QString Text(const QString& engineer, const QDateTime& now) const;

private:
    struct Restored {
        bool written = false;
        bool restored = false;
        QString problem;
        QStringList notConfirmed;
    };
    using Figures = QList<std::pair<QString, QString>>;

    // What the manifest holds beyond what ReadBackup takes from it.
    void ReadListedDetails();
    void ReadRestored();
    // Holds the as-found file of `sensor` against its file in the as-left backup.
    void CompareFiles(cMachineBackup::VerifiedSensor& sensor) const;
    QString ChangesText(const cMachineBackup::VerifiedSensor& sensor) const;
    QString SensorText(qsizetype index) const;

    cMachineBackup& machine_;
    cMachineBackup::VerifyResult before_;
    QString beforeTime_;        // when the as-found backup was made, as the paper shows it
    QList<Figures> statistics_; // of each sensor's as-found read, as the manifest holds them
    QString afterFolder_;
    QString afterTime_;
    QList<MachineSensor> after_;
    QString restoreLine_; // what the paper says of restored.json
    bool restoreRecorded_ = false;
    QHash<QString, Restored> restored_; // by the serial number of the backup's sensor
};

} // namespace kelvar
