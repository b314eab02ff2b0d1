#include "ui/AsciiSensor.h"
#include "ui/Look.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kelvar;

namespace {

class WindowTest : public ::testing::Test {
protected:
    AsciiSensor window;

    QWidget* Page(int tab) const {
        return window.Control<QTabWidget>(QStringLiteral("SSTab1"))->widget(tab);
    }
};

// ---- Tabs and menus

TEST_F(WindowTest, MenuCaptionsVisibilityAndCheckMarks) {
    struct Item {
        const char* name;
        const char* caption;
        bool visible;
        bool checkable;
    };
    const Item items[] = {
        {"mnuSave", "&Save Sensor Data...", true, false},
        {"mnuLoad", "&Load Sensor Data...", true, false},
        {"mnuPrint", "&Print Sensor Data...", true, false},
        {"mnuExit", "E&xit\tAlt+F4", true, false},
        {"mnuDefault", "Load &Default Values", true, false},
        {"mnuMin", "Set Data to Minimum", false, false},
        {"mnuMax", "Set Data to Maximum", false, false},
        {"mnuAutoSearch", "Automatic Search", true, true},
        {"mnuShowAll", "Restore All Warnings", true, true},
        {"mnuCalibrate", "Calibrate Sensor", false, true},
        {"mnuLogEnabled", "Enabled", true, true},
        {"mnuSensorList", "Sensor List", true, true},
        {"mnuSensorData", "Sensor Data", true, true},
        {"mnuRuntime", "Run Time", false, true},
        {"mnuCommunications", "Communications", true, true},
        {"mnuSelectAll", "Select All", true, false},
        {"mnuHelpContents", "&Contents", true, false},
        {"mnuHomePage", "Morvane &Homepage", true, false},
        {"mnuAbout", "&About", true, false},
    };
    for (const Item& item : items) {
        auto* action = window.Control<QAction>(QLatin1String(item.name));
        EXPECT_EQ(action->text(), QLatin1String(item.caption)) << item.name;
        EXPECT_EQ(action->isVisible(), item.visible) << item.name;
        EXPECT_EQ(action->isCheckable(), item.checkable) << item.name;
    }
    const QList<QPair<QString, QString>> menus{{"mnuFile", "&File"},
                                               {"mnuUtilities", "&Tools"},
                                               {"mnuOptions", "Options..."},
                                               {"mnuLogging", "Logging"},
                                               {"mnuHelp", "&Help"}};
    for (const auto& [name, title] : menus) {
        EXPECT_EQ(window.Control<QMenu>(name)->title(), title);
    }
}

TEST_F(WindowTest, SelectTabReportsTheChangeAndVisibleTabFollows) {
    QSignalSpy changed(&window, &AsciiSensor::tabChanged);
    window.SelectTab(Tab::Communications);
    EXPECT_EQ(window.VisibleTab(), Tab::Communications);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toInt(), Tab::Communications);

