#include "model/SensorData.h"
#include "model/Errors.h"
#include "model/Text.h"
#include "operations/FactoryReset.h"
#include "support/ScriptedPrompter.h"

#include <QLocale>
#include <functional>
#include <gtest/gtest.h>

using namespace kelvar;
using Data = clsSensorData;

namespace {

const QLocale English(QLocale::English, QLocale::UnitedStates);
const QLocale German(QLocale::German, QLocale::Germany);

// Display texts follow the default locale; pin it so that results do not
// depend on the machine running the tests.
class SensorDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        QLocale::setDefault(English);
        InitParameterTable(data);
    }
    void TearDown() override { QLocale::setDefault(saved); }

    // A parameter as read from the sensor: both copies equal.
    void Read(int row, std::int32_t value) {
        data.WriteParameterData(row, Data::SensorDataColumn, value);
        data.WriteParameterData(row, Data::ChangedDataColumn, value);
    }
    std::int32_t Edited(int row) const {
        return data.ReadParameterData(row, Data::ChangedDataColumn);
    }

    QLocale saved;
    clsSensorData data;
};

void ExpectOutOfRange(long long index, const std::function<void()>& call) {
    try {
        call();
        ADD_FAILURE() << "no error for index " << index;
    } catch (const SubscriptOutOfRange& e) {
        EXPECT_EQ(e.index(), index);
    }
}

} // namespace

TEST_F(SensorDataTest, TextFormsAndLengths) {
    data.setParameter(13); // unused row: Max 0, so forms 4 and 5 are plain
    data.setSensorData(1234567);
    data.setChangedData(-1500);
    const std::tuple<std::int32_t, const char*, const char*> forms[] = {
        // format, at resolution 0.001, at 0.0005
        {0, "1234567", "1234567"}, {1, "1,234.567", "617.2835"}, {2, "-1500", "-1500"},
        {3, "-1.500", "-0.7500"},  {4, "-1500", "-1500"},        {5, "1234567", "1234567"},
        {6, "1234567", "1234567"}, {-1, "1234567", "1234567"},
    };
    for (const auto& [format, fine, finer] : forms) {
        data.setResolution(0.001f);
        EXPECT_EQ(data.Text(format), fine) << format;
        data.setResolution(0.0005f);
        EXPECT_EQ(data.Text(format), finer) << format;
    }
    EXPECT_EQ(FormatLength(1.5, false, data), "1.5000");
    // As many decimals as the resolution has, three at least.
    const std::pair<float, int> decimals[] = {{0.001f, 3},  {0.002f, 3},  {0.01f, 3},
                                              {0.0005f, 4}, {0.0001f, 4}, {0.00005f, 5}};
    for (const auto& [resolution, count] : decimals) {
        EXPECT_EQ(LengthDecimals(resolution), count) << resolution;
    }
    // The product is single precision (in double it would give 16,777.218).
    data.setResolution(0.001f);
    data.setSensorData(16777217);
    EXPECT_EQ(data.Text(1), "16,777.217");

    data.setResolution(0.02f);
    data.setUnits(" MM ");
    EXPECT_EQ(FormatLength(1234567.0, true, data), "1,234,567.000 mm");

    data.setParameter(14); // Max 255
    data.setChangedData(128);
    data.setSensorData(255);
    EXPECT_EQ(data.Text(4), "50.2");
    EXPECT_EQ(data.Text(5), "100.0");
}

TEST_F(SensorDataTest, GermanLocaleChangesOnlySeparators) {
    QLocale::setDefault(German);
    data.setParameter(14);
    data.setSensorData(1234567);
    data.setChangedData(128);
    data.WriteSetpointData(1, Data::DwellColumn, 150);
    EXPECT_EQ(data.Text(1), "1.234,567");
    EXPECT_EQ(data.Text(4), "50,2");
    EXPECT_EQ(data.SetpointText(1, Data::DwellColumn), "1,50");
    EXPECT_EQ(FormatLength(1234.5, true, data), "1.234,500 in");
}

