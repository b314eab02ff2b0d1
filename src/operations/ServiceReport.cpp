#include "operations/ServiceReport.h"

#include "files/DataFile.h"
#include "files/PrintText.h"
#include "model/Speeds.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

namespace kelvar {

namespace {

const QString crlf = QStringLiteral("\r\n");

QString Time(const QDateTime& time) {
    return QLocale().toString(time, QStringLiteral("dd-MMM-yy hh:mm:ss"));
}

// A JSON file of a backup's folder; empty with `error` set when it is not
// an object with a list of sensors. The paper names the file, not its folder.
QJsonObject ReadJson(const QString& folder, const QString& name, QString& error) {
    QFile file(QDir(folder).filePath(name));
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(name, file.errorString());
        return {};
    }
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parse);
    if (parse.error != QJsonParseError::NoError) {
        error = QStringLiteral("%1 does not parse: %2").arg(name, parse.errorString());
    } else if (!document.object().value(QLatin1String("sensors")).isArray()) {
        error = QStringLiteral("%1 holds no list of sensors").arg(name);
    }
    return document.object();
}

// The manifest's time of the backup as the paper shows it; empty when it has none.
QString BackupTime(const QDateTime& time) {
    return time.isValid() ? Time(time.toLocalTime()) : QString();
}

// "As found: the backup of 07-Dec-26 22:40:01 in" and its folder on a line of its own.
QString BackupLines(const QString& side, const QString& time, const QString& folder) {
    return SectionLine(time.isEmpty() ? QStringLiteral("%1: the backup in").arg(side)
                                      : QStringLiteral("%1: the backup of %2 in").arg(side, time)) +
           Tabs(2) + folder + crlf;
}

// "10000001: Comm 1, address 1, 115200 baud"
QString Place(const MachineSensor& sensor) {
    return QStringLiteral("%1: Comm %2, address %3, %4 baud")
        .arg(sensor.serial)
        .arg(sensor.port)
        .arg(sensor.address)
        .arg(SpeedTable[ValidSpeedIndex(sensor.speedIndex)].baud);
}

// A difference as the paper shows it: from what the backup holds to what
// the sensor holds now, the other way round from the write that restores it.
QString AsFoundToAsLeft(const PlannedWrite& write) {
    PlannedWrite change;
    change.item = write.item;
    change.heldText = write.valueText;
    change.valueText = write.heldText;
    return change.Text();
}

} // namespace

cServiceRecord::cServiceRecord(cMachineBackup& machine) : machine_(machine) {}

QString cServiceRecord::Open(const QString& before, const QString& after) {
    before_ = machine_.ReadBackup(before);
    if (!before_.refusal.isEmpty()) {
        return before_.refusal;
    }
    afterFolder_ = after;
    if (!after.isEmpty()) {
        const cMachineBackup::VerifyResult backup = machine_.ReadBackup(after);
        if (!backup.refusal.isEmpty()) {
            return backup.refusal;
        }
        for (const cMachineBackup::VerifiedSensor& sensor : backup.sensors) {
            after_.append(sensor.listed);
        }
        afterTime_ = BackupTime(backup.time);
    }
    ReadListedDetails();
    ReadRestored();
    return {};
}

void cServiceRecord::ReadListedDetails() {
    beforeTime_ = BackupTime(before_.time);
    for (const cMachineBackup::VerifiedSensor& sensor : before_.sensors) {
        Figures shown = sensor.listed.statistics.Figures();
        // The round trips: the manifest holds the two figures, not the times.
        shown.removeLast();
        const auto& trips = sensor.listed.listedRoundTripsMs;
        const auto ms = [&trips](double figure) {
            return trips ? QLocale::c().toString(figure, 'f', 1) + QStringLiteral(" ms")
                         : QStringLiteral("none");
        };
        shown.append({QStringLiteral("Median round trip"), ms(trips ? trips->first : 0)});
        shown.append({QStringLiteral("Worst round trip"), ms(trips ? trips->second : 0)});
        statistics_.append(shown);
    }
}

