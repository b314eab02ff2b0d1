// actimar-sim: simulated Actimar sensors behind a Linux pseudo-terminal, for
// running the tool and its tests without hardware.
#include "sim/SensorConfig.h"
#include "sim/SimNetwork.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace kelvar::sim;

namespace {

constexpr int UsageError = 2;
constexpr int RuntimeError = 1;

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const int saved = errno;
    const char byte = 1;
    (void)!::write(signalPipe[1], &byte, 1);
    errno = saved;
}

void Fail(const QString& text) {
    std::fprintf(stderr, "actimar-sim: %s\n", qPrintable(text));
}

QString SystemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

struct Settings {
    std::vector<SensorConfig> sensors;
    SimFaults faults;
    int replyDelayMs = 0;
    std::uint32_t seed = 1;
    QString link;
    QString logFile;
};

// Empty when every option was taken.
QString ReadSettings(const QCommandLineParser& parser, Settings& settings) {
    const auto probability = [&](const QString& name, double& value) -> QString {
        if (!parser.isSet(name)) {
            return {};
        }
        bool ok = false;
        value = parser.value(name).toDouble(&ok);
        if (!ok || value < 0 || value > 1) {
            return QStringLiteral("--%1 \"%2\" must be a probability from 0 to 1")
                .arg(name, parser.value(name));
        }
        return {};
    };
    const auto milliseconds = [&](const QString& name, int& value) -> QString {
        if (!parser.isSet(name)) {
            return {};
        }
        bool ok = false;
        value = parser.value(name).toInt(&ok, 10);
        if (!ok || value < 0 || value > 60000) {
            return QStringLiteral("--%1 \"%2\" must be 0 to 60000 ms")
                .arg(name, parser.value(name));
        }
        return {};
    };
    SimFaults& faults = settings.faults;
    for (const QString& problem :
         {probability(QStringLiteral("drop"), faults.drop),
          probability(QStringLiteral("corrupt"), faults.corrupt),
          probability(QStringLiteral("junk"), faults.junk),
          probability(QStringLiteral("late"), faults.late),
          probability(QStringLiteral("line-errors"), faults.lineError),
          probability(QStringLiteral("repeat"), faults.repeat),
          milliseconds(QStringLiteral("late-ms"), faults.lateMs),
          milliseconds(QStringLiteral("repeat-ms"), faults.repeatMs),
          milliseconds(QStringLiteral("delay-ms"), settings.replyDelayMs)}) {
        if (!problem.isEmpty()) {
            return problem;
        }
    }
    faults.echo = parser.isSet(QStringLiteral("echo"));
    if (parser.isSet(QStringLiteral("silent-after"))) {
        bool ok = false;
        faults.silentAfter = parser.value(QStringLiteral("silent-after")).toLongLong(&ok, 10);
        if (!ok || faults.silentAfter < 0) {
            return QStringLiteral("--silent-after \"%1\" must be a whole number of requests")
                .arg(parser.value(QStringLiteral("silent-after")));
        }
    }
    if (parser.isSet(QStringLiteral("seed"))) {
        bool ok = false;
        settings.seed = parser.value(QStringLiteral("seed")).toUInt(&ok, 10);
        if (!ok) {
            return QStringLiteral("--seed \"%1\" must be a whole number from 0 to 4294967295")
                .arg(parser.value(QStringLiteral("seed")));
        }
    }
    QStringList sensorTexts = parser.values(QStringLiteral("sensor"));
    if (sensorTexts.isEmpty()) {
        sensorTexts << QStringLiteral("1");
    }
    for (const QString& text : sensorTexts) {
        const ParsedSensorText parsed = ParseSensorText(text);
        if (!parsed.ok()) {
            return parsed.error;
        }
        settings.sensors.push_back(parsed.config);
    }
    settings.link = parser.value(QStringLiteral("link"));
    settings.logFile = parser.value(QStringLiteral("log"));
    if (!parser.positionalArguments().isEmpty()) {
        return QStringLiteral("unexpected argument \"%1\"")
            .arg(parser.positionalArguments().front());
    }
    return {};
}

