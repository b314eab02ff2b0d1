// Drives the sensor link from a shell, over the same code as the window.

#include "link/Commands.h"
#include "link/Framing.h"
#include "link/QtSerialPort.h"
#include "link/SensorLink.h"
#include "link/Speeds.h"
#include "model/Numbers.h"
#include "model/SensorData.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>

using namespace kelvar;

namespace {

enum ExitStatus { Ok = 0, Usage = 2, NoAnswer = 3, BadAnswer = 4, NotConfirmed = 5 };

[[noreturn]] void Fail(const QString& message) {
    QTextStream(stderr) << "kelvar-cli: " << message << Qt::endl;
    std::exit(Usage);
}

void Warn(const QString& message) {
    QTextStream(stderr) << "kelvar-cli: " << message << Qt::endl;
}

int ParseInt(const QString& text, int low, int high, const QString& what) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high) {
        Fail(QStringLiteral("%1 must be %2 to %3, got \"%4\"")
                 .arg(what)
                 .arg(low)
                 .arg(high)
                 .arg(text));
    }
    return value;
}

// Every --port value: "N=DEVICE" maps Comm N, a bare number chooses Comm N,
// anything else is the device itself (taken as Comm 1).
int ChoosePort(const QStringList& values, cPortNames& names) {
    static const QRegularExpression number(QStringLiteral("^\\d+$"));
    int chosen = 0;
    for (const QString& value : values) {
        if (value.contains(u'=')) {
            if (const QString error = names.addMapping(value); !error.isEmpty()) {
                Fail(QStringLiteral("--port: ") + error);
            }
        } else if (number.match(value).hasMatch()) {
            chosen = ParseInt(value, MinPortNumber, MaxPortNumber, QStringLiteral("--port"));
        } else {
            names.setDevice(1, value);
            chosen = 1;
        }
    }
    if (chosen == 0) {
        Fail(QStringLiteral("--port DEVICE is required"));
    }
    return chosen;
}

struct Session {
    Session() { link.Decoder().setSensor(&sensor); }

    cQtSerialPort port;
    cSensorLink link{port};
    clsSensorData sensor;
    cCommands commands{link, sensor};
};

int ExitFor(cSensorLink::Outcome outcome) {
    switch (outcome) {
    case cSensorLink::Outcome::Answered:
        return Ok;
    case cSensorLink::Outcome::BadAnswer:
        return BadAnswer;
    case cSensorLink::Outcome::NotSent:
        return Usage;
    default:
        return NoAnswer;
    }
}

int RunSend(Session& s, const QStringList& args) {
    if (args.size() != 2) {
        Fail(QStringLiteral("usage: send ADDRESS COMMANDTEXT"));
    }
    static const QRegularExpression printable(QStringLiteral("^[\\x20-\\x7E]+$"));
    if (!printable.match(args.at(1)).hasMatch()) {
        Fail(QStringLiteral("COMMANDTEXT must be printable ASCII"));
    }
    const auto outcome = s.link.SendCommand(args.at(1).toLatin1(), 0);
    QTextStream out(stdout);
    out << "TX " << QString::fromLatin1(s.link.TxText()) << '\n';
    out << "RX "
        << (s.link.LastAnswer().isEmpty() ? QStringLiteral("none")
                                          : QString::fromLatin1(s.link.LastAnswer()))
        << Qt::endl;
    return ExitFor(outcome);
}

// Requests that went unanswered are named, so that a value read as 0 is
// never taken for what the sensor holds.
int ReportFailures(Session& s) {
    const QList<QByteArray> failed = s.commands.TakeFailedRequests();
    if (failed.isEmpty()) {
        return Ok;
    }
    QStringList texts;
    for (const QByteArray& command : failed) {
        texts.append(QString::fromLatin1(command));
    }
    Warn(QStringLiteral("%1 request(s) got no valid answer: %2")
             .arg(failed.size())
             .arg(texts.join(QStringLiteral(", "))));
    return NoAnswer;
}

int RunIdentity(Session& s, const QStringList& args) {
    if (args.size() != 1) {
        Fail(QStringLiteral("usage: identity ADDRESS"));
    }
    s.sensor.setInfoBlock(s.commands.ReadIdentityRecord());
    QTextStream out(stdout);
    out << "Model: " << s.sensor.Model() << '\n'
        << "FirmwareDate: " << s.sensor.FirmwareDate() << '\n'
        << "Version: " << s.sensor.Version() << '\n'
        << "SerialNumber: " << s.sensor.SerialNumber() << '\n'
        << "Resolution: " << FormatNumber(s.sensor.Resolution(), u"0.######") << '\n'
        << "Units: " << s.sensor.Units() << Qt::endl;
    return ReportFailures(s);
}

int RunSerial(Session& s, const QStringList& args) {
    if (args.size() != 1) {
        Fail(QStringLiteral("usage: serial ADDRESS"));
    }
    const QString serial = s.commands.ReadSerialNumber();
    const int status = ReportFailures(s);
    if (status == Ok) {
        QTextStream(stdout) << serial << Qt::endl;
    }
    return status;
}

std::int32_t SensorValue(int index, std::int32_t wire) {
    return index == Param::ZeroAdjust ? DecodeZeroAdjust(wire) : wire;
}

