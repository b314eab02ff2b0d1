#include "operations/Backup.h"
#include "support/SimSession.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

namespace kelvar::test {
namespace {

// Two ports, each its own network with two sensors: 1 and 2 on Comm 1, 3
// and 4 on Comm 2.
class MachineBackupTest : public SimSessionTest {
protected:
    MachineBackupTest() {
        port.addDevice("comm2", &second);
        session.link.PortNames.setDevice(2, "comm2");
        AddSensor(1);
        AddSensor(2, 57600);
        for (const int address : {3, 4}) {
            sim::SensorConfig config = SensorAt(address);
            config.serialNumber = QByteArray::number(10000000 + address);
            second.addSensor(config);
        }
    }

    // Each sensor of the result as "serial complete file".
    static QStringList Saved(const cMachineBackup::BackupResult& result) {
        QStringList saved;
        for (const MachineSensor& sensor : result.sensors) {
            saved.append(QStringLiteral("%1 %2 %3")
                             .arg(sensor.serial)
                             .arg(sensor.complete)
                             .arg(sensor.file.isEmpty() ? QStringLiteral("-")
                                                        : sensor.file.section(u' ', 0, 0)));
        }
        return saved;
    }

    sim::SimNetwork second;
    QTemporaryDir folder;
    cMachineBackup machine{session};
};

TEST_F(MachineBackupTest, AnUnpluggedPortEndsOnlyItsOwnSensorsAndTheManifestSaysSo) {
    ASSERT_TRUE(session.link.OpenPort(1, 0));
    // Pulled out while its first sensor is being read.
    second.faults().unplugAfter = 300;
    const auto result = machine.Backup(folder.path(), false);
    EXPECT_EQ(Saved(result).join(u'|').toStdString(),
              "10000001 1 10000001|10000002 1 10000002|10000003 0 -|10000004 0 -");
    EXPECT_EQ(result.portFailures.join(u'|').toStdString(), "Comm 2: comm2 does not exist");
    const QJsonArray ports = result.manifest.value("ports").toArray();
    EXPECT_EQ(ports.at(0).toObject().value("error"), QJsonValue::Null);
    EXPECT_EQ(ports.at(1).toObject().value("error").toString().toStdString(),
              "comm2 does not exist");
    EXPECT_TRUE(QFile::exists(QDir(folder.path()).filePath("manifest.json")));
    // The caller's port is as it was.
    EXPECT_TRUE(session.link.PortIsOpen());
    EXPECT_EQ(session.link.OpenedPort(), 1);
}

TEST_F(MachineBackupTest, CancelStopsEveryPortBeforeItsNextSensorIsRead) {
    machine.portProgress = [this](int, const QString& doing) {
        if (doing.startsWith(QLatin1String("reading"))) {
            machine.Cancel();
        }
    };
    const auto result = machine.Backup(folder.path(), false);
    EXPECT_TRUE(result.manifest.value("cancelled").toBool());
    EXPECT_EQ(Saved(result),
              QStringList({"10000001 0 -", "10000002 0 -", "10000003 0 -", "10000004 0 -"}));
    // No sensor's setpoints were asked for.
    for (const sim::SimNetwork* line : {&network, &second}) {
        for (const QByteArray& request : CommandTexts(*line, 0, 0)) {
            EXPECT_NE(request.front(), 'R') << request.toStdString();
        }
    }
}

} // namespace
} // namespace kelvar::test
