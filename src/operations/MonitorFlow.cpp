#include "operations/MonitorFlow.h"

#include "link/Framing.h"
#include "model/Numbers.h"
#include "operations/Session.h"

#include <QLocale>
#include <QScopeGuard>

namespace kelvar {

cMonitorFlow::cMonitorFlow(cSession& session) : session_(session) {
    timer_.setInterval(DefaultIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &cMonitorFlow::Tick);
    reconnectTimer_.setInterval(ReconnectIntervalMs);
    connect(&reconnectTimer_, &QTimer::timeout, this, &cMonitorFlow::ReconnectTick);
    connect(&session_.link, &cSensorLink::portLost, this, &cMonitorFlow::OnPortLost);

    // An answer's value on the Monitor or Graph tab, whichever shows (onTab),
    // and in calibration mode on the Calibration tab, which shows no velocity.
    const auto show = [this](Readout readout, float value, const QString& text, bool onTab) {
        const int tab = session_.view.VisibleTab();
        if (onTab && (tab == Tab::Monitor || tab == Tab::Graph)) {
            ShowReadout(tab == Tab::Monitor ? ReadoutPanel::Monitor : ReadoutPanel::Graph, readout,
                        value, text);
        }
        if (readout != Readout::Velocity && session_.calibration.CalibrationMode()) {
            ShowReadout(ReadoutPanel::Calibration, readout, value, text);
        }
    };
    auto& decoder = session_.link.Decoder();
    connect(&decoder, &cResponseDecoder::positionAnswered, this,
            [this, show](float position, bool changed) {
                show(Readout::Position, position, FormatReadout(position), changed);
            });
    connect(&decoder, &cResponseDecoder::targetChanged, this, [this, show](float target) {
        show(Readout::Target, target, FormatReadout(target), true);
    });
    connect(&decoder, &cResponseDecoder::velocityShown, this, [this, show](float velocity) {
        show(Readout::Velocity, velocity,
             FormatNumber(velocity, session_.link.Decoder().VelocityPattern(), QLocale()), true);
    });
}

void cMonitorFlow::ShowReadout(ReadoutPanel panel, Readout readout, float value,
                               const QString& text) {
    if (panel == ReadoutPanel::Monitor) {
        shown_[static_cast<std::size_t>(readout)] = value;
    }
    emit readoutShown(panel, readout, text);
}

QString cMonitorFlow::FormatReadout(float value) const {
    return FormatLength(value, false, session_.sensor);
}

bool cMonitorFlow::ReadoutStale(Readout readout) const {
    return stale_.at(static_cast<std::size_t>(readout));
}

void cMonitorFlow::SetStale(Readout readout, bool stale) {
    if (stale_.at(static_cast<std::size_t>(readout)) != stale) {
        stale_[static_cast<std::size_t>(readout)] = stale;
        emit readoutsStaleChanged();
    }
}

void cMonitorFlow::OnPortLost(const QString& reason) {
    if (session_.Aborted()) {
        return;
    }
    cSensorLink& link = session_.link;
    const bool hadSensor = link.StateFlags.TestBit(StateBit::DataLoaded);
    timer_.stop();
    session_.statusBar.SetMode(QString());
    for (const Readout readout : AllReadouts) {
        SetStale(readout, true);
    }
    link.StateFlags.ClearBit(StateBit::OnLine);
    link.StateFlags.ClearBit(StateBit::DataLoaded);
    session_.SetCommLabel(reason, true);
    session_.statusBar.SetMessage(reason);
    link.RefreshStatus();
    if (hadSensor) {
        reconnectTimer_.start();
    }
}

void cMonitorFlow::ReconnectTick() {
    if (session_.Aborted()) {
        reconnectTimer_.stop();
        return;
    }
    session_.RunUserFlow([this] {
        cSensorLink& link = session_.link;
        // A flow of the user's may have read a sensor meanwhile, or searched
        // and forgotten this one.
        if (link.StateFlags.TestBit(StateBit::DataLoaded) || link.CurrentAddress < MinAddress ||
            link.CurrentAddress > MaxAddress) {
            reconnectTimer_.stop();
            return;
        }
        // As the port was last set: a flow may have followed the sensor to
        // another speed since the port was lost.
        if (!link.OpenPort(link.OpenedPort(), link.OpenedSpeed())) {
            return;
        }
        const bool answered = session_.commands.CheckSensorAnswers(link.CurrentAddress);
        session_.commands.TakeFailedRequests();
        if (!answered) {
            return;
        }
        reconnectTimer_.stop();
        link.StateFlags.SetBit(StateBit::OnLine);
        // The user's edits not yet applied are not lost with the line.
        session_.read.LoadSensor(cReadFlow::ReloadCurrent, true);
        session_.statusBar.SetMessage(QStringLiteral("Ready"));
    });
}

void cMonitorFlow::Halt() {
    reconnectTimer_.stop();
    timer_.stop();
}

void cMonitorFlow::Start() {
    const cSensorLink& link = session_.link;
    if (session_.Aborted() || link.AwaitingReply() || timer_.isActive()) {
        return;
    }
    if (link.StateFlags.TestBit(StateBit::DataLoaded)) {
        timer_.start();
        session_.statusBar.SetMode(QStringLiteral("Monitor"));
    } else {
        timer_.stop();
    }
}

void cMonitorFlow::Stop() {
    timer_.stop();
    if (tickInProgress_ && session_.link.AwaitingReply()) {
        // Let the running tick finish its exchange.
        PauseProcessingEvents(100);
    }
    session_.statusBar.SetMode(QString());
}

void cMonitorFlow::Tick() {
    // The flow's requests are the only ones on the line until it ends.
    if (session_.FlowRunning() || session_.Aborted()) {
        return;
    }
    tickInProgress_ = true;
    const auto end = qScopeGuard([this] { tickInProgress_ = false; });
    if (!session_.link.AwaitingReply()) {
        cSetpointFlow& setpoints = session_.setpoints;
        if (const int chosen = setpoints.PendingSetpoint();
            chosen != cSetpointFlow::NoSetpointRequest) {
            // Withdrawn first: a press is served once.
            setpoints.DropRequest();
            if (setpoints.MoveToSetpoint(chosen) == MoveOutcome::Refused || session_.Aborted()) {
                return;
            }
        }
        if (pollCounter_ > 6) {
            pollCounter_ = 0;
        }
        cCommands& commands = session_.commands;
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
        session_.graph.TakeSample();
    }
}

void cMonitorFlow::UpdateReadouts(bool reset, ReadoutPanel panel) {
    auto& decoder = session_.link.Decoder();
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

void cMonitorFlow::ShowPositionAndTarget(ReadoutPanel panel) {
    const auto& decoder = session_.link.Decoder();
    ShowReadout(panel, Readout::Position, decoder.Position(), FormatReadout(decoder.Position()));
    ShowReadout(panel, Readout::Target, decoder.Target(), FormatReadout(decoder.Target()));
}

} // namespace kelvar