TEST_F(SensorDataTest, ChangeTestsAndTheLoadedGuard) {
    data.setParameter(2);
    data.setSensorData(7);
    data.setDataIsLoaded(true);
    data.setSensorData(8);
    EXPECT_EQ(data.SensorData(), 7);
    EXPECT_TRUE(data.DataHasChanged());
    EXPECT_TRUE(data.SensorDataChanged());
    EXPECT_FALSE(data.CyclePowerFlag());
    data.WriteParameterData(2, Data::SensorDataColumn, 500);
    EXPECT_FALSE(data.TestForChangedData());

    data.WriteParameterData(56, Data::ChangedDataColumn, 2);
    EXPECT_TRUE(data.CyclePowerFlag());
}

TEST_F(SensorDataTest, OutOfRangeIndicesRaiseAndStoreNothing) {
    ExpectOutOfRange(76, [&] { data.WriteParameterData(76, 0, 1); });
    ExpectOutOfRange(6, [&] { data.WriteParameterData(2, 6, 1); });
    ExpectOutOfRange(2, [&] { data.WriteParameterName(2, 2, "x"); });
    ExpectOutOfRange(-1, [&] { data.WriteSetpointData(-1, 3, 1); });
    ExpectOutOfRange(6, [&] { data.WriteSetpointData(3, 6, 1); });
    EXPECT_FALSE(data.SensorDataChanged());
    EXPECT_EQ(data.ReadParameterName(2, 1), "");
}

TEST_F(SensorDataTest, IdentityRecord) {
    struct Case {
        const char* day = "05";
        const char* month = "MAR";
        const char* year = "04";
        const char* serialLow = "123";
        const char* serialHigh = "4";
        const char* resolutionField = "0.0005";
        const char* date = "Mar 5, 2004";
        const char* serial = "00004123";
        float resolution = 0.0005f;
    };
    const Case cases[] = {
        {},
        {.month = "XYZ", .year = "99", .date = "Jan 5, 1999"},
        {.year = "29", .date = "Mar 5, 2029"},
        {.year = "30", .date = "Mar 5, 1930"},
        {.day = "29", .month = "FEB", .date = "Feb 29, 2004"},
        {.day = "29", .month = "FEB", .year = "03", .date = "01/01/01"},
        {.year = "-1", .date = "01/01/01"},
        {.serialLow = "789012", .serialHigh = "123456", .serial = "123456789012"},
        {.serialLow = "001234", .serialHigh = "000056", .serial = "56001234"},
        {.serialLow = "12A456", .serialHigh = "", .serial = "00000012"},
        {.serialLow = "345", .serialHigh = "1 2", .serial = "00012345"},
        {.serialLow = "ABCDEF", .serialHigh = "GHI", .serial = "00000000"},
        {.resolutionField = "0.02", .resolution = 0.02f},
        {.resolutionField = "1E-5", .resolution = 0.00001f},
        {.resolutionField = "0.05", .resolution = 0.001f},
        {.resolutionField = "1E-6", .resolution = 0.001f},
        {.resolutionField = "ABCDEF", .resolution = 0.001f},
        {.resolutionField = "NAN", .resolution = 0.001f},
    };
    for (const Case& c : cases) {
        const QString record = QStringLiteral("Klv-1000%1%2-%3  2.1%4%5%6  %7In")
                                   .arg(c.day, c.month, c.year, QString(11, u' '))
                                   .arg(c.serialLow, 6)
                                   .arg(c.serialHigh, 6)
                                   .arg(c.resolutionField, -6);
        ASSERT_EQ(record.size(), 54);
        data.setInfoBlock(record.toLower());
        const auto where = ::testing::Message() << record.toStdString();
        // Model, version and units: the golden reports.
        EXPECT_EQ(data.InfoBlock(), record.toUpper()) << where;
        EXPECT_EQ(data.FirmwareDate(), c.date) << where;
        EXPECT_EQ(data.SerialNumber(), c.serial) << where;
        EXPECT_EQ(data.Resolution(), c.resolution) << where;
    }

    for (const QString& record : {QString(), QString(53, u'1'), QString(55, u'1')}) {
        data.setInfoBlock(record);
        EXPECT_EQ(data.InfoBlock(), record);
        EXPECT_EQ(data.Model(), "");
        EXPECT_EQ(data.FirmwareDate(), "01/01/01");
        EXPECT_EQ(data.SerialNumber(), "0");
        EXPECT_EQ(data.Resolution(), 0.001f);
        EXPECT_EQ(data.Units(), "in");
    }
}

