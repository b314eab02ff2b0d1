// The whole program off screen on the built-in sensor network.
#include "RunningProgram.h"
#include "link/SensorLink.h"
#include "model/Errors.h"
#include "operations/Editing.h"
#include "operations/Selection.h"
#include "operations/StatusDisplay.h"
#include "shell/EventGuard.h"
#include "support/WhenModal.h"
#include "ui/Look.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

using namespace kelvar;
using namespace kelvar::test;

TEST_F(ApplicationTest, FirstStartSearchesAndTheNextStartsWhereItLeftOff) {
    QPoint left;
    {
        cApplication program(options, registry);
        ASSERT_TRUE(program.Start());
        AsciiSensor& window = program.Window();
        EXPECT_EQ(window.VisibleTab(), Tab::Monitor);
        PauseProcessingEvents(400); // a few polls of the monitor
        auto* position = window.Control<QLabel>("lblPosition");
        EXPECT_EQ(position->text(), "12.000");
        EXPECT_EQ(window.Control<QLabel>("StatusBar1_Panel4")->text(), "Monitor");
        EXPECT_EQ(window.Control<QComboBox>("cboSensorSelect")->count(), 3);
        EXPECT_FALSE(window.Control<QAction>("mnuCalibrate")->isVisible()) << "only with /cal";
        // Zeros that no sensor said are greyed until the monitor's answer.
        program.Session().monitor.UpdateReadouts(true);
        EXPECT_FALSE(position->isEnabled());
        EXPECT_TRUE(QTest::qWaitFor([position] { return position->isEnabled(); }, 3000));
        EXPECT_EQ(window.Control<QLabel>("lblCommStatus_1")->text(), "Sensor Online");
        // The window's tabs reach the session: another tab stops the polls.
        window.SelectTab(Tab::Dynamics);
        EXPECT_FALSE(program.Session().monitor.Running());

        left = window.geometry().topLeft();
        window.close(); // the orderly way out writes the settings
    }
    EXPECT_EQ(QPoint(Stored("Startup", "Left").toInt(), Stored("Startup", "Top").toInt()), left);

    // The next start finds its sensors from the saved list, where it was left.
    cApplication again(options, registry);
    ASSERT_TRUE(again.Start());
    EXPECT_EQ(again.Window().geometry().topLeft(), left);
    again.Window().close();
}

TEST_F(ApplicationTest, ASettingsFileEditedByHandReadsAsFarAsItCanAndTheWindowStaysOnScreen) {
    WriteSettingsWithTheSensors(
        "[Startup]\nTop=-30000\nLeft=40000\nthis line has no equals sign\n");
    cApplication program(options, registry);
    prompter.Script(MessageAnswer::Ok);
    program.Window().SetPrompter(&prompter);
    ASSERT_TRUE(program.Start());
    ASSERT_GE(prompter.asked.size(), 1);
    EXPECT_TRUE(prompter.asked[0].text.contains("line 8: this line has no equals sign"))
        << prompter.asked[0].text.toStdString();

    // Left on a screen that is gone: shown on this one.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect frame = program.Window().frameGeometry();
    EXPECT_TRUE(screen.contains(frame.topLeft())) << frame.x() << "," << frame.y();
    EXPECT_LE(frame.height(), screen.height());
    program.Window().close();
}

