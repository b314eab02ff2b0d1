#include "operations/Backup.h"

#include "files/DataFile.h"
#include "link/PortInfo.h"
#include "model/Speeds.h"
#include "operations/Session.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSet>
#include <cmath>

namespace kelvar {

namespace {

QJsonValue TextOrNull(const QString& text) {
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

// Tenths of a millisecond: more would be noise of the clock.
QJsonValue Milliseconds(const cLinkStatistics& statistics, double ms) {
    return statistics.HasRoundTrips() ? QJsonValue(std::round(ms * 10) / 10)
                                      : QJsonValue(QJsonValue::Null);
}

// The manifest's keys are read by other people's scripts: they never change.
QJsonObject ManifestEntry(const MachineSensor& sensor) {
    const cLinkStatistics& s = sensor.statistics;
    const QJsonObject statistics{
        {"requests", qint64{s.requests}},
        {"answers", qint64{s.answers}},
        {"time_outs", qint64{s.timeOuts}},
        {"crc_errors", qint64{s.crcErrors}},
        {"unknown_answers", qint64{s.unknownAnswers}},
        {"late_answers", qint64{s.lateAnswers}},
        {"repeated_answers", qint64{s.repeatedAnswers}},
        {"answers_in_doubt", qint64{s.doubted}},
        {"echoes_skipped", qint64{s.echoesSkipped}},
        {"retries", qint64{s.retries}},
        {"median_round_trip_ms", Milliseconds(s, s.MedianRoundTripMs())},
        {"worst_round_trip_ms", Milliseconds(s, s.WorstRoundTripMs())},
    };
    return {
        {"port", sensor.port},
        {"device", sensor.device},
        {"by_id", TextOrNull(sensor.byId)},
        {"speed", static_cast<int>(SpeedTable[ValidSpeedIndex(sensor.speedIndex)].baud)},
        {"address", sensor.address},
        {"serial", sensor.serial},
        {"model", sensor.model},
        {"firmware_date", sensor.firmwareDate},
        {"firmware_version", sensor.firmwareVersion},
        // As the sensor gives it (0.001), not as a float widens it.
        {"resolution", QString::number(sensor.resolution, 'g', 6).toDouble()},
        {"units", sensor.units},
        {"file", TextOrNull(sensor.file)},
        {"complete", sensor.complete},
        {"statistics", statistics},
    };
}

// What verifying needs of a manifest's entry: who the sensor is, where it
// was and its file. Empty with `error` set when the entry does not say.
std::optional<MachineSensor> ListedSensor(const QJsonValue& value, int number, QString& error) {
    const QJsonObject entry = value.toObject();
    const QJsonValue file = entry.value(QLatin1String("file"));
    if (!entry.value(QLatin1String("serial")).isString() || !(file.isString() || file.isNull())) {
        error = QStringLiteral("manifest.json: sensor %1 has no serial number or file").arg(number);
        return std::nullopt;
    }
    MachineSensor sensor;
    sensor.port = entry.value(QLatin1String("port")).toInt();
    sensor.device = entry.value(QLatin1String("device")).toString();
    sensor.speedIndex = SpeedIndexOfBaud(entry.value(QLatin1String("speed")).toInt());
    sensor.address = entry.value(QLatin1String("address")).toInt();
    sensor.serial = entry.value(QLatin1String("serial")).toString();
    sensor.model = entry.value(QLatin1String("model")).toString();
    sensor.file = file.toString();
    sensor.complete = entry.value(QLatin1String("complete")).toBool();
    return sensor;
}

// The file of the sensor: its name begins with the serial number, as the
// name the save dialog proposes does.
QString ListedFileProblem(const QDir& dir, const MachineSensor& sensor) {
    if (sensor.file.isEmpty()) {
        return {};
    }
    // A name, not a path: the folder's files are all the backup may use.
    if (QFileInfo(sensor.file).fileName() != sensor.file) {
        return QStringLiteral("%1, listed for sensor %2, is not a file of the folder")
            .arg(sensor.file, sensor.serial);
    }
    if (!QFileInfo(dir.filePath(sensor.file)).isFile()) {
        return QStringLiteral("%1, listed for sensor %2, is missing")
            .arg(dir.filePath(sensor.file), sensor.serial);
    }
    if (!sensor.file.startsWith(SerialInFileName(sensor.serial) + u' ')) {
        return QStringLiteral("%1 is listed for sensor %2, whose serial number its name does "
                              "not carry")
            .arg(dir.filePath(sensor.file), sensor.serial);
    }
    return {};
}

bool WriteWhole(const QString& path, const QByteArray& text, QString& error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace

cMachineBackup::cMachineBackup(cSession& session) : session_(session) {}

QStringList cMachineBackup::PortFailures() const {
    auto& link = session_.link;
    QStringList failures;
    for (const int port : link.PortNames.explicitDevices().keys()) {
        if (link.OpenPort(port, 0)) {
            link.ClosePort();
        } else {
            failures.append(QStringLiteral("Comm %1: %2").arg(port).arg(link.PortErrorText()));
        }
    }
    return failures;
}

void cMachineBackup::Cancel() {
    cancelled_ = true;
}

void cMachineBackup::Tell(int port, const QString& doing) {
    if (portProgress) {
        portProgress(port, doing);
    }
}

void cMachineBackup::StartSearch() {
    session_.monitor.Stop();
    session_.sensors.Clear();
}

QList<MachineSensor> cMachineBackup::SearchPort(int port) {
    auto& link = session_.link;
    auto& sensors = session_.sensors;
    const int before = sensors.Count();
    if (cancelled_) {
        return {};
    }
    Tell(port, QStringLiteral("searching"));
    session_.search.SearchEverySpeed(
        port, [] {}, [](int) {});
    session_.commands.TakeFailedRequests();
    link.ClosePort();
    QList<MachineSensor> found;
    const QString byId = InspectPort(port, link.PortNames).byId;
    for (int n = before + 1; n <= sensors.Count(); ++n) {
        sensors.setSensorNumber(n);
        MachineSensor sensor;
        sensor.port = port;
        sensor.device = link.PortNames.deviceFor(port);
        sensor.byId = byId;
        sensor.speedIndex = sensors.BaudRate();
        sensor.address = sensors.Address();
        sensor.serial = sensors.Serial();
        found.append(sensor);
    }
    return found;
}

void cMachineBackup::Read(int number, MachineSensor& sensor) {
    auto& link = session_.link;
    const clsSensorData& data = session_.sensor;
    if (cancelled_) {
        return;
    }
    Tell(sensor.port,
         QStringLiteral("reading address %1 serial %2").arg(sensor.address).arg(sensor.serial));
    // The figures of this read alone.
    link.ResetStatistics();
    InitParameterTable(session_.sensor);
    session_.read.LoadSensor(number);
    session_.monitor.Stop();
    sensor.complete = session_.read.ReadComplete();
    if (link.StateFlags.TestBit(StateBit::DataLoaded)) {
        sensor.serial = data.SerialNumber();
        sensor.model = data.Model();
        sensor.firmwareDate = data.FirmwareDate();
        sensor.firmwareVersion = data.Version();
        sensor.resolution = data.Resolution();
        sensor.units = data.Units();
    }
    sensor.statistics = link.Statistics(sensor.address);
    session_.commands.TakeFailedRequests();
}

cMachineBackup::BackupResult cMachineBackup::Backup(const QString& folder, bool force) {
    BackupResult result;
    const QDir dir(folder);
    if (!force && QFileInfo::exists(dir.filePath(ManifestName))) {
        result.error = QStringLiteral("%1 holds a backup already").arg(folder);
        return result;
    }
    if (!QDir().mkpath(folder)) {
        result.error = QStringLiteral("cannot make the folder %1").arg(folder);
        return result;
    }
    const QDate today = QDate::currentDate();
    QSet<QString> names;
    QJsonArray entries;
    StartSearch();
    // Each port searched and its sensors read before the next port is searched.
    for (const int port : session_.link.PortNames.explicitDevices().keys()) {
        for (MachineSensor sensor : SearchPort(port)) {
            Read(static_cast<int>(result.sensors.size()) + 1, sensor);
            if (sensor.complete) {
                // Two sensors of one serial number must not share a file.
                const QString proposed = ProposedDataFileName(session_.sensor, today);
                QString name = proposed;
                for (int copy = 2; names.contains(name); ++copy) {
                    name = proposed.chopped(4) + QStringLiteral("-%1.dat").arg(copy);
                }
                if (!SaveSensorDataFile(dir.filePath(name), session_.sensor, &result.error)) {
                    return result;
                }
                names.insert(name);
                sensor.file = name;
            }
            result.sensors.append(sensor);
            entries.append(ManifestEntry(sensor));
            if (progress) {
                progress(sensor);
            }
        }
    }
    result.manifest = QJsonObject{
        {"program_version", QStringLiteral(KELVAR_VERSION)},
        {"time", QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
        {"sensors", entries},
    };
    WriteWhole(dir.filePath(ManifestName), QJsonDocument(result.manifest).toJson(), result.error);
    return result;
}

cMachineBackup::VerifyResult cMachineBackup::ReadBackup(const QString& folder) {
    VerifyResult result;
    result.folder = folder;
    const QDir dir(folder);
    QFile file(dir.filePath(ManifestName));
    if (!file.exists()) {
        result.refusal = QStringLiteral("%1 holds no %2").arg(folder, ManifestName);
        return result;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        result.refusal =
            QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString());
        return result;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    const QJsonValue listed = document.object().value(QLatin1String("sensors"));
    if (error.error != QJsonParseError::NoError) {
        result.refusal = QStringLiteral("%1 does not parse: %2 at character %3")
                             .arg(file.fileName(), error.errorString())
                             .arg(error.offset);
        return result;
    }
    if (!listed.isArray()) {
        result.refusal = QStringLiteral("%1 holds no list of sensors").arg(file.fileName());
        return result;
    }
    for (const QJsonValue& value : listed.toArray()) {
        const auto sensor =
            ListedSensor(value, static_cast<int>(result.sensors.size()) + 1, result.refusal);
        if (!sensor) {
            return result;
        }
        if (result.refusal = ListedFileProblem(dir, *sensor); !result.refusal.isEmpty()) {
            return result;
        }
        VerifiedSensor verified;
        verified.listed = *sensor;
        result.sensors.append(verified);
    }
    return result;
}

QList<int> cMachineBackup::FindListed(VerifyResult& result, const QStringList& replace) {
    QList<MachineSensor> found;
    StartSearch();
    for (const int port : session_.link.PortNames.explicitDevices().keys()) {
        found.append(SearchPort(port));
    }
    QList<bool> matched(found.size(), false);
    QList<int> numbers(result.sensors.size(), 0);
    const auto find = [&](const auto& fits) {
        for (qsizetype i = 0; i < result.sensors.size(); ++i) {
            if (result.sensors[i].found) {
                continue;
            }
            int n = 0;
            while (n < found.size() && (matched[n] || !fits(result.sensors[i], n))) {
                ++n;
            }
            if (n < found.size()) {
                matched[n] = true;
                result.sensors[i].found = found[n];
                numbers[i] = n + 1;
            }
        }
    };
    find([&](const VerifiedSensor& v, int n) { return found[n].serial == v.listed.serial; });
    // Only once every serial number has been looked for: a sensor that moved
    // is no replacement.
    find([&](const VerifiedSensor& v, int n) {
        return found[n].port == v.listed.port && found[n].address == v.listed.address;
    });
    for (qsizetype i = 0; i < result.sensors.size(); ++i) {
        VerifiedSensor& verified = result.sensors[i];
        verified.replacement = verified.found && verified.found->serial != verified.listed.serial;
        if (verified.replacement && !replace.contains(verified.listed.serial)) {
            verified.refused = true;
            verified.problem = QStringLiteral("it replaces %1 of the backup; restore --replace "
                                              "%1 restores that file to it")
                                   .arg(verified.listed.serial);
            numbers[i] = 0;
        }
    }
    for (int n = 0; n < found.size(); ++n) {
        if (!matched[n]) {
            result.unlisted.append(found[n]);
        }
    }
    return numbers;
}

bool cMachineBackup::LoadListedFile(const QDir& dir, int number, VerifiedSensor& verified) {
    MachineSensor& now = *verified.found;
    Read(number, now);
    if (!now.complete) {
        verified.problem = session_.read.ReadFailureText();
        if (verified.problem.isEmpty()) {
            verified.problem = QStringLiteral("it did not answer");
        }
        return false;
    }
    if (verified.listed.file.isEmpty()) {
        verified.problem = QStringLiteral("the backup holds no data file of it");
        return false;
    }
    if (!verified.listed.model.isEmpty() && now.model != verified.listed.model) {
        verified.refused = true;
        verified.problem = QStringLiteral("its model is %1, the backup's file is of model %2")
                               .arg(now.model, verified.listed.model);
        return false;
    }
    const QString path = dir.filePath(verified.listed.file);
    const auto check = session_.dataFile.CheckSensorDataFile(path);
    if (!check.contents) {
        verified.refused = true;
        verified.problem = check.refusal;
        return false;
    }
    verified.doubts = check.doubts;
    verified.warnings = check.notes;
    session_.dataFile.UseSensorDataFile(path, *check.contents);
    verified.differences = session_.apply.PendingWrites();
    return true;
}

void cMachineBackup::Verify(VerifyResult& result) {
    const QDir dir(result.folder);
    const QList<int> numbers = FindListed(result, {});
    for (qsizetype i = 0; i < result.sensors.size(); ++i) {
        if (numbers[i] > 0) {
            LoadListedFile(dir, numbers[i], result.sensors[i]);
        }
    }
}

void cMachineBackup::Restore(VerifyResult& result, const RestoreOptions& options) {
    const QDir dir(result.folder);
    const QList<int> numbers = FindListed(result, options.replace);
    for (qsizetype i = 0; i < result.sensors.size(); ++i) {
        VerifiedSensor& verified = result.sensors[i];
        if (numbers[i] == 0 || !LoadListedFile(dir, numbers[i], verified)) {
            continue;
        }
        if (!verified.doubts.isEmpty() && !options.force) {
            verified.refused = true;
            verified.problem = QStringLiteral("%1 not loaded; --force loads it all the same "
                                              "(values outside their limits are never written)")
                                   .arg(dir.filePath(verified.listed.file));
        } else if (!options.dryRun && !verified.differences.isEmpty()) {
            Write(verified);
        }
    }
}

void cMachineBackup::Write(VerifiedSensor& verified) {
    cApplyFlow& apply = session_.apply;
    if (const QString conflict = apply.AddressConflict(); !conflict.isEmpty()) {
        verified.refused = true;
        verified.problem = conflict + QStringLiteral(" Nothing was written.");
        return;
    }
    if (cancelled_ || (confirmWrite && !confirmWrite(verified))) {
        verified.refused = true;
        verified.problem = QStringLiteral("not written: the review was declined");
        return;
    }
    apply.WriteChanges(verified.differences);
    verified.written = true;
    verified.unconfirmed = apply.LastUnconfirmed();
    if (!apply.ApplyAdvice().isEmpty()) {
        verified.warnings.append(apply.ApplyAdvice());
    }
    if (apply.PortFailed()) {
        verified.problem = QStringLiteral("writing stopped: ") + session_.link.PortErrorText();
        return;
    }
    if (session_.sensor.CyclePowerFlag()) {
        verified.warnings.append(QStringLiteral("one or more changes take effect only after the "
                                                "sensor's power has been cycled"));
    }
    // The sensor read again at the address it answers at until its power is cycled.
    session_.read.LoadSensor(cReadFlow::ReloadCurrent);
    session_.monitor.Stop();
    if (apply.PortFailed()) {
        verified.problem = QStringLiteral("reading stopped: ") + session_.link.PortErrorText();
    } else if (!session_.read.ReadComplete()) {
        verified.problem = session_.read.ReadFailureText();
    }
    session_.commands.TakeFailedRequests();
}

} // namespace kelvar
