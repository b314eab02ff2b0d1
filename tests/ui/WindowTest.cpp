#include "ui/AsciiSensor.h"
#include "ui/Look.h"

#include "support/WhenModal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
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

TEST_F(WindowTest, AskShowsItsQuestionAndGivesTheButtonPressed) {
    const std::tuple<MessageButtons, QMessageBox::StandardButton, MessageAnswer> cases[] = {
        {MessageButtons::YesNo, QMessageBox::Yes, MessageAnswer::Yes},
        {MessageButtons::OkCancel, QMessageBox::Cancel, MessageAnswer::Cancel},
        {MessageButtons::Ok, QMessageBox::Ok, MessageAnswer::Ok},
        {MessageButtons::ApplyDiscardCancel, QMessageBox::Apply, MessageAnswer::Apply},
        {MessageButtons::ApplyDiscardCancel, QMessageBox::Discard, MessageAnswer::Discard},
        // Closing the box (Escape) gives the set's negative answer.
        {MessageButtons::YesNo, QMessageBox::Escape, MessageAnswer::No},
        {MessageButtons::OkCancel, QMessageBox::Escape, MessageAnswer::Cancel},
    };
    for (const auto& [buttons, press, expected] : cases) {
        QString text;
        test::WhenModal answer([&text, press = press](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            text = box->text();
            press == QMessageBox::Escape ? box->reject() : box->button(press)->click();
        });
        EXPECT_EQ(
            window.Ask("Changed", "CHANGES MADE\r\nNOT APPLIED", MessageIcon::Exclamation, buttons),
            expected);
        EXPECT_EQ(text, "CHANGES MADE\nNOT APPLIED");
    }
}

TEST_F(WindowTest, FocusMovesBetweenControlsAreReportedButNotWindowSwitches) {
    QSignalSpy entered(&window, &AsciiSensor::focusEntered);
    QSignalSpy left(&window, &AsciiSensor::focusLeft);
    const QList<QWidget*> fields{window.Control<QLineEdit>(QStringLiteral("txtTxData")),
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

} // namespace

// No scroll bar at the default size (on a 1366 x 768 desktop); in a smaller
// window the Timeout list still shows whole.
TEST_F(WindowTest, TheCommunicationsTabFitsTheDefaultSizeAndShowsItsTimeoutInASmallerOne) {
    window.SelectTab(Tab::Communications);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto* pane = qobject_cast<QScrollArea*>(tabs->widget(Tab::Communications));
    auto* timeout = window.Control<QWidget>("cboTimeout");
    for (const QSize size : {QSize(1048, 665), QSize(1000, 560)}) {
        window.resize(size);
        QCoreApplication::processEvents();
        EXPECT_FALSE(size.width() == 1048 && (pane->horizontalScrollBar()->isVisible() ||
                                              pane->verticalScrollBar()->isVisible()));
        EXPECT_TRUE(pane->viewport()->rect().contains(
            QRect(timeout->mapTo(pane->viewport(), QPoint(0, 0)), timeout->size())));
    }
}

// A name typed without a suffix gets the kind of file being saved: a log
// saved as "pump1" must not become pump1.dat beside the sensor's data file.
TEST_F(WindowTest, ASaveDialogGivesANameTheSuffixOfItsKind) {
    for (const auto& [filter, suffix] :
         {std::pair{"Log Files (*.log);;All Files (*)", "log"}, {"PNG Images (*.png)", "png"}}) {
        QString given;
        test::WhenModal answer([&given](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            given = dialog->defaultSuffix();
            dialog->reject();
        });
        window.AskFileName(true, "Save", QDir::tempPath(), "pump1", filter);
        EXPECT_EQ(given, suffix) << filter;
    }
}