    // The user's click arrives the same way.
    window.Control<QTabWidget>(QStringLiteral("SSTab1"))->setCurrentIndex(Tab::Graph);
    EXPECT_EQ(window.VisibleTab(), Tab::Graph);
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(WindowTest, TabsCanBeDisabledAndHidden) {
    auto* tabs = window.Control<QTabWidget>(QStringLiteral("SSTab1"));
    window.SetTabEnabled(Tab::Log, false);
    EXPECT_FALSE(tabs->isTabEnabled(Tab::Log));
    window.SetTabEnabled(Tab::Log, true);
    EXPECT_TRUE(tabs->isTabEnabled(Tab::Log));

    window.SetTabVisible(Tab::Calibration, false);
    EXPECT_FALSE(tabs->isTabVisible(Tab::Calibration));
    // Indexes stay those of the full set while a tab is hidden.
    window.SelectTab(Tab::Log);
    EXPECT_EQ(window.VisibleTab(), Tab::Log);
    window.SetTabVisible(Tab::Calibration, true);
    EXPECT_TRUE(tabs->isTabVisible(Tab::Calibration));
    EXPECT_EQ(tabs->tabText(Tab::Calibration), "Calibration");
}

// ---- Sizes

TEST_F(WindowTest, FitsA1366By768Screen) {
    // Leaves room for a title bar and a panel of the desktop.
    const QSize hint = window.sizeHint();
    EXPECT_LE(hint.width(), 1366);
    EXPECT_LE(hint.height(), 700);
    EXPECT_LE(window.minimumSizeHint().height(), 700);
    for (int i = 0; i < Tab::Count; ++i) {
        EXPECT_LE(Page(i)->sizeHint().width(), 1366 - 260) << i;
    }
}

TEST_F(WindowTest, ShrinksToASmallScreenAtOneAndAHalfScaleWithEveryControlReachable) {
    // 1366 x 768 less a task bar, in the logical pixels of a 1.5 scale.
    const QSize screen(1366 * 2 / 3, 728 * 2 / 3);
    ASSERT_LE(window.minimumSizeHint().width(), screen.width());
    ASSERT_LE(window.minimumSizeHint().height(), screen.height());
    window.resize(screen);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    // Every control can be scrolled into full view: scrolled as far as
    // towards its top-left corner, all of it shows.
    const auto reachable = [](QScrollArea* pane) {
        for (QWidget* control : pane->widget()->findChildren<QWidget*>()) {
            if (control->focusPolicy() == Qt::NoFocus || !control->isVisibleTo(pane->widget())) {
                continue;
            }
            const QPoint corner = control->mapTo(pane->widget(), QPoint(0, 0));
            pane->horizontalScrollBar()->setValue(corner.x());
            pane->verticalScrollBar()->setValue(corner.y());
            const QRect shown(control->mapTo(pane->viewport(), QPoint(0, 0)), control->size());
            EXPECT_TRUE(pane->viewport()->rect().contains(shown))
                << control->objectName().toStdString();
        }
    };
    auto* tabs = window.Control<QTabWidget>(QStringLiteral("SSTab1"));
    for (int i = 0; i < Tab::Count; ++i) {
        window.SelectTab(i);
        QCoreApplication::processEvents();
        auto* pane = qobject_cast<QScrollArea*>(tabs->widget(i));
        ASSERT_NE(pane, nullptr) << i;
        reachable(pane);
    }
    // The selector, the status strip and Apply beside the tabs.
    QWidget* side = window.Control<QLabel>(QStringLiteral("lblStatusStrip"), 0);
    while (side != nullptr && qobject_cast<QScrollArea*>(side) == nullptr) {
        side = side->parentWidget();
    }
    ASSERT_NE(side, nullptr);
    reachable(static_cast<QScrollArea*>(side));
}

// ---- Status bar

TEST_F(WindowTest, ProgressBarStandsInPlaceOfPanelsTwoToFour) {
    auto* progress = window.Control<QProgressBar>(QStringLiteral("ProgressBar1"));
    QList<QLabel*> panels;
    for (int number = 1; number <= 4; ++number) {
        auto* panel = window.Control<QLabel>(QStringLiteral("StatusBar1_Panel%1").arg(number));
        EXPECT_EQ(panel->parentWidget(), window.statusBar()) << number;
        panels << panel;
    }
    EXPECT_TRUE(progress->isHidden());

    window.SetProgressShown(true);
    EXPECT_FALSE(progress->isHidden());
    EXPECT_FALSE(panels[0]->isHidden());
    for (int i = 1; i < 4; ++i) {
        EXPECT_TRUE(panels[i]->isHidden()) << i;
    }
    window.SetProgressShown(false);
    EXPECT_TRUE(progress->isHidden());
    for (QLabel* panel : panels) {
        EXPECT_FALSE(panel->isHidden());
    }
}

// ---- Monitor tab

TEST_F(WindowTest, CommStatusLinesStartGreenAndSwapToTheirBadCaptionsOnRed) {
    const QStringList good{"Communications OK", "Sensor Online", "Comm Port Open", "Rx OK",
                           "No CRC Errors",     "Tx OK"};
    const QStringList bad{"Communications Error",
                          "Sensor Not Responding",
                          "Error Opening Comm Port ",
                          "Rx Error",
                          "CRC ERROR",
                          "Tx ERROR"};
    for (int i = 0; i < 6; ++i) {
        const cIndicator line{window.Control<QLabel>(QStringLiteral("CommLED"), i),
                              window.Control<QLabel>(QStringLiteral("lblCommStatus"), i)};
        EXPECT_EQ(line.caption->text(), good[i]);
        EXPECT_EQ(LightColour(line.light), Colour::LightGreen) << i;
        SetIndicator(line, false);
        EXPECT_EQ(line.caption->text(), bad[i]);
        EXPECT_EQ(LightColour(line.light), Colour::Red) << i;
        SetIndicator(line, true);
        EXPECT_EQ(line.caption->text(), good[i]);
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(window.Control<QLabel>(QStringLiteral("lblErrorText"), i)->text(), "0");
    }
}

TEST_F(WindowTest, StatusStripFieldsStartDarkGreenAndTurnRedWithTheirOffTexts) {
    const QStringList on{"COMM OK",        "IN POSITON", "INSIDE LIMITS", "NULL OK", "ZEVIR OK",
                         "MOTION ENABLED", "INPUT 2 ON", "POSITION OK",   "ON-LINE"};
    const QStringList off{"NO COMM",         "IN MOTION",   "OVERTRAVEL",   "NULL BAD", "ZEVIR BAD",
                          "MOTION DISABLED", "INPUT 2 OFF", "NEG POSITION", "OFF-LINE"};
    auto* tabs = window.Control<QTabWidget>(QStringLiteral("SSTab1"));
    for (int i = 0; i < 9; ++i) {
        auto* field = window.Control<QLabel>(QStringLiteral("lblStatusStrip"), i);
        EXPECT_FALSE(tabs->isAncestorOf(field));
        EXPECT_EQ(field->text(), on[i]);
        EXPECT_EQ(LightColour(field), Colour::DarkGreen) << i;
        SetIndicator({field, field}, false);
        EXPECT_EQ(field->text(), off[i]);
        EXPECT_EQ(LightColour(field), Colour::Red) << i;
        SetIndicator({field, field}, true);
        EXPECT_EQ(LightColour(field), Colour::DarkGreen) << i;
    }
    EXPECT_EQ(window.Control<QLabel>(QStringLiteral("lblStatusStrip"), 9)->toolTip(),
              "Indicates the sensor's operational mode");
    EXPECT_EQ(window.Control<QLabel>(QStringLiteral("lblStatusStrip"), 2)->toolTip(),
              "Indicates that current position is inside the sensor's limits ");
}

// ---- Questions

// Answers the message box that Ask is about to show with the given button,
// and keeps what the box showed.
struct BoxAnswer {
    QMessageBox::StandardButton press;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;

