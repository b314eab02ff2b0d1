#include "operations/Calibration.h"

#include "link/Commands.h"
#include "model/Numbers.h"
#include "model/Parameters.h"
#include "operations/Session.h"

#include <cmath>

namespace kelvar {

namespace {

constexpr std::int32_t AsReadText = 0;       // clsSensorData::Text: column 0
constexpr std::int32_t AsReadLengthText = 1; // column 0 as a length
constexpr int PneumaticOption = 1;
// The automatic zero adjust shifts the reading by this much first, so that
// the test magnet reads as a positive position.
constexpr std::int32_t AutoZeroShift = 1000;
constexpr int AutoZeroReads = 4;

const QString crlf = QStringLiteral("\r\n");
const QString CalibrationErrorTitle = QStringLiteral(" Calibration Error");
const QString AutoZeroTitle = QStringLiteral(" Automatic Zero Adjust");

std::int32_t Cell(const clsSensorData& data, int reg, std::int32_t column) {
    return data.ReadParameterData(reg, column);
}

bool WithinLimits(const clsSensorData& data, int reg, std::int64_t value) {
    return Cell(data, reg, clsSensorData::MinColumn) < value &&
           value < Cell(data, reg, clsSensorData::MaxColumn);
}

// One calibration value written and read back.
struct CalibrationWrite {
    enum class Status {
        Confirmed, // the sensor answered that it holds the value
        Refused,   // outside the limits: nothing was sent
        Failed,    // sent, but the sensor did not confirm it
    };
    Status status = Status::Refused;
    std::int32_t sent = 0;
    // What the sensor answered it holds; empty when it did not answer.
    std::optional<std::int32_t> held;
    QString problem; // why it failed, in words