void cServiceRecord::ReadRestored() {
    if (!QDir(before_.folder).exists(QLatin1String(cMachineBackup::RestoredName))) {
        restoreLine_ = QStringLiteral("Restore: none recorded in the as-found backup's folder");
        return;
    }
    QString error;
    const QJsonObject document = ReadJson(before_.folder, cMachineBackup::RestoredName, error);
    if (!error.isEmpty()) {
        restoreLine_ = QStringLiteral("Restore: ") + error;
        return;
    }
    restoreRecorded_ = true;
    restoreLine_ = QStringLiteral("Restore: from this backup, as %1 records it")
                       .arg(cMachineBackup::RestoredName);
    for (const QJsonValue& value : document.value(QLatin1String("sensors")).toArray()) {
        const QJsonObject entry = value.toObject();
        Restored restored;
        restored.written = entry.value(QLatin1String("written")).toBool();
        restored.restored = entry.value(QLatin1String("restored")).toBool();
        restored.problem = entry.value(QLatin1String("problem")).toString();
        for (const QJsonValue& text : entry.value(QLatin1String("not_confirmed")).toArray()) {
            restored.notConfirmed.append(text.toString());
        }
        const QJsonObject listed = entry.value(QLatin1String("listed")).toObject();
        restored_.insert(listed.value(QLatin1String("serial")).toString(), restored);
    }
}

void cServiceRecord::Compare() {
    if (ReadsSensors()) {
        machine_.Verify(before_);
        return;
    }
    QList<bool> matched(after_.size(), false);
    for (cMachineBackup::VerifiedSensor& sensor : before_.sensors) {
        qsizetype n = 0;
        while (n < after_.size() && (matched[n] || after_[n].serial != sensor.listed.serial)) {
            ++n;
        }
        if (n < after_.size()) {
            matched[n] = true;
            sensor.found = after_[n];
            CompareFiles(sensor);
        }
    }
    for (qsizetype n = 0; n < after_.size(); ++n) {
        if (!matched[n]) {
            before_.unlisted.append(after_[n]);
        }
    }
}

void cServiceRecord::CompareFiles(cMachineBackup::VerifiedSensor& sensor) const {
    const MachineSensor& left = *sensor.found;
    if (sensor.listed.file.isEmpty() || left.file.isEmpty()) {
        sensor.problem = QStringLiteral("the %1 backup holds no data file of it")
                             .arg(left.file.isEmpty() ? "as-left" : "as-found");
        return;
    }
    if (left.model != sensor.listed.model) {
        sensor.problem = QStringLiteral("its model is %1 as found and %2 as left")
                             .arg(sensor.listed.model, left.model);
        return;
    }
    // As verify holds them: the as-left values as the sensor's, the as-found
    // file's as the edited ones.
    clsSensorData data;
    InitParameterTable(data);
    data.setResolution(sensor.listed.resolution);
    data.setUnits(sensor.listed.units);
    auto asLeft = ReadSensorDataFile(QDir(afterFolder_).filePath(left.file), data, &sensor.problem);
    if (!asLeft) {
        return;
    }
    clsSensorData& held = asLeft->record;
    for (int r = 1; r <= held.MaxParameters(); ++r) {
        held.WriteParameterData(r, clsSensorData::SensorDataColumn,
                                held.ReadParameterData(r, clsSensorData::ChangedDataColumn));
    }
    for (int s = 0; s <= held.MaxSetpoints(); ++s) {
        for (int f = 0; f < 3; ++f) {
            held.WriteSetpointData(s, f, held.ReadSetpointData(s, f + 3));
        }
    }
    auto asFound = ReadSensorDataFile(QDir(before_.folder).filePath(sensor.listed.file), held,
                                      &sensor.problem);
    if (asFound) {
        sensor.differences = PlanWrites(asFound->record, {}, {});
    }
}

QStringList cServiceRecord::NotCompared() const {
    QStringList lines;
    for (const cMachineBackup::VerifiedSensor& sensor : before_.sensors) {
        if (!sensor.found || !sensor.problem.isEmpty()) {
            lines.append(Place(sensor.listed) + QStringLiteral(": ") +
                         ChangesText(sensor).simplified());
        }
    }
    return lines;
}

