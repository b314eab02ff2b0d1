#include "ui/AsciiSplash.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <gtest/gtest.h>

using namespace kelvar;

TEST(Splash, ShowsTheVersionStatusAndProgressAndAClickClosesIt) {
    AsciiSplash splash;
    const auto label = [&splash](const char* name) {
        return splash.findChild<QLabel*>(QLatin1String(name))->text();
    };
    splash.SetStatus("Searching for\r\nComm Ports...");
    EXPECT_EQ(label("lblStatus"), "Searching for\nComm Ports...");

    auto* bar = splash.findChild<QProgressBar*>("ProgressBar1");
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isHidden());
    splash.SetProgressRange(0, 16);
    splash.SetProgress(5);
    splash.SetProgressShown(true);
    EXPECT_FALSE(bar->isHidden());
    EXPECT_EQ(bar->maximum(), 16);
    EXPECT_EQ(bar->value(), 5);

    splash.show();
    QMouseEvent click(QEvent::MouseButtonPress, QPointF(5, 5), splash.mapToGlobal(QPointF(5, 5)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&splash, &click);
    EXPECT_FALSE(splash.isVisible());
}
