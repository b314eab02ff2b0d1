// Helpers that stand between the link and the platform: ticks, port names,
// open failures.
#include "link/HiResTimer.h"
#include "link/PortNames.h"
#include "link/QtSerialPort.h"

#include <gtest/gtest.h>

using namespace kelvar;

TEST(Ticks, HiResTimerMeasures) {
    cHiResTimer timer;
    EXPECT_TRUE(timer.HasHiResCounter());
    EXPECT_EQ(timer.ElapsedTime(), 0.0);
    timer.StartTimer();
    timer.StopTimer();
    EXPECT_GE(timer.ElapsedTime(), 0.0);
    EXPECT_LT(timer.ElapsedTime(), 1.0);
}

TEST(PortNames, SystemPortOrder) {
    const QStringList found = {"/dev/ttyS10",  "/dev/ttyS2",   "/dev/ttyACM0", "/dev/ttyUSB1",
                               "/dev/ttyAMA0", "/dev/ttyUSB0", "/dev/ttyS0"};
    const QStringList expected = {"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyACM0", "/dev/ttyAMA0",
                                  "/dev/ttyS0",   "/dev/ttyS2",   "/dev/ttyS10"};
    EXPECT_EQ(OrderSystemPorts(found), expected);
    EXPECT_EQ(OrderSystemPorts(expected), expected);
}

TEST(PortNames, ExplicitMappingWins) {
    cPortNames names;
    EXPECT_EQ(names.addMapping("3=/dev/serial/by-id/usb-FTDI-if00"), QString());
    EXPECT_EQ(names.deviceFor(3), "/dev/serial/by-id/usb-FTDI-if00");
    EXPECT_EQ(names.addMapping("16=/tmp/pty"), QString());
    EXPECT_EQ(names.deviceFor(16), "/tmp/pty");
    for (const char* bad : {"0=/dev/x", "17=/dev/x", "x=/dev/x", "=/dev/x", "3=", "3"}) {
        EXPECT_FALSE(names.addMapping(bad).isEmpty()) << bad;
    }
    EXPECT_EQ(names.deviceFor(0), QString());
    EXPECT_EQ(names.deviceFor(17), QString());
}

TEST(PortOpen, FailureReasonsAreToldApart) {
    const auto missing = DiagnoseOpenFailure("/dev/ttyUSB7", false, false, {});
    EXPECT_EQ(missing.failure, OpenFailure::NotFound);
    EXPECT_TRUE(missing.text.contains("does not exist"));

    const auto denied = DiagnoseOpenFailure("/dev/ttyUSB0", true, false, "dialout");
    EXPECT_EQ(denied.failure, OpenFailure::NoPermission);
    EXPECT_TRUE(denied.text.contains("dialout"));

    const auto busy = DiagnoseOpenFailure("/dev/ttyUSB0", true, true, "dialout");
    EXPECT_EQ(busy.failure, OpenFailure::Busy);
    EXPECT_TRUE(busy.text.contains("held by another program"));
}

TEST(PortOpen, MissingDeviceFailsWithoutEndingTheProgram) {
    cQtSerialPort port;
    EXPECT_FALSE(port.open("/dev/kelvar-no-such-device", 115200));
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.failure(), OpenFailure::NotFound);
}
