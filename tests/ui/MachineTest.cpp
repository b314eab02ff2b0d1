#include "RunningProgram.h"
#include "support/WhenModal.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

namespace kelvar::test {
namespace {

class MachineTest : public RunningProgramTest {
protected:
    // The result table from row `from` on, a line per row and its cells between bars.
    std::string Result(int from = 0) {
        auto* table = window.Control<QTableWidget>("tblMachineResult");
        QString text;
        for (int r = from; r < table->rowCount(); ++r) {
            for (int c = 0; c < table->columnCount(); ++c) {
                text += table->item(r, c)->text() + (c + 1 < table->columnCount() ? " | " : "\n");
            }
        }
        return text.toStdString();
    }
    const QString folder = dir.filePath("machine");
};

TEST_F(MachineTest, BacksUpComparesAndRestoresEverySensorThroughTheFileMenu) {
    const AsciiSensor::Controls& c = window.C();
    prompter.folders = {folder, folder, folder, folder, folder};
    // No backup in the folder yet: refused before anything is sent.
    prompter.Script(MessageAnswer::Ok);
    EXPECT_EQ(SentBy([&c] { c.mnuCompareBackup->trigger(); }), QList<QByteArray>());
    EXPECT_EQ(prompter.asked.last().text.toStdString(),
              folder.toStdString() + " holds no manifest.json");
    c.mnuBackupAll->trigger();
    EXPECT_EQ(Result(), "Comm 1 | 1 | 10000001 | AM-1000 | saved | \n"
                        "Comm 1 | 3 | 10000003 | AM-1000 | saved | \n"
                        "Comm 1 | 5 | 10000005 | AM-1000 | saved | \n");
    // The same folder again: the user keeps the backup it holds.
    prompter.Script(MessageAnswer::No);
    EXPECT_EQ(SentBy([&c] { c.mnuBackupAll->trigger(); }), QList<QByteArray>());
    EXPECT_EQ(prompter.asked.last().text.toStdString(),
              folder.toStdString() + " holds a backup already.\r\n\r\nBack up all sensors into "
                                     "it in place of that backup?");

    sensor.setParameter(Param::MaximumTravel, 18000);
    const qsizetype logged = session.log.Text().size();
    c.mnuCompareBackup->trigger();
    const std::string change = "Maximum Travel: 18.000 in -> 20.000 in";
    const std::string others = "Comm 1 | 3 | 10000003 | AM-1000 | same | \n"
                               "Comm 1 | 5 | 10000005 | AM-1000 | same | \n";
    EXPECT_EQ(Result(), "Comm 1 | 1 | 10000001 | AM-1000 | differs | " + change + "\n" + others);
    EXPECT_EQ(session.log.Text().mid(logged).toStdString(),
              std::string(50, '-') + "\r\nCompare With Backup: " + folder.toStdString() +
                  "\r\n    Comm 1 address 1 serial 10000001: differs\r\n"
                  "    Comm 1 address 3 serial 10000003: same\r\n"
                  "    Comm 1 address 5 serial 10000005: same\r\n");

    prompter.Script(MessageAnswer::Ok);
    c.mnuRestoreBackup->trigger();
    EXPECT_EQ(prompter.asked.last().text.toStdString(),
              "Apply writes these values to sensor 1 on Comm 1, serial 10000001 (name: held -> "
              "new):\r\n\r\n" +
                  change);
    EXPECT_EQ(Result(), "Comm 1 | 1 | 10000001 | AM-1000 | restored | " + change + "\n" + others);
    EXPECT_EQ(sensor.parameter(Param::MaximumTravel), 20000);
    // Kept for the service record, as kelvar-cli restore keeps it.
    QFile record(folder + "/restored.json");
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    const QJsonObject first =
        QJsonDocument::fromJson(record.readAll())["sensors"].toArray().at(0).toObject();
    EXPECT_EQ(first["restored"], QJsonValue(true));
    EXPECT_EQ(first["listed"]["serial"], QJsonValue("10000001"));
}

TEST_F(MachineTest, CancelInTheProgressDialogStopsTheWork) {
    prompter.folders = {folder};
    // Once the first sensor is being read.
    WhenModal cancel([](QWidget* modal) {
        const auto* port = modal->findChild<QLabel*>("lblMachinePort_1");
        if (port != nullptr && port->text().contains("reading")) {
            modal->findChild<QPushButton*>("cmdMachineCancel")->click();
        }
    });
    const std::size_t from = line.log().size();
    window.C().mnuBackupAll->trigger();
    EXPECT_FALSE(CommandTexts(line, from, 5).contains("R0000"));
    // The first sensor may be read whole or not, as the cancel comes.
    EXPECT_EQ(Result(1), "Comm 1 | 3 | 10000003 |  | incomplete | \n"
                         "Comm 1 | 5 | 10000005 |  | incomplete | \n");
}

} // namespace
} // namespace kelvar::test
