#include "operations/Report.h"

#include "files/PrintText.h"
#include "link/Framing.h"
#include "model/Parameters.h"
#include "model/Text.h"
#include "operations/Editing.h"
#include "operations/Session.h"

#include <QLocale>
#include <optional>

namespace kelvar {

namespace {

const QString crlf = QStringLiteral("\r\n");

// The text format of clsSensorData::Text for an edited length.
constexpr std::int32_t EditedLengthText = 3;

QString Header(const QDateTime& now, int page) {
    return crlf + crlf + Tabs(1) + QStringLiteral("Sensor Configuration - ") +
           QLocale().toString(now, QStringLiteral("dd-MMM-yy hh:mm:ss")) +
           QStringLiteral("  (Page: %1 of 2)").arg(page) + crlf;
}

// As the settings display shows it: a metric sensor's speeds in its own units.
QString OptionCaption(OptionGroup group, std::int32_t value, const QString& units) {
    const int index = OptionIndex(group, value);
    return index < 0
               ? QString::number(value)
               : CaptionInUnits(OptionGroupOf(group).captions.at(static_cast<std::size_t>(index)),
                                units);
}

// The option a register's value is reported by, for the registers the
// report names by their option's caption.
std::optional<OptionGroup> ReportedOption(int reg) {
    for (const OptionGroup group : {OptionGroup::Cylinder, OptionGroup::VelocityEnable,
                                    OptionGroup::Enable, OptionGroup::Run, OptionGroup::OutPut}) {
        if (OptionGroupOf(group).reg == reg) {
            return group;
        }
    }
    return std::nullopt;
}

QString Page1(cSession& session, const QDateTime& now) {
    clsSensorData& data = session.sensor;
    const QString units = u' ' + data.Units().trimmed();
    const auto edited = [&data](int reg) {
        return data.ReadParameterData(reg, clsSensorData::ChangedDataColumn);
    };
    // A value not read is reported as such, whatever stands in for it.
    const auto known = [&data](int reg, const QString& text) {
        return data.ParameterUnknown(reg, clsSensorData::ChangedDataColumn) ? NotReadText() : text;
    };
    const auto length = [&data, &units, &known](int reg) {
        return known(reg, RegisterText(data, reg, EditedLengthText) + units);
    };
    QString text = Header(now, 1);
    text += SectionLine(QStringLiteral("Sensor Information"));
    text += RowLine(QStringLiteral("Model"), data.Model());
    text += RowLine(QStringLiteral("Serial Number"), data.SerialNumber());
    text += RowLine(QStringLiteral("Firmware"),
                    data.Version() + QStringLiteral(" (") + data.FirmwareDate() + u')') +
            crlf;

    text += SectionLine(QStringLiteral("Physical Settings"));
    text += RowLine(QStringLiteral("Sensor Number"), QString::number(session.link.CurrentAddress));
    static constexpr std::array<const char*, 4> Bauds = {" 19.2k", " 38.4k", " 57.6k", "115.2k"};
    const std::int32_t baud = edited(Param::BaudRate);
    text += RowLine(QStringLiteral("Sensor Baud Rate"),
                    known(Param::BaudRate,
                          baud >= 1 && baud <= 4
                              ? QString(QLatin1String(Bauds[static_cast<std::size_t>(baud - 1)]))
                              : QString::number(baud)));
    text += RowLine(QStringLiteral("Sensor Length"), length(Param::SensorLength));
    text +=
        RowLine(QStringLiteral("Resolution"), FormatLength(data.Resolution(), false, data) + units);
    text += RowLine(QStringLiteral("Maximum Travel"), length(Param::MaximumTravel));
    text += RowLine(QStringLiteral("Minimum Travel"), length(Param::MinimumTravel));
    text += RowLine(QStringLiteral("In Position Window"), length(Param::InPositionWindow)) + crlf;
    text += RowLine(QStringLiteral("Null Zero"),
                    known(Param::NullZero, QString::number(edited(Param::NullZero)))) +
            crlf;
    static constexpr std::array<const char*, 3> Loops = {"625uSec", "1mSec", "2mSec"};
    const std::int32_t loop = edited(Param::LoopTime);
    text += RowLine(QStringLiteral("Loop Time"),
                    known(Param::LoopTime,
                          loop >= 1 && loop <= 3
                              ? QString(QLatin1String(Loops[static_cast<std::size_t>(loop - 1)]))
                              : QString::number(loop))) +
            crlf;
    text += RowLine(QStringLiteral("Zero Adjust"),
                    known(Param::ZeroAdjust, QString::number(edited(Param::ZeroAdjust)))) +
            crlf;
    text += RowLine(QStringLiteral("Jog Maximum"), length(Param::JogMaximum));
    text += RowLine(QStringLiteral("Jog Increment"), length(Param::JogIncrement)) + crlf;

    text += Tabs(1) + TabPad(QStringLiteral("Dynamic Settings")) + Tabs(1) +
            QStringLiteral("Value") + Tabs(1) + QStringLiteral("(Min/Max)") + crlf + crlf;
    for (const int first : {2, 3}) {
        for (int reg = first; reg <= 15; reg += 2) {
            // 12 is an option, not a dynamic setting, and 13 is its unused twin.
            if (reg == Param::VelocityEnable || reg == Param::VelocityEnable + 1 ||
                data.ReadParameterData(reg, clsSensorData::DataTypeColumn) ==
                    clsSensorData::NotUsedType) {
                continue;
            }
            text += Tabs(2) + TabPad(data.ReadParameterName(reg, 0)) +
                    known(reg, QString::number(edited(reg))) + Tabs(1) +
                    QStringLiteral("(%1/%2)")
                        .arg(data.ReadParameterData(reg, clsSensorData::MinColumn))
                        .arg(data.ReadParameterData(reg, clsSensorData::MaxColumn)) +
                    crlf;
        }
    }

    text += SectionLine(QStringLiteral("Option Settings"));
    for (int reg = 1; reg <= data.MaxParameters(); ++reg) {
        if (data.ReadParameterData(reg, clsSensorData::DataTypeColumn) ==
            clsSensorData::NotUsedType) {
            continue;
        }
        const std::int32_t value = edited(reg);
        QString shown;
        if (reg == Param::DrivePolarity) {
            shown = value == 0 ? QStringLiteral("Normal") : QStringLiteral("Reversed");
        } else if (reg == Param::ReadoutDirection) {
            shown = value == 0 ? QStringLiteral("Retract to 0") : QStringLiteral("Extend to 0");
        } else if (const auto group = ReportedOption(reg)) {
            shown = OptionCaption(*group, value, data.Units());
        } else {
            continue;
        }
        text += RowLine(data.ReadParameterName(reg, 0), known(reg, shown));
    }

    // What the line did for this sensor since the program started: a bad
    // cable shows up as numbers on the paper left with the machine.
    text += crlf + SectionLine(QStringLiteral("Link Statistics"));
    for (const auto& [name, value] :
         session.link.Statistics(session.link.CurrentAddress).Figures()) {
        text += RowLine(name, value);
    }
    return text;
}

QString Page2(cSession& session, const QDateTime& now) {
    const clsSensorData& data = session.sensor;
    const auto field = [](const QString& text, QStringView alignment = u"R") {
        // The marker fills a column: a blank keeps it off the one before.
        return text == NotReadText() ? u' ' + text : PadText(text, 10, alignment);
    };
    QString text = Header(now, 2) + SectionLine(QStringLiteral("SetPoint Information")) + crlf;
    text += field(QStringLiteral("Setpoint")) + field(QStringLiteral("Target")) +
            field(QStringLiteral("Velocity")) + field(QStringLiteral("Dwell")) + crlf;
    for (int i = 0; i <= data.MaxSetpoints(); ++i) {
        text += field(QString::number(SetpointNumber(i)), u"C") +
                field(data.SetpointText(i, clsSensorData::EditedTargetColumn)) +
                field(data.SetpointText(i, clsSensorData::EditedVelocityColumn)) +
                field(data.SetpointText(i, clsSensorData::EditedDwellColumn)) + crlf;
    }
    return text;
}

} // namespace

std::array<QString, 2> ConfigurationReport(cSession& session, const QDateTime& now) {
    return {Page1(session, now), Page2(session, now)};
}

void PrintConfigurationReport(cSession& session, cPrintSurface& surface) {
    session.statusBar.SetMessage(QStringLiteral("Printing...."));
    const auto pages = ConfigurationReport(session, QDateTime::currentDateTime());
    // Each page on a sheet of its own, as the page count in its header says.
    PrintSheet(pages[0], surface);
    surface.NewPage();
    PrintSheet(pages[1], surface);
    session.statusBar.SetMessage(QStringLiteral("Ready"));
}

void PrintLog(cSession& session, cPrintSurface& surface) {
    session.statusBar.SetMessage(QStringLiteral("Printing...."));
    PrintControl(session.log.Text() + crlf, surface);
}

} // namespace kelvar
