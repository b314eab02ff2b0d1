#include "operations/Log.h"

#include "link/Framing.h"
#include "model/Numbers.h"
#include "model/Parameters.h"
#include "model/Text.h"
#include "operations/Editing.h"
#include "operations/Session.h"

#include <QDateTime>
#include <QLocale>
#include <QSaveFile>
#include <QStandardPaths>
#include <array>

namespace kelvar {

namespace {

const QString crlf = QStringLiteral("\r\n");

QString Repeated(char c, int count) {
    return QString(std::max(count, 0), QLatin1Char(c));
}

// The caption of an option group's option for a value; the last one for a
// value beyond them.
QString OptionText(OptionGroup group, std::int32_t value) {
    const auto& captions = OptionGroupOf(group).captions;
    const int index = OptionIndex(group, value);
    return captions.at(index < 0 ? captions.size() - 1 : static_cast<std::size_t>(index));
}

} // namespace

cLog::cLog(cSession& session, QObject* parent) : QObject(parent), session_(session) {
    clock_.start();
    trafficTimer_.setSingleShot(true);
    trafficTimer_.setInterval(TrafficBatchMs);
    connect(&trafficTimer_, &QTimer::timeout, this, &cLog::FlushTraffic);
    cSensorLink& link = session_.link;
    connect(&link, &cSensorLink::transactionEnded, this,
            [this](const QByteArray& request, const QByteArray& answer,
                   cSensorLink::Outcome outcome, int retry) {
                QString verdict;
                switch (outcome) {
                case cSensorLink::Outcome::Answered:
                    verdict = QStringLiteral("answered");
                    break;
                case cSensorLink::Outcome::BadAnswer:
                    verdict = FrameCrcMatches(answer) ? QStringLiteral("unknown answer")
                                                      : QStringLiteral("CRC error");
                    break;
                case cSensorLink::Outcome::NoAnswer:
                    verdict = QStringLiteral("time-out");
                    break;
                case cSensorLink::Outcome::NotSent:
                    verdict = QStringLiteral("not sent");
                    break;
                case cSensorLink::Outcome::Busy:
                    verdict = QStringLiteral("busy");
                    break;
                case cSensorLink::Outcome::PortFailed:
                    verdict = QStringLiteral("port failed");
                    break;
                case cSensorLink::Outcome::Doubtful:
                    verdict = QStringLiteral("in doubt: another frame followed");
                    break;
                }
                if (retry > 0) {
                    verdict += QStringLiteral(" (retry %1)").arg(retry);
                }
                RecordTraffic(request, answer, verdict);
                for (const QByteArray& frame : std::exchange(otherAddressFrames_, {})) {
                    RecordTraffic({}, frame, QStringLiteral("wrong address"));
                }
            });
    connect(&link, &cSensorLink::echoSkipped, this, [this](const QByteArray& request) {
        RecordTraffic(request, {}, QStringLiteral("echo of the request skipped"));
    });
    connect(&link, &cSensorLink::answersDoubted, this,
            [this](int, const QList<QByteArray>& commands) {
                for (const QByteArray& command : commands) {
                    RecordTraffic(command, {}, QStringLiteral("answer in doubt: asked again"));
                }
            });
    connect(&link, &cSensorLink::answerDiscarded, this, [this](const QByteArray& frame) {
        RecordTraffic({}, frame, QStringLiteral("late answer discarded"));
    });
    // Such a frame comes while a request waits, whose line is written when it
    // ends: the frame's line follows it, so that the record reads in order.
    connect(&link, &cSensorLink::otherAddressAnswered, this,
            [this](const QByteArray& frame) { otherAddressFrames_.append(frame); });
}

void cLog::Append(const QString& text) {
    FlushTraffic();
    text_ += text;
    emit appended(text);
}

void cLog::AppendLog(const QString& text, int indent, bool separator) {
    QString line;
    if (separator) {
        line = Repeated('-', Width) + (text.isEmpty() ? QString() : crlf);
    }
    if (indent >= 1) {
        line += Repeated(' ', 2 * (indent + 1));
    }
    Append(line + text + crlf);
}

void cLog::AppendLogHeading(const QString& text, bool framed) {
    Append(crlf);
    if (framed) {
        // A text too long for the width gets no "=" rather than a negative count.
        AppendLog(Repeated('=', Width - 1 - static_cast<int>(text.size())) + u' ' + text);
    }
}

void cLog::SectionTitle(const QString& title) {
    AppendLog(title);
    AppendLog(QString(), 0, true);
}

QString cLog::RuntimeLine(const QString& sensorText, int address, const QString& portText) {
    return QStringLiteral("  ") + sensorText.trimmed() + QStringLiteral(" Address: ") +
           QString::number(address) + QStringLiteral(" on ") + portText + crlf;
}

void cLog::InitLog() {
    const bool communications = Options.communications;
    Options.communications = false;
    text_.clear();
    pendingTraffic_.clear();
    clock_.start();
    emit cleared();
    AppendLog(Repeated('*', Width));
    AppendLog(QStringLiteral("Kelvar Setup Software v") + QStringLiteral(KELVAR_VERSION));
    if (Options.enabled) {
        AppendLog(QStringLiteral("Logging Initialized: ") +
                  QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat));
        AppendLog(QStringLiteral("Logging..."), 1);
        const std::array<std::pair<bool, const char*>, 4> listed = {{
            {Options.runtime, "Program Runtime Data"},
            {Options.sensorList, "Sensor List Data"},
            {Options.sensorData, "Sensor Data"},
            {communications, "Communications"},
        }};
        for (const auto& [checked, name] : listed) {
            if (checked) {
                AppendLog(QLatin1String(name), 2);
            }
        }
    }
    AppendLog(Repeated('*', Width));
    if (Options.runtime) {
        AppendLogHeading(QStringLiteral("Sensor List Registry Data"));
        Append(RuntimeData);
        AppendLogHeading(QStringLiteral("Comm Port Map"));
        AppendLog(QStringLiteral("Map Data: ") + session_.link.AvailablePorts.BinaryText(16, true));
    }
    LogSensorReport();
    Options.communications = communications;
}

