// Helpers that stand between the link and the platform: ticks, port names,
// open failures.
#include "link/HiResTimer.h"
#include "link/PortNames.h"
#include "link/QtSerialPort.h"

#include <QFile>
#include <QTemporaryDir>
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
    for (const char* bad : {"0=/dev/x", "17=/dev/x", "x=/dev/x", "=/dev/x", "3=", "3", " 2 = "}) {
        EXPECT_FALSE(names.addMapping(bad).isEmpty()) << bad;
    }
    EXPECT_EQ(names.deviceFor(0), QString());
    EXPECT_EQ(names.deviceFor(17), QString());
}

TEST(PortOpen, FailureReasonsAreToldApart) {
    DeviceNode node;
    const auto missing = DiagnoseOpenFailure("/dev/ttyUSB7", node);
    EXPECT_EQ(missing.failure, OpenFailure::NotFound);
    EXPECT_EQ(missing.text, "/dev/ttyUSB7 does not exist");

    node.exists = true;
    const auto file = DiagnoseOpenFailure("/tmp/x", node);
    EXPECT_EQ(file.failure, OpenFailure::NotFound);
    EXPECT_EQ(file.text, "/tmp/x is not a serial port");

    node.serial = true;
    node.groupReadWrite = true;
    node.groupId = 20;
    node.group = "dialout";
    const auto denied = DiagnoseOpenFailure("/dev/ttyUSB0", node);
    EXPECT_EQ(denied.failure, OpenFailure::NoPermission);
    EXPECT_EQ(denied.text,
              "no permission to use /dev/ttyUSB0: join the group dialout (then log in again)");

    node.accessible = true;
    const auto busy = DiagnoseOpenFailure("/dev/ttyUSB0", node);
    EXPECT_EQ(busy.failure, OpenFailure::Busy);
    EXPECT_EQ(busy.text, "/dev/ttyUSB0 is held by another program");
    node.holder = "kelvar-cli (process 1234)";
    EXPECT_EQ(DiagnoseOpenFailure("/dev/ttyUSB0", node).text,
              "/dev/ttyUSB0 is held by another program: kelvar-cli (process 1234)");
}

TEST(PortOpen, GroupIsNamedOnlyWhenJoiningItWouldGrantAccess) {
    DeviceNode root;
    root.exists = root.serial = root.groupReadWrite = true;
    root.groupId = 0;
    root.group = "root";
    DeviceNode ownerOnly = root;
    ownerOnly.groupReadWrite = false;
    ownerOnly.groupId = 20;
    ownerOnly.group = "dialout";
    for (const DeviceNode& node : {root, ownerOnly}) {
        const auto denied = DiagnoseOpenFailure("/dev/ttyUSB0", node);
        EXPECT_EQ(denied.failure, OpenFailure::NoPermission);
        EXPECT_EQ(denied.text, "no permission to use /dev/ttyUSB0: ask for access to the device");
    }
}

TEST(PortOpen, WhatIsNoSerialPortFailsWithoutEndingTheProgram) {
    cQtSerialPort port;
    EXPECT_FALSE(port.open("/dev/kelvar-no-such-device", 115200));
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.failure(), OpenFailure::NotFound);

    QTemporaryDir dir;
    QFile file(dir.filePath("settings.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    for (const QString& path : {file.fileName(), dir.path()}) {
        EXPECT_FALSE(port.open(path, 115200));
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(port.failure(), OpenFailure::NotFound);
        EXPECT_EQ(port.failureText(), path + " is not a serial port");
    }
}
