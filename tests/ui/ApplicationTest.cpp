// The whole program off screen on the built-in sensor network.
#include "ui/Application.h"
#include "link/SensorLink.h"
#include "operations/Editing.h"
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
#include <QTabWidget>
#include <QTemporaryDir>
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

#include <QScreen>
#include <QTest>
#include <QStatusBar>
#include <QMenuBar>
TEST_F(ApplicationTest, ScratchProbe) {
    cApplication program(options, registry);
    ASSERT_TRUE(program.Start());
    AsciiSensor& w = program.Window();
    qDebug() << "min" << w.minimumSizeHint() << "hint" << w.sizeHint() << "size" << w.size()
             << "geo" << w.geometry() << "frame" << w.frameGeometry() << "pos" << w.pos()
             << "screen" << QGuiApplication::primaryScreen()->availableGeometry();
    qDebug() << "side" << w.centralWidget()->layout()->itemAt(0)->widget()->minimumSizeHint()
             << "menubar" << w.menuBar()->sizeHint() << "status" << w.statusBar()->sizeHint();
    auto* tabs = w.Control<QTabWidget>("SSTab1");
    for (int i = 0; i < tabs->count(); ++i) qDebug() << i << tabs->widget(i)->minimumSizeHint();
    auto dump = [&] {
        QStringList s;
        for (int i = 0; i < 6; ++i) s << w.Control<QLabel>("lblCommStatus", i)->text();
        for (int i = 0; i < 3; ++i) s << w.Control<QLabel>("lblErrorText", i)->text();
        s << w.Control<QLabel>("lblPortStatus")->text();
        qDebug() << s;
    };
    dump();
    w.SelectTab(Tab::Sensor);
    test::ScriptedPrompter prompter{MessageAnswer::Ok, MessageAnswer::Ok, MessageAnswer::Ok};
    w.SetPrompter(&prompter);
    w.Control<QAbstractButton>("cmdAutoBaudSearch")->click();
    dump();
    program.Session().link.ShowCommStatus();
    dump();
    qDebug() << "strip9" << w.Control<QLabel>("lblStatusStrip", 9)->text() << program.Session().RunModeOption;
    qDebug() << "units" << program.Session().sensor.Units();
    w.activateWindow();
    qDebug() << "active" << QTest::qWaitForWindowActive(&w) << QApplication::focusWidget();
    auto* gain = w.Control<QLineEdit>("txtData", 0);
    w.SelectTab(Tab::Dynamics);
    gain->setFocus(Qt::TabFocusReason);
    qDebug() << "focus" << QApplication::focusWidget();
    program.Shutdown();
    qDebug() << Stored("Startup", "Top") << Stored("Startup", "Left");
}