QString cServiceRecord::ChangesText(const cMachineBackup::VerifiedSensor& sensor) const {
    if (!sensor.found) {
        return Tabs(2) +
               (ReadsSensors() ? QStringLiteral("not found on the mapped ports: not compared")
                               : QStringLiteral("not in the as-left backup: not compared")) +
               crlf;
    }
    if (sensor.replacement) {
        return Tabs(2) +
               QStringLiteral("not compared: sensor %1 is in its place").arg(sensor.found->serial) +
               crlf;
    }
    if (!sensor.problem.isEmpty()) {
        return Tabs(2) + QStringLiteral("not compared: ") + sensor.problem.simplified() + crlf;
    }
    if (sensor.differences.isEmpty()) {
        return Tabs(2) + QStringLiteral("none") + crlf;
    }
    QString text;
    for (const PlannedWrite& write : sensor.differences) {
        text += Tabs(2) + AsFoundToAsLeft(write) + crlf;
    }
    return text;
}

QString cServiceRecord::SensorText(qsizetype index) const {
    const cMachineBackup::VerifiedSensor& sensor = before_.sensors.at(index);
    const MachineSensor& listed = sensor.listed;
    QString text = SectionLine(QStringLiteral("Sensor ") + listed.serial);
    text += RowLine(QStringLiteral("Model"), listed.model);
    text += RowLine(QStringLiteral("Firmware"),
                    listed.firmwareVersion + QStringLiteral(" (") + listed.firmwareDate + u')');
    text += RowLine(QStringLiteral("Port"), QStringLiteral("Comm %1").arg(listed.port));
    text += RowLine(QStringLiteral("Speed"),
                    QString::number(SpeedTable[ValidSpeedIndex(listed.speedIndex)].baud));
    text += RowLine(QStringLiteral("Address"), QString::number(listed.address));
    // Paths are long: each on a line of its own.
    text += Tabs(2) + QStringLiteral("Device ") + listed.device + crlf;
    if (!listed.byId.isEmpty()) {
        text += Tabs(2) + QStringLiteral("Stable name ") + listed.byId + crlf;
    }
    if (restoreRecorded_) {
        const Restored restored = restored_.value(listed.serial);
        text += RowLine(QStringLiteral("Restore"),
                        restored.restored  ? QStringLiteral("written and confirmed")
                        : restored.written ? QStringLiteral("written, not all confirmed")
                                           : QStringLiteral("nothing written"));
        if (!restored.problem.isEmpty()) {
            text += Tabs(2) + restored.problem + crlf;
        }
    }
    text += SectionLine(QStringLiteral("Changes, as found -> as left:")) + ChangesText(sensor);
    if (restoreRecorded_) {
        text += SectionLine(QStringLiteral("Writes of the restore not confirmed:"));
        const QStringList unconfirmed = restored_.value(listed.serial).notConfirmed;
        for (const QString& line : unconfirmed) {
            text += Tabs(2) + line + crlf;
        }
        if (unconfirmed.isEmpty()) {
            text += Tabs(2) + QStringLiteral("none") + crlf;
        }
    }
    text += SectionLine(QStringLiteral("Link statistics of the as-found read:"));
    for (const auto& [name, value] : statistics_.at(index)) {
        text += RowLine(name, value);
    }
    return text;
}

QString cServiceRecord::Text(const QString& engineer, const QDateTime& now) const {
    QString text =
        crlf + crlf + SectionLine(QStringLiteral("Service Record - ") + Time(now)) + crlf;
    text += BackupLines(QStringLiteral("As found"), beforeTime_, before_.folder);
    text += ReadsSensors()
                ? SectionLine(QStringLiteral("As left: the sensors as read for this record"))
                : BackupLines(QStringLiteral("As left"), afterTime_, afterFolder_);
    text += SectionLine(restoreLine_) + crlf;
    for (qsizetype i = 0; i < before_.sensors.size(); ++i) {
        text += SensorText(i) + crlf;
    }
    if (!before_.unlisted.isEmpty()) {
        text += SectionLine(ReadsSensors() ? QStringLiteral("Found, not in the as-found backup:")
                                           : QStringLiteral("In the as-left backup only:"));
        for (const MachineSensor& sensor : before_.unlisted) {
            text += Tabs(2) + Place(sensor) + crlf;
        }
        text += crlf;
    }
    text += Tabs(1) + TabPad(QStringLiteral("Date")) +
            QLocale().toString(now.date(), QStringLiteral("dd-MMM-yy")) + crlf + crlf;
    // Without a name, a line to write one on.
    text += Tabs(1) + TabPad(QStringLiteral("Engineer")) +
            (engineer.isEmpty() ? QString(30, u'_') : engineer) + crlf;
    return text;
}

} // namespace kelvar
