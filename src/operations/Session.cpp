#include "operations/Session.h"

#include "link/Framing.h"
#include "model/Parameters.h"
#include "model/Speeds.h"

#include <QScopeGuard>
#include <utility>

namespace kelvar {

cSession::cSession(cSerialPort& port, cView& view, QObject* parent)
    : QObject(parent), link(port), commands(link, sensor), statusBar(link, sensors), view(view),
      log(*this), monitor(*this), graph(*this), apply(*this), dataFile(*this), calibration(*this) {
    link.Decoder().setSensor(&sensor);
    link.StatusFrozen = [this] {
        return sensor.CyclePowerFlag();
    };

    connect(&link, &cSensorLink::portSelected, this, [this] {
        PortOptions.Choose(link.CurrentPort - 1);
        SpeedOptions.Choose(link.BaudIndex);
    });
    connect(&link, &cSensorLink::portStateChanged, this, &cSession::ShowCommStatus);
    connect(&link, &cSensorLink::portStateChanged, this, &cSession::FollowSensorState);
    connect(&link, &cSensorLink::statusRefreshed, this, &cSession::FollowSensorState);
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
}

void cSession::ChoosePortOption(int index) {
    if (index < 0 || index >= PortOptionGroup::Size) {
        return;
    }
    PortOptions.Choose(index);
    link.CurrentPort = index + 1;
    ShowCommStatus();
    if (const QString& error = link.PortError(link.CurrentPort); !error.isEmpty()) {
        SetCommLabel(error, true);
        portErrorShown_ = true;
    } else if (portErrorShown_) {
        // Another port's error says nothing of this one.
        SetCommLabel(QString(), false);
    }
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

void cSession::Abort() {
    aborted_ = true;
    monitor.Halt();
    link.CloseForGood();
    emit aborting();
}

bool cSession::SensorStateKnown() const {
    return link.PortIsOpen() && link.StateFlags.TestBit(StateBit::OnLine);
}

void cSession::FollowSensorState() {
    if (SensorStateKnown() != sensorStateKnown_) {
        sensorStateKnown_ = !sensorStateKnown_;
        emit sensorStateKnownChanged(sensorStateKnown_);
    }
}

void cSession::SetCommLabel(const QString& text, bool red) {
    portErrorShown_ = false;
    commLabel_ = text;
    commLabelRed_ = red;
    emit commLabelChanged();
}

void cSession::TabShown(int index) {
    if (flowRunning_) {
        tabShownInFlow_ = index;
        return;
    }
    switch (index) {
    case Tab::Monitor:
        monitor.Start();
        monitor.UpdateReadouts(false);
        break;
    case Tab::Sensor:
    case Tab::Dynamics:
    case Tab::Limits:
    case Tab::SetPoints:
        monitor.Stop();
        break;
    case Tab::Communications:
        monitor.Start();
        ShowCommStatus();
        break;
    case Tab::Graph:
        graph.TabShown();
        break;
    case Tab::Log:
        // The traffic record would fill the log with the monitor's polls.
        if (log.Options.communications) {
            monitor.Stop();
        } else {
            monitor.Start();
        }
        break;
    default:
        monitor.Start();
        break;
    }
}

} // namespace kelvar