int RunParam(Session& s, const QStringList& args) {
    if (args.size() != 2 && args.size() != 3) {
        Fail(QStringLiteral("usage: param ADDRESS INDEX [VALUE]"));
    }
    InitParameterTable(s.sensor);
    const int index = ParseInt(args.at(1), 0, s.sensor.MaxParameters(), QStringLiteral("INDEX"));
    const std::int32_t type = s.sensor.ReadParameterData(index, 5);
    const QString name = s.sensor.ReadParameterName(index, 0).trimmed();
    QTextStream out(stdout);

    if (args.size() == 2) {
        const auto read = s.commands.ReadParameter(index);
        if (read.answered()) {
            out << index << ' ' << name << ": " << SensorValue(index, read.value) << Qt::endl;
        }
        if (!read.answered()) {
            ReportFailures(s);
        }
        return ExitFor(read.outcome);
    }

    if (type == 0 || type == 8) {
        Fail(QStringLiteral("parameter %1 is %2 and cannot be written to the sensor")
                 .arg(index)
                 .arg(type == 0 ? QStringLiteral("not used")
                                : QStringLiteral("kept by the program")));
    }
    const std::int32_t value =
        ParseInt(args.at(2), s.sensor.ReadParameterData(index, 2),
                 s.sensor.ReadParameterData(index, 3), QStringLiteral("VALUE of %1").arg(name));
    if (!s.commands.EnsureMode5()) {
        ReportFailures(s);
        Warn(QStringLiteral("the sensor did not enter mode 5; nothing was written"));
        return NoAnswer;
    }
    s.sensor.WriteParameterData(index, 1, value);
    const auto write = s.commands.WriteParameter(index);
    if (!write.answered()) {
        ReportFailures(s);
        return ExitFor(write.outcome);
    }
    const std::int32_t held = SensorValue(index, write.value);
    out << index << ' ' << name << ": " << held << Qt::endl;
    if (write.value != write.sent) {
        Warn(QStringLiteral("the sensor did not confirm the value: sent %1, it holds %2")
                 .arg(value)
                 .arg(held));
        return NotConfirmed;
    }
    return Ok;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelvar-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KELVAR_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Talks to Actimar sensors on an RS-485 network.\n\n"
        "Commands:\n"
        "  send ADDRESS COMMANDTEXT    Sends one request (for example: send 1 A, send 3 D000C)\n"
        "                              and prints TX and RX lines.\n"
        "  identity ADDRESS            Reads and decodes the sensor's identity block.\n"
        "  param ADDRESS INDEX [VALUE] Reads a parameter; with VALUE, puts the sensor in\n"
        "                              mode 5, writes it and prints what the sensor holds.\n"
        "  serial ADDRESS              Reads the sensor's serial number.\n\n"
        "Exit status: 0 success; 2 usage error or a port that cannot be opened; 3 no answer;\n"
        "4 an answer that failed its CRC check or carried an unknown response letter;\n"
        "5 the sensor did not confirm a written value."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("port"),
                      QStringLiteral("Serial device path, Comm number 1-16, or N=DEVICE to map "
                                     "Comm N to a device (repeatable)."),
                      QStringLiteral("DEVICE")});
    parser.addOption({QStringLiteral("baud"),
                      QStringLiteral("Line speed: 115200 (default), 57600, 38400 or 19200."),
                      QStringLiteral("B"), QStringLiteral("115200")});
    parser.addOption({QStringLiteral("timeout"),
                      QStringLiteral("Answer time-out in milliseconds (default 25)."),
                      QStringLiteral("MS"), QStringLiteral("25")});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("send, identity, param or serial"));
    // Options come before the command, so that a negative VALUE is a value.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (!parser.parse(QCoreApplication::arguments())) {
        Fail(parser.errorText());
    }
    if (parser.isSet(QStringLiteral("help"))) {
        parser.showHelp(Ok);
    }
    if (parser.isSet(QStringLiteral("version"))) {
        parser.showVersion();
    }

    QStringList args = parser.positionalArguments();
    if (args.isEmpty()) {
        Fail(QStringLiteral("no command given (try --help)"));
    }
    const QString command = args.takeFirst();
    using Handler = int (*)(Session&, const QStringList&);
    const std::pair<const char*, Handler> handlers[] = {
        {"send", RunSend}, {"identity", RunIdentity}, {"param", RunParam}, {"serial", RunSerial}};
    Handler handler = nullptr;
    for (const auto& [name, function] : handlers) {
        if (command == QLatin1String(name)) {
            handler = function;
        }
    }
    if (handler == nullptr) {
        Fail(QStringLiteral("unknown command \"%1\" (try --help)").arg(command));
    }
    if (args.isEmpty()) {
        Fail(QStringLiteral("%1: ADDRESS is required").arg(command));
    }

    Session session;
    session.link.CurrentAddress =
        ParseInt(args.at(0), MinAddress, MaxAddress, QStringLiteral("ADDRESS"));
    const int portNumber =
        ChoosePort(parser.values(QStringLiteral("port")), session.link.PortNames);
    const int speedIndex = SpeedIndexOfBaud(
        ParseInt(parser.value(QStringLiteral("baud")), 1, 10000000, QStringLiteral("--baud")));
    if (speedIndex < 0) {
        Fail(QStringLiteral("--baud must be 115200, 57600, 38400 or 19200"));
    }
    session.link.PacketTimeout =
        ParseInt(parser.value(QStringLiteral("timeout")), 1, 60000, QStringLiteral("--timeout"));
    if (!session.link.OpenPort(portNumber, speedIndex)) {
        Fail(QStringLiteral("cannot open %1: %2")
                 .arg(session.link.PortDescription(), session.link.PortErrorText()));
    }
    const int status = handler(session, args);
    if (status == NoAnswer && !session.link.PortErrorText().isEmpty()) {
        Warn(session.link.PortErrorText());
    }
    return status;
}
