// Helpers that stand between the link and the platform: port names, open
// failures.
#include "link/PortNames.h"
#include "link/QtSerialPort.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kelvar;

TEST(PortNames, SystemPortOrder) {
    const QStringList found = {"/dev/ttyS10",  "/dev/ttyS2",   "/dev/ttyACM0", "/dev/ttyUSB1",
                               "/dev/ttyAMA0", "/dev/ttyUSB0", "/dev/ttyS0"};
    const QStringList expected = {"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyACM0", "/dev/ttyAMA0",
                                  "/dev/ttyS0",   "/dev/ttyS2",   "/dev/ttyS10"};
    EXPECT_EQ(OrderSystemPorts(found), expected);
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
    const auto expect = [&node](const char* device, OpenFailure failure, const char* text) {
        const auto diagnosis = DiagnoseOpenFailure(device, node);
        EXPECT_EQ(diagnosis.failure, failure) << text;
        EXPECT_EQ(diagnosis.text, text);
    };
    expect("/dev/ttyUSB7", OpenFailure::NotFound, "/dev/ttyUSB7 does not exist");
    node.exists = true;
    expect("/tmp/x", OpenFailure::NotFound, "/tmp/x is not a serial port");
    // The group is named only when joining it would grant access.
    node.serial = node.groupReadWrite = true;
    node.groupId = 0;
    node.group = "root";
    expect("/dev/ttyUSB0", OpenFailure::NoPermission,
           "no permission to use /dev/ttyUSB0: ask for access to the device");
    node.groupId = 20;
    node.group = "dialout";
    expect("/dev/ttyUSB0", OpenFailure::NoPermission,
           "no permission to use /dev/ttyUSB0: join the group dialout (then log in again)");
    node.groupReadWrite = false;
    expect("/dev/ttyUSB0", OpenFailure::NoPermission,
           "no permission to use /dev/ttyUSB0: ask for access to the device");
    node.accessible = true;
    // The holders are named when known: see the port lock's end-to-end test.
    expect("/dev/ttyUSB0", OpenFailure::Busy, "/dev/ttyUSB0 is held by another program");
    node.holders = {{"minicom", 4711}, {"screen", 4712}};
    expect("/dev/ttyUSB0", OpenFailure::Busy,
           "/dev/ttyUSB0 is held by another program: minicom (process 4711), screen (process "
           "4712)");
    // A service that takes serial ports comes with what to do about it, whether it is seen
    // holding the device or only seen running.
    node.holders = {{"ModemManager", 812}};
    node.grabber = "ModemManager";
    expect("/dev/ttyUSB0", OpenFailure::Busy,
           "/dev/ttyUSB0 is held by another program: ModemManager (process 812); ModemManager "
           "takes serial ports: stop it (sudo systemctl stop ModemManager) or disable it (sudo "
           "systemctl disable ModemManager)");
    node.holders.clear();
    node.grabber = "brltty";
    expect("/dev/ttyUSB0", OpenFailure::Busy,
           "/dev/ttyUSB0 is held by another program; brltty is running and takes serial ports: "
           "stop it (sudo systemctl stop brltty) and, when no braille display is used, remove it "
           "(sudo apt remove brltty)");
}

TEST(PortOpen, WhatIsNoSerialPortFailsWithoutEndingTheProgram) {
    cQtSerialPort port;
    EXPECT_FALSE(port.open("/dev/kelvar-no-such-device", 115200));
    EXPECT_EQ(port.failure(), OpenFailure::NotFound);
    QTemporaryDir dir;
    QFile file(dir.filePath("settings.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    for (const QString& path : {file.fileName(), dir.path()}) {
        EXPECT_FALSE(port.open(path, 115200));
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(port.failureText(), path + " is not a serial port");
    }
}