void cLog::LogSensorReport() {
    clsSensorList& sensors = session_.sensors;
    if (Options.sensorList) {
        AppendLogHeading(QStringLiteral("Sensor List Data"));
        if (sensors.Count() == 0) {
            AppendLog(QStringLiteral("No sensor data in sensor list"));
        }
        const int selected = sensors.SensorNumber();
        for (int n = 1; n <= sensors.Count(); ++n) {
            sensors.setSensorNumber(n);
            AppendLog(
                QStringLiteral("Sensor ") + sensors.SensorText() +
                (sensors.Active() ? QStringLiteral(" - On-Line") : QStringLiteral(" - Off-Line")));
        }
        sensors.setSensorNumber(selected);
    }
    if (!Options.sensorData) {
        return;
    }
    if (!session_.link.StateFlags.TestBit(StateBit::OnLine)) {
        AppendLogHeading(QStringLiteral("Sensor Data"));
        AppendLog(QStringLiteral("No sensor."));
        return;
    }
    clsSensorData& data = session_.sensor;
    const QLocale locale;
    const QString name = sensors.SensorText().trimmed();
    const QString units = data.Units().trimmed();
    const auto held = [&data](int reg) {
        return data.ReadParameterData(reg, clsSensorData::SensorDataColumn);
    };
    // A value not read is logged as such, whatever stands in for it.
    const auto known = [&data](int reg, const QString& text) {
        return data.ParameterUnknown(reg, clsSensorData::SensorDataColumn) ? NotReadText() : text;
    };
    const auto row = [&](int reg, const QString& value) {
        Row(data.ReadParameterName(reg, 0) + QStringLiteral(" = ") + known(reg, value));
    };
    const auto rows = [&](std::initializer_list<int> regs) {
        for (const int reg : regs) {
            row(reg, QString::number(held(reg)));
        }
        AppendLog(QString());
    };

    AppendLogHeading(QStringLiteral("Sensor ") + name + QStringLiteral(" Data & Settings"));
    SectionTitle(QStringLiteral("Information"));
    Row(QStringLiteral("Serial Number: ") + data.SerialNumber());
    Row(QStringLiteral("Sensor Length: ") +
        known(Param::SensorLength,
              FormatNumber(held(Param::SensorLength) * data.Resolution(), u"0.0", locale) + units));
    // As many decimals as the resolution has: 0.0005 must not read as 0.001.
    Row(QStringLiteral("Resolution: ") +
        FormatNumber(data.Resolution(),
                     QStringLiteral("0.") + QString(LengthDecimals(data.Resolution()), u'0'),
                     locale) +
        units);
    Row(QStringLiteral("Firmware Version: ") + data.Version());
    Row(QStringLiteral("Firmware Date: ") + data.FirmwareDate());
    AppendLog(QString());

    SectionTitle(QStringLiteral("Operational Settings"));
    row(Param::Address, QString::number(held(Param::Address)));
    // Any code but 1 to 3 reads as the last speed, 115.2K.
    row(Param::BaudRate, OptionText(OptionGroup::ServoBaud, held(Param::BaudRate)));
    const std::int32_t mode = held(Param::RunMode);
    row(Param::RunMode,
        mode >= 0 && mode <= 4 ? OptionText(OptionGroup::Run, mode) : QStringLiteral("**ERROR**"));
    // Any mode but 0 and 1 reads as "Cycle Complete".
    const std::int32_t output = held(Param::OutputMode);
    row(Param::OutputMode,
        OptionText(OptionGroup::OutPut, output == 0 || output == 1 ? output : 2));
    row(Param::CylinderType,
        held(Param::CylinderType) == 0 ? QStringLiteral("Hydraulic") : QStringLiteral("Pnuematic"));
    static constexpr std::array<const char*, 4> Enables = {
        "Disable Set", "Stop Set", "Disable, Target Allowed", "Stop, Target Allowed"};
    const std::int32_t enable = held(Param::EnableMode);
    row(Param::EnableMode, QLatin1String(Enables[enable >= 0 && enable <= 2 ? enable : 3]));
    AppendLog(QString());

    SectionTitle(QStringLiteral("Limits"));
    const auto length = [&](float value) {
        return FormatNumber(value, u"##0.000", locale) + units;
    };
    Row(QStringLiteral("Maximun Travel: ") +
        known(Param::MaximumTravel, length(session_.read.TravelMaximum())));
    Row(QStringLiteral("Minimum Travel: ") +
        known(Param::MinimumTravel, length(session_.read.TravelMinimum())));
    Row(QStringLiteral("In Position Window: ") +
        known(Param::InPositionWindow, length(held(Param::InPositionWindow) * data.Resolution())));
    Row(QStringLiteral("Zero Adjust: ") +
        known(Param::ZeroAdjust, QString::number(held(Param::ZeroAdjust))));
    AppendLog(QString());

    AppendLog(QStringLiteral("Dynamics"));
    SectionTitle(QStringLiteral("Extend Settings"));
    rows({2, 4, 8, 6, 14, 10});
    SectionTitle(QStringLiteral("Retract Settings"));
    rows({3, 5, 9, 7, 15, 11});
    SectionTitle(QStringLiteral("Auto-Null Settings"));
    row(Param::AutoNullEnable,
        held(Param::AutoNullEnable) != 0 ? QStringLiteral("Enabled") : QStringLiteral("Disabled"));
    rows({Param::AutoNullWindow});
    SectionTitle(QStringLiteral("Velocity / Drive Polarity Settings"));
    static constexpr std::array<const char*, 3> Velocities = {"Drive Limits", "0-40in/sec",
                                                              "0-400in/sec"};
    const std::int32_t velocity = held(Param::VelocityEnable);
    row(Param::VelocityEnable,
        CaptionInUnits(QLatin1String(Velocities[velocity == 0 || velocity == 1 ? velocity : 2]),
                       units));
    row(Param::DrivePolarity,
        held(Param::DrivePolarity) == 0 ? QStringLiteral("Normal") : QStringLiteral("Inverted"));
    AppendLog(QString());

    SectionTitle(QStringLiteral("Setpoint Data"));
    const auto field = [](const QString& text) {
        // The marker fills a column: a blank keeps it off the one before.
        return text == NotReadText() ? u' ' + text : PadText(text, 10, u"R");
    };
    AppendLog(field(QStringLiteral("Setpoint")) + field(QStringLiteral("Target")) +
              field(QStringLiteral("Velocity")) + field(QStringLiteral("Dwell")));
    AppendLog(PadText(QStringLiteral("#"), 10, u"C") + field(u'(' + units + u')') +
              field(CaptionInUnits(QStringLiteral("(in/sec)"), units)) +
              field(QStringLiteral("(Sec.)")));
    const bool fineVelocity = data.VelocityValue() == 1;
    for (int i = 0; i <= data.MaxSetpoints(); ++i) {
        const auto value = [&data, i](std::int32_t column) {
            return static_cast<double>(data.ReadSetpointData(i, column));
        };
        const auto cell = [&data, &field, i](std::int32_t column, const QString& text) {
            return field(data.SetpointUnknown(i, column) ? NotReadText() : text);
        };
        const double speed = value(clsSensorData::VelocityColumn);
        AppendLog(PadText(QString::number(SetpointNumber(i)), 6) +
                      cell(clsSensorData::TargetColumn,
                           FormatNumber(value(clsSensorData::TargetColumn) * data.Resolution(),
                                        u"0.000", locale)) +
                      cell(clsSensorData::VelocityColumn,
                           fineVelocity ? FormatNumber(speed / 100, u"0.00", locale)
                                        : FormatNumber(speed / 10, u"0.000", locale)) +
                      cell(clsSensorData::DwellColumn,
                           FormatNumber(value(clsSensorData::DwellColumn) / 100, u"0.00", locale)),
                  1);
    }
    AppendLog(QString());
    SectionTitle(QStringLiteral("Link Statistics"));
    for (const QString& line : session_.link.Statistics(session_.link.CurrentAddress).Lines()) {
        Row(line);
    }
    AppendLogHeading(QStringLiteral("End of Sensor ") + name + QStringLiteral(" Data & Settings"));
}

