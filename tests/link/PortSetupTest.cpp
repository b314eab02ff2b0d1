// The RS-485 line driver settings, and what the program tells about a port,
// on pseudo-terminals.
#include "link/PortInfo.h"
#include "link/QtSerialPort.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

using namespace kelvar;

namespace {

// A pseudo-terminal that nobody answers on.
class Pty {
public:
    Pty() : master_(::posix_openpt(O_RDWR | O_NOCTTY)) {
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
            device = QString::fromLocal8Bit(::ptsname(master_));
        }
    }
    ~Pty() {
        if (master_ >= 0) {
            ::close(master_);
        }
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    QString device;

private:
    int master_;
};

QString NotATerminal() {
    return QString::fromLocal8Bit(std::strerror(ENOTTY));
}

} // namespace

TEST(LineDriver, SettingsReadFromTextAndBackAndBadTextChangesNothing) {
    cLineDriver driver;
    EXPECT_EQ(ParseLineDriverField(driver, LineDriverField::Mode, " Kernel "), QString());
    EXPECT_EQ(ParseLineDriverField(driver, LineDriverField::RtsOnSend, "LOW"), QString());
    EXPECT_EQ(ParseLineDriverField(driver, LineDriverField::DelayBeforeMs, "0"), QString());
    EXPECT_EQ(ParseLineDriverField(driver, LineDriverField::DelayAfterMs, "1000"), QString());
    const cLineDriver expected{cLineDriver::Mode::Kernel, false, 0, 1000};
    EXPECT_EQ(driver, expected);

    const std::pair<LineDriverField, const char*> texts[] = {
        {LineDriverField::Mode, "kernel"},
        {LineDriverField::RtsOnSend, "low"},
        {LineDriverField::DelayBeforeMs, "0"},
        {LineDriverField::DelayAfterMs, "1000"},
    };
    cLineDriver readBack;
    for (const auto& [field, text] : texts) {
        EXPECT_EQ(LineDriverFieldText(driver, field), text);
        EXPECT_EQ(ParseLineDriverField(readBack, field, LineDriverFieldText(driver, field)),
                  QString());
    }
    EXPECT_EQ(readBack, driver);

    EXPECT_EQ(ParseLineDriverField(driver, LineDriverField::Mode, "bogus"),
              "expected off, kernel or rts, got \"bogus\"");
    EXPECT_EQ(ParseLineDriverField(driver, LineDriverField::RtsOnSend, "on"),
              "expected high or low, got \"on\"");
    for (const char* bad : {"-1", "1001", "", "5ms", "2.5"}) {
        EXPECT_EQ(ParseLineDriverField(driver, LineDriverField::DelayBeforeMs, bad),
                  QStringLiteral("expected 0 to 1000 ms, got \"%1\"").arg(bad));
    }
    EXPECT_EQ(driver, expected) << "a refused text leaves the settings as they were";

    // Whatever a caller sets, no delay beyond the limits reaches the port.
    cQtSerialPort port;
    port.setLineDriver({cLineDriver::Mode::Rts, true, -5, 5000});
    EXPECT_EQ(port.lineDriver(), (cLineDriver{cLineDriver::Mode::Rts, true, 0, 1000}));
}

TEST(LineDriver, APortThatCannotDriveTheLineIsRefusedAndLeftFree) {
    const Pty pty;
    ASSERT_FALSE(pty.device.isEmpty());
    cQtSerialPort port;
    port.setLineDriver({cLineDriver::Mode::Kernel, true, 2, 3});
    EXPECT_FALSE(port.open(pty.device, 115200));
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.failure(), OpenFailure::LineDriverUnsupported);
    EXPECT_EQ(port.failureText(), pty.device +
                                      " does not support the kernel's RS-485 mode (TIOCSRS485: " +
                                      NotATerminal() + ")");

    port.setLineDriver({cLineDriver::Mode::Rts, false, 0, 0});
    EXPECT_FALSE(port.open(pty.device, 115200));
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.failure(), OpenFailure::LineDriverUnsupported);
    EXPECT_EQ(port.failureText(), pty.device + " cannot switch RTS (" + NotATerminal() + ")");

    // Off asks nothing of the line, and the refusals held nothing.
    port.setLineDriver({});
    EXPECT_TRUE(port.open(pty.device, 115200)) << port.failureText().toStdString();
    EXPECT_EQ(port.notice(), QString()) << "a pseudo-terminal has no latency to complain of";
}

TEST(PortReport, AHolderIsFoundByItsOpenFilesAndThisProgramIsToldApart) {
    const Pty pty;
    ASSERT_FALSE(pty.device.isEmpty());
    // Held as another program would hold it: no lock file of ours names it.
    const int held = ::open(QFile::encodeName(pty.device).constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    cQtSerialPort port;
    EXPECT_FALSE(port.open(pty.device, 115200));
    EXPECT_EQ(port.failure(), OpenFailure::Busy);
    EXPECT_EQ(port.failureText(),
              QStringLiteral("%1 is held by another program: %2 (process %3)")
                  .arg(pty.device, QFileInfo(QCoreApplication::applicationFilePath()).fileName())
                  .arg(QCoreApplication::applicationPid()));

    // The window asks about the port it holds itself.
    cPortNames names;
    names.setDevice(3, pty.device);
    EXPECT_EQ(DescribePort(InspectPort(3, names)),
              QStringList({"Comm 3: " + pty.device + " (mapped)", "  in use by this program"}));
    ::close(held);
    EXPECT_EQ(DescribePort(InspectPort(3, names)),
              QStringList({"Comm 3: " + pty.device + " (mapped)", "  opens"}));
    const cLineDriver rts{cLineDriver::Mode::Rts, true, 0, 0};
    EXPECT_EQ(DescribePort(InspectPort(3, names, rts)),
              QStringList({"Comm 3: " + pty.device + " (mapped)", "  does not open: " + pty.device +
                                                                      " cannot switch RTS (" +
                                                                      NotATerminal() + ")"}));
}
