#pragma once

#include "link/SerialPort.h"
#include "sim/SimNetwork.h"

#include <QElapsedTimer>
#include <QMap>
#include <QStringList>
#include <QTimer>
#include <deque>

namespace kelvar::sim {

// A serial port inside the process whose devices lead to simulated sensor
// networks. Answers arrive through the event loop after the delay the network
// gives them, never from inside write().
class SimSerialPort : public cSerialPort {
    Q_OBJECT
public:
    explicit SimSerialPort(QObject* parent = nullptr);
    // Every one of the names leads to the same network.
    SimSerialPort(SimNetwork& network, const QStringList& deviceNames, QObject* parent = nullptr);

    // A device that can be opened; without a network nothing ever answers on it.
    void addDevice(const QString& name, SimNetwork* network);

    bool open(const QString& device, qint32 baud) override;
    void close() override;
    bool isOpen() const override { return open_; }
    bool write(const QByteArray& bytes) override;
    QString deviceName() const override { return device_; }
    Maker maker() const override;
    qint32 baud() const { return baud_; }

    // Named failure mode: the device is unplugged. When it is the open one,
    // the answers on their way are lost, the port counts as closed and reports
    // DeviceRemoved through the event loop. Opening it fails (NotFound) until
    // it is reinserted. An empty name means the open device.
    void SimulateRemoval(const QString& device = {});
    // An empty name plugs every removed device back in.
    void SimulateReinsertion(const QString& device = {});
    // Named failure mode: another program holds the device, opening it fails (Busy).
    void SimulateBusy(const QString& device, bool busy);

    // Request packets this port has put on the line.
    qint64 requestCount() const { return requestCount_; }
    // Answers and line errors still on their way.
    int pendingReplies() const { return static_cast<int>(pending_.size()); }

protected:
    QByteArray readPending() override;

private:
    struct Device {
        SimNetwork* network = nullptr;
        bool present = true;
        bool busy = false;
    };
    struct Pending {
        qint64 dueNs;
        SimReply reply;
    };

    void Deliver();
    void ArmTimer();

    QMap<QString, Device> devices_;
    QString device_;
    SimNetwork* network_ = nullptr;
    qint32 baud_ = 0;
    bool open_ = false;
    // Counts the opens, so that news of a removal does not reach a later session.
    unsigned session_ = 0;
    QByteArray input_;
    std::deque<Pending> pending_; // in the order of delivery
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 requestCount_ = 0;
};

} // namespace kelvar::sim
