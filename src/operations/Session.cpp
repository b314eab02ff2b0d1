#include "operations/Session.h"

#include "link/Framing.h"
#include "model/Numbers.h"
#include "model/Parameters.h"
#include "model/Speeds.h"

#include <QLocale>
#include <QScopeGuard>
#include <utility>

namespace kelvar {

cSession::cSession(cSerialPort& port, cView& view, QObject* parent)
    : QObject(parent), link(port), commands(link, sensor), statusBar(link, sensors), view(view),
      log(*this) {
    link.Decoder().setSensor(&sensor);
    link.StatusFrozen = [this] {
        return sensor.CyclePowerFlag();
    };
    MonitorTimer.setInterval(MonitorIntervalMs);
    connect(&MonitorTimer, &QTimer::timeout, this, &cSession::MonitorTick);
    ReconnectTimer.setInterval(ReconnectIntervalMs);
    connect(&ReconnectTimer, &QTimer::timeout, this, &cSession::ReconnectTick);
    connect(&link, &cSensorLink::portLost, this, &cSession::OnPortLost);
    // Another sensor read while graphing is drawn to its own scale.
    connect(&read, &cReadFlow::loadFinished, this, [this] {
        if (GraphRunning) {
            InitGraph();
        }
    });

    connect(&link, &cSensorLink::portSelected, this, [this] {
        PortOptions.Choose(link.CurrentPort - 1);
        SpeedOptions.Choose(link.BaudIndex);
    });
    connect(&link, &cSensorLink::portStateChanged, this, &cSession::ShowCommStatus);
    connect(&link, &cSensorLink::exchanged, this, &cSession::ShowLinkTexts);
    connect(&link, &cSensorLink::requestTimedOut, this, [this](const QByteArray& command) {
        SetCommLabel(CommandErrorText(command), commLabelRed_);
    });
    connect(&link, &cSensorLink::timeoutSelected, this,
            [this](int ms) { SetCommLabel(QString::number(ms), commLabelRed_); });
    connect(&link, &cSensorLink::intervalSelected, this, [this](int ms) {
        linkDisplay_.infoDelay = QString::number(ms);
        emit linkTextsChanged();
    });

    auto& decoder = link.Decoder();
    connect(&decoder, &cResponseDecoder::positionAnswered, this,
            [this](float position, bool changed) {
                const QString text = FormatReadout(position);
                if (changed) {
                    if (this->view.VisibleTab() == Tab::Monitor) {
                        ShowReadout(ReadoutPanel::Monitor, Readout::Position, position, text);
                    } else if (this->view.VisibleTab() == Tab::Graph) {
                        ShowReadout(ReadoutPanel::Graph, Readout::Position, position, text);
                    }
                }
                if (CalibrationMode) {
                    ShowReadout(ReadoutPanel::Calibration, Readout::Position, position, text);
                }
            });
    connect(&decoder, &cResponseDecoder::targetChanged, this, [this](float target) {
        const QString text = FormatReadout(target);
        if (this->view.VisibleTab() == Tab::Monitor) {
            ShowReadout(ReadoutPanel::Monitor, Readout::Target, target, text);
        } else if (this->view.VisibleTab() == Tab::Graph) {
            ShowReadout(ReadoutPanel::Graph, Readout::Target, target, text);
        }
        if (CalibrationMode) {
            ShowReadout(ReadoutPanel::Calibration, Readout::Target, target, text);
        }
    });
    connect(&decoder, &cResponseDecoder::velocityShown, this, [this](float velocity) {
        const QString text = FormatNumber(velocity, link.Decoder().VelocityPattern(), QLocale());
        if (this->view.VisibleTab() == Tab::Monitor) {
            ShowReadout(ReadoutPanel::Monitor, Readout::Velocity, velocity, text);
        } else if (this->view.VisibleTab() == Tab::Graph) {
            ShowReadout(ReadoutPanel::Graph, Readout::Velocity, velocity, text);
        }
    });
}

void cSession::ShowReadout(ReadoutPanel panel, Readout readout, float value, const QString& text) {
    if (panel == ReadoutPanel::Monitor) {
        shown_[static_cast<std::size_t>(readout)] = value;
    }
    emit readoutShown(panel, readout, text);
}

void cSession::ChoosePortOption(int index) {
    if (index < 0 || index >= PortOptionGroup::Size) {
        return;
    }
    PortOptions.Choose(index);
    link.CurrentPort = index + 1;
    ShowCommStatus();
}

void cSession::ChooseSpeedOption(int index) {
    if (index < 0 || index >= SpeedOptionGroup::Size) {
        return;
    }
    SpeedOptions.Choose(index);
    link.BaudIndex = index;
    ShowCommStatus();
}

void cSession::ShowCommStatus() {
    emit commStatusChanged(commStatus_.Show(link, sensor.CyclePowerFlag()));
}

void cSession::ShowLinkTexts() {
    linkDisplay_ = DescribeLink(link);
    emit linkTextsChanged();
}

QString cSession::FormatReadout(float value) const {
    return FormatLength(value, false, sensor);
}

bool cSession::RunUserFlow(const std::function<void()>& flow) {
    if (flowRunning_ || aborted_) {
        return false;
    }
    flowRunning_ = true;
    // A setpoint pressed before the flow must not move the cylinder after it.
    setpoints.DropRequest();
    emit flowRunningChanged(true);
    {
        // A flow that ends by an exception must not leave every later one refused.
        const auto end = qScopeGuard([this] {
            flowRunning_ = false;
            emit flowRunningChanged(false);
        });
        flow();
    }
    if (const auto tab = std::exchange(tabShownInFlow_, std::nullopt); tab && !aborted_) {
        TabShown(*tab);
    }
    return true;
}

bool cSession::ReadoutStale(Readout readout) const {
    return stale_.at(static_cast<std::size_t>(readout));
}

void cSession::SetStale(Readout readout, bool stale) {
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
    for (const Readout readout : AllReadouts) {
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
        read.LoadSensor(cReadFlow::ReloadCurrent);
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
    if (tickInProgress_ && link.AwaitingReply()) {
        // Let the running tick finish its exchange.
        PauseProcessingEvents(100);
    }
    statusBar.SetMode(QString());
}

void cSession::MonitorTick() {
    // The flow's requests are the only ones on the line until it ends.
    if (flowRunning_ || aborted_) {
        return;
    }
    tickInProgress_ = true;
    const auto end = qScopeGuard([this] { tickInProgress_ = false; });
    if (!link.AwaitingReply()) {
        if (const int chosen = setpoints.PendingSetpoint();
            chosen != cSetpointFlow::NoSetpointRequest) {
            setpoints.DropRequest();
            if (setpoints.MoveToSetpoint(chosen) == MoveOutcome::Refused || aborted_) {
                return;
            }
        }
        if (pollCounter_ > 6) {
            pollCounter_ = 0;
        }
        char letter = 'A';
        Readout readout = Readout::Position;
        cSensorLink::Outcome outcome;
        switch (pollCounter_) {
        case 1:
        case 5:
            letter = 'B';
            readout = Readout::Target;
            outcome = commands.PollTarget();
            break;
        case 3:
            letter = 'C';
            readout = Readout::Velocity;
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
        TakeGraphSample();
    }
}

void cSession::UpdateReadouts(bool reset, ReadoutPanel panel) {
    auto& decoder = link.Decoder();
    if (reset) {
        shown_.fill(-1);
        decoder.ResetReadouts();
        // A 0 put there is no answer of the sensor's.
        for (const Readout readout : AllReadouts) {
            SetStale(readout, true);
        }
    }
    const std::array<float, ReadoutCount> values = {decoder.Position(), decoder.Velocity(),
                                                    decoder.Target()};
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (panel != ReadoutPanel::Monitor || values[i] != shown_[i]) {
            const auto readout = static_cast<Readout>(i);
            ShowReadout(panel, readout, values[i],
                        readout == Readout::Velocity ? FormatNumber(values[i], u"##0.00", QLocale())
                                                     : FormatReadout(values[i]));
        }
    }
}

void cSession::TabShown(int index) {
    if (flowRunning_) {
        tabShownInFlow_ = index;
        return;
    }
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
        ShowCommStatus();
        break;
    case Tab::Graph:
        GraphTabShown();
        break;
    case Tab::Log:
        // The traffic record would fill the log with the monitor's polls.
        if (log.Options.communications) {
            StopMonitor();
        } else {
            StartMonitor();
        }
        break;
    default:
        StartMonitor();
        break;
    }
}

} // namespace kelvar
