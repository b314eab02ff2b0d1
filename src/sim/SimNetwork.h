#pragma once

#include "link/SerialPort.h"
#include "sim/SimSensor.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QElapsedTimer>
#include <QString>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <random>
#include <vector>

namespace kelvar::sim {

// Named failure modes of the line. Probabilities 0 to 1, drawn for every
// answer a sensor gives.
struct SimFaults {
    double drop = 0;      // the answer never comes
    double corrupt = 0;   // its CRC digits are wrong
    double junk = 0;      // a few stray characters come before its SOH
    double late = 0;      // it comes after lateMs instead of the normal delay
    double lineError = 0; // a parity or framing error comes just before it
    int lateMs = 150;     // longer than the longest time-out the tool offers
    double repeat = 0;    // it comes twice, the copy repeatMs after it
    int repeatMs = 1;
    // Every request comes back to the tool before its answer, as on a
    // two-wire adapter that does not suppress its own echo.
    bool echo = false;
    // The line goes dead after this many requests (a sensor unplugged from
    // the bus mid-work); -1: never.
    qint64 silentAfter = -1;
    // The adapter is pulled out once this many requests have been made: the
    // port open on it is lost and cannot be opened again; -1: never.
    qint64 unplugAfter = -1;
    // Requests that begin with one of these (letter and data, no address:
    // "D000C", or "I" for every target) never reach a sensor; the answers to
    // those in lostAnswers are lost after the sensor acted on the request.
    std::vector<QByteArray> lostRequests;
    std::vector<QByteArray> lostAnswers;
};

// Something the line delivers to the tool after delayMs, counted from the
// moment the request was handed over.
struct SimReply {
    QByteArray bytes;
    int delayMs = 0;
    // Set for a line error. A port that can report line errors reports this
    // and drops the bytes; a pseudo-terminal cannot, and sends the bytes (one
    // noise character) instead.
    std::optional<PortEvent> lineError;
};

// One request packet seen on the line.
struct SimLogEntry {
    qint64 timeMs = 0;
    QByteArray request; // between STX and ETX
    qint32 baud = 0;
    QByteArray answer; // between SOH and ETX as sent; empty when none was
    QString outcome;   // "answered", or why not, and any faults applied

    // One line: time, request, speed, outcome; control characters as <XX>.
    QString text() const;
};

// Any number of sensors sharing one line, each at its own address and speed.
// It turns what the tool writes into what comes back.
class SimNetwork {
public:
    static constexpr int MaxLoggedRequests = 10000;
    // Longer than any request the tool sends; a packet that grows past this
    // before its ETX is thrown away.
    static constexpr int MaxRequestChars = 32;

    explicit SimNetwork(std::uint32_t seed = 1);

    // Throws std::invalid_argument when the configuration is not usable or
    // another sensor already listens at the same address and speed.
    SimSensor& addSensor(const SensorConfig& config);
    int sensorCount() const { return static_cast<int>(sensors_.size()); }
    // In the order added; throws SubscriptOutOfRange for a bad number.
    SimSensor& sensor(int number);

    SimFaults& faults() { return faults_; }
    const SimFaults& faults() const { return faults_; }
    // When an answer that is not late comes; 0 (the default) means as soon
    // as the event loop runs.
    void setReplyDelayMs(int delayMs) { replyDelayMs_ = delayMs; }
    int replyDelayMs() const { return replyDelayMs_; }
    // Restarts the fault draws: the same seed and the same traffic give the
    // same faults.
    void setSeed(std::uint32_t seed) { random_.seed(seed); }

    // Bytes as the tool wrote them at the given line speed, in any pieces.
    // Returns what comes back, in the order the line delivers it.
    std::vector<SimReply> receive(QByteArrayView bytes, qint32 baud, qint64 nowMs);
    // Forgets a partly received packet (the port was reopened).
    void resetLine();

    // The network's own monotonic clock, for callers that run in real time.
    qint64 elapsedMs() const { return clock_.elapsed(); }

    // The most recent requests (at most MaxLoggedRequests).
    const std::deque<SimLogEntry>& log() const { return log_; }
    std::vector<SimLogEntry> takeLog();
    // Every request packet seen since construction.
    qint64 requestCount() const { return requestCount_; }

private:
    void HandlePacket(qint32 baud, qint64 nowMs, std::vector<SimReply>& replies);
    // Hands the packet to the one sensor it is for; sets answer when that
    // sensor answers, and returns the outcome for the log.
    QString Route(qint32 baud, std::optional<QByteArray>& answer, qint64 nowMs);
    void ApplyFaults(QByteArray answer, SimLogEntry& entry, std::vector<SimReply>& replies);
    bool Chance(double probability);

    std::vector<std::unique_ptr<SimSensor>> sensors_;
    SimFaults faults_;
    int replyDelayMs_ = 0;
    std::mt19937 random_;
    QElapsedTimer clock_;

    QByteArray packet_; // characters after STX so far
    bool inPacket_ = false;
    bool overlong_ = false;
    qint32 packetBaud_ = 0;

    std::deque<SimLogEntry> log_;
    qint64 requestCount_ = 0;
};

} // namespace kelvar::sim
