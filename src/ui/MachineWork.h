#pragma once

#include "operations/Backup.h"
#include "operations/MachineVerdict.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

class QDialog;
class QWidget;

namespace kelvar {

class cSession;

// File > "Back Up All Sensors...", "Compare With Backup..." and "Restore
// From Backup...": every sensor on every mapped port at once, in a folder
// the user chooses. A progress dialog with a line per port and Cancel is up
// while the work runs; a table of the sensors, and the log, say what was done.
class cMachineWork {
public:
    cMachineWork(cSession& session, QWidget& window);

    void BackUpAll();
    void CompareWithBackup();
    void RestoreFromBackup();

private:
    // Empty when the user chooses none.
    QString ChooseFolder(const QString& title);
    // The backup in the folder the user chooses, its files checked; nothing
    // when none is chosen or the folder holds no backup (the user is told).
    std::optional<cMachineBackup::VerifyResult> ChooseBackup(cMachineBackup& machine,
                                                             const QString& title);
    // Runs `work` with the progress dialog up, modal to the window.
    void Work(cMachineBackup& machine, const QString& title, const std::function<void()>& work);
    // The rows into the log and the result table; the monitor goes on.
    void Finish(const QString& title, const QString& folder, const QList<MachineRow>& rows,
                bool cancelled);

    cSession& session_;
    QWidget& window_;
    QDialog* result_ = nullptr; // made at the first result; the window owns it
    QString lastFolder_;
};

} // namespace kelvar
