// Saving and loading the sensor data file through the window's dialogs.

#include "files/DataFile.h"
#include "operations/Session.h"

#include <QDate>
#include <QFileInfo>
#include <QStandardPaths>

namespace kelvar {

namespace {

const QString Filter = QStringLiteral("Data Files (*.dat);;All Files (*)");

// Only ".dat" files are data files; anything else is refused with a word.
bool AcceptedDataFileName(const QString& path, cView& view) {
    if (HasDataFileExtension(path)) {
        return true;
    }
    view.Ask(QStringLiteral("Data File Error"),
             QStringLiteral("Data files must have a .dat extention!"), MessageIcon::Exclamation,
             MessageButtons::Ok);
    return false;
}

QString DocumentsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

} // namespace

void cSession::ForgetCurrentFile() {
    currentFile_.clear();
    emit currentFileChanged(QString());
}

void cSession::SaveSensorData() {
    const QString path =
        view.AskFileName(true, QStringLiteral("Save Sensor Data As.."), DocumentsFolder(),
                         ProposedDataFileName(sensor, QDate::currentDate()), Filter);
    if (path.isEmpty() || !AcceptedDataFileName(path, view)) {
        return;
    }
    statusBar.SetMessage(QStringLiteral("Writing to file.."));
    QString error;
    if (SaveSensorDataFile(path, sensor, &error)) {
        currentFile_ = path;
        emit currentFileChanged(BareFileName(path));
    } else {
        view.Ask(QStringLiteral("Data File Error"), error, MessageIcon::Exclamation,
                 MessageButtons::Ok);
    }
    statusBar.SetMessage(QStringLiteral("Ready"));
}

void cSession::LoadSensorData() {
    const QString path = view.AskFileName(false, QStringLiteral("Load Sensor Data File.."),
                                          DocumentsFolder(), QString(), Filter);
    if (path.isEmpty() || !QFileInfo::exists(path) || !AcceptedDataFileName(path, view)) {
        return;
    }
    statusBar.SetMessage(QStringLiteral("Reading from file.."));
    QString error;
    if (LoadSensorDataFile(path, sensor, &error)) {
        currentFile_ = path;
        emit settingsLoaded();
        RefreshApplyState();
        emit currentFileChanged(BareFileName(path));
    } else {
        view.Ask(QStringLiteral("Parameter Data File Error"), error, MessageIcon::Exclamation,
                 MessageButtons::Ok);
    }
    statusBar.SetMessage(QStringLiteral("Ready"));
}

} // namespace kelvar
