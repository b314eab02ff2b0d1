#include "sim/SimSerialPort.h"
#include "sim/SimWire.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kelvar;
using namespace kelvar::sim;

namespace {

class SimSerialPortTest : public ::testing::Test {
protected:
    SimSerialPortTest() {
        network.addSensor(SensorConfig{});
        QObject::connect(&port, &cSerialPort::portEvent, [this](PortEvent event) {
            events.push_back(event);
            if (event == PortEvent::DataReceived) {
                received += port.readAll();
            }
        });
    }

    // Runs the event loop until `done` holds. The bound only keeps a broken
    // build from hanging; nothing here measures time.
    template <class Done> bool RunUntil(Done done) {
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, [&] {
            if (done()) {
                loop.quit();
            }
        });
        check.start(1);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        if (!done()) {
            loop.exec();
        }
        return done();
    }

    // Lets every event already queued, and zero-delay timers, run.
    static void Settle() {
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::processEvents();
        }
    }

    SimNetwork network;
    SimSerialPort port{network, {QStringLiteral("sim0"), QStringLiteral("sim1")}};
    std::vector<PortEvent> events;
    QByteArray received;
};

} // namespace

TEST_F(SimSerialPortTest, OpensOnlyItsOwnDevices) {
    EXPECT_FALSE(port.open(QStringLiteral("/dev/ttyUSB7"), 115200));
    EXPECT_EQ(port.failure(), OpenFailure::NotFound);
    EXPECT_TRUE(port.failureText().contains("/dev/ttyUSB7"));
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(port.write(wire::Frame(wire::Stx, "aA")));

    port.SimulateBusy(QStringLiteral("sim1"), true);
    EXPECT_FALSE(port.open(QStringLiteral("sim1"), 115200));
    EXPECT_EQ(port.failure(), OpenFailure::Busy);

    ASSERT_TRUE(port.open(QStringLiteral("sim0"), 115200));
    EXPECT_EQ(port.failure(), OpenFailure::None);
    EXPECT_EQ(port.deviceName(), "sim0");
}

TEST_F(SimSerialPortTest, AnswersArriveThroughTheEventLoopOnly) {
    ASSERT_TRUE(port.open(QStringLiteral("sim0"), 115200));
    ASSERT_TRUE(port.write(wire::Frame(wire::Stx, "aA") + wire::Frame(wire::Stx, "aB")));
    EXPECT_TRUE(events.empty()) << "nothing from inside write()";
    EXPECT_TRUE(port.readAll().isEmpty());
    EXPECT_EQ(port.pendingReplies(), 2);
    EXPECT_EQ(port.requestCount(), 2);

    ASSERT_TRUE(RunUntil([&] { return received.count(wire::Etx) == 2; }));
    EXPECT_TRUE(received.startsWith("\x01"
                                    "aAD7000099C4"
                                    "\x03"))
        << "in the order asked";
    EXPECT_EQ(received.mid(14, 3), "\x01"
                                   "aB");
    EXPECT_EQ(port.pendingReplies(), 0);
}

TEST_F(SimSerialPortTest, LineErrorIsAnEventNotData) {
    network.faults().lineError = 1;
    ASSERT_TRUE(port.open(QStringLiteral("sim0"), 115200));
    port.write(wire::Frame(wire::Stx, "aA"));
    ASSERT_TRUE(RunUntil([&] { return !received.isEmpty(); }));
    ASSERT_EQ(events.size(), 2U);
    EXPECT_TRUE(events[0] == PortEvent::ParityError || events[0] == PortEvent::FramingError);
    EXPECT_EQ(events[1], PortEvent::DataReceived);
    EXPECT_EQ(received.front(), wire::Soh) << "the noise byte stays on the pseudo-terminal side";
}

TEST_F(SimSerialPortTest, ClosingLosesTheAnswersOnTheirWay) {
    ASSERT_TRUE(port.open(QStringLiteral("sim0"), 115200));
    port.write(wire::Frame(wire::Stx, "aA"));
    port.close();
    Settle();
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(port.write(wire::Frame(wire::Stx, "aA")));
}

TEST_F(SimSerialPortTest, RemovalClosesThePortAndReportsOnce) {
    ASSERT_TRUE(port.open(QStringLiteral("sim0"), 115200));
    port.write(wire::Frame(wire::Stx, "aA"));
    port.SimulateRemoval();
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(events.empty()) << "reported through the event loop";
    ASSERT_TRUE(RunUntil([&] { return !events.empty(); }));
    Settle();
    EXPECT_EQ(events, std::vector<PortEvent>{PortEvent::DeviceRemoved}) << "the answer was lost";

    EXPECT_FALSE(port.open(QStringLiteral("sim0"), 115200));
    EXPECT_EQ(port.failure(), OpenFailure::NotFound);
    EXPECT_TRUE(port.open(QStringLiteral("sim1"), 115200)) << "other devices stay";

    port.SimulateReinsertion();
    ASSERT_TRUE(port.open(QStringLiteral("sim0"), 115200));
    port.write(wire::Frame(wire::Stx, "aA"));
    ASSERT_TRUE(RunUntil([&] { return !received.isEmpty(); }));
}

TEST_F(SimSerialPortTest, RemovalNewsDoesNotReachALaterSession) {
    ASSERT_TRUE(port.open(QStringLiteral("sim0"), 115200));
    port.SimulateRemoval();
    ASSERT_TRUE(port.open(QStringLiteral("sim1"), 115200));
    Settle();
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(port.isOpen());
}