qint32 BaudOfSpeed(speed_t speed) {
    static constexpr std::array<std::pair<speed_t, qint32>, 9> Speeds = {{
        {B1200, 1200},
        {B2400, 2400},
        {B4800, 4800},
        {B9600, 9600},
        {B19200, 19200},
        {B38400, 38400},
        {B57600, 57600},
        {B115200, 115200},
        {B230400, 230400},
    }};
    for (const auto& [code, baud] : Speeds) {
        if (code == speed) {
            return baud;
        }
    }
    return 0;
}

// Serves the network on the master side of a pseudo-terminal; the client
// opens the slave side as its serial port.
class PtyServer : public QObject {
public:
    PtyServer(SimNetwork& network, QFile* log) : network_(network), log_(log) {}

    ~PtyServer() override {
        for (const int fd : {master_, slave_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }

    // Empty on success.
    QString Start() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            return SystemError("cannot create a pseudo-terminal");
        }
        const char* name = ::ptsname(master_);
        if (name == nullptr) {
            return SystemError("cannot name the pseudo-terminal");
        }
        slavePath_ = QString::fromLocal8Bit(name);
        // Held open for the whole run: without any slave open the master
        // reports a hang-up at every turn, and a client could not come back.
        slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave_ < 0) {
            return SystemError("cannot open the pseudo-terminal");
        }
        termios settings{};
        if (::tcgetattr(slave_, &settings) == 0) {
            ::cfmakeraw(&settings);
            ::cfsetspeed(&settings, B115200);
            ::tcsetattr(slave_, TCSANOW, &settings);
        }
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        notifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &PtyServer::OnReadable);
        return {};
    }

    const QString& slavePath() const { return slavePath_; }

private:
    void OnReadable() {
        QByteArray bytes;
        std::array<char, 512> buffer{};
        for (;;) {
            const ssize_t n = ::read(master_, buffer.data(), buffer.size());
            if (n > 0) {
                bytes.append(buffer.data(), n);
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && errno != EAGAIN) {
                // Nothing sensible can follow; stop rather than spin on the error.
                Fail(SystemError("reading the pseudo-terminal"));
                notifier_->setEnabled(false);
                QCoreApplication::exit(RuntimeError);
            }
            break;
        }
        if (bytes.isEmpty()) {
            return;
        }
        const std::vector<SimReply> replies =
            network_.receive(bytes, LineSpeed(), network_.elapsedMs());
        WriteLog();
        // A pseudo-terminal cannot carry a line error: the noise byte that
        // comes with one is sent as it is.
        for (const SimReply& reply : replies) {
            if (reply.delayMs == 0) {
                Send(reply.bytes);
            } else {
                QTimer::singleShot(reply.delayMs, Qt::PreciseTimer, this,
                                   [this, bytes = reply.bytes] { Send(bytes); });
            }
        }
    }

    // The speed the client set: on Linux the master reports the slave's settings.
    qint32 LineSpeed() const {
        termios settings{};
        if (::tcgetattr(master_, &settings) != 0) {
            return 0;
        }
        return BaudOfSpeed(::cfgetospeed(&settings));
    }

    void Send(const QByteArray& bytes) {
        qsizetype sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.constData() + sent,
                                      static_cast<std::size_t>(bytes.size() - sent));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return; // the client reads nothing and its input is full: the answer is lost
            }
            sent += n;
        }
    }

    void WriteLog() {
        if (log_ == nullptr) {
            return;
        }
        for (const SimLogEntry& entry : network_.takeLog()) {
            log_->write(entry.text().toUtf8() + '\n');
            log_->flush(); // a reader may be waiting for this very line
        }
    }

    SimNetwork& network_;
    QFile* log_;
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
    QSocketNotifier* notifier_ = nullptr;
};

// Points path at target; an older link there is replaced, anything else kept.
QString MakeLink(const QString& path, const QString& target) {
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(name.constData(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            return QStringLiteral("--link %1 exists and is not a symbolic link").arg(path);
        }
        ::unlink(name.constData());
    }
    if (::symlink(QFile::encodeName(target).constData(), name.constData()) != 0) {
        const int error = errno;
        return QStringLiteral("cannot create the link %1: %2")
            .arg(path, QString::fromLocal8Bit(std::strerror(error)));
    }
    return {};
}

void RemoveLink(const QString& path, const QString& target) {
    // Only our own: another simulator may have taken the name since.
    if (QFile::symLinkTarget(path) == target) {
        ::unlink(QFile::encodeName(path).constData());
    }
}

