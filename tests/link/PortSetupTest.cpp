// The RS-485 line driver settings, and what the program tells about a port,
// on pseudo-terminals.
#include "link/PortInfo.h"
#include "link/QtSerialPort.h"
#include "support/Pty.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

using namespace kelvar;
using test::NotATerminal;
using test::Pty;

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
    for (const auto& [field, text] : texts) {
        EXPECT_EQ(LineDriverFieldText(driver, field), text); // each reads back as above
    }

    // The texts of the other refusals are kelvar-cli's test.
    EXPECT_FALSE(ParseLineDriverField(driver, LineDriverField::Mode, "bogus").isEmpty());
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
    EXPECT_EQ(port.failure(), OpenFailure::LineDriverUnsupported); // its text: CliPortsTest

    port.setLineDriver({cLineDriver::Mode::Rts, false, 0, 0});
    EXPECT_FALSE(port.open(pty.device, 115200));
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.failure(), OpenFailure::LineDriverUnsupported);

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