TEST_F(ApplicationTest, TheCommunicationsTabSetsTheLineAndShowsTheSensorsStatistics) {
    WriteSettingsWithTheSensors("[Communications]\nRetries=5\nRS485RtsOnSend=low\n");
    cApplication program(options, registry);
    ASSERT_TRUE(program.Start());
    AsciiSensor& window = program.Window();
    cSensorLink& link = program.Session().link;
    auto* retries = window.Control<QSpinBox>("spnRetries");
    EXPECT_EQ(retries->value(), 5);
    EXPECT_EQ(window.Control<QComboBox>("cboRs485Rts")->currentIndex(), 1);
    retries->setValue(1);
    window.Control<QComboBox>("cboRs485")->setCurrentIndex(2);
    window.Control<QSpinBox>("spnRs485After")->setValue(4);
    EXPECT_EQ(link.Port().lineDriver(), (cLineDriver{cLineDriver::Mode::Rts, false, 0, 4}));

    window.SelectTab(Tab::Communications);
    EXPECT_EQ(window.Control<QPlainTextEdit>("txtPortInfo")->toPlainText(),
              "Comm 1: simulated sensors, no serial port");
    const QString requests =
        QStringLiteral("Requests: %1").arg(link.Statistics(link.CurrentAddress).requests);
    EXPECT_TRUE(
        window.Control<QPlainTextEdit>("txtLinkStatistics")
            ->toPlainText()
            .startsWith(QStringLiteral("Sensor %1\n%2\n").arg(link.CurrentAddress).arg(requests)))
        << window.Control<QPlainTextEdit>("txtLinkStatistics")->toPlainText().toStdString();
    window.close();
    EXPECT_EQ(Stored("Communications", "Retries"), "1"); // the line driver's: StartupTest
}

TEST_F(ApplicationTest, NoSerialPortEndsWithTheFatalMessage) {
    options.simulate = false;
    cApplication program(options, registry);
    for (int n = 1; n <= 16; ++n) {
        program.Session().link.PortNames.setDevice(n, dir.filePath("missing"));
    }
    test::WhenModal answer([](QWidget* box) { box->close(); });
    EXPECT_FALSE(program.Start());
}

TEST(InformationDialog, TellsWhetherTheUserWantsItAgain) {
    AsciiSensor window;
    QString shown;
    test::WhenModal answer([&](QWidget* modal) {
        shown = modal->findChild<QLabel*>("lblInformation")->text() + "|" +
                modal->findChild<QLabel*>("lblWarning")->text();
        modal->findChild<QCheckBox*>("chkDoNotShow")->setChecked(true);
        modal->findChild<QAbstractButton*>("OKButton")->click();
    });
    EXPECT_TRUE(window.ShowInformation("Main\r\ntext", "Careful"));
    EXPECT_EQ(shown, "Main\ntext|Careful");
}

TEST_F(RunningProgramTest, TypedValuesAreHeldToTheirLimitsAndCommitOnTabOrEnter) {
    window.SelectTab(Tab::Dynamics);
    auto* gain = window.Control<QLineEdit>("txtData", FieldOfRegister(2));
    // Typed after a click, the new value replaces the old one; above the
    // limit it is held to it and shown in red.
    Click(gain);
    ASSERT_TRUE(gain->hasFocus());
    EXPECT_EQ(gain->selectedText(), "500");
    QTest::keyClicks(gain, "70000");
    QTest::keyClick(gain, Qt::Key_Tab);
    EXPECT_EQ(gain->text(), "65535");
    EXPECT_EQ(gain->palette().color(QPalette::Text), QColor(Qt::red));
    EXPECT_EQ(session.sensor.ReadParameterData(2, clsSensorData::ChangedDataColumn), 65535);
    EXPECT_TRUE(window.Control<QAbstractButton>("cmdApply")->isEnabled());

    // A spin click moves the value by one.
    emit window.Control<cUpDown>(QStringLiteral("UpDown%1").arg(FieldOfRegister(2) + 2))->down();
    EXPECT_EQ(gain->text(), "65534");
    EXPECT_EQ(session.sensor.ReadParameterData(2, clsSensorData::ChangedDataColumn), 65534);
}

TEST_F(RunningProgramTest, AKeyOnTheSetpointGridOpensItsBoxOverTheCellAndEnterStoresAndWraps) {
    // Over the last row's target; Enter stores it and wraps to the first row.
    window.SelectTab(Tab::SetPoints);
    auto* grid = window.Control<QTableWidget>("MSFlexGrid1");
    grid->setCurrentCell(59, 1);
    QTest::keyClick(grid, Qt::Key_5);
    auto* box = window.Control<QLineEdit>("txtEditCell");
    ASSERT_TRUE(box->hasFocus());
    QCoreApplication::processEvents();
    QTest::keyClicks(box, "-12.5x");
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_FALSE(box->isVisible());
    EXPECT_EQ(session.sensor.ReadSetpointData(59, clsSensorData::EditedTargetColumn), 12500);
    EXPECT_EQ(grid->item(59, 1)->text(), "12.500");
    EXPECT_EQ(grid->currentRow(), 0);

    // A target beyond what the sensor can hold is refused with a message.
    prompter.Script(MessageAnswer::Ok);
    QTest::keyClick(grid, Qt::Key_7);
    QCoreApplication::processEvents();
    QTest::keyClicks(box, "70");
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(grid->item(0, 1)->text(), "2.000");
    EXPECT_TRUE(prompter.asked.value(0).text.startsWith("Setpoint 1 target 70 is more than"));
}

