// What a setup leaves on paper and disk: the configuration report, the log's
// sensor report and the data file, compared whole with texts worked out by
// hand for an inch and a metric sensor that hold a different value in every
// setting.
#include "files/PrintText.h"
#include "operations/Editing.h"
#include "operations/FactoryReset.h"
#include "operations/Log.h"
#include "operations/Pictograph.h"
#include "operations/Report.h"
#include "support/Golden.h"
#include "support/PageRecorder.h"
#include "support/SimSession.h"

#include <QLocale>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kelvar;
using test::GoldenText;
using test::SameText;

namespace {

// The inch sensor, then the metric one.
const std::array<const char*, 2> Sensors{
    "7:57600,serial=6180339,length=36917,res=0.001,units=in,model=AM-2217,version=4.7,date=23OCT97",
    "19:38400,serial=314159265358,length=48263,res=0.01,units=mm,model=MX-3109M,version=9.2,"
    "date=08FEB11"};

// Parameter, then its value in each sensor as the sensor holds it (a zero
// adjust of -1234 is 65535 - 1234).
constexpr std::array<std::array<int, 3>, 29> Parameters{{
    {2, 1317, 2719}, {3, 1429, 2843},   {4, 163, 97},   {5, 187, 113},    {6, 2311, 3467},
    {7, 2473, 3593}, {8, 541, 719},     {9, 617, 853},  {10, 37, 61},     {11, 43, 73},
    {12, 1, 2},      {14, 229, 197},    {15, 211, 173}, {16, 1, 0},       {17, 3079, 4129},
    {18, 59, 71},    {19, 877, 1193},   {20, 1, 0},     {30, 1531, 2377}, {31, 33289, 45139},
    {32, 83, 149},   {33, 64301, 2741}, {41, 0, 1},     {57, 2213, 1877}, {58, 2, 3},
    {59, 1, 0},      {60, 1, 3},        {61, 3, 4},     {62, 1, 3},
}};

// Setpoint i's target, velocity and dwell: first + step * i.
constexpr std::array<std::array<int, 6>, 2> Setpoints{
    {{1237, 541, 113, 61, 7, 23}, {2113, 709, 37, 53, 11, 19}}};

// When logging began and the round trips: the clock's, cut at their labels.
QString Timeless(QString text) {
    return text.replace(QRegularExpression(QStringLiteral("(Initialized: |median )[^\r]*")),
                        "\\1@");
}

using GoldenPapersTest = test::SimSessionTest;

} // namespace

