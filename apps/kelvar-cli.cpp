// Drives the sensor link from a shell: one request, its answer, an exit status.

#include "link/Framing.h"
#include "link/QtSerialPort.h"
#include "link/SensorLink.h"
#include "link/Speeds.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QTextStream>
#include <cstdio>

using namespace kelvar;

namespace {

enum ExitStatus { Ok = 0, Usage = 2, NoAnswer = 3, BadAnswer = 4 };

[[noreturn]] void Fail(const QString& message) {
    QTextStream(stderr) << "kelvar-cli: " << message << Qt::endl;
    std::exit(Usage);
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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelvar-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KELVAR_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Talks to Actimar sensors on an RS-485 network.\n\n"
        "Commands:\n"
        "  send ADDRESS COMMANDTEXT   Sends one request (for example: send 1 A, send 3 D000C)\n"
        "                             and prints TX and RX lines.\n\n"
        "Exit status: 0 valid answer, 3 no answer, 4 an answer that failed its CRC check\n"
        "or carried an unknown response letter, 2 usage error or port that cannot be opened."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(
        {QStringLiteral("port"),
         QStringLiteral("Serial device path, Comm number 1-16, or N=DEVICE to map Comm "
                        "N to a device (repeatable)."),
         QStringLiteral("DEVICE")});
    parser.addOption({QStringLiteral("baud"),
                      QStringLiteral("Line speed: 115200 (default), 57600, 38400 or 19200."),
                      QStringLiteral("B"), QStringLiteral("115200")});
    parser.addOption({QStringLiteral("timeout"),
                      QStringLiteral("Answer time-out in milliseconds (default 25)."),
                      QStringLiteral("MS"), QStringLiteral("25")});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("send"));
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    if (args.isEmpty()) {
        Fail(QStringLiteral("no command given (try --help)"));
    }
    if (args.first() != QLatin1String("send")) {
        Fail(QStringLiteral("unknown command \"%1\" (try --help)").arg(args.first()));
    }
    if (args.size() != 3) {
        Fail(QStringLiteral("usage: send ADDRESS COMMANDTEXT"));
    }
    const int address = ParseInt(args.at(1), MinAddress, MaxAddress, QStringLiteral("ADDRESS"));
    const QString command = args.at(2);
    static const QRegularExpression printable(QStringLiteral("^[\\x20-\\x7E]+$"));
    if (!printable.match(command).hasMatch()) {
        Fail(QStringLiteral("COMMANDTEXT must be printable ASCII"));
    }

    cQtSerialPort port;
    cSensorLink link(port);
    const int portNumber = ChoosePort(parser.values(QStringLiteral("port")), link.PortNames);
    const int speedIndex = SpeedIndexOfBaud(
        ParseInt(parser.value(QStringLiteral("baud")), 1, 10000000, QStringLiteral("--baud")));
    if (speedIndex < 0) {
        Fail(QStringLiteral("--baud must be 115200, 57600, 38400 or 19200"));
    }
    link.PacketTimeout =
        ParseInt(parser.value(QStringLiteral("timeout")), 1, 60000, QStringLiteral("--timeout"));
    if (!link.OpenPort(portNumber, speedIndex)) {
        Fail(
            QStringLiteral("cannot open %1: %2").arg(link.PortDescription(), link.PortErrorText()));
    }

    const auto outcome = link.SendCommand(command.toLatin1(), address);
    QTextStream out(stdout);
    out << "TX " << QString::fromLatin1(link.TxText()) << '\n';
    out << "RX "
        << (link.LastAnswer().isEmpty() ? QStringLiteral("none")
                                        : QString::fromLatin1(link.LastAnswer()))
        << Qt::endl;
    switch (outcome) {
    case cSensorLink::Outcome::Answered:
        return Ok;
    case cSensorLink::Outcome::BadAnswer:
        return BadAnswer;
    default:
        if (!link.PortErrorText().isEmpty()) {
            QTextStream(stderr) << "kelvar-cli: " << link.PortErrorText() << Qt::endl;
        }
        return NoAnswer;
    }
}