// Apply closes once its writes are done, not when its review is cancelled.
TEST_F(RunningProgramTest, ClosingWithUnappliedEditsAsksToApplyDiscardOrStay) {
    using enum MessageAnswer;
    for (const auto& [answer, review] : {std::pair{Cancel, Ok}, {Apply, Cancel}, {Apply, Ok}}) {
        auto* gain = window.Control<QLineEdit>("txtData", FieldOfRegister(2));
        Click(gain);
        QTest::keyClicks(gain, "640");
        prompter.Script(answer);
        if (answer == Apply) {
            prompter.Script(review);
        }
        const bool applied = answer == Apply && review == Ok;
        EXPECT_EQ(SentBy([this] { window.close(); }, "LQ"),
                  applied ? QList<QByteArray>{"L0020280"} : QList<QByteArray>{});
        EXPECT_EQ(window.isVisible(), !applied);
        EXPECT_EQ(gain->text(), "640");
    }
    EXPECT_EQ(prompter.asked.value(0).buttons, MessageButtons::ApplyDiscardCancel);
}

TEST_F(RunningProgramTest, ClosingWithUnappliedEditsAndDiscardWritesNothing) {
    window.Control<QAbstractButton>("RunOption", 1)->click();
    prompter.Script(MessageAnswer::Discard);
    EXPECT_EQ(SentBy([this] { window.close(); }, "GLQ"), QList<QByteArray>{});
    EXPECT_TRUE(program.Finished());
}

TEST_F(RunningProgramTest, TheRunModeChosenShowsAtOnceAndTheCaptionsNameTheUnits) {
    window.SelectTab(Tab::Sensor); // no polls here that would redraw the strip
    auto* mode = window.Control<QLabel>("lblStatusStrip", cStatusDisplay::RunModeField);
    ASSERT_EQ(mode->text(), RunModeText(0));
    window.Control<QAbstractButton>("RunOption", 1)->click();
    EXPECT_EQ(mode->text(), RunModeText(1));

    // The captions name the units of the sensor read.
    auto* travel = window.Control<QLabel>("lblData", FieldOfRegister(Param::MaximumTravel));
    EXPECT_TRUE(travel->text().endsWith("(in)"));
    session.sensor.setUnits("mm");
    emit session.read.loadFinished();
    EXPECT_TRUE(travel->text().endsWith("(mm)"));
    EXPECT_EQ(window.Control<QLabel>("lblGraphVelocityCaption")->text(), "Velocity\n(mm/sec)");
}

TEST_F(RunningProgramTest, NameCautionOnlyWhenTheUserPutsTheFocusThere) {
    int cautions = 0;
    test::WhenModal answering([&cautions](QWidget* dialog) {
        ++cautions;
        static_cast<QDialog*>(dialog)->reject();
    });
    auto* name = window.Control<QLineEdit>("txtSensorName");
    auto* tabs = window.Control<QTabWidget>("SSTab1");
    // Showing the tab carries the focus from the page before into the field.
    window.SelectTab(Tab::Sensor);
    window.Control<QWidget>("SensorAddressSelect")->setFocus(Qt::MouseFocusReason);
    window.SelectTab(Tab::Information);
    EXPECT_EQ(cautions, 0);
    ASSERT_TRUE(name->hasFocus());
    // Nor while a flow runs, whatever moves the focus.
    tabs->setFocus();
    session.RunUserFlow([name] { name->setFocus(Qt::MouseFocusReason); });
    EXPECT_EQ(cautions, 0);
    ASSERT_TRUE(name->hasFocus());
    tabs->setFocus();
    Click(name);
    EXPECT_EQ(cautions, 1);
    EXPECT_EQ(window.Control<QLabel>("lblSensorNameHint")->text(),
              cSensorSelection::NameEditingHint());
}

