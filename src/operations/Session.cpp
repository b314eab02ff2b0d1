#include "operations/Session.h"

#include "link/Framing.h"
#include "link/Speeds.h"
#include "model/Numbers.h"
#include "model/Parameters.h"

#include <QLocale>

namespace kelvar {

cSession::cSession(cSerialPort& port, cView& view, QObject* parent)
    : QObject(parent), link(port), commands(link, sensor), statusBar(link, sensors), view(view) {
    link.Decoder().setSensor(&sensor);
    link.StatusFrozen = [this] {
        return sensor.CyclePowerFlag();
    };
    MonitorTimer.setInterval(MonitorIntervalMs);
    connect(&MonitorTimer, &QTimer::timeout, this, &cSession::MonitorTick);
    ReconnectTimer.setInterval(ReconnectIntervalMs);
    connect(&ReconnectTimer, &QTimer::timeout, this, &cSession::ReconnectTick);
    connect(&link, &cSensorLink::portLost, this, &cSession::OnPortLost);

    auto& decoder = link.Decoder();
    connect(&decoder, &cResponseDecoder::positionAnswered, this,
            [this](float position, bool changed) {
                const QString text = FormatReadout(position);
                if (changed) {
                    if (this->view.VisibleTab() == Tab::Monitor) {
                        drawn_[0] = position;
                        emit draw(QStringLiteral("lblPosition"), text);
                    } else if (this->view.VisibleTab() == Tab::Graph) {
                        emit draw(QStringLiteral("lblGraphPosition"), text);
                    }
                }
                if (CalibrationMode) {
                    emit draw(QStringLiteral("lblCalibratePosition"), text);
                }
            });
    connect(&decoder, &cResponseDecoder::targetChanged, this, [this](float target) {
        const QString text = FormatReadout(target);
        if (this->view.VisibleTab() == Tab::Monitor) {
            drawn_[2] = target;
            emit draw(QStringLiteral("lblTarget"), text);
        } else if (this->view.VisibleTab() == Tab::Graph) {
            emit draw(QStringLiteral("lblGraphTarget"), text);
        }
        if (CalibrationMode) {
            emit draw(QStringLiteral("lblCalibrateTarget"), text);
        }
    });
    connect(&decoder, &cResponseDecoder::velocityShown, this, [this](float velocity) {
        const QString text = FormatNumber(velocity, link.Decoder().VelocityPattern(), QLocale());
        if (this->view.VisibleTab() == Tab::Monitor) {
            drawn_[1] = velocity;
            emit draw(QStringLiteral("lblVelocity"), text);
        } else if (this->view.VisibleTab() == Tab::Graph) {
            emit draw(QStringLiteral("lblGraphVelocity"), text);
        }
    });
}

QString cSession::FormatReadout(float value) const {
    return FormatLength(value, false, sensor);
}

bool cSession::RunUserFlow(const std::function<void()>& flow) {
    if (flowRunning_ || aborted_) {
        return false;
    }
    flowRunning_ = true;
    emit flowRunningChanged(true);
    flow();
    flowRunning_ = false;
    emit flowRunningChanged(false);
    return true;
}

void cSession::Reset() {
    LoadSensor(ReloadCurrent);
    ForgetCurrentFile();
    link.StatusWord.SetBit(LinkBit::ResetCounters);
    const int tab = view.VisibleTab();
    if (tab == Tab::Communications || tab == Tab::Monitor) {
        StartMonitor();
    }
    statusBar.SetMessage(QStringLiteral("Ready"));
}

bool cSession::ReadoutStale(int readout) const {
    return stale_.at(static_cast<std::size_t>(readout));
}

void cSession::SetStale(int readout, bool stale) {
    if (stale_.at(static_cast<std::size_t>(readout)) != stale) {
        stale_[static_cast<std::size_t>(readout)] = stale;
        emit readoutsStaleChanged();
    }
}

void cSession::OnPortLost(const QString& reason) {
    if (aborted_) {
        return;
    }
    const bool hadSensor = link.StateFlags.TestBit(StateBit::DataLoaded);
    MonitorTimer.stop();
    statusBar.SetMode(QString());
    for (int readout = 0; readout < 3; ++readout) {
        SetStale(readout, true);
    }
    link.StateFlags.ClearBit(StateBit::OnLine);
    link.StateFlags.ClearBit(StateBit::DataLoaded);
    SetCommLabel(reason, true);
    statusBar.SetMessage(reason);
    link.RefreshStatus();
    if (hadSensor) {
        lostPort_ = link.CurrentPort;
        lostSpeed_ = link.BaudIndex;
        lostAddress_ = link.CurrentAddress;
        ReconnectTimer.start();
    }
}

void cSession::ReconnectTick() {
    if (aborted_) {
        ReconnectTimer.stop();
        return;
    }
    RunUserFlow([this] {
        if (!link.OpenPort(lostPort_, lostSpeed_)) {
            return;
        }
        const bool answered = commands.CheckSensorAnswers(lostAddress_);
        commands.TakeFailedRequests();
        if (!answered) {
            return;
        }
        ReconnectTimer.stop();
        link.CurrentAddress = lostAddress_;
        link.StateFlags.SetBit(StateBit::OnLine);
        LoadSensor(ReloadCurrent);
        statusBar.SetMessage(QStringLiteral("Ready"));
    });
}

void cSession::Abort() {
    aborted_ = true;
    ReconnectTimer.stop();
    MonitorTimer.stop();
    link.CloseForGood();
}

void cSession::SetCommLabel(const QString& text, bool red) {
    commLabel_ = text;
    commLabelRed_ = red;
    emit commLabelChanged();
}

// ---------------------------------------------------------------- monitor

void cSession::StartMonitor() {
    if (aborted_ || link.AwaitingReply() || MonitorTimer.isActive()) {
        return;
    }
    if (link.StateFlags.TestBit(StateBit::DataLoaded)) {
        MonitorTimer.start();
        statusBar.SetMode(QStringLiteral("Monitor"));
    } else {
        MonitorTimer.stop();
    }
}

void cSession::StopMonitor() {
    MonitorTimer.stop();
    if (tickInProgress_) {
        // Let the running tick finish its exchange.
        PauseProcessingEvents(100);
    }
    statusBar.SetMode(QString());
}

void cSession::MonitorTick() {
    tickInProgress_ = true;
    if (!link.AwaitingReply()) {
        if (pollCounter_ > 6) {
            pollCounter_ = 0;
        }
        char letter = 'A';
        int readout = 0;
        cSensorLink::Outcome outcome;
        switch (pollCounter_) {
        case 1:
        case 5:
            letter = 'B';
            readout = 2;
            outcome = commands.PollTarget();
            break;
        case 3:
            letter = 'C';
            readout = 1;
            outcome = commands.PollVelocity();
            break;
        default:
            if (pollCounter_ < 0) {
                pollCounter_ = 6;
            }
            outcome = commands.PollPosition();
            break;
        }
        ++pollCounter_;
        // The monitor's own polls are not part of any read.
        commands.TakeFailedRequests();
        SetStale(readout, outcome != cSensorLink::Outcome::Answered);
        emit monitorPolled(letter, outcome);
    }
    tickInProgress_ = false;
}

void cSession::UpdateReadouts(bool reset) {
    auto& decoder = link.Decoder();
    if (reset) {
        drawn_.fill(-1);
        decoder.ResetReadouts();
        // A 0 put there is no answer of the sensor's.
        for (int readout = 0; readout < 3; ++readout) {
            SetStale(readout, true);
        }
    }
    const std::array<float, 3> values = {decoder.Position(), decoder.Velocity(), decoder.Target()};
    const std::array<const char*, 3> labels = {"lblPosition", "lblVelocity", "lblTarget"};
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] != drawn_[i]) {
            drawn_[i] = values[i];
            emit draw(QLatin1String(labels[i]), i == 1
                                                    ? FormatNumber(values[i], u"##0.00", QLocale())
                                                    : FormatReadout(values[i]));
        }
    }
}

void cSession::TabShown(int index) {
    switch (index) {
    case Tab::Monitor:
        StartMonitor();
        UpdateReadouts(false);
        break;
    case Tab::Sensor:
    case Tab::Dynamics:
    case Tab::Limits:
    case Tab::SetPoints:
        StopMonitor();
        break;
    case Tab::Communications:
        StartMonitor();
        link.ShowCommStatus();
        break;
    default:
        StartMonitor();
        break;
    }
}

} // namespace kelvar
