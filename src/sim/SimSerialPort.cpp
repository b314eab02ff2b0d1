#include "sim/SimSerialPort.h"

#include <algorithm>

namespace kelvar::sim {

SimSerialPort::SimSerialPort(QObject* parent) : cSerialPort(parent) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &SimSerialPort::Deliver);
    clock_.start();
}

SimSerialPort::SimSerialPort(SimNetwork& network, const QStringList& deviceNames, QObject* parent)
    : SimSerialPort(parent) {
    for (const QString& name : deviceNames) {
        addDevice(name, &network);
    }
}

void SimSerialPort::addDevice(const QString& name, SimNetwork* network) {
    devices_.insert(name, Device{network});
}

cSerialPort::Maker SimSerialPort::maker() const {
    return [devices = devices_, driver = lineDriver()] {
        auto port = std::make_unique<SimSerialPort>();
        port->devices_ = devices;
        port->setLineDriver(driver);
        return std::unique_ptr<cSerialPort>(std::move(port));
    };
}

bool SimSerialPort::open(const QString& device, qint32 baud) {
    close();
    setFailure(OpenFailure::None, {});
    device_ = device;
    const auto found = devices_.constFind(device);
    if (found == devices_.cend() || !found->present) {
        setFailure(OpenFailure::NotFound, QStringLiteral("%1 does not exist").arg(device));
        return false;
    }
    if (found->busy) {
        setFailure(OpenFailure::Busy, QStringLiteral("%1 is held by another program").arg(device));
        return false;
    }
    if (baud <= 0) {
        setFailure(OpenFailure::BadSettings,
                   QStringLiteral("%1 refuses %2 baud, 8N1").arg(device).arg(baud));
        return false;
    }
    network_ = found->network;
    baud_ = baud;
    open_ = true;
    ++session_;
    if (network_ != nullptr) {
        network_->resetLine();
    }
    return true;
}

void SimSerialPort::close() {
    open_ = false;
    pending_.clear();
    timer_.stop();
    input_.clear();
}

bool SimSerialPort::write(const QByteArray& bytes) {
    if (!open_) {
        return false;
    }
    if (network_ == nullptr) {
        return true;
    }
    const qint64 before = network_->requestCount();
    const std::vector<SimReply> replies = network_->receive(bytes, baud_, network_->elapsedMs());
    requestCount_ += network_->requestCount() - before;
    if (const qint64 after = network_->faults().unplugAfter;
        after >= 0 && network_->requestCount() >= after) {
        SimulateRemoval(device_);
        return true;
    }
    const qint64 now = clock_.nsecsElapsed();
    for (const SimReply& reply : replies) {
        const qint64 due = now + qint64{reply.delayMs} * 1'000'000;
        // After every reply due no later, so that equal delays keep their order.
        const auto at = std::upper_bound(pending_.begin(), pending_.end(), due,
                                         [](qint64 t, const Pending& p) { return t < p.dueNs; });
        pending_.insert(at, Pending{due, reply});
    }
    ArmTimer();
    return true;
}

QByteArray SimSerialPort::readPending() {
    return std::exchange(input_, {});
}

void SimSerialPort::ArmTimer() {
    if (pending_.empty()) {
        timer_.stop();
        return;
    }
    const qint64 waitNs = pending_.front().dueNs - clock_.nsecsElapsed();
    // Rounded up: the timer must not deliver before the reply is due.
    timer_.start(static_cast<int>(std::max<qint64>(0, (waitNs + 999'999) / 1'000'000)));
}

void SimSerialPort::Deliver() {
    if (pending_.empty() || pending_.front().dueNs > clock_.nsecsElapsed()) {
        ArmTimer();
        return;
    }
    const SimReply reply = std::move(pending_.front().reply);
    pending_.pop_front();
    // One at a time, the next one armed first: the receiver may wait for it
    // inside its handler.
    ArmTimer();
    if (reply.lineError) {
        emit portEvent(*reply.lineError);
    } else {
        input_ += reply.bytes;
        emit portEvent(PortEvent::DataReceived);
    }
}

void SimSerialPort::SimulateRemoval(const QString& device) {
    const QString name = device.isEmpty() ? (open_ ? device_ : QString()) : device;
    const auto found = devices_.find(name);
    if (found == devices_.end()) {
        return;
    }
    found->present = false;
    if (open_ && name == device_) {
        close();
        QMetaObject::invokeMethod(
            this,
            [this, session = session_] {
                if (!open_ && session == session_) {
                    emit portEvent(PortEvent::DeviceRemoved);
                }
            },
            Qt::QueuedConnection);
    }
}

void SimSerialPort::SimulateReinsertion(const QString& device) {
    for (auto it = devices_.begin(); it != devices_.end(); ++it) {
        if (device.isEmpty() || it.key() == device) {
            it->present = true;
        }
    }
}

void SimSerialPort::SimulateBusy(const QString& device, bool busy) {
    if (const auto found = devices_.find(device); found != devices_.end()) {
        found->busy = busy;
    }
}

} // namespace kelvar::sim