    void Arm() {
        QTimer::singleShot(0, [this] { Answer(); });
    }

    void Answer() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            Arm();
            return;
        }
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
        if (press == QMessageBox::Escape) {
            box->reject();
        } else {
            box->button(press)->click();
        }
    }
};

TEST_F(WindowTest, AskShowsTitleTextAndIconAndReturnsTheButtonPressed) {
    BoxAnswer answer{QMessageBox::Yes, {}, {}, {}, {}};
    answer.Arm();
    const MessageAnswer result =
        window.Ask("Changed Sensor Settings", "CHANGES MADE TO SENSOR 3\r\nHAVE NOT BEEN APPLIED",
                   MessageIcon::Critical, MessageButtons::YesNo);
    EXPECT_EQ(result, MessageAnswer::Yes);
    EXPECT_EQ(answer.title, "Changed Sensor Settings");
    EXPECT_EQ(answer.text, "CHANGES MADE TO SENSOR 3\nHAVE NOT BEEN APPLIED");
    EXPECT_EQ(answer.icon, QMessageBox::Critical);
    EXPECT_EQ(answer.buttons, QMessageBox::Yes | QMessageBox::No);
}

TEST_F(WindowTest, AskMapsEveryButtonSet) {
    struct Case {
        MessageIcon icon;
        MessageButtons buttons;
        QMessageBox::StandardButton press;
        QMessageBox::Icon shownIcon;
        QMessageBox::StandardButtons shownButtons;
        MessageAnswer expected;
    };
    const Case cases[] = {
        {MessageIcon::Exclamation, MessageButtons::YesNo, QMessageBox::No, QMessageBox::Warning,
         QMessageBox::Yes | QMessageBox::No, MessageAnswer::No},
        {MessageIcon::Exclamation, MessageButtons::OkCancel, QMessageBox::Ok, QMessageBox::Warning,
         QMessageBox::Ok | QMessageBox::Cancel, MessageAnswer::Ok},
        {MessageIcon::Exclamation, MessageButtons::OkCancel, QMessageBox::Cancel,
         QMessageBox::Warning, QMessageBox::Ok | QMessageBox::Cancel, MessageAnswer::Cancel},
        {MessageIcon::Information, MessageButtons::Ok, QMessageBox::Ok, QMessageBox::Information,
         QMessageBox::Ok, MessageAnswer::Ok},
        // Closing the box without a button gives the set's negative answer.
        {MessageIcon::Exclamation, MessageButtons::YesNo, QMessageBox::Escape, QMessageBox::Warning,
         QMessageBox::Yes | QMessageBox::No, MessageAnswer::No},
        {MessageIcon::Exclamation, MessageButtons::OkCancel, QMessageBox::Escape,
         QMessageBox::Warning, QMessageBox::Ok | QMessageBox::Cancel, MessageAnswer::Cancel},
    };
    for (const Case& c : cases) {
        BoxAnswer answer{c.press, {}, {}, {}, {}};
        answer.Arm();
        EXPECT_EQ(window.Ask("Title", "Text", c.icon, c.buttons), c.expected);
        EXPECT_EQ(answer.icon, c.shownIcon);
        EXPECT_EQ(answer.buttons, c.shownButtons);
    }
}

