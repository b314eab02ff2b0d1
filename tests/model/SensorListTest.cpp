#include "model/SensorList.h"
#include "model/Errors.h"

#include <gtest/gtest.h>

using namespace kelvar;

namespace {

void AddSensor(clsSensorList& list, std::int16_t port, std::int16_t baud, const QString& serial,
               bool active) {
    list.setPort(port);
    list.setBaudRate(baud);
    list.setAddress(static_cast<std::int16_t>(list.Count() + 5));
    list.setSerial(serial);
    list.setSensorName(QStringLiteral("Sensor ") + serial);
    list.setActive(active);
    list.Add();
}

// The current fields as one text, to compare rows at a glance.
QString Current(const clsSensorList& list) {
    return QStringLiteral("%1 %2 %3 %4 %5 %6")
        .arg(list.Port())
        .arg(list.BaudRate())
        .arg(list.Address())
        .arg(list.Serial(), list.SensorName())
        .arg(list.Active() ? 1 : 0);
}

const QString Placeholder = QStringLiteral("0 0 0 n/a  0");

} // namespace

TEST(SensorList, CursorTextsAndOutOfRangeNumbers) {
    clsSensorList list;
    EXPECT_EQ(Current(list), Placeholder);
    AddSensor(list, 3, 1, "00012345", false);
    AddSensor(list, 4, 2, "00067890", true);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.SensorNumber(), 2);
    EXPECT_EQ(list.FirstActive(), 2);
    EXPECT_EQ(list.ActiveCount(), 1);

    list.setSensorNumber(1);
    EXPECT_EQ(Current(list), "3 1 5 00012345 Sensor 00012345 0");
    // The table changes only through Update.
    list.setSensorName("Left");
    list.setSensorNumber(1);
    EXPECT_EQ(list.SensorName(), "Sensor 00012345");
    list.setSensorName("Left");
    list.Update();
    list.setSensorNumber(2);
    list.setSensorNumber(1);
    EXPECT_EQ(Current(list), "3 1 5 00012345 Left 0");

    list.setSensorNumber(5);
    EXPECT_EQ(list.SensorNumber(), 0);
    EXPECT_EQ(Current(list), Placeholder);
    // Row 0 counts for ActiveCount, never for FirstActive.
    list.setActive(true);
    list.Update();
    EXPECT_EQ(list.ActiveCount(), 2);
    EXPECT_EQ(list.FirstActive(), 2);

    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.ActiveCount(), 0);
    EXPECT_EQ(Current(list), Placeholder);
    EXPECT_EQ(list.SensorText(-1), "#0 -(n/a) ");
    for (const auto& [code, text] : {std::pair{2, "38.4"}, {7, "115.2"}, {-1, "115.2"}}) {
        AddSensor(list, 3, static_cast<std::int16_t>(code), "00012345", true);
        EXPECT_EQ(list.PortText(list.Count()), QStringLiteral("Comm 3 @ %1K").arg(text)) << code;
    }
    EXPECT_EQ(list.SensorText(2), "#2 -(00012345) ");
    list.setSensorNumber(1);
    EXPECT_EQ(list.PortText(-1), "Comm 3 @ 38.4K");
    EXPECT_EQ(list.SensorText(-1), "#1 -(00012345) ");

    EXPECT_THROW(list.setSensorNumber(-1), SubscriptOutOfRange);
    EXPECT_THROW(list.PortText(4), SubscriptOutOfRange);
    EXPECT_THROW(list.SensorText(-5), SubscriptOutOfRange);
    EXPECT_EQ(list.SensorNumber(), 1);
    EXPECT_EQ(Current(list), "3 2 5 00012345 Sensor 00012345 1");
}
