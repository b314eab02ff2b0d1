#include "sim/SimNetwork.h"

#include "model/Errors.h"
#include "model/Text.h"
#include "sim/SimWire.h"

#include <QStringList>
#include <algorithm>
#include <iterator>
#include <stdexcept>

namespace kelvar::sim {

QString SimLogEntry::text() const {
    // One pass: the request may hold '%' characters of its own.
    QString line =
        QStringLiteral("%1 ms %2 @%3 %4")
            .arg(QString::number(timeMs), PrintableBytes(request), QString::number(baud), outcome);
    if (!answer.isEmpty()) {
        line += QStringLiteral(" -> ") + PrintableBytes(answer);
    }
    return line;
}

SimNetwork::SimNetwork(std::uint32_t seed) : random_(seed) {
    clock_.start();
}

SimSensor& SimNetwork::addSensor(const SensorConfig& config) {
    for (const auto& other : sensors_) {
        if (other->address() == config.address && other->baud() == config.baud) {
            throw std::invalid_argument(QStringLiteral("two sensors at address %1, %2 baud")
                                            .arg(config.address)
                                            .arg(config.baud)
                                            .toStdString());
        }
    }
    sensors_.push_back(std::make_unique<SimSensor>(config));
    return *sensors_.back();
}

SimSensor& SimNetwork::sensor(int number) {
    if (number < 0 || number >= sensorCount()) {
        throw SubscriptOutOfRange("sensor", number, 0, sensorCount() - 1);
    }
    return *sensors_[static_cast<std::size_t>(number)];
}

std::vector<SimLogEntry> SimNetwork::takeLog() {
    std::vector<SimLogEntry> entries(std::make_move_iterator(log_.begin()),
                                     std::make_move_iterator(log_.end()));
    log_.clear();
    return entries;
}

void SimNetwork::resetLine() {
    packet_.clear();
    inPacket_ = false;
    overlong_ = false;
}

std::vector<SimReply> SimNetwork::receive(QByteArrayView bytes, qint32 baud, qint64 nowMs) {
    std::vector<SimReply> replies;
    // A packet begun at another speed arrives as noise at this one.
    if (baud != packetBaud_) {
        resetLine();
        packetBaud_ = baud;
    }
    for (const char c : bytes) {
        if (c == wire::Stx) {
            resetLine();
            inPacket_ = true;
        } else if (!inPacket_) {
            continue;
        } else if (c == wire::Etx) {
            HandlePacket(baud, nowMs, replies);
            resetLine();
        } else if (packet_.size() < MaxRequestChars) {
            packet_ += c;
        } else {
            overlong_ = true;
        }
    }
    return replies;
}

void SimNetwork::HandlePacket(qint32 baud, qint64 nowMs, std::vector<SimReply>& replies) {
    ++requestCount_;
    SimLogEntry entry{nowMs, packet_, baud, {}, {}};
    if (faults_.echo) {
        replies.push_back({wire::Stx + packet_ + wire::Etx, 0, std::nullopt});
    }
    std::optional<QByteArray> answer;
    if (faults_.silentAfter >= 0 && requestCount_ > faults_.silentAfter) {
        entry.outcome = QStringLiteral("no answer: the line is silent (fault)");
    } else {
        entry.outcome = Route(baud, answer, nowMs);
    }
    if (answer) {
        ApplyFaults(*answer, entry, replies);
    }
    log_.push_back(std::move(entry));
    if (log_.size() > MaxLoggedRequests) {
        log_.pop_front();
    }
}

QString SimNetwork::Route(qint32 baud, std::optional<QByteArray>& answer, qint64 nowMs) {
    if (overlong_) {
        return QStringLiteral("no answer: packet too long");
    }
    // The smallest packet: '#' or an address letter, then four CRC digits.
    if (packet_.size() < 1 + wire::CrcDigits) {
        return QStringLiteral("no answer: packet too short");
    }
    if (!wire::CrcMatches(wire::Stx, packet_)) {
        return QStringLiteral("no answer: bad CRC");
    }
    const QByteArrayView covered = QByteArrayView(packet_).chopped(wire::CrcDigits);
    if (covered.front() == '#') {
        return QStringLiteral("no answer: unaddressed request");
    }
    std::vector<SimSensor*> listening;
    for (const auto& sensor : sensors_) {
        if (wire::AddressLetter(sensor->address()) == covered.front() && sensor->baud() == baud) {
            listening.push_back(sensor.get());
        }
    }
    if (listening.empty()) {
        return QStringLiteral("no answer: no sensor at this address and speed");
    }
    if (listening.size() > 1) {
        return QStringLiteral("no answer: %1 sensors share this address and speed")
            .arg(listening.size());
    }
    const QByteArrayView command = covered.sliced(1);
    const auto listed = [command](const std::vector<QByteArray>& starts) {
        return std::any_of(starts.begin(), starts.end(), [command](const QByteArray& start) {
            return command.startsWith(start);
        });
    };
    if (listed(faults_.lostRequests)) {
        return QStringLiteral("no answer: request lost (fault)");
    }
    answer = listening.front()->Respond(command, nowMs);
    if (!answer) {
        return QStringLiteral("no answer: command not taken");
    }
    if (listed(faults_.lostAnswers)) {
        answer.reset();
        return QStringLiteral("no answer: answer lost (fault)");
    }
    return QStringLiteral("answered");
}

bool SimNetwork::Chance(double probability) {
    // Compared on the raw draw so that a seed gives the same faults with
    // every standard library.
    return static_cast<double>(random_()) < probability * 4294967296.0;
}

void SimNetwork::ApplyFaults(QByteArray answer, SimLogEntry& entry,
                             std::vector<SimReply>& replies) {
    // Every answer costs the same five draws, so the faults of one answer do
    // not shift those of the next.
    const bool drop = Chance(faults_.drop);
    const bool corrupt = Chance(faults_.corrupt);
    const bool junk = Chance(faults_.junk);
    const bool late = Chance(faults_.late);
    const bool lineError = Chance(faults_.lineError);
    // Drawn only when asked for, so that runs without it keep their faults.
    const bool repeat = faults_.repeat > 0 && Chance(faults_.repeat);
    if (drop) {
        entry.outcome = QStringLiteral("no answer: dropped (fault)");
        return;
    }
    QStringList applied;
    if (corrupt) {
        const qsizetype at = answer.size() - 1 - wire::CrcDigits;
        const std::uint32_t wrong = wire::Crc(answer.first(at)) ^ (1 + random_() % 0xFFFF);
        answer.replace(at, wire::CrcDigits, wire::Hex(wrong, wire::CrcDigits));
        applied << QStringLiteral("corrupt CRC");
    }
    entry.answer = answer.mid(1, answer.size() - 2);
    if (junk) {
        // Printable characters only: a stray ETX or SOH would be more than junk.
        QByteArray prefix;
        for (auto n = 1 + random_() % 4; n > 0; --n) {
            prefix += static_cast<char>(0x20 + random_() % 95);
        }
        answer.prepend(prefix);
        applied << QStringLiteral("junk");
    }
    const int delay = late ? faults_.lateMs : replyDelayMs_;
    if (late) {
        applied << QStringLiteral("late %1 ms").arg(delay);
    }
    if (lineError) {
        const bool parity = random_() % 2 == 0;
        const auto noise = static_cast<char>(0x80 + random_() % 0x80);
        replies.push_back({QByteArray(1, noise), delay,
                           parity ? PortEvent::ParityError : PortEvent::FramingError});
        applied << (parity ? QStringLiteral("parity error") : QStringLiteral("framing error"));
    }
    replies.push_back({answer, delay, std::nullopt});
    if (repeat) {
        replies.push_back({answer, delay + faults_.repeatMs, std::nullopt});
        applied << QStringLiteral("repeated %1 ms later").arg(faults_.repeatMs);
    }
    entry.outcome = applied.isEmpty()
                        ? QStringLiteral("answered")
                        : QStringLiteral("answered (faults: %1)").arg(applied.join(u", "));
}

} // namespace kelvar::sim
