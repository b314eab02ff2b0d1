#pragma once

#include "operations/Backup.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace kelvar {

// How a sensor of a backup compares with its file now.
enum class Verdict { Same, Differs, NotVerified, NotFound };
Verdict VerdictOf(const cMachineBackup::VerifiedSensor& sensor);

// A restore wrote the sensor's file and the sensor confirmed all of it.
bool Restored(const cMachineBackup::VerifiedSensor& sensor);

// A sensor of a machine's backup, compare or restore as the window's result
// table and the log show it. The states are the words kelvar-cli prints.
struct MachineRow {
    int port = 0;
    int address = 0;
    QString serial;
    QString model;
    QString state;
    // The review's texts of what differs or was written, then what went wrong.
    QStringList differences;
};
// "saved" or "incomplete".
QList<MachineRow> BackupRows(const QList<MachineSensor>& sensors);
// "same", "differs", "not verified", "not found", then "not in the backup".
QList<MachineRow> CompareRows(const cMachineBackup::VerifyResult& result);
// "restored", "not confirmed", "not restored", "same" or "not found", then
// "not in the backup".
QList<MachineRow> RestoreRows(const cMachineBackup::VerifyResult& result);

// "Comm 1 address 3 serial 10000003: differs"
QString RowText(const MachineRow& row);

} // namespace kelvar
