#pragma once

#include "files/DataFile.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

namespace kelvar {

class cSession;

// The sensor data file: the record's edited values saved to a file, and a
// file's values checked against the sensor and put into the edited columns.
class cDataFileFlow : public QObject {
    Q_OBJECT
public:
    explicit cDataFileFlow(cSession& session);

    // Asks for a file and saves the record's edited values to it / loads them
    // from it. The earlier file survives a failed save; a failed load changes
    // nothing. Both tell the user what went wrong.
    void SaveSensorData();
    void LoadSensorData();
    // A data file read and held against the sensor before any of it is used.
    struct DataFileCheck {
        std::optional<DataFileContents> contents; // empty when refused
        QString refusal;                          // why the file cannot be used at all
        QStringList doubts; // what the user must agree to first, one line each
        QStringList notes;  // only worth a mention
    };
    DataFileCheck CheckSensorDataFile(const QString& path);
    // Puts a checked file's values into the edited columns.
    void UseSensorDataFile(const QString& path, const DataFileContents& contents);
    // The file saved or loaded last; empty after Reset.
    const QString& CurrentFile() const { return currentFile_; }
    // The file the window's caption names: the data file or the log saved last.
    void SetCurrentFile(const QString& path);
    void ForgetCurrentFile();

signals:
    // The current data file changed: its bare name, or empty for none.
    void currentFileChanged(const QString& bareName);
    // The settings were loaded from a file: every field is shown again.
    void settingsLoaded();

private:
    cSession& session_;
    QString currentFile_;
};

} // namespace kelvar
