#include "operations/MachineVerdict.h"

namespace kelvar {

namespace {

using VerifiedSensor = cMachineBackup::VerifiedSensor;

MachineRow RowOf(const MachineSensor& sensor, const QString& state) {
    return {sensor.port, sensor.address, sensor.serial, sensor.model, state, {}};
}

QStringList ReviewTexts(const WritePlan& plan) {
    QStringList texts;
    for (const PlannedWrite& write : plan) {
        texts.append(write.Text());
    }
    return texts;
}

// A sensor of the backup where it is now (where it was when it was not
// found), named by the backup's model: those found are not all read.
MachineRow ListedRow(const VerifiedSensor& sensor, const QString& state) {
    MachineRow row = RowOf(sensor.found ? *sensor.found : sensor.listed, state);
    row.model = sensor.listed.model;
    return row;
}

QString VerdictText(Verdict verdict) {
    static const char* const texts[] = {"same", "differs", "not verified", "not found"};
    return QLatin1String(texts[static_cast<int>(verdict)]);
}

QString CompareState(const VerifiedSensor& sensor) {
    return VerdictText(VerdictOf(sensor));
}

QString RestoreState(const VerifiedSensor& sensor) {
    if (Restored(sensor)) {
        return QStringLiteral("restored");
    }
    if (sensor.written) {
        return QStringLiteral("not confirmed");
    }
    if (sensor.found && !sensor.problem.isEmpty()) {
        return QStringLiteral("not restored");
    }
    return CompareState(sensor);
}

// What the user of the window can do about a refusal the window does not overrule.
QString WindowAdvice(const VerifiedSensor& sensor) {
    switch (sensor.needs) {
    case VerifiedSensor::Needs::Replace:
        return QStringLiteral("; kelvar-cli restore --replace %1 restores that file to it")
            .arg(sensor.listed.serial);
    case VerifiedSensor::Needs::Force:
        return QStringLiteral(": its check names doubts; Load Sensor Data... loads it after "
                              "asking");
    case VerifiedSensor::Needs::Nothing:
        break;
    }
    return {};
}

QList<MachineRow> VerifiedRows(const cMachineBackup::VerifyResult& result,
                               QString (*stateOf)(const VerifiedSensor&)) {
    QList<MachineRow> rows;
    for (const VerifiedSensor& sensor : result.sensors) {
        MachineRow row = ListedRow(sensor, stateOf(sensor));
        row.differences = ReviewTexts(sensor.differences);
        for (const cApplyFlow::Unconfirmed& u : sensor.unconfirmed) {
            row.differences.append(QStringLiteral("not confirmed: ") + u.Text());
        }
        if (!sensor.problem.isEmpty()) {
            row.differences.append(sensor.problem.simplified() + WindowAdvice(sensor));
        }
        rows.append(row);
    }
    for (const MachineSensor& sensor : result.unlisted) {
        rows.append(RowOf(sensor, QStringLiteral("not in the backup")));
    }
    return rows;
}

} // namespace

Verdict VerdictOf(const VerifiedSensor& sensor) {
    if (!sensor.found) {
        return Verdict::NotFound;
    }
    if (!sensor.problem.isEmpty()) {
        return Verdict::NotVerified;
    }
    return sensor.differences.isEmpty() ? Verdict::Same : Verdict::Differs;
}

bool Restored(const VerifiedSensor& sensor) {
    return sensor.written && sensor.unconfirmed.isEmpty() && sensor.problem.isEmpty();
}

QList<MachineRow> BackupRows(const QList<MachineSensor>& sensors) {
    QList<MachineRow> rows;
    for (const MachineSensor& sensor : sensors) {
        rows.append(RowOf(sensor, sensor.complete ? QStringLiteral("saved")
                                                  : QStringLiteral("incomplete")));
    }
    return rows;
}

QList<MachineRow> CompareRows(const cMachineBackup::VerifyResult& result) {
    return VerifiedRows(result, CompareState);
}

QList<MachineRow> RestoreRows(const cMachineBackup::VerifyResult& result) {
    return VerifiedRows(result, RestoreState);
}

QString RowText(const MachineRow& row) {
    return QStringLiteral("Comm %1 address %2 serial %3: %4")
        .arg(row.port)
        .arg(row.address)
        .arg(row.serial, row.state);
}

} // namespace kelvar
