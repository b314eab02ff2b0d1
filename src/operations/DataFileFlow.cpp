// Saving and loading the sensor data file through the window's dialogs.

#include "operations/DataFileFlow.h"

#include "files/DataFile.h"
#include "model/Limits.h"
#include "model/Parameters.h"
#include "operations/Session.h"

#include <QDate>
#include <QFileInfo>
#include <QRegularExpression>
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

cDataFileFlow::cDataFileFlow(cSession& session) : session_(session) {}

void cDataFileFlow::SetCurrentFile(const QString& path) {
    currentFile_ = path;
    emit currentFileChanged(BareFileName(path));
}

void cDataFileFlow::ForgetCurrentFile() {
    currentFile_.clear();
    emit currentFileChanged(QString());
}

void cDataFileFlow::SaveSensorData() {
    cView& view = session_.view;
    if (!session_.apply.ConfirmIncompleteRead(QStringLiteral("Save Sensor Data As.."),
                                              QStringLiteral("Save these values"))) {
        return;
    }
    const QString path =
        view.AskFileName(true, QStringLiteral("Save Sensor Data As.."), DocumentsFolder(),
                         ProposedDataFileName(session_.sensor, QDate::currentDate()), Filter);
    if (path.isEmpty() || !AcceptedDataFileName(path, view)) {
        return;
    }
    session_.statusBar.SetMessage(QStringLiteral("Writing to file.."));
    QString error;
    if (SaveSensorDataFile(path, session_.sensor, &error)) {
        SetCurrentFile(path);
    } else {
        view.Ask(QStringLiteral("Data File Error"), error, MessageIcon::Exclamation,
                 MessageButtons::Ok);
    }
    session_.statusBar.SetMessage(QStringLiteral("Ready"));
}

void cDataFileFlow::LoadSensorData() {
    cView& view = session_.view;
    const QString path = view.AskFileName(false, QStringLiteral("Load Sensor Data File.."),
                                          DocumentsFolder(), QString(), Filter);
    if (path.isEmpty() || !AcceptedDataFileName(path, view)) {
        return;
    }
    session_.statusBar.SetMessage(QStringLiteral("Reading from file.."));
    const DataFileCheck check = CheckSensorDataFile(path);
    const QString notes = check.notes.join(QStringLiteral("\r\n"));
    if (!check.contents) {
        view.Ask(QStringLiteral("Parameter Data File Error"), check.refusal,
                 MessageIcon::Exclamation, MessageButtons::Ok);
    } else if (!check.doubts.isEmpty()) {
        const QString text =
            QStringLiteral("Check the file \"%1\" before it is loaded:\r\n\r\n%2\r\n\r\n")
                .arg(BareFileName(path),
                     (check.doubts + check.notes).join(QStringLiteral("\r\n"))) +
            QStringLiteral("Load it anyway? Values outside their limits are not written by Apply.");
        if (view.Ask(QStringLiteral("Check Data File"), text, MessageIcon::Exclamation,
                     MessageButtons::YesNo) == MessageAnswer::Yes) {
            UseSensorDataFile(path, *check.contents);
        }
    } else {
        UseSensorDataFile(path, *check.contents);
        if (!notes.isEmpty()) {
            view.Ask(QStringLiteral("Data File"), notes, MessageIcon::Information,
                     MessageButtons::Ok);
        }
    }
    session_.statusBar.SetMessage(QStringLiteral("Ready"));
}

void cDataFileFlow::UseSensorDataFile(const QString& path, const DataFileContents& contents) {
    clsSensorData& sensor = session_.sensor;
    // Only the edited values come from the file; what was read stays.
    clsSensorData loaded = contents.record;
    for (int r = 1; r <= sensor.MaxParameters(); ++r) {
        sensor.WriteParameterData(r, clsSensorData::ChangedDataColumn,
                                  loaded.ReadParameterData(r, clsSensorData::ChangedDataColumn));
    }
    for (int s = 0; s <= sensor.MaxSetpoints(); ++s) {
        for (int f = 3; f < 6; ++f) {
            sensor.WriteSetpointData(s, f, loaded.ReadSetpointData(s, f));
        }
    }
    emit settingsLoaded();
    session_.apply.RefreshApplyState();
    SetCurrentFile(path);
}

