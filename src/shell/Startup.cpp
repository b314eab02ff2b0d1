#include "shell/Startup.h"

#include "link/Framing.h"
#include "link/PortNames.h"
#include "link/SerialPort.h"
#include "model/Speeds.h"
#include "model/Text.h"
#include "operations/Session.h"
#include "shell/Registry.h"

#include <algorithm>

namespace kelvar {

namespace {

// The leading digits of a text as a number; 0 when there are none.
int LeadingNumber(const QString& text) {
    bool ok = false;
    const int value = LeadingDigits(text.trimmed()).left(9).toInt(&ok);
    return ok ? value : 0;
}

// Reads or writes one key through the same code, as the flag says. Writing
// gathers the changes, and Finish writes them all in one replacement of the
// file: a program stopped halfway leaves the old settings whole, never some
// new values among old ones.
class SettingsPass {
public:
    SettingsPass(cRegistry& registry, bool save) : registry_(registry), save_(save) {
        if (save_) {
            registry_.BeginChanges();
        }
    }

    // The store's errors; empty when everything was written (or read).
    QStringList Finish() {
        if (save_ && !registry_.CommitChanges()) {
            errors_.append(registry_.ErrorText());
        }
        return errors_;
    }

    void Section(const QString& section) { registry_.setSection(section); }

    // The stored text, or empty when missing (reading); stores `value` (writing).
    QString Text(const QString& key, const QString& value = {}) {
        registry_.setKey(key);
        if (save_) {
            registry_.setSetting(value);
            if (!registry_.RegSave()) {
                errors_.append(registry_.ErrorText());
            }
            return value;
        }
        registry_.RegGet();
        return registry_.Setting();
    }

    void Check(const QString& key, bool& mark) {
        const QString text = Text(key, mark ? QStringLiteral("1") : QStringLiteral("0"));
        if (!save_ && !text.isEmpty()) {
            mark = text == QLatin1String("1");
        }
    }

    void Number(const QString& key, int& value, int fallback) {
        const QString text = Text(key, QString::number(value));
        if (!save_) {
            bool ok = false;
            const int read = text.trimmed().toInt(&ok);
            value = ok ? read : fallback;
        }
    }

