// The whole program off screen on the built-in sensor network.
#include "ui/Application.h"
#include "link/SensorLink.h"
#include "model/Errors.h"
#include "operations/Editing.h"
#include "operations/Selection.h"
#include "operations/StatusDisplay.h"
#include "shell/EventGuard.h"
#include "shell/Registry.h"
#include "support/ScriptedPrompter.h"
#include "support/StoredSetting.h"
#include "ui/AsciiSensor.h"
#include "ui/Look.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kelvar;

namespace {

class ApplicationTest : public ::testing::Test {
protected:
    // The readouts are display texts: they follow the locale, which is fixed
    // here so that the expected texts hold everywhere.
    ApplicationTest() : registry(dir.filePath("settings.ini")) {
        options.simulate = true;
        QLocale::setDefault(QLocale::c());
    }
    ~ApplicationTest() override { QLocale::setDefault(QLocale::system()); }

    QString Stored(const QString& section, const QString& key) {
        return test::StoredSetting(registry.FileName(), section, key);
    }
    // The settings file as a first run on the built-in network leaves it,
    // and more: a start with it opens a sensor without searching every port.
    void WriteSettingsWithTheSensors(const QByteArray& more = {}) {
        QFile file(registry.FileName());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[SensorList]\nSensor001=01010010000001 0\nSensor002=01030010000003 0\n"
                   "Sensor003=01050010000005 1\n" +
                   more);
    }

    QTemporaryDir dir;
    cRegistry registry;
    cAppOptions options;
};

} // namespace

TEST_F(ApplicationTest, DemoOpensOnALiveSensorAndKeepsItsSettings) {
    {
        cApplication program(options, registry);
        ASSERT_TRUE(program.Start());
        AsciiSensor& window = program.Window();
        EXPECT_EQ(window.VisibleTab(), Tab::Monitor);
        EXPECT_EQ(program.Session().sensors.Count(), 3);
        EXPECT_TRUE(program.Session().MonitorRunning());
        PauseProcessingEvents(400); // a few polls of the monitor
        EXPECT_EQ(window.Control<QLabel>("lblPosition")->text(), "12.000");
        EXPECT_EQ(window.Control<QLabel>("StatusBar1_Panel4")->text(), "Monitor");
        EXPECT_EQ(window.Control<QComboBox>("cboSensorSelect")->count(), 3);

        // Another tab stops the polls; the Monitor tab brings them back.
        window.Control<QTabWidget>("SSTab1")->setCurrentIndex(Tab::Dynamics);
        EXPECT_FALSE(program.Session().MonitorRunning());
        window.Control<QTabWidget>("SSTab1")->setCurrentIndex(Tab::Monitor);
        EXPECT_TRUE(program.Session().MonitorRunning());
        PauseProcessingEvents(300);
        EXPECT_EQ(window.Control<QLabel>("lblCommStatus_1")->text(), "Sensor Online");

        window.close(); // the orderly way out writes the settings
    }
    EXPECT_EQ(Stored("SensorList", "Sensor001"), "01010010000001 0");
    EXPECT_EQ(Stored("SensorList", "Sensor003"), "01050010000005 1");
    EXPECT_EQ(Stored("Settings", "SensorAddress"), "1");

    // The next start finds its sensors from the saved list.
    cApplication again(options, registry);
    ASSERT_TRUE(again.Start());
    EXPECT_EQ(again.Session().sensors.Count(), 3);
    EXPECT_TRUE(again.Session().link.StateFlags.TestBit(StateBit::DataLoaded));
    again.Shutdown();
}

TEST_F(ApplicationTest, NoSerialPortEndsWithTheFatalMessage) {
    options.simulate = false;
    options.portMappings = {};
    cApplication program(options, registry);
    // Every port maps to nothing here: no port can be opened.
    for (int n = 1; n <= 16; ++n) {
        program.Session().link.PortNames.setDevice(n, dir.filePath("missing"));
    }
    // The message box is modal: answer it as the user would, once it is up.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            box->close();
        }
    });
    answer.start(50);
    EXPECT_FALSE(program.Start());
}

TEST(WindowCaption, NamesTheProgramAndItsVersion) {
    AsciiSensor window;
    EXPECT_EQ(window.windowTitle(),
              QString::fromUtf8("Kelvar Actimar\u2122 Configuration Program v8.1.0"));
}

