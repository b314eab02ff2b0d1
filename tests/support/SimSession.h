#pragma once

#include "model/Parameters.h"
#include "operations/Session.h"
#include "sim/SimSerialPort.h"
#include "support/SimTraffic.h"
#include "support/TestView.h"

#include <functional>
#include <gtest/gtest.h>

namespace kelvar::test {

// A session on the in-process simulated network behind Comm 1, its window a
// TestView.
class SimSessionTest : public ::testing::Test {
protected:
    SimSessionTest() : port(network, {"comm1"}), session(port, view) {
        view.session = &session;
        session.link.PortNames.setDevice(1, "comm1");
        InitParameterTable(session.sensor);
    }

    // A sensor on the network resting at `counts`; its serial number is 10000000 + address.
    sim::SimSensor& AddSensor(int address, qint32 baud = 115200, int counts = 0) {
        sim::SensorConfig config = SensorAt(address, baud);
        config.serialNumber = QByteArray::number(10000000 + address);
        config.startCounts = counts;
        return network.addSensor(config);
    }

    // A sensor in the session's list, on Comm 1 at speed option `speed`; its
    // serial number is AddSensor's unless given.
    void AddListedSensor(int address, bool active = true, int speed = 0, QString serial = {}) {
        auto& sensors = session.sensors;
        sensors.setPort(1);
        sensors.setBaudRate(static_cast<std::int16_t>(speed));
        sensors.setAddress(static_cast<std::int16_t>(address));
        sensors.setSerial(serial.isEmpty() ? QString::number(10000000 + address) : serial);
        sensors.setActive(active);
        sensors.Add();
    }

    // Lists the sensor at `address` and reads it as the list's first; the
    // requests from `from` on are the test's.
    void ListAndRead(int address) {
        AddListedSensor(address);
        session.read.LoadSensor(1);
        session.monitor.Stop();
        from = network.log().size();
    }

    // The command texts since log entry `from`; with an address, only those to it.
    QList<QByteArray> Requests(std::size_t from = 0, int address = 0) const {
        return CommandTexts(network, from, address);
    }

    // The requests since log entry `from` whose command letter is one of `letters`.
    QList<QByteArray> Sent(std::size_t from, const QByteArray& letters) const {
        QList<QByteArray> sent = Requests(from);
        sent.removeIf([&letters](const QByteArray& r) { return !letters.contains(r.front()); });
        return sent;
    }

    void Ticks(int count) {
        for (int i = 0; i < count; ++i) {
            session.monitor.Tick();
        }
    }

    // The answers to the questions to come, in order.
    void Answer(std::initializer_list<MessageAnswer> answers) {
        for (const MessageAnswer answer : answers) {
            view.prompter.Script(answer);
        }
    }

    // Runs `action` with the status bar's message each time it changes.
    void OnMessage(std::function<void(const QString& message)> action) {
        QObject::connect(
            &session.statusBar, &cStatusBar::changed,
            [this, action = std::move(action)] { action(session.statusBar.Panel(1)); });
    }

    // The network drops every request while the status bar shows `message`.
    void DropWhile(const QString& message) {
        OnMessage([this, message](const QString& shown) {
            network.faults().drop = shown == message ? 1.0 : 0.0;
        });
    }

    sim::SimNetwork network;
    sim::SimSerialPort port;
    TestView view;
    cSession session;
    std::size_t from = 0;
};

} // namespace kelvar::test