TEST_F(SensorDataTest, SetpointTable) {
    struct Case {
        std::int32_t column, value;
        std::int16_t velocityMode;
        float resolution;
        const char* text;
    };
    const Case cases[] = {
        {Data::TargetColumn, 12345, 1, 0.001f, "12.345"},
        {Data::EditedTargetColumn, 12345, 1, 0.0005f, "6.1725"},
        {Data::VelocityColumn, 2000, 1, 0.001f, "20.00"},
        {Data::EditedVelocityColumn, 2000, 2, 0.001f, "200.0"},
        {Data::EditedDwellColumn, 150, 0, 0.0005f, "1.50"},
    };
    for (const Case& c : cases) {
        data.WriteSetpointData(7, c.column, c.value);
        data.setVelocityValue(c.velocityMode);
        data.setResolution(c.resolution);
        EXPECT_EQ(data.SetpointText(7, c.column), c.text) << c.column;
    }
    data.ClearSetpoints();
    EXPECT_EQ(data.MaxSetpoints(), 75);
    EXPECT_EQ(data.ReadSetpointData(7, Data::EditedTargetColumn), 0);
    EXPECT_FALSE(data.SensorDataChanged());
}

class FactoryResetTest : public SensorDataTest {
protected:
    void SetUp() override {
        SensorDataTest::SetUp();
        // A sensor as read, with values other than the factory's, and
        // pending edits the reset must discard (33, 55, 57) or keep (65).
        const std::pair<int, std::int32_t> read[] = {{35, 8000}, {55, 7},    {56, 3},  {60, 3},
                                                     {30, 10},   {31, 7900}, {32, 30}, {2, 900},
                                                     {33, 40},   {57, 2000}};
        for (const auto& [row, value] : read) {
            Read(row, value);
        }
        for (const auto& [row, value] : {std::pair{33, 41}, {55, 9}, {57, 2001}, {65, 123}}) {
            data.WriteParameterData(row, Data::ChangedDataColumn, value);
        }
        for (int i = 0; i < Data::Rows; ++i) {
            data.WriteSetpointData(i, Data::EditedTargetColumn, 5);
        }
    }

    // The sensor's own settings stay as read; the travel limits and window
    // are worked out; the rest take the factory value.
    void ExpectParametersReset() {
        const std::pair<int, std::int32_t> expected[] = {
            {55, 7},   {56, 3},    {33, 40}, {57, 2000}, {60, 3}, {35, 8000},
            {30, 250}, {31, 8000}, {32, 60}, {2, 500},   {12, 1}, {65, 123}};
        for (const auto& [row, edited] : expected) {
            EXPECT_EQ(Edited(row), edited) << "row " << row;
        }
        EXPECT_EQ(data.ReadParameterData(2, Data::SensorDataColumn), 900);
    }
};

TEST_F(FactoryResetTest, EachAnswerToEachQuestion) {
    test::ScriptedPrompter declined{MessageAnswer::No};
    EXPECT_EQ(LoadDefaultValues(data, declined), FactoryReset::Declined);
    EXPECT_EQ(Edited(33), 41);
    EXPECT_EQ(Edited(2), 900);
    EXPECT_EQ(declined.asked.size(), 1);

    test::ScriptedPrompter parametersOnly{MessageAnswer::Yes, MessageAnswer::No};
    EXPECT_EQ(LoadDefaultValues(data, parametersOnly), FactoryReset::Parameters);
    ExpectParametersReset();
    EXPECT_EQ(data.ReadSetpointData(0, Data::EditedTargetColumn), 5);
    EXPECT_EQ(parametersOnly.asked.size(), 2);
}

TEST(UnitsTest, AMetricSensorsCaptionsNameItsUnits) {
    for (const auto& [english, metric] :
         {std::pair{"In Position\n (in)", "In Position\n (mm)"},
          std::pair{"Zero Adjust\n (In.)", "Zero Adjust\n (mm)"},
          std::pair{"Fast (0-400.0 in/sec)", "Fast (0-400.0 mm/sec)"},
          std::pair{"0-40in/sec", "0-40mm/sec"}, std::pair{"Drive Limits", "Drive Limits"}}) {
        EXPECT_EQ(CaptionInUnits(QString::fromLatin1(english), QStringLiteral("mm")), metric);
        EXPECT_EQ(CaptionInUnits(QString::fromLatin1(english), QStringLiteral("in")), english);
    }
    EXPECT_EQ(LengthUnit(QStringLiteral("  ")), "mm") << "a metric sensor that names no unit";
}