void cLog::Clear() {
    if (!Options.enabled &&
        session_.view.Ask(QStringLiteral(" Enable Logging"),
                          QStringLiteral("Logging is not currently enabled,") + crlf + crlf +
                              QStringLiteral("Do you wish to enable logging?"),
                          MessageIcon::Exclamation, MessageButtons::YesNo) == MessageAnswer::Yes) {
        SetEnabled(true);
    }
    InitLog();
}

void cLog::SaveAs() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString path = session_.view.AskFileName(
        true, QStringLiteral("Save Log As.."), folder, ProposedFileName(QDir(folder)),
        QStringLiteral("Log Files (*.log);;All Files (*)"));
    if (path.isEmpty()) {
        return;
    }
    session_.statusBar.SetMessage(QStringLiteral("Writing to file.."));
    QString error;
    if (Save(path, error)) {
        session_.dataFile.SetCurrentFile(path);
    } else {
        session_.view.Ask(QStringLiteral("Save Log As.."), error, MessageIcon::Exclamation,
                          MessageButtons::Ok);
    }
    session_.statusBar.SetMessage(QStringLiteral("Ready"));
}

void cLog::SetEnabled(bool enabled) {
    Options.enabled = enabled;
    emit optionsChanged();
}

void cLog::SetCommunications(bool checked) {
    if (checked && !Options.communications) {
        checked =
            session_.view.Ask(
                QStringLiteral(" System Response Warning"),
                QStringLiteral("Monitoring sensor communications can") + crlf +
                    QStringLiteral("significantly slow down real time monitoring of the") + crlf +
                    QStringLiteral("sensor.  You should enable logging of communications") + crlf +
                    QStringLiteral("only if you are having problems communicating with") + crlf +
                    QStringLiteral("the sensor.") + crlf + crlf +
                    QStringLiteral("Do you wish to enable communications monitoring?"),
                MessageIcon::Exclamation, MessageButtons::YesNo) == MessageAnswer::Yes;
    }
    Options.communications = checked;
    emit optionsChanged();
}

