// The simulator answers only what a sensor would answer, and only as a port
// would deliver it: a laxer simulator would let a faulty request or a
// re-entrant wait in the program pass its tests.
#include "sim/SimNetwork.h"
#include "sim/SimSensor.h"
#include "sim/SimSerialPort.h"
#include "sim/SimWire.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace kelvar;
using namespace kelvar::sim;

TEST(SimStrictness, MalformedOrUnknownCommandsGetNoAnswer) {
    SimSensor sensor{SensorConfig{}};
    for (const char* command : {"", "A1", "D00C", "D000c", "D0000F", "G000A", "L021FFF",
                                "L021FFFEE", "L04C0001", "Q20300640", "Q303000A", "Q23C0001",
                                "R2003F", "R3000", "R003C", "E", "Z", "#A", "D004C"}) {
        EXPECT_FALSE(sensor.Respond(command, 0)) << command;
    }
}

TEST(SimStrictness, BadPacketsGetNoAnswer) {
    SimNetwork network;
    network.addSensor(SensorConfig{});
    QByteArray badCrc = wire::Frame(wire::Stx, "aA");
    badCrc[4] = badCrc[4] == '0' ? '1' : '0';
    for (const QByteArray& packet :
         {badCrc, wire::Frame(wire::Soh, "aA"), wire::Frame(wire::Stx, "#A"), QByteArray("\2a12\3"),
          QByteArray(1, wire::Stx) + QByteArray(40, 'a') + wire::Etx,
          wire::Frame(wire::Stx, "aZ")}) {
        EXPECT_TRUE(network.receive(packet, 115200, 0).empty()) << packet.toStdString();
    }
    // The packet begun at another speed is lost.
    const QByteArray packet = wire::Frame(wire::Stx, "aA");
    network.receive(packet.left(3), 57600, 0);
    EXPECT_TRUE(network.receive(packet.mid(3), 115200, 0).empty());
    EXPECT_EQ(network.receive(packet, 115200, 0).size(), 1U);
}

TEST(SimStrictness, AnswersArriveThroughTheEventLoopOnly) {
    SimNetwork network;
    network.addSensor(SensorConfig{});
    SimSerialPort port{network, {QStringLiteral("sim0")}};
    int events = 0;
    QObject::connect(&port, &cSerialPort::portEvent, [&events] { ++events; });
    ASSERT_TRUE(port.open(QStringLiteral("sim0"), 115200));
    ASSERT_TRUE(port.write(wire::Frame(wire::Stx, "aA")));
    EXPECT_EQ(events, 0) << "nothing from inside write()";
    EXPECT_TRUE(port.readAll().isEmpty());
    for (int i = 0; i < 1000 && events == 0; ++i) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    EXPECT_TRUE(port.readAll().startsWith("\1aA"));
}
