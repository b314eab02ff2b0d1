#include "operations/JsonDocuments.h"

#include "model/Speeds.h"
#include "operations/MachineVerdict.h"

#include <QDir>
#include <QJsonDocument>
#include <QSaveFile>

namespace kelvar {

QJsonValue TextOrNull(const QString& text) {
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QJsonObject WriteJson(const PlannedWrite& write) {
    const QJsonValue none(QJsonValue::Null);
    static const char* const fields[] = {"target", "velocity", "dwell"};
    return {{"item", write.item},
            {"parameter", write.parameter < 0 ? none : QJsonValue(write.parameter)},
            {"setpoint", write.setpoint < 0 ? none : QJsonValue(SetpointNumber(write.setpoint))},
            {"field", write.setpoint < 0 ? none : QJsonValue(fields[write.field])},
            {"held", write.heldUnread ? none : QJsonValue(write.held)},
            {"held_text", write.heldUnread ? none : QJsonValue(write.heldText)},
            {"value", write.value},
            {"value_text", write.valueText},
            {"text", write.Text()},
            {"power_cycle", TextOrNull(write.powerCycle)},
            {"not_written", TextOrNull(write.refusal)}};
}

QJsonArray PlanJson(const WritePlan& plan) {
    QJsonArray writes;
    for (const PlannedWrite& write : plan) {
        writes.append(WriteJson(write));
    }
    return writes;
}

QString ProblemText(const cMachineBackup::VerifiedSensor& sensor) {
    using Needs = cMachineBackup::VerifiedSensor::Needs;
    switch (sensor.needs) {
    case Needs::Replace:
        return sensor.problem + QStringLiteral("; restore --replace %1 restores that file to it")
                                    .arg(sensor.listed.serial);
    case Needs::Force:
        return sensor.problem + QStringLiteral("; --force loads it all the same (values outside "
                                               "their limits are never written)");
    case Needs::Nothing:
        break;
    }
    return sensor.problem.simplified();
}

QJsonObject WhereJson(const MachineSensor& sensor) {
    return {{"port", sensor.port},
            {"device", sensor.device},
            {"speed", static_cast<int>(SpeedTable[ValidSpeedIndex(sensor.speedIndex)].baud)},
            {"address", sensor.address},
            {"serial", sensor.serial}};
}

QJsonObject VerifyJson(const cMachineBackup::VerifyResult& result) {
    static const char* const verdicts[] = {"same", "differs", "not_verified", "not_found"};
    QJsonArray sensors;
    for (const cMachineBackup::VerifiedSensor& sensor : result.sensors) {
        sensors.append(QJsonObject{{"listed", WhereJson(sensor.listed)},
                                   {"found", sensor.found ? QJsonValue(WhereJson(*sensor.found))
                                                          : QJsonValue(QJsonValue::Null)},
                                   {"state", verdicts[static_cast<int>(VerdictOf(sensor))]},
                                   {"problem", TextOrNull(ProblemText(sensor))},
                                   {"differences", PlanJson(sensor.differences)}});
    }
    QJsonArray unlisted;
    for (const MachineSensor& sensor : result.unlisted) {
        unlisted.append(WhereJson(sensor));
    }
    return {{"folder", result.folder}, {"sensors", sensors}, {"unlisted", unlisted}};
}

QJsonObject RestoreJson(const cMachineBackup::VerifyResult& result) {
    QJsonObject document = VerifyJson(result);
    QJsonArray sensors = document.value(QStringLiteral("sensors")).toArray();
    for (qsizetype i = 0; i < sensors.size(); ++i) {
        const cMachineBackup::VerifiedSensor& sensor = result.sensors.at(i);
        QJsonArray unconfirmed;
        for (const cApplyFlow::Unconfirmed& u : sensor.unconfirmed) {
            unconfirmed.append(u.Text());
        }
        QJsonObject entry = sensors.at(i).toObject();
        entry.insert(QStringLiteral("replacement"), sensor.replacement);
        entry.insert(QStringLiteral("written"), sensor.written);
        entry.insert(QStringLiteral("restored"), Restored(sensor));
        entry.insert(QStringLiteral("not_confirmed"), unconfirmed);
        sensors.replace(i, entry);
    }
    document.insert(QStringLiteral("sensors"), sensors);
    return document;
}

bool SaveRestoreRecord(const QString& folder, const QJsonObject& document, QString& error) {
    QSaveFile record(QDir(folder).filePath(QLatin1String(cMachineBackup::RestoredName)));
    const QByteArray text = QJsonDocument(document).toJson();
    if (!record.open(QIODevice::WriteOnly) || record.write(text) != text.size() ||
        !record.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(record.fileName(), record.errorString());
        return false;
    }
    return true;
}

} // namespace kelvar