void cLog::SelectAll() {
    Options.runtime = Options.communications = Options.sensorData = Options.sensorList = true;
    emit optionsChanged();
}

QString cLog::EnabledCaption() const {
    return Options.enabled ? QStringLiteral("Click to Disable") : QStringLiteral("Click to Enable");
}

QString cLog::ProposedFileName(const QDir& folder) {
    for (int n = 0; n < 10000; ++n) {
        const QString name = QStringLiteral("Kelvar%1.log").arg(n, 4, 10, QLatin1Char('0'));
        if (!folder.exists(name)) {
            return name;
        }
    }
    return QStringLiteral("Kelvar0000.log");
}

bool cLog::Save(const QString& path, QString& error) const {
    QSaveFile file(path);
    const QByteArray bytes = (text_ + crlf).toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

QString cLog::TrafficLine(double ms, const QByteArray& request, const QByteArray& answer,
                          const QString& outcome) {
    // Not through the locale: a record of thousands of lines a minute must cost little.
    QString line = QString::number(ms, 'f', 3);
    line += QLatin1String(" ms  ");
    line += request.isEmpty() ? QStringLiteral("-") : PrintableBytes(request);
    line += QLatin1String("  ");
    line += answer.isEmpty() ? QStringLiteral("no answer") : PrintableBytes(answer);
    line += QLatin1String("  ");
    line += outcome;
    line += crlf;
    return line;
}

void cLog::RecordTraffic(const QByteArray& request, const QByteArray& answer,
                         const QString& outcome) {
    if (!Options.enabled || !Options.communications) {
        return;
    }
    pendingTraffic_ +=
        TrafficLine(static_cast<double>(clock_.nsecsElapsed()) / 1e6, request, answer, outcome);
    if (!trafficTimer_.isActive()) {
        trafficTimer_.start();
    }
}

void cLog::FlushTraffic() {
    if (pendingTraffic_.isEmpty()) {
        return;
    }
    const QString batch = std::exchange(pendingTraffic_, QString());
    text_ += batch;
    emit appended(batch);
}

} // namespace kelvar