bool CatchSignals() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 &&
           ::sigaction(SIGINT, &action, nullptr) == 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("actimar-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KELVAR_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated Actimar sensors on a pseudo-terminal. Prints the terminal's device path on "
        "the first line, then serves requests until SIGTERM or SIGINT."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("sensor"),
         QStringLiteral("A sensor, repeatable: ADDR[:BAUD][,serial=N,length=N,res=X,units=U,"
                        "model=M,version=V,date=DDMMMYY]. Default: one sensor at 1, 115200."),
         QStringLiteral("sensor")},
        {QStringLiteral("link"), QStringLiteral("Symbolic link to the device, removed on exit."),
         QStringLiteral("path")},
        {QStringLiteral("log"), QStringLiteral("One line per request received."),
         QStringLiteral("file")},
        {QStringLiteral("drop"), QStringLiteral("Probability that an answer is lost."),
         QStringLiteral("p")},
        {QStringLiteral("corrupt"), QStringLiteral("Probability of a wrong answer CRC."),
         QStringLiteral("p")},
        {QStringLiteral("junk"), QStringLiteral("Probability of stray bytes before an answer."),
         QStringLiteral("p")},
        {QStringLiteral("late"), QStringLiteral("Probability that an answer comes late."),
         QStringLiteral("p")},
        {QStringLiteral("late-ms"), QStringLiteral("Delay of a late answer (default 150)."),
         QStringLiteral("ms")},
        {QStringLiteral("line-errors"),
         QStringLiteral("Probability of a noise byte (a line error) before an answer."),
         QStringLiteral("p")},
        {QStringLiteral("delay-ms"), QStringLiteral("Delay of every other answer (default 0)."),
         QStringLiteral("ms")},
        {QStringLiteral("repeat"),
         QStringLiteral("Probability that an answer comes twice (a repeater, a reflection)."),
         QStringLiteral("p")},
        {QStringLiteral("repeat-ms"),
         QStringLiteral("How long after the answer its copy comes (default 1)."),
         QStringLiteral("ms")},
        {QStringLiteral("echo"),
         QStringLiteral("Every request comes back before its answer, as on a two-wire adapter "
                        "without echo suppression.")},
        {QStringLiteral("silent-after"),
         QStringLiteral("No answer to any request after the first N."), QStringLiteral("n")},
        {QStringLiteral("seed"), QStringLiteral("Seed of the fault draws (default 1)."),
         QStringLiteral("n")},
    });
    if (!parser.parse(QCoreApplication::arguments())) {
        Fail(parser.errorText());
        return UsageError;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all")) || parser.isSet(version)) {
        parser.process(app); // prints and ends the program
    }
    Settings settings;
    if (const QString problem = ReadSettings(parser, settings); !problem.isEmpty()) {
        Fail(problem);
        return UsageError;
    }

    SimNetwork network(settings.seed);
    network.faults() = settings.faults;
    network.setReplyDelayMs(settings.replyDelayMs);
    for (const SensorConfig& config : settings.sensors) {
        try {
            network.addSensor(config);
        } catch (const std::invalid_argument& e) {
            Fail(QString::fromStdString(e.what()));
            return UsageError;
        }
    }

    QFile log(settings.logFile);
    if (!settings.logFile.isEmpty() && !log.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        Fail(QStringLiteral("cannot write %1: %2").arg(settings.logFile, log.errorString()));
        return RuntimeError;
    }
    if (!CatchSignals()) {
        Fail(SystemError("cannot catch signals"));
        return RuntimeError;
    }
    PtyServer server(network, settings.logFile.isEmpty() ? nullptr : &log);
    if (const QString problem = server.Start(); !problem.isEmpty()) {
        Fail(problem);
        return RuntimeError;
    }
    if (!settings.link.isEmpty()) {
        if (const QString problem = MakeLink(settings.link, server.slavePath());
            !problem.isEmpty()) {
            Fail(problem);
            return RuntimeError;
        }
    }
    // The link exists before the path is printed: a reader may use either at once.
    std::printf("%s\n", qPrintable(server.slavePath()));
    std::fflush(stdout);

    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        while (::read(signalPipe[0], &byte, 1) > 0) {
        }
        QCoreApplication::quit();
    });

    const int status = QCoreApplication::exec();
    if (!settings.link.isEmpty()) {
        RemoveLink(settings.link, server.slavePath());
    }
    return status;
}
