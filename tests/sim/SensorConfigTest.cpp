#include "sim/SensorConfig.h"

#include <gtest/gtest.h>

using namespace kelvar::sim;

TEST(SensorSpec, AddressAloneTakesTheDefaults) {
    const auto parsed = ParseSensorText(u"7");
    ASSERT_TRUE(parsed.ok()) << parsed.error.toStdString();
    EXPECT_EQ(parsed.config.address, 7);
    EXPECT_EQ(parsed.config.baud, 115200);
    EXPECT_EQ(parsed.config.serialNumber, "10000007") << "differs from sensor to sensor";
    EXPECT_EQ(parsed.config.units, "in");
}

TEST(SensorSpec, EverySetting) {
    const auto parsed = ParseSensorText(u" 26:19200, serial=123456789012,length=30000,res=0.0005,"
                                        u"units=MM,model=XY 9,version=1.2,date=31dec99 ");
    ASSERT_TRUE(parsed.ok()) << parsed.error.toStdString();
    const SensorConfig& config = parsed.config;
    EXPECT_EQ(config.address, 26);
    EXPECT_EQ(config.baud, 19200);
    EXPECT_EQ(config.serialNumber, "123456789012");
    EXPECT_EQ(config.lengthCounts, 30000);
    EXPECT_EQ(config.resolution, "0.0005");
    EXPECT_DOUBLE_EQ(config.resolutionValue(), 0.0005);
    EXPECT_EQ(config.units, "mm");
    EXPECT_EQ(config.model, "XY 9");
    EXPECT_EQ(config.version, "1.2");
    EXPECT_EQ(config.firmwareDay, 31);
    EXPECT_EQ(config.firmwareMonth, "DEC");
    EXPECT_EQ(config.firmwareYear, 99);
}

TEST(SensorSpec, BadValuesAreRefusedWithTheirReason) {
    const std::pair<const char16_t*, const char*> cases[] = {
        {u"", "address"},
        {u"0", "address"},
        {u"27", "address"},
        {u"1:9600", "baud"},
        {u"1:115200:2", "ADDRESS:BAUD"},
        {u"1,serial=12a4", "serial"},
        {u"1,serial=1234567890123", "serial"},
        {u"1,length=0", "length"},
        {u"1,length=65536", "length"},
        {u"1,res=0.05", "resolution"},
        {u"1,res=1e-3", "resolution"},
        {u"1,units=ft", "units"},
        {u"1,model=NINECHARS", "model"},
        {u"1,version=1.23", "version"},
        {u"1,date=32JAN04", "date"},
        {u"1,date=05XYZ04", "date"},
        {u"1,colour=red", "unknown setting"},
        {u"1,serial", "key=value"},
        {u"1,serial=1,serial=2", "twice"},
    };
    for (const auto& [text, reason] : cases) {
        const auto parsed = ParseSensorText(QStringView(text));
        EXPECT_FALSE(parsed.ok()) << QString::fromUtf16(text).toStdString();
        EXPECT_TRUE(parsed.error.contains(QLatin1String(reason)))
            << QString::fromUtf16(text).toStdString() << ": " << parsed.error.toStdString();
    }
}

TEST(SensorConfig, IdentityRecordLayout) {
    SensorConfig config;
    config.model = "XY";
    config.firmwareDay = 5;
    config.firmwareMonth = "MAR";
    config.firmwareYear = 4;
    config.version = "2.4";
    config.serialNumber = "56001234";
    config.resolution = "0.001";
    config.units = "mm";
    const QByteArray record = config.identityRecord();
    ASSERT_EQ(record.size(), IdentityRecordLength);
    EXPECT_EQ(record.mid(0, 8), "XY      ");
    EXPECT_EQ(record.mid(8, 2), "05");
    EXPECT_EQ(record.mid(10, 3), "MAR");
    EXPECT_EQ(record.mid(14, 2), "04");
    EXPECT_EQ(record.mid(18, 3), "2.4");
    // Low-order half first, so that the reader's high + low gives the number back.
    EXPECT_EQ(record.mid(32, 6), "001234");
    EXPECT_EQ(record.mid(38, 6), "000056");
    EXPECT_EQ(record.mid(46, 6).toDouble(), 0.001);
    EXPECT_EQ(record.mid(52, 2), "mm");

    config.serialNumber = "987654321098";
    EXPECT_EQ(config.identityRecord().mid(38, 6) + config.identityRecord().mid(32, 6),
              "987654321098");
}