// Both sensors on Comm 1 and listed as 1 and 2; sensor 3 is listed off-line.
TEST_F(GoldenPapersTest, ReportsLogAndDataFilesOfBothSensors) {
    QLocale::setDefault(QLocale::c());
    const auto restore = qScopeGuard([] { QLocale::setDefault(QLocale::system()); });
    QTemporaryDir dir;
    for (std::size_t s = 0; s < Sensors.size(); ++s) {
        sim::SimSensor& sensor =
            network.addSensor(sim::ParseSensorText(QString::fromLatin1(Sensors[s])).config);
        for (const auto& row : Parameters) {
            sensor.setParameter(row[0], row[s + 1]);
        }
        for (int i = 0; i < sim::SimSensor::SetpointCount; ++i) {
            for (int f = 0; f < 3; ++f) {
                sensor.setSetpoint(i, f, Setpoints[s][2 * f] + Setpoints[s][2 * f + 1] * i);
            }
        }
    }
    AddListedSensor(7, true, 1, "06180339");
    AddListedSensor(19, true, 2, "314159265358");
    AddListedSensor(23, false, 3);
    cLog& log = session.log;
    log.RuntimeData =
        cLog::RuntimeLine(session.sensors.SensorText(3), 23, session.sensors.PortText(3));
    session.link.AvailablePorts.SetBit(1);
    session.link.AvailablePorts.SetBit(3);
    for (const auto& [number, name] : {std::pair{1, "inch"}, std::pair{2, "metric"}}) {
        SCOPED_TRACE(name);
        session.read.LoadSensor(number);
        ASSERT_TRUE(session.read.ReadComplete()) << session.read.ReadFailureText().toStdString();
        if (number == 1) {
            log.SetEnabled(true);
            log.SelectAll();
            log.Clear();
            EXPECT_TRUE(log.Options.communications) << "kept for the traffic to come";
            log.Options.communications = false;
        } else {
            log.LogSensorReport();
        }
        const auto pages = ConfigurationReport(session, QDateTime({2031, 11, 9}, {7, 5, 3}));
        EXPECT_TRUE(SameText(Timeless(pages[0] + pages[1]),
                             GoldenText(QStringLiteral("report-%1.txt").arg(name))));

        // Nothing in a file follows the user's locale.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        view.fileAnswer = dir.filePath(QStringLiteral("%1.dat").arg(name));
        session.dataFile.SaveSensorData();
        EXPECT_TRUE(SameText(test::FileText(view.fileAnswer),
                             GoldenText(QStringLiteral("%1.dat").arg(name))));
        QLocale::setDefault(QLocale::c());
    }

    // The inch sensor's settings copied onto the metric one: another
    // address is the user's call, and every value becomes a change to apply.
    QStringList files;
    QObject::connect(&session.dataFile, &cDataFileFlow::currentFileChanged,
                     [&](const QString& name) { files.append(name); });
    bool applyEnabled = false;
    QObject::connect(&session.apply, &cApplyFlow::applyEnabledChanged,
                     [&](bool enabled) { applyEnabled = enabled; });
    view.fileAnswer = dir.filePath("inch.dat");
    Answer({MessageAnswer::Yes});
    session.dataFile.LoadSensorData();
    EXPECT_EQ(view.prompter.asked.value(0).title, "Check Data File");
    EXPECT_TRUE(applyEnabled);
    view.fileAnswer = dir.filePath("copy.dat");
    session.dataFile.SaveSensorData();
    EXPECT_TRUE(SameText(test::FileText(view.fileAnswer), GoldenText("inch.dat")));
    session.dataFile.ForgetCurrentFile();
    EXPECT_EQ(files, QStringList({"inch.dat", "copy.dat", ""}));
    // Printed, the copied values; logged, what the sensor holds; the factory
    // settings then saved whole.
    const auto copied = ConfigurationReport(session, QDateTime({2031, 11, 9}, {7, 5, 3}));
    EXPECT_TRUE(SameText(Timeless(copied[0] + copied[1]), GoldenText("report-copied.txt")));
    test::PageRecorder paper(60);
    PrintConfigurationReport(session, paper);
    EXPECT_EQ(paper.pages.size(), 2) << "each page on a sheet of its own, closer lines if need be";
    log.LogSensorReport();
    Answer({MessageAnswer::Yes, MessageAnswer::Yes});
    LoadDefaultValues(session);
    view.fileAnswer = dir.filePath("defaults.dat");
    session.dataFile.SaveSensorData();
    EXPECT_TRUE(SameText(test::FileText(view.fileAnswer), GoldenText("defaults.dat")));

    log.AppendLog(QStringLiteral("Setpoint 12 of sensor 7 was not read, so its target is not "
                                 "known: the cylinder was not moved."),
                  1);
    QString expected = GoldenText(QStringLiteral("log.txt"));
    EXPECT_TRUE(SameText(Timeless(log.Text()), expected));

    // Printed, that line breaks before the word that reaches column 74.
    EXPECT_TRUE(SameText(Timeless(PrintLines(log.Text()).join("\r\n") + "\r\n"),
                         expected.replace("known: the", "known: \r\nthe")));
}

// What a read did not get shows no number, in the controls and on paper, and
// no velocity is scaled by a VELOCITY ENABLE that was not read.
TEST_F(GoldenPapersTest, ValuesNotReadShowNoNumberAnywhere) {
    QLocale::setDefault(QLocale::c());
    const auto restore = qScopeGuard([] { QLocale::setDefault(QLocale::system()); });
    AddSensor(1);
    network.faults().lostAnswers = {"D000C", "D000E", "D001F", "D0038", "D0039", "R0000"};
    Answer({MessageAnswer::Ok});
    ListAndRead(1);
    clsSensorData& data = session.sensor;
    EXPECT_EQ(FieldText(data, FieldOfRegister(14)), "(not read)");
    for (const OptionShown& shown : ShowSettings(data, true).options) {
        if (shown.group == OptionGroup::VelocityEnable) { // 0 would select "Drive Limits"
            EXPECT_EQ(shown.index, -1);
            EXPECT_EQ(shown.title, " Velocity Response (not read) ");
        }
    }
    const SetpointCells cells = SetpointRowCells(data, 0);
    EXPECT_EQ((QStringList{cells[0].text, cells[1].text, cells[2].text}),
              (QStringList{"(not read)", "(not read)", "0.10"}));
    // Red says outside the travel limits: not known without the maximum.
    EXPECT_EQ(SetpointRowCells(data, 1)[0].colour, CellColour::Black);
    EXPECT_EQ(session.read.CurrentSensor().setpointHelp, SetpointEditHelp());
    EXPECT_EQ(session.read.Identity().nullZero, "(not read)");
    EXPECT_EQ(SetpointValueText(data, clsSensorData::EditedVelocityColumn, 200),
              "200 (Velocity Enable not read)");
    const PictographView picture = Pictograph(data);
    EXPECT_EQ(picture.labels.at(static_cast<std::size_t>(
                  PictographLabel(PictoQuantity::MaxLimit, picture.mirrored))),
              "Max. Limit\r\n(not read)");
    session.log.SetEnabled(true);
    session.log.Options.sensorData = true;
    session.log.LogSensorReport();
    const auto pages = ConfigurationReport(session, QDateTime({2031, 11, 9}, {7, 5, 3}));
    EXPECT_TRUE(SameText(Timeless(pages[0] + pages[1] + session.log.Text()),
                         GoldenText("report-unread.txt")));
}
