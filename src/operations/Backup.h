#pragma once

#include "link/LinkStatistics.h"
#include "operations/ApplyFlow.h"
#include "operations/WritePlan.h"

#include <QDateTime>
#include <QDir>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace kelvar {

class cSession;

// One sensor of a machine: where it was found, who it is, and how its read went.
struct MachineSensor {
    int port = 0;
    QString device;
    QString byId; // the stable /dev/serial/by-id name; empty when there is none
    int speedIndex = 0;
    int address = 0;
    QString serial;
    QString model;
    QString firmwareDate;
    QString firmwareVersion;
    float resolution = 0;
    QString units;
    QString file;          // the data file's name in the folder; empty when none was written
    bool complete = false; // every request of its read was answered
    cLinkStatistics statistics;
    // Of a sensor a manifest lists: the median and worst round trips of its
    // read, as the manifest gives them (the statistics hold no times then).
    std::optional<std::pair<double, double>> listedRoundTripsMs;
};

// A whole machine at once: every sensor on every mapped port saved into a
// folder (one data file each and a manifest listing them), and held against
// that folder later. The mapped ports are worked at the same time, each
// port's requests in order.
class cMachineBackup {
public:
    static constexpr const char* ManifestName = "manifest.json";
    // What kelvar-cli restore leaves in the backup's folder: its --json
    // document, read by the service record.
    static constexpr const char* RestoredName = "restored.json";

    explicit cMachineBackup(cSession& session);
    ~cMachineBackup();

    // Hears of each sensor as soon as it has been read.
    std::function<void(const MachineSensor&)> progress;
    // What a port's work is doing now, in a few words, for one progress line
    // per port.
    std::function<void(int port, const QString& doing)> portProgress;

    // The ports the work searches: those the user mapped; without a mapping,
    // every port that has a device.
    QList<int> Ports() const;
    // Why a mapped port cannot be opened, one line each; empty when all can.
    QStringList PortFailures() const;

    struct BackupResult {
        QList<MachineSensor> sensors;
        QJsonObject manifest;     // as written to the folder; empty when it was refused
        QString error;            // why the folder was refused or could not be written
        QStringList portFailures; // "Comm n: why" for each port lost during the work
    };
    // A folder that holds a manifest already is refused unless `force`. Each
    // file is written whole or not at all, the manifest last.
    BackupResult Backup(const QString& folder, bool force);

    struct VerifiedSensor {
        MachineSensor listed;
        std::optional<MachineSensor> found; // where it is now, read
        QString problem;       // why it could not be held against its file; empty when it was
        WritePlan differences; // what restoring its file would write
        // Restoring: `found` is another sensor, at the listed one's port and address.
        bool replacement = false;
        bool refused = false; // `problem` is a refusal: of the file, or one that needs an option
        // The refusal the user may overrule: a replacement to be restored
        // all the same, or a file whose doubts are to be agreed to.
        enum class Needs { Nothing, Replace, Force };
        Needs needs = Needs::Nothing;
        QStringList doubts;   // what the file's check asks to be agreed to, as apply --force does
        QStringList warnings; // what the file's check and the writes had to say
        bool written = false; // the differences were written and the sensor read again
        QList<cApplyFlow::Unconfirmed> unconfirmed;
    };
    struct VerifyResult {
        QString folder;
        QDateTime time;  // when the backup was made, as its manifest says
        QString refusal; // why the folder cannot be verified
        QList<VerifiedSensor> sensors;
        QList<MachineSensor> unlisted; // found, but not in the manifest
        QStringList portFailures;      // "Comm n: why" for each port lost during the work
    };
    // The manifest read and the files it lists checked; nothing is sent.
    VerifyResult ReadBackup(const QString& folder);
    // Each sensor of the backup found by its serial number wherever it is
    // now, read and held against its file; the sensors found that the
    // backup lacks are named.
    void Verify(VerifyResult& backup);

    struct RestoreOptions {
        bool dryRun = false; // held against the files only, as Verify does
        bool force = false;  // a file with doubts is written all the same, as apply --force
        // Serial numbers of the backup whose files go to the other sensor
        // found at their port and address.
        QStringList replace;
    };
    // Each sensor of the backup found as Verify finds it (or, when it was
    // replaced, the sensor at its port and address), its file loaded as apply
    // loads one and the differences written as apply writes them.
    void Restore(VerifyResult& backup, const RestoreOptions& options);
    // Asked before Restore writes a sensor's differences (the review before a
    // write); false leaves the sensor unwritten, refused.
    std::function<bool(const VerifiedSensor&)> confirmWrite;

    // The work stops at its next request; what was done stays done.
    void Cancel();
    bool Cancelled() const { return cancelled_; }

private:
    class PortWork;
    // A listed sensor's find: the port whose session found it and its number
    // in that session's list; none when `work` is null.
    struct Find {
        PortWork* work = nullptr;
        int number = 0;
    };

    // The caller hears `doing` of `port` in its own thread.
    void Tell(int port, const QString& doing);
    // Each mapped port gets a session of its own, in a thread of its own, for
    // the time of the work: a wait on one port never holds up another. The
    // caller's port is closed meanwhile and opened again after.
    void StartPorts();
    // "Comm n: why" for each port that failed the work.
    QStringList EndPorts();
    // Why the work's port failed it; empty when it did not, or was cancelled.
    QString FailureOf(const PortWork& work) const;
    // Runs `job` on every port at once and returns once every port is done;
    // the caller's events are handled meanwhile.
    void RunPorts(const std::function<void(PortWork&)>& job);
    // The sensors found on the work's port at every speed, none of them read
    // yet, as numbered in its session's list.
    QList<MachineSensor> SearchPort(PortWork& work);
    // Reads the sensor at `number` in the work's list whole.
    void Read(PortWork& work, int number, MachineSensor& sensor);
    // Searches every mapped port and finds each backed-up sensor among those
    // found by its serial number, or with `replace` by its port and address;
    // names the sensors found that the backup lacks.
    QList<Find> FindListed(VerifyResult& backup, const QStringList& replace);
    // Reads the sensor found and loads its file into the edited values;
    // false with the problem named when the file cannot be held against it.
    bool LoadListedFile(const QDir& dir, const Find& find, VerifiedSensor& verified);
    // Writes the differences to the sensor just loaded, as kelvar-cli apply does.
    void Write(PortWork& work, VerifiedSensor& verified);
    // Each listed sensor found is held against its file; Restore's `write`
    // then writes what it must.
    void CheckListed(VerifyResult& backup, const QStringList& replace,
                     const std::function<void(PortWork&, VerifiedSensor&)>& write);

    cSession& session_;
    // Lives in the caller's thread: what the ports tell the caller goes through it.
    QObject home_;
    std::vector<std::unique_ptr<PortWork>> ports_;
    std::atomic<bool> cancelled_ = false;
    // The caller's port as it was before the work.
    std::optional<std::pair<int, int>> callerPort_;
};

} // namespace kelvar