// ---- Focus and keys

TEST_F(WindowTest, FocusMovesBetweenControlsAreReportedButNotWindowSwitches) {
    QSignalSpy entered(&window, &AsciiSensor::focusEntered);
    QSignalSpy left(&window, &AsciiSensor::focusLeft);
    auto* field = window.Control<QLineEdit>(QStringLiteral("txtTxData"));

    QFocusEvent tabIn(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(field, &tabIn);
    ASSERT_EQ(entered.count(), 1);
    EXPECT_EQ(entered.at(0).at(0).value<QWidget*>(), field);

    QFocusEvent windowOut(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(field, &windowOut);
    QFocusEvent popupOut(QEvent::FocusOut, Qt::PopupFocusReason);
    QApplication::sendEvent(field, &popupOut);
    EXPECT_EQ(left.count(), 0);

    QFocusEvent mouseOut(QEvent::FocusOut, Qt::MouseFocusReason);
    QApplication::sendEvent(field, &mouseOut);
    ASSERT_EQ(left.count(), 1);
    EXPECT_EQ(left.at(0).at(0).value<QWidget*>(), field);
}

TEST_F(WindowTest, KeyHandlerSeesKeysFirstAndMaySwallowThem) {
    auto* field = window.Control<QLineEdit>(QStringLiteral("txtTxData"));
    field->setReadOnly(false);
    QList<int> seen;
    window.SetKeyHandler(field, [&seen](QKeyEvent* key) {
        seen << key->key();
        return !key->text().front().isDigit();
    });
    for (const auto& [key, text] :
         {std::pair{Qt::Key_5, "5"}, std::pair{Qt::Key_A, "a"}, std::pair{Qt::Key_7, "7"}}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QLatin1String(text));
        QApplication::sendEvent(field, &press);
    }
    EXPECT_EQ(seen, (QList<int>{Qt::Key_5, Qt::Key_A, Qt::Key_7}));
    EXPECT_EQ(field->text(), "57");
}

} // namespace
