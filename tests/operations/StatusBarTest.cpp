#include "operations/StatusBar.h"
#include "link/SensorLink.h"
#include "model/Errors.h"
#include "model/SensorList.h"
#include "sim/SimSerialPort.h"

#include <gtest/gtest.h>

using namespace kelvar;

TEST(StatusBar, ProgressClampsAndEndsWithTheSensorTextsInProperCase) {
    sim::SimSerialPort port;
    cSensorLink link(port);
    clsSensorList sensors;
    cStatusBar bar(link, sensors);
    bar.StartProgress(0, 26, QStringLiteral("Searching"));
    EXPECT_TRUE(bar.ProgressVisible());
    EXPECT_EQ(bar.Panel(1), "Searching");
    EXPECT_EQ(bar.SetProgress(30), 26);
    EXPECT_EQ(bar.SetProgress(-4), 0);
    EXPECT_EQ(bar.SetProgress(7), 7);
    bar.EndProgress(QStringLiteral("Ready"));
    EXPECT_FALSE(bar.ProgressVisible());
    EXPECT_EQ(bar.Panel(2), "No Sensor");
    EXPECT_EQ(bar.Panel(3), "Comm 1 @ 115.2K");

    sensors.setSerial(QStringLiteral("00012345"));
    sensors.Add();
    bar.EndProgress(QStringLiteral("Done"));
    EXPECT_EQ(bar.Panel(1), "Done");
    EXPECT_EQ(bar.Panel(2), "Sensor #1 -(00012345) ");
    EXPECT_THROW((void)bar.Panel(5), SubscriptOutOfRange);

    bar.SetStatusTexts(QStringLiteral("READY now"), QStringLiteral("no sensor"));
    EXPECT_EQ(bar.Panel(1), "Ready Now");
    EXPECT_EQ(bar.Panel(2), "No Sensor");
}
