#pragma once

#include "model/Parameters.h"

#include "sim/SensorConfig.h"

#include <QByteArray>
#include <QByteArrayView>
#include <array>
#include <cstdint>
#include <optional>

namespace kelvar::sim {

// One Actimar sensor: its parameter and setpoint memory, its identity record,
// its mode, and the cylinder it drives. Time comes in from outside (ms on any
// monotonic clock) so that a run can be replayed exactly.
class SimSensor {
public:
    static constexpr int ParameterCount = 76;
    static constexpr int SetpointCount = 60;
    static constexpr int SetpointFields = 3; // target, velocity, dwell
    static constexpr int WriteMode = 5;      // the mode in which L and Q store
    // Velocity at power-up, in the units of the velocity-enable parameter.
    static constexpr std::uint16_t PowerUpVelocity = 100;

    // Throws std::invalid_argument when config.problem() is not empty.
    explicit SimSensor(const SensorConfig& config);

    const SensorConfig& config() const { return config_; }
    // Where the sensor listens now; parameter changes apply at PowerCycle().
    int address() const { return address_; }
    qint32 baud() const { return baud_; }

    // The framed answer (SOH .. ETX) to a command text (command letter and
    // its data, no address and no CRC), or nothing for a command the sensor
    // does not take: it stays silent then, as a real one does.
    std::optional<QByteArray> Respond(QByteArrayView command, qint64 nowMs);

    // Power off and on: address and baud rate parameters take effect, the
    // mode returns to 0, and the cylinder holds where it is.
    void PowerCycle();

    // Moves the cylinder on to the given time; Respond does this itself.
    void AdvanceTo(qint64 nowMs);

    // Memory as the sensor holds it. Out-of-range numbers throw
    // SubscriptOutOfRange; the setters bypass the write rules of L and Q.
    std::uint16_t parameter(int index) const;
    void setParameter(int index, std::uint16_t value);
    std::uint16_t setpoint(int index, int field) const;
    void setSetpoint(int index, int field, std::uint16_t value);

    // The motion enable input; a sensor is wired with it on.
    void setMotionEnabled(bool on) { motionEnabled_ = on; }

    int mode() const { return mode_; }
    const QByteArray& identityRecord() const { return identity_; }
    double position() const { return position_; }
    std::uint16_t target() const { return target_; }
    std::uint16_t commandedVelocity() const { return velocity_; }
    // Commanded velocity while the cylinder moves, else 0.
    std::uint16_t currentVelocity() const;
    std::uint8_t statusByte() const;
    std::uint8_t controlByte() const;

private:
    std::optional<QByteArray> Answer(QByteArrayView command);
    // Refused values (an address or speed code the sensor cannot use) are dropped.
    void StoreParameter(int index, std::uint16_t value);
    QByteArray PositionFields() const;
    QByteArray TargetFields() const;
    QByteArray ModeFields() const;
    // Where the cylinder heads: the target, held inside the stroke.
    double Goal() const;
    double CountsPerMs() const;
    long PositionCounts() const;

    SensorConfig config_;
    QByteArray identity_;
    std::array<std::uint16_t, ParameterCount> parameters_{};
    std::array<std::array<std::uint16_t, SetpointFields>, SetpointCount> setpoints_{};
    int address_;
    qint32 baud_;
    int mode_ = 0;
    double position_ = 0; // counts, as reported (zero adjust included)
    std::uint16_t target_ = 0;
    std::uint16_t velocity_ = PowerUpVelocity;
    bool motionEnabled_ = true;
    std::optional<qint64> lastMs_;
};

} // namespace kelvar::sim
