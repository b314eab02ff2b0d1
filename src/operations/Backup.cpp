#include "operations/Backup.h"

#include "files/DataFile.h"
#include "link/PortInfo.h"
#include "model/Speeds.h"
#include "operations/JsonDocuments.h"
#include "operations/QuietView.h"
#include "operations/Session.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QSaveFile>
#include <QSemaphore>
#include <QSet>
#include <QThread>
#include <cmath>

namespace kelvar {

namespace {

// Tenths of a millisecond: more would be noise of the clock.
QJsonValue Milliseconds(const cLinkStatistics& statistics, double ms) {
    return statistics.HasRoundTrips() ? QJsonValue(std::round(ms * 10) / 10)
                                      : QJsonValue(QJsonValue::Null);
}

// The manifest's keys are read by other people's scripts: they never change.
constexpr std::pair<const char*, std::int64_t cLinkStatistics::*> StatisticsCounts[] = {
    {"requests", &cLinkStatistics::requests},
    {"answers", &cLinkStatistics::answers},
    {"time_outs", &cLinkStatistics::timeOuts},
    {"crc_errors", &cLinkStatistics::crcErrors},
    {"unknown_answers", &cLinkStatistics::unknownAnswers},
    {"late_answers", &cLinkStatistics::lateAnswers},
    {"repeated_answers", &cLinkStatistics::repeatedAnswers},
    {"answers_in_doubt", &cLinkStatistics::doubted},
    {"echoes_skipped", &cLinkStatistics::echoesSkipped},
    {"retries", &cLinkStatistics::retries},
};

QJsonObject ManifestEntry(const MachineSensor& sensor) {
    const cLinkStatistics& s = sensor.statistics;
    QJsonObject statistics;
    for (const auto& [key, count] : StatisticsCounts) {
        statistics.insert(QLatin1String(key), qint64{s.*count});
    }
    statistics.insert(QLatin1String("median_round_trip_ms"),
                      Milliseconds(s, s.MedianRoundTripMs()));
    statistics.insert(QLatin1String("worst_round_trip_ms"), Milliseconds(s, s.WorstRoundTripMs()));
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
    const auto text = [&entry](const char* key) {
        return entry.value(QLatin1String(key)).toString();
    };
    MachineSensor sensor;
    sensor.port = entry.value(QLatin1String("port")).toInt();
    sensor.device = text("device");
    sensor.byId = text("by_id");
    sensor.speedIndex = SpeedIndexOfBaud(entry.value(QLatin1String("speed")).toInt());
    sensor.address = entry.value(QLatin1String("address")).toInt();
    sensor.serial = text("serial");
    sensor.model = text("model");
    sensor.firmwareDate = text("firmware_date");
    sensor.firmwareVersion = text("firmware_version");
    sensor.resolution = static_cast<float>(entry.value(QLatin1String("resolution")).toDouble());
    sensor.units = text("units");
    sensor.file = file.toString();
    sensor.complete = entry.value(QLatin1String("complete")).toBool();
    const QJsonObject statistics = entry.value(QLatin1String("statistics")).toObject();
    for (const auto& [key, count] : StatisticsCounts) {
        sensor.statistics.*count = statistics.value(QLatin1String(key)).toInteger();
    }
    const QJsonValue median = statistics.value(QLatin1String("median_round_trip_ms"));
    const QJsonValue worst = statistics.value(QLatin1String("worst_round_trip_ms"));
    if (median.isDouble() && worst.isDouble()) {
        sensor.listedRoundTripsMs.emplace(median.toDouble(), worst.toDouble());
    }
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

// One port's work. Its session, view and serial port are made, used and
// destroyed in its thread alone.
class cMachineBackup::PortWork {
public:
    PortWork(int port, cSensorLink& caller) : port(port) {
        device = caller.PortNames.deviceFor(port);
        context_->moveToThread(&thread_);
        thread_.start();
        InThread([this, make = caller.Port().maker(), names = caller.PortNames,
                  timeout = caller.PacketTimeout, interval = caller.PacketInterval,
                  retries = caller.Retries] {
            serial_ = make();
            session = std::make_unique<cSession>(*serial_, view);
            session->link.PortNames = names;
            session->link.PacketTimeout = timeout;
            session->link.PacketInterval = interval;
            session->link.Retries = retries;
        });
    }
    ~PortWork() {
        QMetaObject::invokeMethod(
            context_.get(),
            [this] {
                session.reset();
                serial_.reset();
            },
            Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    }
    PortWork(const PortWork&) = delete;
    PortWork& operator=(const PortWork&) = delete;

    // Runs `job` in the port's thread, after what was asked before.
    void InThread(const std::function<void()>& job) {
        QMetaObject::invokeMethod(context_.get(), job, Qt::QueuedConnection);
    }

    // Why the port failed the work (it did not open, or was lost); empty
    // while it works.
    QString Failure() const {
        return session->link.PortIsOpen() ? QString() : session->link.PortError(port);
    }

    const int port;
    QString device;
    // Only in the port's thread:
    cQuietView view;
    std::unique_ptr<cSession> session;
    QList<MachineSensor> found;

private:
    QThread thread_;
    std::unique_ptr<QObject> context_ = std::make_unique<QObject>();
    std::unique_ptr<cSerialPort> serial_;
};

QList<int> cMachineBackup::Ports() const {
    const cPortNames& names = session_.link.PortNames;
    if (!names.explicitDevices().isEmpty()) {
        return names.explicitDevices().keys();
    }
    QList<int> ports;
    const QStringList devices = names.devices();
    for (int port = MinPortNumber; port <= MaxPortNumber; ++port) {
        if (!devices.value(port - MinPortNumber).isEmpty()) {
            ports.append(port);
        }
    }
    return ports;
}

cMachineBackup::cMachineBackup(cSession& session) : session_(session) {
    QObject::connect(&session_, &cSession::aborting, &home_, [this] { Cancel(); });
}

cMachineBackup::~cMachineBackup() = default;

QStringList cMachineBackup::PortFailures() const {
    auto& link = session_.link;
    QStringList failures;
    for (const int port : Ports()) {
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
    for (const auto& work : ports_) {
        work->InThread([w = work.get()] { w->session->Abort(); });
    }
}

void cMachineBackup::Tell(int port, const QString& doing) {
    if (portProgress) {
        QMetaObject::invokeMethod(
            &home_, [this, port, doing] { portProgress(port, doing); }, Qt::QueuedConnection);
    }
}

void cMachineBackup::StartPorts() {
    auto& link = session_.link;
    session_.monitor.Stop();
    callerPort_.reset();
    if (link.PortIsOpen()) {
        callerPort_.emplace(link.OpenedPort(), link.OpenedSpeed());
        link.ClosePort();
    }
    for (const int port : Ports()) {
        ports_.push_back(std::make_unique<PortWork>(port, link));
    }
    if (cancelled_) {
        Cancel();
    }
}

QString cMachineBackup::FailureOf(const PortWork& work) const {
    // A port cancelled did not fail.
    return cancelled_ ? QString() : work.Failure();
}

QStringList cMachineBackup::EndPorts() {
    QStringList failures;
    for (const auto& work : ports_) {
        if (const QString failure = FailureOf(*work); !failure.isEmpty()) {
            failures.append(QStringLiteral("Comm %1: %2").arg(work->port).arg(failure));
        }
    }
    ports_.clear();
    if (callerPort_ && !session_.Aborted()) {
        session_.link.OpenPort(callerPort_->first, callerPort_->second);
    }
    return failures;
}

void cMachineBackup::RunPorts(const std::function<void(PortWork&)>& job) {
    QEventLoop loop;
    std::size_t running = ports_.size();
    QSemaphore ended;
    for (const auto& work : ports_) {
        work->InThread([this, &job, &loop, &running, &ended, w = work.get()] {
            job(*w);
            QMetaObject::invokeMethod(
                &home_,
                [&loop, &running] {
                    if (--running == 0) {
                        loop.quit();
                    }
                },
                Qt::QueuedConnection);
            ended.release();
        });
    }
    if (running > 0) {
        loop.exec();
    }
    if (running > 0) {
        // Every event loop was told to end: the program quits.
        Cancel();
    }
    // No job may outlive what it shares with this call; what they ask of the
    // caller meanwhile (a review) is still answered.
    while (!ended.tryAcquire(static_cast<int>(ports_.size()), 20)) {
        QCoreApplication::sendPostedEvents(&home_);
    }
    QCoreApplication::sendPostedEvents(&home_);
}

QList<MachineSensor> cMachineBackup::SearchPort(PortWork& work) {
    cSession& s = *work.session;
    if (cancelled_) {
        return {};
    }
    s.search.SearchEverySpeed(
        work.port,
        [this, &work, &s] {
            Tell(work.port, QStringLiteral("searching at %1 baud")
                                .arg(SpeedTable[ValidSpeedIndex(s.link.BaudIndex)].baud));
        },
        [](int) {});
    s.commands.TakeFailedRequests();
    s.link.ClosePort();
    QList<MachineSensor> found;
    const QString byId = InspectPort(work.port, s.link.PortNames).byId;
    for (int n = 1; n <= s.sensors.Count(); ++n) {
        s.sensors.setSensorNumber(n);
        MachineSensor sensor;
        sensor.port = work.port;
        sensor.device = work.device;
        sensor.byId = byId;
        sensor.speedIndex = s.sensors.BaudRate();
        sensor.address = s.sensors.Address();
        sensor.serial = s.sensors.Serial();
        found.append(sensor);
    }
    Tell(work.port, found.size() == 1 ? QStringLiteral("1 sensor found")
                                      : QStringLiteral("%1 sensors found").arg(found.size()));
    return found;
}

void cMachineBackup::Read(PortWork& work, int number, MachineSensor& sensor) {
    cSession& s = *work.session;
    if (cancelled_) {
        return;
    }
    Tell(work.port,
         QStringLiteral("reading address %1 serial %2").arg(sensor.address).arg(sensor.serial));
    // The figures of this read alone.
    s.link.ResetStatistics();
    InitParameterTable(s.sensor);
    s.read.LoadSensor(number);
    s.monitor.Stop();
    sensor.complete = s.read.ReadComplete();
    if (s.read.ReadDone()) {
        sensor.serial = s.sensor.SerialNumber();
        sensor.model = s.sensor.Model();
        sensor.firmwareDate = s.sensor.FirmwareDate();
        sensor.firmwareVersion = s.sensor.Version();
        sensor.resolution = s.sensor.Resolution();
        sensor.units = s.sensor.Units();
    }
    sensor.statistics = s.link.Statistics(sensor.address);
    s.commands.TakeFailedRequests();
}

namespace {

// The ports' part of the manifest: what happened on each.
QJsonObject PortEntry(int port, const QString& device, qsizetype sensors, const QString& failure) {
    return {{"port", port},
            {"device", device},
            {"sensors", static_cast<qint64>(sensors)},
            {"error", TextOrNull(failure)}};
}

} // namespace

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
    // Shared by the ports: two sensors of one serial number must not share a file.
    QMutex namesLock;
    QSet<QString> names;
    QString fileError;
    StartPorts();
    RunPorts([&](PortWork& work) {
        cSession& s = *work.session;
        work.found = SearchPort(work);
        for (int n = 1; n <= work.found.size(); ++n) {
            MachineSensor& sensor = work.found[n - 1];
            Read(work, n, sensor);
            if (sensor.complete) {
                const QString proposed = ProposedDataFileName(s.sensor, today);
                QMutexLocker locked(&namesLock);
                QString name = proposed;
                for (int copy = 2; names.contains(name); ++copy) {
                    name = proposed.chopped(4) + QStringLiteral("-%1.dat").arg(copy);
                }
                QString error;
                if (SaveSensorDataFile(dir.filePath(name), s.sensor, &error)) {
                    names.insert(name);
                    sensor.file = name;
                } else if (fileError.isEmpty()) {
                    fileError = error;
                }
            }
            if (progress) {
                QMetaObject::invokeMethod(
                    &home_, [this, sensor] { progress(sensor); }, Qt::QueuedConnection);
            }
        }
        Tell(work.port, QStringLiteral("done"));
    });
    QJsonArray entries;
    QJsonArray ports;
    for (const auto& work : ports_) {
        for (const MachineSensor& sensor : std::as_const(work->found)) {
            result.sensors.append(sensor);
            entries.append(ManifestEntry(sensor));
        }
        ports.append(PortEntry(work->port, work->device, work->found.size(), FailureOf(*work)));
    }
    result.portFailures = EndPorts();
    result.manifest = QJsonObject{
        {"program_version", QStringLiteral(KELVAR_VERSION)},
        {"time", QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
        {"cancelled", cancelled_.load()},
        {"ports", ports},
        {"sensors", entries},
    };
    if (!fileError.isEmpty()) {
        result.error = fileError;
        return result;
    }
    // The record of a restore belongs to the backup the folder held before.
    if (WriteWhole(dir.filePath(ManifestName), QJsonDocument(result.manifest).toJson(),
                   result.error)) {
        QFile::remove(dir.filePath(RestoredName));
    }
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
    result.time = QDateTime::fromString(document.object().value(QLatin1String("time")).toString(),
                                        Qt::ISODate);
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

QList<cMachineBackup::Find> cMachineBackup::FindListed(VerifyResult& result,
                                                       const QStringList& replace) {
    RunPorts([this](PortWork& work) { work.found = SearchPort(work); });
    QList<MachineSensor> found;
    QList<Find> places;
    for (const auto& work : ports_) {
        for (int n = 1; n <= work->found.size(); ++n) {
            found.append(work->found.at(n - 1));
            places.append({work.get(), n});
        }
    }
    QList<bool> matched(found.size(), false);
    QList<Find> finds(result.sensors.size());
    const auto find = [&](const auto& fits) {
        for (qsizetype i = 0; i < result.sensors.size(); ++i) {
            if (result.sensors[i].found) {
                continue;
            }
            qsizetype n = 0;
            while (n < found.size() && (matched[n] || !fits(result.sensors[i], n))) {
                ++n;
            }
            if (n < found.size()) {
                matched[n] = true;
                result.sensors[i].found = found[n];
                finds[i] = places[n];
            }
        }
    };
    find([&](const VerifiedSensor& v, qsizetype n) { return found[n].serial == v.listed.serial; });
    // Only once every serial number has been looked for: a sensor that moved
    // is no replacement.
    find([&](const VerifiedSensor& v, qsizetype n) {
        return found[n].port == v.listed.port && found[n].address == v.listed.address;
    });
    for (qsizetype i = 0; i < result.sensors.size(); ++i) {
        VerifiedSensor& verified = result.sensors[i];
        verified.replacement = verified.found && verified.found->serial != verified.listed.serial;
        if (verified.replacement && !replace.contains(verified.listed.serial)) {
            verified.refused = true;
            verified.needs = VerifiedSensor::Needs::Replace;
            verified.problem =
                QStringLiteral("it replaces %1 of the backup").arg(verified.listed.serial);
            finds[i] = {};
        }
    }
    for (qsizetype n = 0; n < found.size(); ++n) {
        if (!matched[n]) {
            result.unlisted.append(found[n]);
        }
    }
    return finds;
}

bool cMachineBackup::LoadListedFile(const QDir& dir, const Find& find, VerifiedSensor& verified) {
    cSession& s = *find.work->session;
    MachineSensor& now = *verified.found;
    Read(*find.work, find.number, now);
    if (!now.complete) {
        verified.problem = cancelled_ ? QStringLiteral("cancelled") : s.read.ReadFailureText();
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
    const auto check = s.dataFile.CheckSensorDataFile(path);
    if (!check.contents) {
        verified.refused = true;
        verified.problem = check.refusal;
        return false;
    }
    verified.doubts = check.doubts;
    verified.warnings = check.notes;
    s.dataFile.UseSensorDataFile(path, *check.contents);
    verified.differences = s.apply.PendingWrites();
    return true;
}

void cMachineBackup::CheckListed(VerifyResult& result, const QStringList& replace,
                                 const std::function<void(PortWork&, VerifiedSensor&)>& write) {
    const QDir dir(result.folder);
    StartPorts();
    const QList<Find> finds = FindListed(result, replace);
    // Each sensor is worked by its own port's thread alone.
    QList<VerifiedSensor*> sensors;
    for (VerifiedSensor& verified : result.sensors) {
        sensors.append(&verified);
    }
    RunPorts([&](PortWork& work) {
        for (qsizetype i = 0; i < sensors.size(); ++i) {
            if (finds[i].work == &work && LoadListedFile(dir, finds[i], *sensors[i]) && write) {
                write(work, *sensors[i]);
            }
        }
        Tell(work.port, QStringLiteral("done"));
    });
    result.portFailures = EndPorts();
}

void cMachineBackup::Verify(VerifyResult& result) {
    CheckListed(result, {}, nullptr);
}

void cMachineBackup::Restore(VerifyResult& result, const RestoreOptions& options) {
    const QDir dir(result.folder);
    CheckListed(result, options.replace, [&](PortWork& work, VerifiedSensor& verified) {
        if (!verified.doubts.isEmpty() && !options.force) {
            verified.refused = true;
            verified.needs = VerifiedSensor::Needs::Force;
            verified.problem =
                QStringLiteral("%1 not loaded").arg(dir.filePath(verified.listed.file));
        } else if (!options.dryRun && !verified.differences.isEmpty()) {
            work.view.said.clear();
            Write(work, verified);
            verified.warnings.append(work.view.said);
        }
    });
}

void cMachineBackup::Write(PortWork& work, VerifiedSensor& verified) {
    cSession& s = *work.session;
    cApplyFlow& apply = s.apply;
    if (const QString conflict = apply.AddressConflict(); !conflict.isEmpty()) {
        verified.refused = true;
        verified.problem = conflict + QStringLiteral(" Nothing was written.");
        return;
    }
    bool confirmed = !cancelled_;
    if (confirmed && confirmWrite) {
        // The other ports go on while the caller asks.
        QMetaObject::invokeMethod(
            &home_, [this, &verified] { return confirmWrite(verified); },
            Qt::BlockingQueuedConnection, &confirmed);
    }
    if (!confirmed || cancelled_) {
        verified.refused = true;
        verified.problem = cancelled_ ? QStringLiteral("not written: cancelled")
                                      : QStringLiteral("not written: the review was declined");
        return;
    }
    Tell(work.port, QStringLiteral("writing address %1 serial %2")
                        .arg(verified.found->address)
                        .arg(verified.found->serial));
    apply.WriteChanges(verified.differences);
    verified.written = true;
    verified.unconfirmed = apply.LastUnconfirmed();
    if (!apply.ApplyAdvice().isEmpty()) {
        verified.warnings.append(apply.ApplyAdvice());
    }
    if (apply.PortFailed()) {
        verified.problem = QStringLiteral("writing stopped: ") + s.link.PortErrorText();
        return;
    }
    if (s.sensor.CyclePowerFlag()) {
        verified.warnings.append(QStringLiteral("one or more changes take effect only after the "
                                                "sensor's power has been cycled"));
    }
    // The sensor read again at the address it answers at until its power is cycled.
    s.read.LoadSensor(cReadFlow::ReloadCurrent);
    s.monitor.Stop();
    if (apply.PortFailed()) {
        verified.problem = QStringLiteral("reading stopped: ") + s.link.PortErrorText();
    } else if (!s.read.ReadComplete()) {
        verified.problem = s.read.ReadFailureText();
    }
    s.commands.TakeFailedRequests();
}

} // namespace kelvar