cDataFileFlow::DataFileCheck cDataFileFlow::CheckSensorDataFile(const QString& path) {
    DataFileCheck check;
    check.contents = ReadSensorDataFile(path, session_.sensor, &check.refusal);
    if (!check.contents) {
        return check;
    }
    clsSensorData& loaded = check.contents->record;
    const auto& lines = check.contents->parameterLine;
    for (int r = 1; r <= loaded.MaxParameters(); ++r) {
        const std::int32_t value = loaded.ReadParameterData(r, clsSensorData::ChangedDataColumn);
        // What the sensor holds already is never written, odd or not.
        if (!IsWritableParameter(loaded, r) ||
            value == loaded.ReadParameterData(r, clsSensorData::SensorDataColumn)) {
            continue;
        }
        const ValueLimits limits = ParameterLimits(loaded, r);
        const QString name = loaded.ReadParameterName(r, 0).trimmed();
        const auto line = static_cast<std::size_t>(r);
        if (!limits.Contains(value)) {
            const QString text = QStringLiteral("Line %1: %2 is %3, outside its limits %4.")
                                     .arg(lines[line])
                                     .arg(name)
                                     .arg(value)
                                     .arg(LimitsText(limits));
            // A sensor told to use an address or speed it cannot have is lost.
            if (r == Param::Address || r == Param::BaudRate) {
                check.contents.reset();
                check.refusal = text + QStringLiteral(" The file was not loaded.");
                return check;
            }
            check.doubts.append(text);
        } else if (IsMarkedParameter(r) && r != Param::RunMode) {
            check.doubts.append(
                QStringLiteral("Line %1: the file's %2 is %3, the sensor's is %4: Apply would "
                               "change how the sensor is reached.")
                    .arg(lines[line])
                    .arg(name)
                    .arg(value)
                    .arg(loaded.ReadParameterData(r, clsSensorData::SensorDataColumn)));
        }
    }
    for (int s = 0; s <= loaded.MaxSetpoints(); ++s) {
        for (int f = 0; f < 3; ++f) {
            const std::int32_t value = loaded.ReadSetpointData(s, f + 3);
            const ValueLimits limits = SetpointLimits(loaded, f);
            if (value != loaded.ReadSetpointData(s, f) && !limits.Contains(value)) {
                check.doubts.append(
                    QStringLiteral("Line %1: setpoint %2 %3 is %4, outside its limits %5.")
                        .arg(check.contents->setpointLine[static_cast<std::size_t>(s)]
                                                         [static_cast<std::size_t>(f)])
                        .arg(SetpointNumber(s))
                        .arg(SetpointFieldName(f))
                        .arg(value)
                        .arg(LimitsText(limits)));
            }
        }
    }
    if (check.contents->possiblyTruncated) {
        check.doubts.append(QStringLiteral(
            "The file's last line has no line end: the file may have been cut short."));
    }
    // Copying one sensor's file to another is normal; the name only tells.
    static const QRegularExpression savedName(QStringLiteral("^(\\d+) \\d{8}\\.dat$"),
                                              QRegularExpression::CaseInsensitiveOption);
    const QString serial = session_.sensor.SerialNumber().trimmed();
    const auto match = savedName.match(BareFileName(path));
    if (match.hasMatch() && !serial.isEmpty() && match.captured(1) != serial) {
        check.notes.append(QStringLiteral("The file's name says it was saved from sensor %1; this "
                                          "sensor's serial number is %2.")
                               .arg(match.captured(1), serial));
    }
    return check;
}

} // namespace kelvar