    void Remove(const QString& key) {
        registry_.setKey(key);
        if (!registry_.RegDel()) {
            errors_.append(registry_.ErrorText());
        }
    }

private:
    cRegistry& registry_;
    bool save_;
    QStringList errors_;
};

// A switch is a whole argument, in any letter case, never a piece of a
// device path ("--port 1=/tmp/x/extty").
QStringList Arguments(const cShellState& state) {
    return state.CommandLine.split(u' ', Qt::SkipEmptyParts);
}

constexpr std::pair<const char*, LineDriverField> LineDriverKeys[] = {
    {"RS485Mode", LineDriverField::Mode},
    {"RS485RtsOnSend", LineDriverField::RtsOnSend},
    {"RS485DelayBefore", LineDriverField::DelayBeforeMs},
    {"RS485DelayAfter", LineDriverField::DelayAfterMs},
};

QString SensorKey(int number) {
    return QStringLiteral("Sensor%1").arg(number, 3, 10, QLatin1Char('0'));
}

} // namespace

QString SensorRecordText(int port, int address, const QString& serial, int speedIndex,
                         const QString& name) {
    return QStringLiteral("%1%2%3 %4%5")
        .arg(port, 2, 10, QLatin1Char('0'))
        .arg(address, 2, 10, QLatin1Char('0'))
        .arg(LeadingDigits(serial), 10, QLatin1Char('0'))
        .arg(speedIndex)
        .arg(name);
}

SensorRecord ParseSensorRecord(const QString& text) {
    SensorRecord record;
    record.port = LeadingNumber(text.mid(0, 2));
    record.address = LeadingNumber(text.mid(2, 2));
    // The serial runs to the blank before the speed digit: ten digits as a
    // rule, more for a serial number that does not fit in ten.
    const auto blank = text.indexOf(u' ', 4);
    const qsizetype serialEnd = blank < 0 ? std::min<qsizetype>(text.size(), 14) : blank;
    record.serial = LeadingDigits(text.mid(4, serialEnd - 4));
    record.speedIndex = ValidSpeedIndex(LeadingNumber(text.mid(serialEnd + 1, 1)));
    record.name = text.mid(serialEnd + 2, 30).trimmed();
    return record;
}

QStringList SaveLoadSettings(cSession& session, cRegistry& registry, cShellState& state,
                             bool save) {
    SettingsPass pass(registry, save);
    auto& link = session.link;

    pass.Section(QStringLiteral("Startup"));
    if (!save || state.WindowNormal) {
        pass.Number(QStringLiteral("Top"), state.Top, 100);
        pass.Number(QStringLiteral("Left"), state.Left, 100);
    }

    pass.Section(QStringLiteral("Menu"));
    pass.Check(QStringLiteral("Search"), state.AutoSearch);
    if (state.CalibrateVisible) {
        pass.Check(QStringLiteral("Calibrate"), state.Calibrate);
    }
    LogOptions& log = session.log.Options;
    pass.Check(QStringLiteral("Logging"), log.enabled);
    pass.Check(QStringLiteral("LogComms"), log.communications);
    pass.Check(QStringLiteral("LogRuntime"), log.runtime);
    pass.Check(QStringLiteral("LogSensorData"), log.sensorData);
    pass.Check(QStringLiteral("LogSensorList"), log.sensorList);

    pass.Section(QStringLiteral("Communications"));
    pass.Number(QStringLiteral("Port"), link.CurrentPort, 1);
    pass.Number(QStringLiteral("PortBaudRate"), link.BaudIndex, 0);
    pass.Number(QStringLiteral("Retries"), link.Retries, cSensorLink::DefaultRetries);
    if (!save) {
        link.CurrentPort = std::clamp(link.CurrentPort, MinPortNumber, MaxPortNumber);
        link.BaudIndex = ValidSpeedIndex(link.BaudIndex);
        link.Retries = std::clamp(link.Retries, 0, cSensorLink::MaxRetries);
    }
    // A hand-edited value that does not read leaves that field as it was.
    cLineDriver driver = link.Port().lineDriver();
    for (const auto& [key, field] : LineDriverKeys) {
        const QString text = pass.Text(QLatin1String(key), LineDriverFieldText(driver, field));
        if (!save && !text.isEmpty()) {
            ParseLineDriverField(driver, field, text);
        }
    }
    if (!save) {
        link.Port().setLineDriver(driver);
    }

    pass.Section(QStringLiteral("Information"));
    for (int i = 0; i < static_cast<int>(state.Information.size()); ++i) {
        bool& flag = state.Information[static_cast<std::size_t>(i)];
        const QString text =
            pass.Text(QStringLiteral("Information %1").arg(i, 2, 10, QLatin1Char('0')),
                      flag ? QStringLiteral("1") : QStringLiteral("0"));
        if (!save) {
            flag = text != QLatin1String("0");
        }
    }

    pass.Section(QStringLiteral("Settings"));
    int interval = link.IntervalPosition();
    int timeout = link.TimeoutPosition();
    pass.Number(QStringLiteral("PacketInterval"), interval, 0);
    pass.Number(QStringLiteral("PacketTimeout"), timeout, 0);
    if (!save) {
        link.SelectInterval(interval);
        link.SelectTimeout(timeout);
    }
    pass.Number(QStringLiteral("SensorAddress"), link.CurrentAddress, 0);
    if (!save && (link.CurrentAddress < MinAddress || link.CurrentAddress > MaxAddress)) {
        link.CurrentAddress = 0;
        registry.setKey(QStringLiteral("SensorAddress"));
        registry.setSetting(QStringLiteral("0"));
        registry.RegSave();
    }

    pass.Section(QStringLiteral("SensorList"));
    auto& sensors = session.sensors;
    if (save) {
        // The whole list, then away with keys of sensors it no longer has.
        for (int n = 1; n <= sensors.Count(); ++n) {
            sensors.setSensorNumber(n);
            pass.Text(SensorKey(n),
                      SensorRecordText(sensors.Port(), sensors.Address(), sensors.Serial(),
                                       sensors.BaudRate(), sensors.SensorName()));
        }
        SettingsPass probe(registry, false);
        probe.Section(QStringLiteral("SensorList"));
        for (int n = sensors.Count() + 1; !probe.Text(SensorKey(n)).isEmpty(); ++n) {
            pass.Remove(SensorKey(n));
        }
    } else {
        // The keys stay in the store until the list is written again, so a
        // program that ends abruptly does not lose the list.
        if (log.runtime) {
            session.log.RuntimeData.clear();
        }
        for (int n = 1;; ++n) {
            const QString text = pass.Text(SensorKey(n));
            if (text.isEmpty()) {
                break;
            }
            const SensorRecord record = ParseSensorRecord(text);
            sensors.setPort(static_cast<std::int16_t>(record.port));
            sensors.setAddress(static_cast<std::int16_t>(record.address));
            sensors.setSerial(record.serial);
            sensors.setBaudRate(static_cast<std::int16_t>(record.speedIndex));
            sensors.setSensorName(record.name);
            sensors.setActive(false);
            sensors.Add();
            if (log.runtime) {
                session.log.RuntimeData +=
                    cLog::RuntimeLine(sensors.SensorText(), record.address, sensors.PortText());
            }
        }
    }
    return pass.Finish();
}

void StartupFindPorts(cSession& session, cShellState& state, const QString& commandLine) {
    state.CommandLine = commandLine.toLower();
    session.search.SetExcludePort1(Arguments(state).contains(QLatin1String("/ex")));
    session.search.FindPorts();
}

void StartupReadSettings(cSession& session, cRegistry& registry, cShellState& state) {
    // "/cal" is known by its beginning: "/cal1" and the like are calibration
    // mode too.
    const QStringList arguments = Arguments(state);
    if (std::any_of(arguments.begin(), arguments.end(),
                    [](const QString& argument) { return argument.startsWith(u"/cal"); })) {
        state.CalibrateVisible = true;
        state.Calibrate = true;
    }
    InitParameterTable(session.sensor);
    SaveLoadSettings(session, registry, state, false);
    session.calibration.SetModeAtStart(state.CalibrateVisible && state.Calibrate);
    session.link.Decoder().ForgetStatusBytes();
    session.link.StatusWord.setMap(LinkBit::StartWord);
    session.link.RefreshStatus();
}

bool StartupOpenSensor(cSession& session) {
    auto& link = session.link;
    if (!link.StateFlags.TestBit(StateBit::PortAvailable)) {
        QString text =
            QStringLiteral("Could not find a comm port\r\nClick OK to close this program.");
        if (!session.search.PortFailures().isEmpty()) {
            text += QStringLiteral("\r\n\r\n") +
                    session.search.PortFailures().join(QStringLiteral("\r\n"));
        }
        session.view.Ask(QStringLiteral("Communications Port Error"), text, MessageIcon::Critical,
                         MessageButtons::Ok);
        link.CurrentPort = 1;
        return false;
    }
    if (!link.AvailablePorts.TestBit(link.CurrentPort)) {
        link.CurrentPort = link.AvailablePorts.FirstBit();
    }
    session.ChoosePortOption(link.CurrentPort - 1);
    session.ChooseSpeedOption(link.BaudIndex);

    const bool allAnswered = session.search.VerifySensorList();
    auto& sensors = session.sensors;
    if (allAnswered || sensors.FirstActive() > 0) {
        link.StateFlags.SetBit(StateBit::OnLine);
        sensors.setSensorNumber(sensors.FirstActive());
        link.CurrentAddress = sensors.Address();
        if (link.OpenPort(sensors.Port(), sensors.BaudRate())) {
            session.read.LoadSensor(cReadFlow::ReloadCurrent);
            link.StatusWord.SetBit(LinkBit::ResetCounters);
            const int tab = session.view.VisibleTab();
            if (tab == Tab::Communications || tab == Tab::Monitor) {
                session.monitor.Start();
            }
        }
        link.RefreshStatus();
        session.statusBar.SetStatusTexts(QStringLiteral("Ready"),
                                         QStringLiteral("Sensor ") + sensors.SensorText());
        if (!session.calibration.CalibrationMode()) {
            session.view.SelectTab(Tab::Monitor);
        }
        emit session.search.sensorsChanged();
    } else {
        if (sensors.Count() == 0) {
            // A first start: the sensors are looked for on every port that opens.
            session.search.FullScan();
        }
        if (link.StateFlags.TestBit(StateBit::DataLoaded)) {
            if (!session.calibration.CalibrationMode()) {
                session.view.SelectTab(Tab::Monitor);
            }
        } else {
            // Say why, where the user looks: the Communications tab and the status bar.
            const QString reason = link.PortErrorText();
            session.search.ResetToNoSensor();
            session.view.SelectTab(Tab::Communications);
            if (!reason.isEmpty()) {
                session.SetCommLabel(reason, true);
                session.statusBar.SetMessage(reason);
            }
        }
    }
    link.StatusWord.SetBit(LinkBit::ResetCounters);
    link.RefreshStatus();
    session.ShowCommStatus();
    return true;
}

QStringList Shutdown(cSession& session, cRegistry& registry, cShellState& state) {
    session.monitor.Stop();
    session.link.ClosePort();
    return SaveLoadSettings(session, registry, state, true);
}

} // namespace kelvar