TEST_F(ApplicationTest, EditApplyAndSeeTheSensorsValueComeBack) {
    cApplication program(options, registry);
    ASSERT_TRUE(program.Start());
    AsciiSensor& window = program.Window();
    auto* gain = window.Control<QLineEdit>("txtData", FieldOfRegister(2));
    auto* apply = window.Control<QAbstractButton>("cmdApply");
    EXPECT_EQ(gain->text(), "500");
    EXPECT_FALSE(apply->isEnabled());

    gain->setText("70000"); // above the limit: held to it, shown in red
    emit gain->editingFinished();
    EXPECT_EQ(gain->text(), "65535");
    EXPECT_EQ(gain->palette().color(QPalette::Text), QColor(Qt::red));
    EXPECT_TRUE(apply->isEnabled());

    gain->setText("500"); // changed back: nothing to apply
    emit gain->editingFinished();
    EXPECT_FALSE(apply->isEnabled());

    // A spin click moves the value by one and keeps it inside the limits.
    auto* spin = window.findChild<cUpDown*>(QStringLiteral("UpDown%1").arg(FieldOfRegister(2) + 2));
    ASSERT_NE(spin, nullptr);
    emit spin->up();
    EXPECT_EQ(gain->text(), "501");
    EXPECT_TRUE(apply->isEnabled());
    EXPECT_FALSE(gain->toolTip().isEmpty());

    gain->setText("640");
    emit gain->editingFinished();
    test::ScriptedPrompter prompter{MessageAnswer::Ok};
    window.SetPrompter(&prompter);
    // While Apply writes, nothing that starts another flow can be pressed.
    auto* reset = window.Control<QAbstractButton>("cmdReload");
    int resetPresses = 0;
    QObject::connect(&program.Session().statusBar, &cStatusBar::changed, [&] {
        if (program.Session().statusBar.Panel(1) == "Writing Parameters..." && resetPresses == 0) {
            ++resetPresses;
            EXPECT_FALSE(reset->isEnabled());
            EXPECT_FALSE(window.Control<QWidget>("cboSensorSelect")->isEnabled());
            reset->click();
        }
    });
    apply->click();
    EXPECT_EQ(resetPresses, 1);
    EXPECT_TRUE(reset->isEnabled());
    ASSERT_EQ(prompter.asked.size(), 1);
    EXPECT_EQ(prompter.asked[0].title, "Review Changes");
    EXPECT_TRUE(prompter.asked[0].text.contains("Extend Gain: 500 640"));
    EXPECT_EQ(program.Session().sensor.ReadParameterData(2, 0), 640) << "read back from the sensor";
    EXPECT_EQ(gain->text(), "640");
    EXPECT_FALSE(apply->isEnabled());
    program.Shutdown();
}

TEST(InformationDialog, TellsWhetherTheUserWantsItAgain) {
    AsciiSensor window;
    QTimer answer;
    QString shown;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            EXPECT_EQ(dialog->windowTitle(), " User Information");
            shown = dialog->findChild<QLabel*>("lblInformation")->text() + "|" +
                    dialog->findChild<QLabel*>("lblWarning")->text();
            dialog->findChild<QCheckBox*>("chkDoNotShow")->setChecked(true);
            dialog->findChild<QAbstractButton*>("OKButton")->click();
        }
    });
    answer.start(50);
    EXPECT_TRUE(window.ShowInformation("Main\r\ntext", "Careful"));
    EXPECT_EQ(shown, "Main\ntext|Careful");
}

TEST_F(ApplicationTest, TerminateClosesAnOpenQuestionAndEnds) {
    cApplication program(options, registry);
    ASSERT_TRUE(program.Start());
    // A message box is up (as "Settings Not Saved" or a read's report can
    // be) when the signal comes.
    QTimer::singleShot(300, [&program] { program.Terminate(); });
    const MessageAnswer answer =
        program.Window().Ask(QStringLiteral("Question"), QStringLiteral("Open?"),
                             MessageIcon::Exclamation, MessageButtons::OkCancel);
    EXPECT_EQ(answer, MessageAnswer::Cancel);
    EXPECT_TRUE(program.Finished());
    EXPECT_FALSE(program.Session().MonitorRunning());
    EXPECT_FALSE(Stored("Settings", "PacketTimeout").isEmpty()) << "the settings were written";
}

TEST_F(ApplicationTest, HandEditedLinesThatDoNotReadAreNamedOnce) {
    QFile file(registry.FileName());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Settings]\nPacketTimeout=2\nthis line has no equals sign\n");
    file.close();
    cApplication program(options, registry);
    test::ScriptedPrompter prompter{MessageAnswer::Ok};
    program.Window().SetPrompter(&prompter);
    ASSERT_TRUE(program.Start());
    ASSERT_GE(prompter.asked.size(), 1);
    EXPECT_EQ(prompter.asked[0].title, "Settings File");
    EXPECT_TRUE(prompter.asked[0].text.contains("line 3: this line has no equals sign"))
        << prompter.asked[0].text.toStdString();
    EXPECT_EQ(program.Session().link.PacketTimeout, 35) << "the rest of the file still reads";
    program.Shutdown();
}

