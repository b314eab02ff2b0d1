#include "ui/AsciiSensor.h"
#include "ui/Look.h"

#include "support/WhenModal.h"

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

using namespace kelvar;

namespace {

class WindowTest : public ::testing::Test {
protected:
    AsciiSensor window;
    QTabWidget* tabs = window.Control<QTabWidget>(QStringLiteral("SSTab1"));
};

TEST_F(WindowTest, TabsAreReportedAndKeepTheirIndexesWhileOneIsHidden) {
    QSignalSpy changed(&window, &AsciiSensor::tabChanged);
    window.SelectTab(Tab::Communications);
    tabs->setCurrentIndex(Tab::Graph); // the user's click arrives the same way
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed.at(0).at(0).toInt(), Tab::Communications);
    EXPECT_EQ(window.VisibleTab(), Tab::Graph);

    window.SetTabEnabled(Tab::Log, false);
    EXPECT_FALSE(tabs->isTabEnabled(Tab::Log));
    window.SetTabVisible(Tab::Calibration, false);
    EXPECT_FALSE(tabs->isTabVisible(Tab::Calibration));
    window.SelectTab(Tab::Log);
    EXPECT_EQ(window.VisibleTab(), Tab::Log);
    window.SetTabVisible(Tab::Calibration, true);
    EXPECT_EQ(tabs->tabText(Tab::Calibration), "Calibration");
}

TEST_F(WindowTest, FitsA1366By768ScreenAndShrinksAtOneAndAHalfScaleWithEveryControlReachable) {
    // Leaves room for a title bar and a panel of the desktop.
    EXPECT_LE(window.sizeHint().width(), 1366);
    EXPECT_LE(window.sizeHint().height(), 700);
    for (int i = 0; i < Tab::Count; ++i) {
        EXPECT_LE(tabs->widget(i)->sizeHint().width(), 1366 - 260) << i;
    }
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
        ASSERT_NE(pane, nullptr);
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
    for (int i = 0; i < Tab::Count; ++i) {
        window.SelectTab(i);
        QCoreApplication::processEvents();
        reachable(qobject_cast<QScrollArea*>(tabs->widget(i)));
    }
    // The selector, the status strip and Apply beside the tabs.
    QWidget* side = window.Control<QLabel>(QStringLiteral("lblStatusStrip"), 0);
    while (side != nullptr && qobject_cast<QScrollArea*>(side) == nullptr) {
        side = side->parentWidget();
    }
    reachable(qobject_cast<QScrollArea*>(side));
}

TEST_F(WindowTest, ProgressBarStandsInPlaceOfPanelsTwoToFour) {
    auto* progress = window.Control<QProgressBar>(QStringLiteral("ProgressBar1"));
    const auto panelShown = [this](int number) {
        return !window.Control<QLabel>(QStringLiteral("StatusBar1_Panel%1").arg(number))
                    ->isHidden();
    };
    EXPECT_TRUE(progress->isHidden());
    for (const bool progressShown : {true, false}) {
        window.SetProgressShown(progressShown);
        EXPECT_EQ(progress->isHidden(), !progressShown);
        EXPECT_TRUE(panelShown(1));
        for (int number = 2; number <= 4; ++number) {
            EXPECT_EQ(panelShown(number), !progressShown) << number;
        }
    }
}

TEST_F(WindowTest, AskShowsItsQuestionAndGivesTheButtonPressed) {
    struct Case {
        MessageIcon icon;
        MessageButtons buttons;
        QMessageBox::StandardButton press; // Escape: closed without a button
        QMessageBox::Icon shownIcon;
        QMessageBox::StandardButtons shownButtons;
        MessageAnswer expected;
    };
    const auto yesNo = QMessageBox::Yes | QMessageBox::No;
    const auto okCancel = QMessageBox::Ok | QMessageBox::Cancel;
    const Case cases[] = {
        {MessageIcon::Critical, MessageButtons::YesNo, QMessageBox::Yes, QMessageBox::Critical,
         yesNo, MessageAnswer::Yes},
        {MessageIcon::Exclamation, MessageButtons::OkCancel, QMessageBox::Cancel,
         QMessageBox::Warning, okCancel, MessageAnswer::Cancel},
        {MessageIcon::Information, MessageButtons::Ok, QMessageBox::Ok, QMessageBox::Information,
         QMessageBox::Ok, MessageAnswer::Ok},
        // Closing the box gives the set's negative answer.
        {MessageIcon::Exclamation, MessageButtons::YesNo, QMessageBox::Escape, QMessageBox::Warning,
         yesNo, MessageAnswer::No},
        {MessageIcon::Exclamation, MessageButtons::OkCancel, QMessageBox::Escape,
         QMessageBox::Warning, okCancel, MessageAnswer::Cancel},
    };
    for (const Case& c : cases) {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QString title;
        QString text;
        test::WhenModal answer([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->standardButtons();
            c.press == QMessageBox::Escape ? box->reject() : box->button(c.press)->click();
        });
        EXPECT_EQ(window.Ask("Changed", "CHANGES MADE\r\nNOT APPLIED", c.icon, c.buttons),
                  c.expected);
        EXPECT_EQ(title, "Changed");
        EXPECT_EQ(text, "CHANGES MADE\nNOT APPLIED");
        EXPECT_EQ(icon, c.shownIcon);
        EXPECT_EQ(buttons, c.shownButtons);
    }
}

TEST_F(WindowTest, FocusMovesBetweenControlsAreReportedButNotWindowSwitches) {
    QSignalSpy entered(&window, &AsciiSensor::focusEntered);
    QSignalSpy left(&window, &AsciiSensor::focusLeft);
    const QList<QWidget*> fields{window.Control<QLineEdit>(QStringLiteral("txtTxData")),
                                 window.Control<QLineEdit>(QStringLiteral("txtData"), 16),
                                 window.Control<QLineEdit>(QStringLiteral("txtEditCell")),
                                 window.Control<QLineEdit>(QStringLiteral("txtNullZero")),
                                 window.Control<QRadioButton>(QStringLiteral("optCalSetpoints"), 1),
                                 window.Control<QComboBox>(QStringLiteral("cboSensorSelect"))};
    for (QWidget* field : fields) {
        QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
        QApplication::sendEvent(field, &in);
    }
    ASSERT_EQ(entered.count(), fields.size());
    for (int i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(entered.at(i).at(0).value<QWidget*>(), fields[i]);
    }
    for (const Qt::FocusReason reason :
         {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason, Qt::MouseFocusReason}) {
        QFocusEvent out(QEvent::FocusOut, reason);
        QApplication::sendEvent(fields[0], &out);
    }
    ASSERT_EQ(left.count(), 1) << "only the move to another control";
    EXPECT_EQ(left.at(0).at(0).value<QWidget*>(), fields[0]);
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
