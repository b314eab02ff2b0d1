#pragma once

#include "link/SensorLink.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <array>

namespace kelvar {

class cSession;

// The live values the monitor shows, and where.
enum class Readout { Position, Velocity, Target };
inline constexpr int ReadoutCount = 3;
inline constexpr std::array<Readout, ReadoutCount> AllReadouts = {
    Readout::Position, Readout::Velocity, Readout::Target};
enum class ReadoutPanel { Monitor, Graph, Calibration };

// The live monitor: position, target and velocity polled in turn and shown
// where the window shows them; and, when the port is lost, the lost sensor's
// port tried again now and then.
class cMonitorFlow : public QObject {
    Q_OBJECT
public:
    static constexpr int DefaultIntervalMs = 75;
    static constexpr int GraphIntervalMs = 30;
    // Tries the lost sensor's port again now and then; when it opens and the
    // sensor answers, the sensor is read and the monitor resumes.
    static constexpr int ReconnectIntervalMs = 1500;

    explicit cMonitorFlow(cSession& session);

    // Starts only with a sensor read and no request awaiting its reply.
    void Start();
    void Stop();
    // One poll; none while a flow runs. A setpoint pressed since the last
    // tick is served first.
    void Tick();
    bool Running() const { return timer_.isActive(); }
    int IntervalMs() const { return timer_.interval(); }
    void SetIntervalMs(int ms) { timer_.setInterval(ms); }
    // The lost sensor's port is being tried again.
    bool Reconnecting() const { return reconnectTimer_.isActive(); }
    // The program is ending: neither the monitor nor the reconnect fires again.
    void Halt();

    // A readout is stale while the last poll for it got no good answer (or
    // the port is gone): the window must not show its last value as if it
    // were the sensor's.
    bool ReadoutStale(Readout readout) const;
    // Redraws the panel's readouts that changed (on the Monitor tab; every
    // one on another panel); with reset, sets position, velocity and target
    // to 0 first.
    void UpdateReadouts(bool reset, ReadoutPanel panel = ReadoutPanel::Monitor);
    // Shows the last position and target on the panel as they stand.
    void ShowPositionAndTarget(ReadoutPanel panel);

signals:
    // A readout's new text on one panel.
    void readoutShown(kelvar::ReadoutPanel panel, kelvar::Readout readout, const QString& text);
    // A monitor poll ("A", "B" or "C") has ended; its values are the
    // decoder's only when it was answered.
    void monitorPolled(char letter, cSensorLink::Outcome outcome);
    void readoutsStaleChanged();

private:
    void ReconnectTick();
    void OnPortLost(const QString& reason);
    QString FormatReadout(float value) const;
    void ShowReadout(ReadoutPanel panel, Readout readout, float value, const QString& text);
    void SetStale(Readout readout, bool stale);

    cSession& session_;
    QTimer timer_;
    QTimer reconnectTimer_;
    std::array<bool, ReadoutCount> stale_{};
    // Per Monitor-tab readout the value last shown; -1 when none yet.
    std::array<float, ReadoutCount> shown_{-1, -1, -1};
    int pollCounter_ = 0;
    bool tickInProgress_ = false;
};

} // namespace kelvar
