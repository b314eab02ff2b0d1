// The window program.

#include "shell/EventGuard.h"
#include "shell/Registry.h"
#include "ui/Application.h"
#include "ui/AsciiSensor.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QSocketNotifier>
#include <QTextStream>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

using namespace kelvar;

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    (void)::write(signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT reach the program as an event, which ends it the
// orderly way from any state, so that the settings are written.
void RouteSignalsTo(cApplication& program) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &program);
    QObject::connect(notifier, &QSocketNotifier::activated, &program, [&program] {
        char byte = 0;
        (void)::read(signalPipe[0], &byte, 1);
        program.Terminate();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

// Whether Qt has a window system to start on: a display, or a platform
// named in the environment or on the command line.
bool WindowSystemGiven(const QStringList& arguments) {
#ifdef Q_OS_MACOS
    return true; // the window server is always there
#endif
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (!qEnvironmentVariableIsEmpty(variable)) {
            return true;
        }
    }
    return arguments.contains(QStringLiteral("-platform")) ||
           arguments.contains(QStringLiteral("--platform"));
}

} // namespace

int main(int argc, char** argv) {
    QApplication::setApplicationName(QStringLiteral("Kelvar Setup Software"));
    QApplication::setApplicationVersion(QStringLiteral(KELVAR_VERSION));
    // Ties the window to its desktop entry, and so to its icon.
    QApplication::setDesktopFileName(QStringLiteral(KELVAR_APP_ID));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Sets up and watches Actimar linear position sensors.\n\n"
                       "/ex   the port search leaves out Comm 1\n"
                       "/cal  calibration mode"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOption({QStringLiteral("port"),
                      QStringLiteral("Comm N is DEVICE (repeatable), e.g. 1=/dev/ttyUSB0."),
                      QStringLiteral("N=DEVICE")});
    parser.addOption({QStringLiteral("simulate"),
                      QStringLiteral("Built-in simulated sensors on Comm 1 (addresses 1 and 3 at "
                                     "115.2K, 5 at 57.6K).")});
    parser.addPositionalArgument(QStringLiteral("switches"), QStringLiteral("/ex, /cal"));

    // The help and the version need no display: they are printed before the
    // QApplication, which cannot start without one. Anything that does not
    // parse here may be a Qt option (-platform, -style) that only the
    // QApplication knows, so that is left to it.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    if (parser.parse(arguments) && (parser.isSet(help) || parser.isSet(version))) {
        const QCoreApplication console(argc, argv);
        parser.process(console); // prints and ends the program
    }
    if (!WindowSystemGiven(arguments)) {
        // QApplication would abort with a message about plugins.
        QTextStream(stderr) << "kelvar-setup: no display: neither DISPLAY nor WAYLAND_DISPLAY is "
                               "set (QT_QPA_PLATFORM=offscreen runs the window without one)"
                            << Qt::endl;
        return 1;
    }

    cEventGuard<QApplication> app(argc, argv);
    parser.process(app);

    cAppOptions options;
    options.portMappings = parser.values(QStringLiteral("port"));
    options.simulate = parser.isSet(QStringLiteral("simulate"));
    // Only the switches: an option's value (a device path) never counts as one.
    options.commandLine = parser.positionalArguments().join(u' ');
    cPortNames check;
    for (const QString& mapping : options.portMappings) {
        if (const QString error = check.addMapping(mapping); !error.isEmpty()) {
            QTextStream(stderr) << "kelvar-setup: --port: " << error << Qt::endl;
            return 2;
        }
    }

    cRegistry registry;
    cApplication program(options, registry);
    RouteSignalsTo(program);
    app.Report = [&program](const QString& doing, const QString& what) {
        program.ReportProgramError(doing, what);
    };
    const bool started = program.Start();
    if (program.Finished()) {
        // Closed or terminated while it started: nothing is left to run.
        return 0;
    }
    if (!started) {
        program.Shutdown();
        return 1;
    }
    return QApplication::exec();
}
