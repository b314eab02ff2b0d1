#pragma once

#include "operations/Backup.h"
#include "operations/WritePlan.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

namespace kelvar {

// The JSON that kelvar-cli prints and that other programs read from a
// backup's folder. Its keys are an interface: they never change.

// The text, or null when it is empty.
QJsonValue TextOrNull(const QString& text);
// One write of a plan as diff, apply and verify print it.
QJsonObject WriteJson(const PlannedWrite& write);
QJsonArray PlanJson(const WritePlan& plan);
// A sensor's problem, with the command-line option that would overrule it.
QString ProblemText(const cMachineBackup::VerifiedSensor& sensor);
// Where a sensor of a machine is, with the manifest's keys.
QJsonObject WhereJson(const MachineSensor& sensor);
// verify's document: each sensor of the backup as listed and as found, and
// the sensors found that the backup lacks.
QJsonObject VerifyJson(const cMachineBackup::VerifyResult& result);
// restore's document: verify's, and per sensor what was written.
QJsonObject RestoreJson(const cMachineBackup::VerifyResult& result);
// Keeps `document`, the outcome of a restore that wrote, in the backup's
// folder (cMachineBackup::RestoredName), whole or not at all; false with
// `error` set when it cannot be written.
bool SaveRestoreRecord(const QString& folder, const QJsonObject& document, QString& error);

} // namespace kelvar