// The addresses where no sensor answered were errors only while searching.
// Unplugged, nothing shows the sensor's state as live and nothing that would
// send is enabled; all of it comes back with the answers.
TEST_F(RunningProgramTest, ALostPortLeavesNoStateThatLooksLive) {
    auto* gain = window.Control<QLineEdit>("txtData", FieldOfRegister(2));
    gain->setText("640");
    emit gain->editingFinished();
    const auto live = [this](bool shown) {
        EXPECT_EQ(LightColour(window.Control<QLabel>("lblStatusStrip", 1)) == qRgb(128, 128, 128),
                  !shown);
        EXPECT_EQ(window.Control<QComboBox>("cboSensorSelect")->currentText().endsWith(" On-Line"),
                  shown);
        for (const char* name : {"cmdSelect_0", "cmdGraphSelect_0", "cmdMidPoint"}) {
            EXPECT_EQ(window.Control<QAbstractButton>(name)->isEnabled(), shown) << name;
        }
    };
    live(true);
    auto& port = dynamic_cast<sim::SimSerialPort&>(session.link.Port());
    port.SimulateRemoval("test line");
    QTest::qWait(300);
    live(false);
    EXPECT_FALSE(window.Control<QAbstractButton>("cmdApply")->isEnabled()) << "an edit waits";
    port.SimulateReinsertion("test line");
    EXPECT_TRUE(QTest::qWaitFor([this] { return session.monitor.Running(); }, 5000));
    live(true);
}

TEST_F(RunningProgramTest, ASearchEndsWithNoErrorsShown) {
    window.SelectTab(Tab::Sensor);
    window.Control<QAbstractButton>("cmdAutoBaudSearch")->click();
    ASSERT_EQ(session.sensors.Count(), 3);
    for (int line = 0; line < 6; ++line) {
        EXPECT_EQ(LightColour(window.Control<QLabel>("CommLED", line)), Colour::LightGreen)
            << window.Control<QLabel>("lblCommStatus", line)->text().toStdString();
    }
    for (int counter = 0; counter < 3; ++counter) {
        EXPECT_EQ(window.Control<QLabel>("lblErrorText", counter)->text(), "0");
    }
}

TEST_F(RunningProgramTest, AProgrammingErrorIsReportedAndTheProgramGoesOn) {
    prompter.Script(MessageAnswer::Ok);
    auto* app = dynamic_cast<cEventGuard<QApplication>*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    app->Report = [this](const QString& doing, const QString& what) {
        program.ReportProgramError(doing, what);
    };
    QTimer::singleShot(0, &program, [this] {
        session.RunUserFlow([] { throw SubscriptOutOfRange("setpoint", 61, 0, 59); });
    });
    PauseProcessingEvents(50);
    app->Report = nullptr;
    ASSERT_EQ(prompter.asked.size(), 1);
    EXPECT_TRUE(prompter.asked[0].text.contains("setpoint"))
        << prompter.asked[0].text.toStdString();
    EXPECT_FALSE(session.FlowRunning()) << "the flow that failed does not block the next";
}

// The signal ends it with a message box up, as a read's report can be.
TEST_F(RunningProgramTest, TerminatedWithAQuestionUpItAnswersNoAndWritesTheSettings) {
    window.SetPrompter(nullptr);
    QTimer::singleShot(300, &program, [this] { program.Terminate(); });
    EXPECT_EQ(window.Ask("Question", "Open?", MessageIcon::Exclamation, MessageButtons::OkCancel),
              MessageAnswer::Cancel);
    EXPECT_TRUE(program.Finished());
    EXPECT_FALSE(session.monitor.Running());
    EXPECT_FALSE(Stored("Settings", "PacketTimeout").isEmpty()) << "the settings were written";
}