    bool confirmed() const { return status == Status::Confirmed; }
    // The sensor may hold something else than `value`.
    bool MayDifferFrom(std::int32_t value) const { return !held || *held != value; }
};

// Writes the value and reads it back, as WriteParameterNow says.
CalibrationWrite WriteCalibration(cSession& s, int reg, std::int32_t value) {
    CalibrationWrite w;
    w.sent = value;
    clsSensorData& data = s.sensor;
    data.setParameter(reg);
    if (!WithinLimits(data, reg, value)) {
        w.problem = QStringLiteral("it is outside the limits %1 to %2")
                        .arg(Cell(data, reg, clsSensorData::MinColumn))
                        .arg(Cell(data, reg, clsSensorData::MaxColumn));
        return w;
    }
    w.status = CalibrationWrite::Status::Failed;
    const cCalibrationFlow::ImmediateWrite written = s.calibration.WriteParameterNow(reg, value);
    s.commands.TakeFailedRequests();
    w.held = written.held;
    if (!written.mode5) {
        w.problem = QStringLiteral("the sensor did not go into its write mode (mode 5)");
    } else if (!w.held) {
        w.problem = QStringLiteral("the sensor did not answer");
    } else if (*w.held != value) {
        w.problem = QStringLiteral("the sensor holds %1").arg(*w.held);
    } else {
        w.status = CalibrationWrite::Status::Confirmed;
    }
    return w;
}

} // namespace

cCalibrationFlow::ImmediateWrite cCalibrationFlow::WriteParameterNow(int reg, std::int32_t value) {
    cCommands& commands = session_.commands;
    clsSensorData& sensor = session_.sensor;
    ImmediateWrite w;
    if (!commands.EnsureMode5()) {
        w.mode5 = false;
        return w;
    }
    const cCommands::Result write = commands.WriteParameter(reg, value);
    const cCommands::Result read = commands.ReadParameter(reg);
    if (read.answered()) {
        w.held = reg == Param::ZeroAdjust ? DecodeZeroAdjust(read.value) : read.value;
    } else if (write.answered()) {
        w.held = write.value;
    }
    const std::int32_t known =
        w.held.value_or(sensor.ReadParameterData(reg, clsSensorData::SensorDataColumn));
    sensor.WriteParameterData(reg, clsSensorData::SensorDataColumn, known);
    sensor.WriteParameterData(reg, clsSensorData::ChangedDataColumn, known);
    return w;
}

namespace {

QString FieldName(CalibrationField field) {
    return field == CalibrationField::ZeroAdjust ? QStringLiteral("Zero Adjust")
                                                 : QStringLiteral("Null Zero");
}

} // namespace

int CalibrationRegister(CalibrationField field) {
    return field == CalibrationField::ZeroAdjust ? Param::ZeroAdjust : Param::NullZero;
}

QString CalibrationInstructions(CalibrationField field) {
    if (field == CalibrationField::ZeroAdjust) {
        return QStringLiteral("Enter a value for Zero Adjust in INCHES then ") +
               QStringLiteral("press <ENTER> or <TAB> to set Zero Adjust.") + crlf + crlf +
               QStringLiteral("<CLICK> Up or Down Arrows to increment or decrement Zero Adjust ") +
               QStringLiteral("by one COUNT.");
    }
    return QStringLiteral("Enter a value for Null Zero then ") +
           QStringLiteral("press <ENTER> or <TAB> to set Null Zero.") + crlf + crlf +
           QStringLiteral("<CLICK> Up or Down Arrows to increment or decrement Null Zero ") +
           QStringLiteral("by one count.");
}

KeyAction FilterCalibrationKey(CalibrationField field, QChar key) {
    return FilterKeys(
        field == CalibrationField::ZeroAdjust ? FieldKeys::SignedDecimal : FieldKeys::Digits, key);
}

QString CalibrationFieldText(clsSensorData& data, CalibrationField field) {
    return RegisterText(data, CalibrationRegister(field),
                        field == CalibrationField::ZeroAdjust ? AsReadLengthText : AsReadText);
}

std::optional<std::int32_t> CalibrationEntry(const clsSensorData& data, CalibrationField field,
                                             const QString& text) {
    const std::optional<double> number = ReadEnteredNumber(text);
    if (!number) {
        return std::nullopt;
    }
    const bool inches = field == CalibrationField::ZeroAdjust;
    if (!inches && *number != std::floor(*number)) {
        return std::nullopt; // the null zero is a whole number of counts
    }
    const double counts = inches ? CountsOfLength(*number, data) : *number;
    // Far beyond any limit (or no number at all): refused before rounding.
    if (!(std::abs(counts) < 1e9)) {
        return std::nullopt;
    }
    const auto value = static_cast<std::int32_t>(RoundHalfEven(counts));
    if (!WithinLimits(data, CalibrationRegister(field), value)) {
        return std::nullopt;
    }
    return value;
}

AutoNullView AutoNullControls(const clsSensorData& data) {
    const bool pneumatic =
        Cell(data, Param::CylinderType, clsSensorData::ChangedDataColumn) == PneumaticOption;
    const bool enabled = Cell(data, Param::AutoNullEnable, clsSensorData::ChangedDataColumn) == 1;
    if (!pneumatic) {
        return {false, QStringLiteral("Auto Null Window for use with") + crlf +
                           QStringLiteral("pneumatic cylinders only")};
    }
    if (!enabled) {
        return {false, QStringLiteral("Enable Auto Null to enter") + crlf +
                           QStringLiteral("a Null Window value")};
    }
    return {true, QString()};
}

// ------------------------------------------------------------ the flow

cCalibrationFlow::cCalibrationFlow(cSession& session) : session_(session) {}

void cCalibrationFlow::SetCalibrationValue(CalibrationField field, std::int32_t value) {
    cStatusBar& statusBar = session_.statusBar;
    cView& view = session_.view;
    session_.monitor.Stop();
    const CalibrationWrite w = WriteCalibration(session_, CalibrationRegister(field), value);
    session_.apply.RefreshApplyState();
    emit calibrationChanged();
    if (w.status == CalibrationWrite::Status::Failed) {
        const QString text = QStringLiteral("The sensor did not confirm the %1 of %2 counts: %3.")
                                 .arg(FieldName(field).toLower())
                                 .arg(value)
                                 .arg(w.problem);
        statusBar.SetMessage(text);
        view.Ask(CalibrationErrorTitle,
                 text + crlf + crlf +
                     QStringLiteral("The field shows the value the sensor answered last."),
                 MessageIcon::Exclamation, MessageButtons::Ok);
    }
    session_.monitor.Start();
}

void cCalibrationFlow::EnterCalibrationValue(CalibrationField field, const QString& text) {
    clsSensorData& sensor = session_.sensor;
    const std::optional<std::int32_t> counts = CalibrationEntry(sensor, field, text);
    sensor.setParameter(CalibrationRegister(field));
    if (counts) {
        SetCalibrationValue(field, *counts);
    } else {
        // The field goes back to the value the sensor holds.
        emit calibrationChanged();
    }
}

void cCalibrationFlow::StepCalibrationValue(CalibrationField field, int step) {
    clsSensorData& sensor = session_.sensor;
    const int reg = CalibrationRegister(field);
    const std::int64_t value =
        static_cast<std::int64_t>(Cell(sensor, reg, clsSensorData::ChangedDataColumn)) + step;
    // At a limit a click sends nothing.
    if (WithinLimits(sensor, reg, value)) {
        SetCalibrationValue(field, static_cast<std::int32_t>(value));
    }
}

void cCalibrationFlow::AutoZeroAdjust() {
    cSensorLink& link = session_.link;
    clsSensorData& sensor = session_.sensor;
    cCommands& commands = session_.commands;
    cStatusBar& statusBar = session_.statusBar;
    cView& view = session_.view;
    if (!link.StateFlags.TestBit(StateBit::DataLoaded)) {
        return;
    }
    const QSet<int> unread = session_.read.UnreadParameters();
    for (const int reg : {Param::ZeroAdjust, Param::SensorLength, Param::ReadoutDirection}) {
        if (unread.contains(reg)) {
            view.Ask(AutoZeroTitle,
                     QStringLiteral("The %1 was not read from the sensor: the automatic zero "
                                    "adjust needs it.\r\nRead the sensor again (Reset) first.")
                         .arg(sensor.ReadParameterName(reg, 0).trimmed().toLower()),
                     MessageIcon::Exclamation, MessageButtons::Ok);
            return;
        }
    }
    if (view.Ask(AutoZeroTitle,
                 QStringLiteral("Place the test magnet 2 inches") + crlf +
                     QStringLiteral("from the flange face. Click 'OK' to") + crlf +
                     QStringLiteral("to begin Auto Zero procedure.") + crlf +
                     QStringLiteral("Click cancel to abort auto zero") + crlf,
                 MessageIcon::Exclamation, MessageButtons::OkCancel) != MessageAnswer::Ok) {
        return;
    }
    session_.monitor.Stop();
    const std::int32_t start = Cell(sensor, Param::ZeroAdjust, clsSensorData::SensorDataColumn);
    QString problem;
    // What the sensor may hold now instead of `start`.
    CalibrationWrite last = WriteCalibration(session_, Param::ZeroAdjust, start + AutoZeroShift);
    if (!last.confirmed()) {
        problem = QStringLiteral("The zero adjust of %1 counts that the procedure starts with "
                                 "was not set: %2.")
                      .arg(start + AutoZeroShift)
                      .arg(last.problem);
    }
    float position = 0;
    for (int read = 0; read < AutoZeroReads && problem.isEmpty(); ++read) {
        const cSensorLink::Outcome outcome = commands.PollPosition();
        const float answered = link.Decoder().Position();
        if (outcome != cSensorLink::Outcome::Answered) {
            problem = QStringLiteral("Position reading %1 of %2 got no answer from the sensor.")
                          .arg(read + 1)
                          .arg(AutoZeroReads);
        } else if (!link.StatusWord.TestBit(StatusBit::PositionOk) || answered <= 0) {
            problem = QStringLiteral("The sensor reports no position: the test magnet was not "
                                     "found.\r\nPlace the test magnet 2 inches from the flange "
                                     "face and try again.");
        } else {
            position = read == 0 ? answered : (position + answered) / 2;
        }
    }
    commands.TakeFailedRequests();
    if (problem.isEmpty()) {
        auto counts = static_cast<std::int32_t>(RoundHalfEven(position / sensor.Resolution()));
        const std::int32_t shifted =
            Cell(sensor, Param::ZeroAdjust, clsSensorData::ChangedDataColumn);
        std::int32_t value = shifted - counts;
        if (Cell(sensor, Param::ReadoutDirection, clsSensorData::ChangedDataColumn) == 1) {
            counts = Cell(sensor, Param::SensorLength, clsSensorData::ChangedDataColumn) - counts;
            value = shifted + counts;
        }
        const CalibrationWrite result = WriteCalibration(session_, Param::ZeroAdjust, value);
        if (result.status != CalibrationWrite::Status::Refused) {
            last = result;
        }
        if (!result.confirmed()) {
            problem = QStringLiteral("The new zero adjust of %1 counts was not set: %2.")
                          .arg(value)
                          .arg(result.problem);
        }
    }
    if (problem.isEmpty()) {
        statusBar.SetMessage(QStringLiteral("Zero Adjust set to %1 counts").arg(last.sent));
    } else {
        // Back to where the procedure started, unless the sensor still holds it.
        QString undo = QStringLiteral("The zero adjust is still %1 counts.").arg(start);
        if (last.MayDifferFrom(start)) {
            const CalibrationWrite back = WriteCalibration(session_, Param::ZeroAdjust, start);
            undo = back.confirmed()
                       ? QStringLiteral("The zero adjust was put back to %1 counts.").arg(start)
                       : QStringLiteral("The zero adjust could not be put back to %1 counts (%2): "
                                        "read the sensor again (Reset) before going on.")
                             .arg(start)
                             .arg(back.problem);
        }
        statusBar.SetMessage(QStringLiteral("Automatic zero adjust failed"));
        view.Ask(AutoZeroTitle, problem + crlf + crlf + undo, MessageIcon::Exclamation,
                 MessageButtons::Ok);
    }
    session_.apply.RefreshApplyState();
    emit calibrationChanged();
    session_.monitor.Start();
}

void cCalibrationFlow::SetTargetToPosition() {
    cSensorLink& link = session_.link;
    cCommands& commands = session_.commands;
    const auto refuse = [this](const QString& text) {
        session_.view.Ask(CalibrationErrorTitle, text, MessageIcon::Exclamation,
                          MessageButtons::Ok);
    };
    const QString motionOff = QStringLiteral("Motion Enable Is OFF!!") + crlf + crlf +
                              QStringLiteral("Unable to set Target to Position");
    if (!link.StatusWord.TestBit(StatusBit::MotionEnabled)) {
        refuse(motionOff);
        return;
    }
    session_.monitor.Stop();
    // The target is this click's own position reading, never an older one.
    const cSensorLink::Outcome outcome = commands.PollPosition();
    if (outcome != cSensorLink::Outcome::Answered) {
        refuse(QStringLiteral("The sensor did not answer the position request: no target was "
                              "sent."));
    } else if (!link.StatusWord.TestBit(StatusBit::MotionEnabled)) {
        refuse(motionOff);
    } else if (!link.StatusWord.TestBit(StatusBit::PositionOk)) {
        refuse(QStringLiteral("The sensor reports no valid position: no target was sent."));
    } else if (commands.SetTarget(link.Decoder().Position()) != cSensorLink::Outcome::Answered) {
        session_.statusBar.SetMessage(QStringLiteral("The sensor did not confirm the new target"));
    } else {
        commands.PollTarget();
    }
    commands.TakeFailedRequests();
    session_.monitor.Start();
}

void cCalibrationFlow::SetTargetToMidpoint() {
    clsSensorData& sensor = session_.sensor;
    cCommands& commands = session_.commands;
    cView& view = session_.view;
    const std::int32_t length = Cell(sensor, Param::SensorLength, clsSensorData::SensorDataColumn);
    // A length the read did not get reads as 0: the target would be the end.
    if (session_.read.UnreadParameters().contains(Param::SensorLength) || length <= 0) {
        view.Ask(CalibrationErrorTitle,
                 QStringLiteral("The sensor length was not read from the sensor: no target was "
                                "sent.\r\nRead the sensor again (Reset) first."),
                 MessageIcon::Exclamation, MessageButtons::Ok);
        return;
    }
    session_.monitor.Stop();
    commands.SetTarget(static_cast<double>(sensor.Resolution()) * length / 2);
    commands.PollTarget();
    commands.TakeFailedRequests();
    session_.monitor.Start();
}

void cCalibrationFlow::SetModeAtStart(bool on) {
    mode_ = on;
    session_.view.SetTabVisible(Tab::Calibration, on);
}

void cCalibrationFlow::SetCalibrationMode(bool on) {
    cSensorLink& link = session_.link;
    clsSensorData& sensor = session_.sensor;
    cView& view = session_.view;
    mode_ = on;
    sensor.setParameter(Param::NullZero);
    view.SetTabVisible(Tab::Calibration, on);
    // In calibration mode Apply writes a changed null zero too.
    sensor.WriteParameterData(Param::NullZero, clsSensorData::DataTypeColumn,
                              on ? clsSensorData::OrdinaryType : clsSensorData::ReadOnlyType);
    if (on) {
        view.SetTabEnabled(Tab::Calibration, link.StateFlags.TestBit(StateBit::DataLoaded));
        session_.monitor.Start();
        session_.monitor.ShowPositionAndTarget(ReadoutPanel::Calibration);
    } else {
        session_.monitor.Stop();
    }
}

} // namespace kelvar
