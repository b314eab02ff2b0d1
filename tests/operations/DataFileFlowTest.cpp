// Refusals of the data file and the questions about its odd values; a
// save and load that go through is part of the golden papers.
#include "support/Golden.h"
#include "support/SimSession.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kelvar;

namespace {

class DataFileFlowTest : public test::SimSessionTest {
protected:
    DataFileFlowTest() {
        // As a read leaves a sensor of 12 length units.
        for (const auto& [parameter, value] :
             {std::pair{Param::SensorLength, 12000}, std::pair{Param::MaximumTravel, 11000}}) {
            session.sensor.WriteParameterData(parameter, 0, value);
            session.sensor.WriteParameterData(parameter, 1, value);
        }
        session.sensor.setDataIsLoaded(true);
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(DataFileFlowTest, RefusalsAreToldAndChangeNothingAndOddValuesAreTheUsersCall) {
    view.fileAnswer = dir.filePath("settings.txt");
    Answer({MessageAnswer::Ok});
    session.dataFile.SaveSensorData();
    EXPECT_FALSE(QFile::exists(view.fileAnswer));
    view.fileAnswer = dir.filePath("axis 1.dat");
    session.dataFile.SaveSensorData();
    const auto edited = [this](int line, const QString& value) {
        QStringList lines = test::FileText(view.fileAnswer).split("\r\n");
        lines[line - 1] = value;
        QFile file(view.fileAnswer);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(lines.join("\r\n").toLatin1());
    };

    // An address no sensor can have: refused, nothing changes.
    edited(58, "0");
    session.dataFile.ForgetCurrentFile();
    Answer({MessageAnswer::Ok});
    session.dataFile.LoadSensorData();
    ASSERT_EQ(view.prompter.asked.size(), 2);
    EXPECT_EQ(view.prompter.asked[1].title, "Parameter Data File Error");
    EXPECT_TRUE(view.prompter.asked[1].text.contains("Line 58: Address is 0, outside its limits "
                                                     "1 to 26."));
    EXPECT_EQ(session.sensor.ReadParameterData(Param::Address, 1), 1);
    EXPECT_TRUE(session.dataFile.CurrentFile().isEmpty());
    view.fileAnswer.clear(); // cancelled: nothing happens
    session.dataFile.LoadSensorData();
    EXPECT_EQ(view.prompter.asked.size(), 2);
    view.fileAnswer = dir.filePath("axis 1.dat");

    // An odd polarity and another address: the user decides.
    edited(58, "7");
    edited(23, "5");
    edited(83, "4001"); // setpoint 0's velocity
    Answer({MessageAnswer::No});
    session.dataFile.LoadSensorData();
    ASSERT_EQ(view.prompter.asked.size(), 3);
    EXPECT_EQ(view.prompter.asked[2].title, "Check Data File");
    EXPECT_TRUE(view.prompter.asked[2].text.contains("Line 23: Drive Polarity is 5"));
    EXPECT_TRUE(view.prompter.asked[2].text.contains("Line 58: the file's Address is 7"));
    EXPECT_TRUE(view.prompter.asked[2].text.contains(
        "Line 83: setpoint 1 velocity is 4001, outside its limits 0 to 4000."));
    EXPECT_EQ(session.sensor.ReadParameterData(20, 1), 0) << "No: nothing loaded";

    // A speed no sensor can have is refused as the address was.
    edited(59, "5");
    Answer({MessageAnswer::Ok});
    session.dataFile.LoadSensorData();
    EXPECT_TRUE(view.prompter.asked.last().text.endsWith(
        "Line 59: Baud Rate is 5, outside its limits 1 to 4. The file was not loaded."));
}