namespace {

// A running program with its window active, so that the focus moves as it
// does for a user.
class ApplicationFocusTest : public ApplicationTest {
protected:
    void SetUp() override {
        WriteSettingsWithTheSensors();
        ASSERT_TRUE(program.Start());
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    // Closed as the user does: a field that has the focus commits while the
    // session is there.
    void TearDown() override { window.close(); }

    // A click into the middle of a field, as a user puts the focus there.
    static void Click(QWidget* control) {
        QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
        QCoreApplication::processEvents();
    }

    cApplication program{options, registry};
    AsciiSensor& window = program.Window();
};

// Closes every dialog that comes up and counts them.
struct DialogCounter {
    int shown = 0;
    QTimer timer;
    DialogCounter() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                ++shown;
                dialog->reject();
            }
        });
        timer.start(20);
    }
};

} // namespace

TEST_F(ApplicationFocusTest, NumberFieldsTakeAWholeNewValueAndCommitItOnTab) {
    window.SelectTab(Tab::Dynamics);
    auto* gain = window.Control<QLineEdit>("txtData", FieldOfRegister(2));
    ASSERT_EQ(gain->text(), "500");

    // Typed after a click, the new value replaces the old one.
    Click(gain);
    ASSERT_TRUE(gain->hasFocus());
    EXPECT_EQ(gain->selectedText(), "500");
    QTest::keyClicks(gain, "600");
    EXPECT_EQ(gain->text(), "600");

    QTest::keyClick(gain, Qt::Key_Tab);
    EXPECT_FALSE(gain->hasFocus());
    EXPECT_EQ(program.Session().sensor.ReadParameterData(2, clsSensorData::ChangedDataColumn), 600);
    EXPECT_TRUE(window.Control<QAbstractButton>("cmdApply")->isEnabled());

    // Shift+Tab comes back, with the text selected again, and commits too.
    QWidget* next = QApplication::focusWidget();
    ASSERT_NE(next, nullptr);
    QTest::keyClick(next, Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_TRUE(gain->hasFocus());
    QCoreApplication::processEvents();
    EXPECT_EQ(gain->selectedText(), "600");
    QTest::keyClicks(gain, "500");
    QTest::keyClick(gain, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_FALSE(gain->hasFocus());
    EXPECT_EQ(program.Session().sensor.ReadParameterData(2, clsSensorData::ChangedDataColumn), 500);
}

TEST_F(ApplicationFocusTest, NameCautionOnlyWhenTheUserPutsTheFocusThere) {
    DialogCounter cautions;
    auto* name = window.Control<QLineEdit>("txtSensorName");
    auto* tabs = window.Control<QTabWidget>("SSTab1");

    // Showing the tab carries the focus from the page before into the field.
    window.SelectTab(Tab::Sensor);
    window.Control<QWidget>("SensorAddressSelect")->setFocus(Qt::MouseFocusReason);
    window.SelectTab(Tab::Information);
    EXPECT_EQ(cautions.shown, 0);
    ASSERT_TRUE(name->hasFocus());

    // Nor while a flow runs, whatever moves the focus.
    tabs->setFocus();
    program.Session().RunUserFlow([name] { name->setFocus(Qt::MouseFocusReason); });
    EXPECT_EQ(cautions.shown, 0);
    ASSERT_TRUE(name->hasFocus());

    tabs->setFocus();
    Click(name);
    EXPECT_EQ(cautions.shown, 1);
    EXPECT_EQ(window.Control<QLabel>("lblSensorNameHint")->text(),
              cSensorSelection::NameEditingHint());
}

TEST_F(ApplicationFocusTest, LimitsCaptionsNameTheUnitsOfTheSensorRead) {
    const auto captions = [this] {
        QStringList texts;
        for (int field = 13; field <= ZeroAdjustField; ++field) {
            texts << window.Control<QLabel>("lblData", field)->text();
        }
        return texts;
    };
    EXPECT_EQ(captions(), (QStringList{"Minimum\n (in)", "Maximum\n (in)", "In Position\n (in)",
                                       "Zero Adjust\n (In.)"}));

    // A metric sensor read.
    program.Session().sensor.setUnits("mm");
    emit program.Session().loadFinished();
    EXPECT_EQ(captions(), (QStringList{"Minimum\n (mm)", "Maximum\n (mm)", "In Position\n (mm)",
                                       "Zero Adjust\n (In.)"}));

    // Read again, the sensor says inches.
    window.Control<QAbstractButton>("cmdReload")->click();
    EXPECT_EQ(captions()[0], "Minimum\n (in)");
}

TEST_F(ApplicationFocusTest, ChosenRunModeShowsInTheStatusStripAtOnce) {
    window.SelectTab(Tab::Sensor); // no polls here that would redraw the strip
    auto* mode = window.Control<QLabel>("lblStatusStrip", cStatusDisplay::RunModeField);
    ASSERT_EQ(mode->text(), RunModeText(0));
    window.Control<QAbstractButton>("RunOption", 1)->click();
    EXPECT_EQ(mode->text(), RunModeText(1));
    // Back to the sensor's own mode, which is no pending change.
    window.Control<QAbstractButton>("RunOption", 0)->click();
    EXPECT_EQ(mode->text(), RunModeText(0));
}

TEST_F(ApplicationFocusTest, SearchEndsShowingTheStateItLeaves) {
    window.SelectTab(Tab::Sensor);
    test::ScriptedPrompter prompter;
    window.SetPrompter(&prompter);
    window.Control<QAbstractButton>("cmdAutoBaudSearch")->click();
    ASSERT_EQ(program.Session().sensors.Count(), 3);
    // The addresses where no sensor answered were errors only while searching.
    for (int line = 0; line < 6; ++line) {
        EXPECT_EQ(LightColour(window.Control<QLabel>("CommLED", line)), Colour::LightGreen)
            << window.Control<QLabel>("lblCommStatus", line)->text().toStdString();
    }
    for (int counter = 0; counter < 3; ++counter) {
        EXPECT_EQ(window.Control<QLabel>("lblErrorText", counter)->text(), "0");
    }
}

TEST_F(ApplicationTest, WindowOpensWhereItWasLeftAndAlwaysOnAScreen) {
    WriteSettingsWithTheSensors();
    QPoint left;
    for (int start = 0; start < 2; ++start) {
        cApplication program(options, registry);
        ASSERT_TRUE(program.Start());
        if (start == 1) {
            EXPECT_EQ(program.Window().geometry().topLeft(), left);
        }
        left = program.Window().geometry().topLeft();
        program.Window().close();
        EXPECT_EQ(QPoint(Stored("Startup", "Left").toInt(), Stored("Startup", "Top").toInt()),
                  left);
    }

    // Left on a screen that is gone.
    WriteSettingsWithTheSensors("[Startup]\nTop=-30000\nLeft=40000\n");
    cApplication program(options, registry);
    ASSERT_TRUE(program.Start());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(program.Window().frameGeometry().topLeft()))
        << program.Window().frameGeometry().x() << "," << program.Window().frameGeometry().y();
    EXPECT_LE(program.Window().frameGeometry().height(), screen.height());
    program.Window().close();
}

TEST_F(ApplicationTest, StaleReadoutsAreGreyedUntilAnswered) {
    cApplication program(options, registry);
    ASSERT_TRUE(program.Start());
    AsciiSensor& window = program.Window();
    window.SelectTab(Tab::Monitor);
    auto* position = window.Control<QLabel>("lblPosition");
    program.Session().UpdateReadouts(true); // zeros that no sensor said
    EXPECT_FALSE(position->isEnabled());
    QEventLoop loop;
    for (int i = 0; i < 30 && !position->isEnabled(); ++i) {
        QTimer::singleShot(100, &loop, &QEventLoop::quit);
        loop.exec();
    }
    EXPECT_TRUE(position->isEnabled()) << "the monitor's answer makes it current again";
    window.close();
}

TEST_F(ApplicationTest, AProgrammingErrorIsReportedAndTheProgramGoesOn) {
    cApplication program(options, registry);
    ASSERT_TRUE(program.Start());
    test::ScriptedPrompter prompter{MessageAnswer::Ok};
    program.Window().SetPrompter(&prompter);
    auto* app = dynamic_cast<cEventGuard<QApplication>*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    app->Report = [&program](const QString& doing, const QString& what) {
        program.ReportProgramError(doing, what);
    };
    cSession& session = program.Session();
    QTimer::singleShot(0, &program, [&session] {
        session.RunUserFlow([] { throw SubscriptOutOfRange("setpoint", 61, 0, 59); });
    });
    PauseProcessingEvents(50);
    app->Report = nullptr;
    ASSERT_EQ(prompter.asked.size(), 1);
    EXPECT_EQ(prompter.asked[0].title, "Program Error");
    EXPECT_TRUE(prompter.asked[0].text.contains("setpoint"))
        << prompter.asked[0].text.toStdString();
    EXPECT_FALSE(session.FlowRunning()) << "the flow that failed does not block the next";
    bool ran = false;
    EXPECT_TRUE(session.RunUserFlow([&ran] { ran = true; }));
    EXPECT_TRUE(ran);
    program.Shutdown();
}
